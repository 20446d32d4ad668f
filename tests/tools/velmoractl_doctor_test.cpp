// velmoractl doctor against one fault at a time, planted in the Wine
// session's registry and put right again afterwards, also when an
// expectation fails: the check that the fault concerns must fail (a request
// or the module's creation will fail) or warn (the module copes by doing
// less), and say what to do. The all-ok case is the demo's.
#include <windows.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/logging/LoggerTestEnv.h"
#include "tests/module/VelmoraModule.h"
#include "tests/tools/ClientProcess.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr DWORD kFailure = 1;
constexpr wchar_t kClerkClassKey[] = L"CLSID\\{A30E1E20-5417-11D3-87F1-00A0C982C01C}";

// This build's bitness and the other one, as the doctor names them.
constexpr bool kIs64 = sizeof(void*) == 8;
const std::string kBits = kIs64 ? "64-bit" : "32-bit";
const std::string kOtherBits = kIs64 ? "32-bit" : "64-bit";

std::string Narrow(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(bytes > 0 ? bytes - 1 : 0, '\0');
  if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], bytes, nullptr, nullptr);
  return narrow;
}

// The report line of one check and the line after it (the fix of a warn or fail).
struct ReportEntry {
  std::string line;
  std::string next;
};

ReportEntry Entry(const std::string& output, const std::string& check) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    lines.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() > 6 && lines[i].compare(6, check.size() + 2, check + ": ") == 0)
      return {lines[i], i + 1 < lines.size() ? lines[i + 1] : std::string()};
  }
  return {};
}

// A folder of its own in the temp folder, deleted with what it holds.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"velmora-doctor-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::wstring& file : files_) DeleteFileW(file.c_str());
    RemoveDirectoryW(path_.c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring Add(const wchar_t* name) {
    files_.push_back(path_ + L"\\" + name);
    return files_.back();
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

// Just the headers of a DLL built for the other architecture: all the
// doctor reads of a server file before it judges its machine.
void WriteOtherArchitectureDll(const std::wstring& path) {
  IMAGE_DOS_HEADER dos = {};
  dos.e_magic = IMAGE_DOS_SIGNATURE;
  dos.e_lfanew = sizeof(dos);
  const DWORD signature = IMAGE_NT_SIGNATURE;
  IMAGE_FILE_HEADER file = {};
  file.Machine = kIs64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
  file.Characteristics = IMAGE_FILE_DLL | IMAGE_FILE_EXECUTABLE_IMAGE;
  IMAGE_OPTIONAL_HEADER32 optional32 = {};
  optional32.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
  optional32.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  IMAGE_OPTIONAL_HEADER64 optional64 = {};
  optional64.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  optional64.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  file.SizeOfOptionalHeader =
      static_cast<WORD>(kIs64 ? sizeof(optional32) : sizeof(optional64));

  std::ofstream out(path.c_str(), std::ios::binary);  // mingw accepts wide paths
  out.write(reinterpret_cast<const char*>(&dos), sizeof(dos));
  out.write(reinterpret_cast<const char*>(&signature), sizeof(signature));
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  if (kIs64)
    out.write(reinterpret_cast<const char*>(&optional32), sizeof(optional32));
  else
    out.write(reinterpret_cast<const char*>(&optional64), sizeof(optional64));
}

HRESULT RegisterServerIn(const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  using RegisterFn = HRESULT(STDAPICALLTYPE*)();
  auto registerServer = reinterpret_cast<RegisterFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
  const HRESULT hr = registerServer ? registerServer() : E_NOINTERFACE;
  FreeLibrary(module);
  return hr;
}

// Points the control class's InprocServer32 at another file for a scope;
// Velmora.dll registers itself again afterwards.
class ControlClassServedBy {
 public:
  explicit ControlClassServedBy(const std::wstring& server) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kClassKey) + L"\\InprocServer32";
    written_ = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_SET_VALUE, &key);
    if (written_ != ERROR_SUCCESS) return;
    written_ = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                              static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ~ControlClassServedBy() { RegisterServerIn(BesideTestExecutable(L"Velmora.dll")); }
  ControlClassServedBy(const ControlClassServedBy&) = delete;
  ControlClassServedBy& operator=(const ControlClassServedBy&) = delete;
  LONG written() const { return written_; }

 private:
  LONG written_;
};

// Deletes the realtime table's class for a scope; the stand-ins register
// themselves again afterwards.
class ClerkClassUnregistered {
 public:
  ClerkClassUnregistered() : deleted_(RegDeleteTreeW(HKEY_CLASSES_ROOT, kClerkClassKey)) {}
  ~ClerkClassUnregistered() { RegisterServerIn(BesideTestExecutable(L"HostStandins.dll")); }
  ClerkClassUnregistered(const ClerkClassUnregistered&) = delete;
  ClerkClassUnregistered& operator=(const ClerkClassUnregistered&) = delete;
  LONG deleted() const { return deleted_; }

 private:
  LONG deleted_;
};

}  // namespace

TEST(VelmoractlDoctor, ControlClassServedByADllOfTheOtherArchitectureFails) {
  TempFolder folder;
  const std::wstring fake = folder.Add(L"Velmora.dll");
  WriteOtherArchitectureDll(fake);
  ClientRun run;
  {
    ControlClassServedBy planted(fake);
    ASSERT_EQ(planted.written(), ERROR_SUCCESS);
    run = RunClient(L"doctor");
  }
  EXPECT_EQ(run.exitCode, kFailure) << run.out;
  const ReportEntry entry = Entry(run.out, "control class");
  EXPECT_EQ(entry.line, "fail  control class: " + Narrow(kClsidText) + " -> " + Narrow(fake) +
                            " is a " + kOtherBits + " DLL (" +
                            (kIs64 ? "PE32, i386" : "PE32+, x86-64") + "); a " + kBits +
                            " host cannot load it")
      << run.out;
  EXPECT_THAT(entry.next, StartsWith("      fix: register the " + kBits +
                                     " build of Velmora.dll with \""));
}

TEST(VelmoractlDoctor, InstallPathNamingAnEmptyFolderWarnsOfTheLoggerLibrary) {
  TempFolder folder;  // no trailing backslash: the path gets one before the file name
  const std::string expected = Narrow(folder.path()) + "\\LoggerDLL.dll";
  ClientRun run;
  {
    logger_test::ScopedInstallPath path(folder.path());
    run = RunClient(L"doctor --quiet");
  }
  // Logging never fails a request: the module copes by logging nothing.
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  EXPECT_EQ(Entry(run.out, "logger install path").line, "") << "an ok line in --quiet";
  const ReportEntry entry = Entry(run.out, "logger library");
  EXPECT_EQ(entry.line, "warn  logger library: " + expected + " does not exist") << run.out;
  EXPECT_THAT(entry.next, StartsWith("      fix: put the " + kBits +
                                     " LoggerDLL.dll into that folder, or point "));
  EXPECT_THAT(entry.next, HasSubstr("; until then the module logs nothing"));
  EXPECT_EQ(Entry(run.out, "logger entry points").line,
            "warn  logger entry points: not checked: the logger library check warned");
}

TEST(VelmoractlDoctor, RelativeInstallPathFailsWithItsFix) {
  ClientRun run;
  {
    logger_test::ScopedInstallPath path(L"logs\\lib");
    run = RunClient(L"doctor --quiet");
  }
  EXPECT_EQ(run.exitCode, kFailure) << run.out;
  const ReportEntry entry = Entry(run.out, "logger install path");
  EXPECT_EQ(entry.line,
            "fail  logger install path: HKLM\\SOFTWARE\\Meridax\\Framework\\Logger "
            "\"InstallPath\" is \"logs\\lib\", not a full path: the module loads the bare name "
            "LoggerDLL.dll from the host program's folder, the system folder or a folder the "
            "host added for DLLs, never from the current folder or PATH")
      << run.out;
  EXPECT_EQ(entry.next, "      fix: make InstallPath a full path");
}

TEST(VelmoractlDoctor, RealtimeTableClassUnregisteredFails) {
  ClientRun run;
  {
    ClerkClassUnregistered unregistered;
    ASSERT_EQ(unregistered.deleted(), ERROR_SUCCESS);
    run = RunClient(L"doctor");
  }
  EXPECT_EQ(run.exitCode, kFailure) << run.out;
  const ReportEntry entry = Entry(run.out, "realtime table");
  EXPECT_EQ(entry.line, "fail  realtime table: ProcessRealtimeClerkObject "
                        "{A30E1E20-5417-11D3-87F1-00A0C982C01C} is not registered in the " +
                            kBits + " view")
      << run.out;
  EXPECT_THAT(entry.next, StartsWith("      fix: register the host's " + kBits +
                                     " ProcessRealtimeClerkObject server with \""));
  EXPECT_THAT(entry.next, HasSubstr("fails with E_INVALIDARG"));
}
