// No administrator password reaches the host's logging library (the stand-in
// LoggerDLL.dll), with every flag enabled, whichever way a launch through the
// built module gets its account and wherever it fails. Under Wine the logon
// itself always succeeds, so the launches with an account fail at process
// creation; on Windows, with these made-up accounts, at the logon.
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "VelmoraModule.h"
#include "host/standins/AdminAccountStore.h"
#include "tests/logging/LoggerTestEnv.h"
#include "win32/ComApartment.h"

namespace {

using logger_test::BinDir;
using logger_test::ScopedEnvironment;
using logger_test::ScopedInstallPath;
using logger_test::ScopedLogFile;

constexpr HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404);

// Distinctive stems: no message text contains them by chance. The switch
// password ends in a switch of its own, so the scan acts on it (and traces
// that) while the password must still stay out of the message.
constexpr wchar_t kSwitchPasswordStem[] = L"Qv7Lanterns";
constexpr wchar_t kSwitchPasswordTail[] = L"-hiddencon";
constexpr wchar_t kStorePassword[] = L"Wx9Harbour";
constexpr wchar_t kHiddenConsoleTrace[] =
    L"FsNtProcessControl::InitializeProcess - set flag to CREATE_NO_WINDOW";

// The account store's key for the test's duration; no account before or after.
class ScopedAdminAccount {
 public:
  ScopedAdminAccount() { Remove(); }
  ~ScopedAdminAccount() { Remove(); }
  ScopedAdminAccount(const ScopedAdminAccount&) = delete;
  ScopedAdminAccount& operator=(const ScopedAdminAccount&) = delete;

  void Configure(const wchar_t* domain, const wchar_t* user, const wchar_t* password) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, velmora_host::kAdminAccountKey, 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    Set(key, velmora_host::kAdminDomainValue, domain);
    Set(key, velmora_host::kAdminUserNameValue, user);
    Set(key, velmora_host::kAdminPasswordValue, password);
    RegCloseKey(key);
  }

 private:
  static void Remove() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, velmora_host::kAdminAccountKey); }
  static void Set(HKEY key, const wchar_t* name, const wchar_t* value) {
    const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes),
              ERROR_SUCCESS);
  }
};

std::string LowerUtf8(const std::wstring& text) {
  std::string bytes(text.begin(), text.end());  // the stems are ASCII
  std::transform(bytes.begin(), bytes.end(), bytes.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return bytes;
}

// The whole log file, lower-cased: the switches reach the module lower-cased,
// so a leak could show either way.
std::string LowerFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::transform(bytes.begin(), bytes.end(), bytes.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return bytes;
}

TEST(PasswordLogging, NoPasswordReachesTheLoggingLibraryOnAnyLaunchPath) {
  ScopedInstallPath path(BinDir());
  ScopedEnvironment enable(L"VELMORA_LOGGER_ENABLE", L"all");
  ScopedLogFile log;
  ScopedAdminAccount account;
  ComApartment apartment(COINIT_MULTITHREADED);
  ASSERT_TRUE(SUCCEEDED(apartment.result()));

  VelmoraModule module;
  ASSERT_TRUE(module.Loaded());
  IClassFactory* factory = nullptr;
  ASSERT_EQ(module.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory)),
            S_OK);
  ISoftwareProcessControlManager* manager = nullptr;
  const HRESULT created = factory->CreateInstance(nullptr, IID_ISoftwareProcessControlManager,
                                                  reinterpret_cast<void**>(&manager));
  factory->Release();
  ASSERT_EQ(created, S_OK);

  // A program that exits at once, should a launch ever get that far.
  std::wstring program = BesideTestExecutable(L"process_test_child.exe");
  std::wstring noArgs;
  const std::wstring switchPassword = std::wstring(kSwitchPasswordStem) + kSwitchPasswordTail;
  auto start = [&](std::wstring ctrl) {
    BSTR identity = nullptr;
    const HRESULT hr = manager->StartSoftwareProcess(&program[0], &noArgs[0], &ctrl[0],
                                                     &identity);
    SysFreeString(identity);
    return hr;
  };

  // A complete "u" switch: logon, then creation under the account.
  EXPECT_EQ(start(L"-hiddencon -u Node7 CorvAdmin " + switchPassword), kLaunchFailed);
  // A short one: refused before any logon.
  EXPECT_EQ(start(L"-u Node7 " + switchPassword), kLaunchFailed);
  // No switch: the account store's administrator.
  account.Configure(L"NODE7", L"corvadmin", kStorePassword);
  EXPECT_EQ(start(L"-hiddencon"), kLaunchFailed);

  manager->Release();

  const std::string text = LowerFile(log.path());
  EXPECT_TRUE(text.find(LowerUtf8(kSwitchPasswordStem)) == std::string::npos)
      << "the \"u\" switch's password is in the log";
  EXPECT_TRUE(text.find(LowerUtf8(kStorePassword)) == std::string::npos)
      << "the account store's password is in the log";

  // The launches did log: each scan traced its "hiddencon" switches, the
  // one that ends the switch password included.
  int traces = 0;
  for (const logger_test::LogLine& line : log.Lines()) {
    if (line.flag == L"Trace" && line.text == kHiddenConsoleTrace) ++traces;
  }
  EXPECT_EQ(traces, 4);
}

}  // namespace
