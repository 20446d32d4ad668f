#include "tools/velmoractl/DllFile.h"

namespace {

std::wstring BitsText(WORD machine) {
  const int bits = MachineBits(machine);
  return bits ? std::to_wstring(bits) + L"-bit" : MachineName(machine);
}

bool HasFolder(const std::wstring& path) {
  return path.find_first_of(L"\\/:") != std::wstring::npos;
}

// Resolves a bare name through SearchPathW, in `folders` or (null) the
// process's search path. False, with dll->found saying so, when it is not found.
bool Search(const std::wstring& name, const wchar_t* folders, const std::wstring& where,
            DllFile* dll) {
  wchar_t found[MAX_PATH] = L"";
  const DWORD length = SearchPathW(folders, name.c_str(), /*lpExtension=*/nullptr, MAX_PATH,
                                   found, /*lpFilePart=*/nullptr);
  if (length == 0 || length >= MAX_PATH) {
    dll->found = name + L" is not found " + where;
    return false;
  }
  dll->path = found;
  return true;
}

DllFile Inspect(DllFile dll, WORD machine, const std::wstring& searched) {
  const DWORD attributes = GetFileAttributesW(dll.path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    dll.found = dll.path + L" does not exist";
    return dll;
  }
  std::wstring reason;
  if (!ReadPeImage(dll.path, &dll.image, &reason)) {
    dll.problem = DllProblem::kNotPe;
    dll.found = dll.path + L" is not a PE file (" + reason + L")";
    return dll;
  }
  const std::wstring described = L"(" + DescribeImage(dll.image) + searched + L")";
  if (!dll.image.dll) {
    dll.problem = DllProblem::kNotDll;
    dll.found = dll.path + L" is a program, not a DLL " + described;
  } else if (dll.image.machine != machine) {
    dll.problem = DllProblem::kWrongMachine;
    dll.found = dll.path + L" is a " + BitsText(dll.image.machine) + L" DLL " + described +
                L"; a " + BitsText(machine) + L" host cannot load it";
  } else {
    dll.problem = DllProblem::kNone;
    dll.found = dll.path + L" " + described;
  }
  return dll;
}

}  // namespace

DllFile InspectDll(const std::wstring& path, WORD machine) {
  DllFile dll;
  dll.path = path;
  const std::wstring where = L"through the search path";
  if (HasFolder(path)) return Inspect(dll, machine, L"");
  if (!Search(path, nullptr, where, &dll)) return dll;
  return Inspect(dll, machine, L", found " + where);
}

DllFile InspectDllIn(const std::wstring& name, const std::wstring& folders,
                     const std::wstring& where, WORD machine) {
  DllFile dll;
  dll.path = name;
  if (!Search(name, folders.c_str(), where, &dll)) return dll;
  return Inspect(dll, machine, L", found " + where);
}
