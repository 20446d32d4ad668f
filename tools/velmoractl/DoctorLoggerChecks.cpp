// The doctor's checks of the logging library: where the module looks for it,
// the file it would load, and the entry points it would find there. The
// module answers every fault here quietly, by logging nothing.
#include "tools/velmoractl/DoctorChecks.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "logging/LoggerEntryPoints.h"
#include "logging/LoggerLibraryPath.h"
#include "tools/velmoractl/DllFile.h"
#include "tools/velmoractl/RegistryView.h"

namespace {

constexpr wchar_t kInstallPath[] = L"logger install path";
constexpr wchar_t kLibrary[] = L"logger library";
constexpr wchar_t kEntryPoints[] = L"logger entry points";

std::wstring ValueName() {
  return L"HKLM\\" + std::wstring(kLoggerKey) + L" \"" + kLoggerInstallPathValue + L"\"";
}

std::wstring Bits(const RegistryView& view) { return std::to_wstring(view.bits) + L"-bit"; }

std::wstring SetInstallPath(const RegistryView& view) {
  return L"set " + ValueName() + L", in " + ViewName(view) + L", to the folder of the " +
         Bits(view) + L" LoggerDLL.dll";
}

// The value as read, which need not be terminated, in quotes.
std::wstring Quoted(const wchar_t* directory) {
  return L"\"" + std::wstring(directory, wcsnlen(directory, kLoggerLibraryPathChars)) + L"\"";
}

// Reads "InstallPath" the way the logging client does: any value type, into
// the same buffer, and builds the path the same way. Returns the path the
// module would load, the bare name when it would fall back to it; *result
// says why.
std::wstring ModuleLibraryPath(const RegistryView& view, CheckResult* result) {
  UniqueHKey key;
  const LONG opened = OpenKeyInView(HKEY_LOCAL_MACHINE, kLoggerKey, view, &key);
  wchar_t directory[kLoggerLibraryPathChars] = {};
  DWORD bytes = sizeof(directory);
  DWORD type = 0;
  const LONG read = opened != ERROR_SUCCESS
                        ? opened
                        : RegQueryValueExW(key.get(), kLoggerInstallPathValue,
                                           /*lpReserved=*/nullptr, &type,
                                           reinterpret_cast<BYTE*>(directory), &bytes);
  const std::wstring fallback = L": the module loads the bare name " +
                                std::wstring(kLoggerLibraryFileName) +
                                L" from the host program's folder, the system folder or a "
                                L"folder the host added for DLLs, never from the current "
                                L"folder or PATH";
  wchar_t path[kLoggerLibraryPathChars] = {};
  if (read == ERROR_MORE_DATA) {
    *result = Warn(kInstallPath, ValueName() + L" is too long" + fallback, SetInstallPath(view));
  } else if (read != ERROR_SUCCESS) {
    *result = Warn(kInstallPath, ValueName() + L" is not set in " + ViewName(view) + fallback,
                   SetInstallPath(view));
  } else if (!ComposeLoggerLibraryPath(directory, path)) {
    const bool empty = directory[0] == L'\0';
    if (!empty && !IsFullDirectoryPath(directory)) {
      // A fail, not a warn: the folder someone meant is not where the module
      // looks, and nothing but this line says so.
      *result = Fail(kInstallPath, ValueName() + L" is " + Quoted(directory) +
                                       L", not a full path" + fallback,
                     L"make InstallPath a full path");
    } else {
      *result = Warn(kInstallPath,
                     ValueName() + (empty ? L" is empty" : L" is too long") + fallback,
                     SetInstallPath(view));
    }
  } else {
    *result = Ok(kInstallPath, Quoted(directory) + L" -> " + path);
    return path;
  }
  return kLoggerLibraryFileName;
}

std::wstring Missing(const PeImage& image, int* count, bool* canRegister) {
  std::wstring names;
  *count = 0;
  for (const char* name : kLoggerEntryPointNames) {
    if (image.exportNames.count(name)) continue;
    ++*count;
    if (!names.empty()) names += L", ";
    names += std::wstring(name, name + strlen(name));
    if (std::string(name) == kLoggerEntryPointNames[kEntry_REGISTERLOGGERCLIENT])
      *canRegister = false;
  }
  return names;
}

std::wstring FolderOf(const wchar_t* file) {
  const wchar_t* slash = wcsrchr(file, L'\\');
  return slash ? std::wstring(file, slash) : std::wstring();
}

// The module looks for the bare name in the host program's folder, the system
// folder and the folders the host added for DLLs. Here velmoractl is the
// host: the folders a real host adds are its own to know.
DllFile InspectBareName() {
  wchar_t program[MAX_PATH] = L"";
  wchar_t system[MAX_PATH] = L"";
  const DWORD programChars = GetModuleFileNameW(nullptr, program, MAX_PATH);
  const UINT systemChars = GetSystemDirectoryW(system, MAX_PATH);
  std::wstring folders;
  if (programChars > 0 && programChars < MAX_PATH) folders = FolderOf(program);
  if (systemChars > 0 && systemChars < MAX_PATH) folders += L";" + std::wstring(system);
  return InspectDllIn(kLoggerLibraryFileName, folders,
                      L"in this program's folder or the system folder", OwnView().machine);
}

}  // namespace

void CheckLoggingLibrary(CheckResults* results) {
  const RegistryView view = OwnView();
  CheckResult installPath;
  const std::wstring path = ModuleLibraryPath(view, &installPath);
  results->push_back(installPath);

  const DllFile dll = path == kLoggerLibraryFileName ? InspectBareName()
                                                     : InspectDll(path, view.machine);
  if (!dll.usable()) {
    const std::wstring consequence = L"; until then the module logs nothing";
    std::wstring fix;
    if (dll.problem == DllProblem::kWrongMachine) {
      fix = L"put the " + Bits(view) + L" LoggerDLL.dll there" + consequence;
    } else if (installPath.verdict == Verdict::kOk) {
      fix = L"put the " + Bits(view) + L" LoggerDLL.dll into that folder, or point " +
            ValueName() + L" at the folder that holds it" + consequence;
    } else {
      fix = SetInstallPath(view) + consequence;
    }
    // Logging never fails a request: without its library the module only
    // logs nothing.
    results->push_back(Warn(kLibrary, dll.found, fix));
    results->push_back(NotChecked(kEntryPoints, kLibrary, Verdict::kWarn));
    return;
  }
  results->push_back(Ok(kLibrary, dll.found));

  int missing = 0;
  bool canRegister = true;
  const std::wstring names = Missing(dll.image, &missing, &canRegister);
  const std::wstring all = std::to_wstring(kLoggerEntryPointCount);
  if (missing == 0) {
    results->push_back(Ok(kEntryPoints, L"all " + all + L" exported by name"));
    return;
  }
  results->push_back(Warn(
      kEntryPoints,
      std::to_wstring(kLoggerEntryPointCount - missing) + L" of " + all +
          L" exported by name; missing: " + names,
      L"install a LoggerDLL.dll that exports all " + all + L"; the module skips what is missing" +
          (canRegister ? L"" : L", and without REGISTERLOGGERCLIENT it logs nothing at all")));
}
