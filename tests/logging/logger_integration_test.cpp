// The logging client against the real stand-in LoggerDLL.dll under Wine. Each
// test runs in a process of its own, so the process-wide client starts fresh.
#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

#include "Velmora.h"
#include "logging/LoggerClient.h"
#include "tests/logging/LoggerTestEnv.h"

namespace {

using logger_test::BinDir;
using logger_test::LoggerCallCount;
using logger_test::ScopedEnvironment;
using logger_test::ScopedInstallPath;
using logger_test::ScopedLogFile;
using logger_test::VariantDir;

LoggerClient& Client() { return LoggerClient::Instance(); }

// Full path of the LoggerDLL.dll loaded in this process, or "".
std::wstring LoadedLoggerPath() {
  HMODULE logger = GetModuleHandleW(L"LoggerDLL.dll");
  if (!logger) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(logger, path, MAX_PATH);
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

std::wstring WithoutSeparator(std::wstring dir) {
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return dir;
}

// A folder that holds no LoggerDLL.dll.
std::wstring EmptyFolder() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + L"velmora-no-logger";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

// --- Finding the library -------------------------------------------------------

TEST(LoggerLibraryPath, InstallPathWithoutSeparator) {
  ScopedInstallPath path(WithoutSeparator(VariantDir(L"plain")));
  ASSERT_TRUE(Client().EnsureConnected());
  EXPECT_TRUE(SamePath(LoadedLoggerPath(), VariantDir(L"plain") + L"LoggerDLL.dll"))
      << LoadedLoggerPath().c_str();
}

TEST(LoggerLibraryPath, InstallPathWithSeparator) {
  ScopedInstallPath path(VariantDir(L"plain"));
  ASSERT_TRUE(Client().EnsureConnected());
  EXPECT_TRUE(SamePath(LoadedLoggerPath(), VariantDir(L"plain") + L"LoggerDLL.dll"));
}

TEST(LoggerLibraryPath, MissingKeyLoadsTheBareNameFromTheProgramFolder) {
  ScopedInstallPath path = ScopedInstallPath::Removed();
  ASSERT_TRUE(Client().EnsureConnected());
  EXPECT_TRUE(SamePath(LoadedLoggerPath(), BinDir() + L"LoggerDLL.dll"));
}

TEST(LoggerLibraryPath, EmptyValueLoadsTheBareName) {
  ScopedInstallPath path(L"");
  ASSERT_TRUE(Client().EnsureConnected());
  EXPECT_TRUE(SamePath(LoadedLoggerPath(), BinDir() + L"LoggerDLL.dll"));
}

TEST(LoggerLibraryPath, DirectoryTooLongForTheFileNameLoadsTheBareName) {
  ScopedInstallPath path(VariantDir(L"plain") + std::wstring(250, L'x'));
  ASSERT_TRUE(Client().EnsureConnected());
  EXPECT_TRUE(SamePath(LoadedLoggerPath(), BinDir() + L"LoggerDLL.dll"));
}

TEST(LoggerLibraryPath, NoLibraryLeavesEveryOperationQuiet) {
  ScopedInstallPath path(EmptyFolder());
  ScopedLogFile log;
  EXPECT_FALSE(Client().EnsureConnected());
  EXPECT_FALSE(Client().IsCategoryEnabled(kLogError));
  EXPECT_EQ(Client().GetLogFlag(kLogError), 0u);
  EXPECT_FALSE(Client().SetIdentityName(L"Pellisant"));
  EXPECT_EQ(Client().RegisterLogFlag(11, L"CorvaneTrace"), 0u);
  LOG_ERROR(L"lost %d", 1);
  LOG_MODULE(L"lost %s", L"too");
  Client().LogInfo(L"lost");
  EXPECT_TRUE(LoadedLoggerPath().empty());
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_TRUE(Client().Shutdown());
}

// --- Flags -----------------------------------------------------------------------

TEST(LoggerFlags, IndexesOutsideTheCacheDoNotEvenLoadTheLibrary) {
  ScopedInstallPath path(VariantDir(L"plain"));
  EXPECT_EQ(Client().GetLogFlag(-1), 0u);
  EXPECT_EQ(Client().GetLogFlag(11), 0u);
  EXPECT_TRUE(LoadedLoggerPath().empty());
  ASSERT_TRUE(Client().EnsureConnected());
  EXPECT_EQ(Client().GetLogFlag(-1), 0u);
  EXPECT_EQ(Client().GetLogFlag(11), 0u);
  EXPECT_EQ(LoggerCallCount("LOGSTART"), 0);
  EXPECT_EQ(LoggerCallCount("GETLOGFLAG"), 0);
}

TEST(LoggerFlags, LogStartOfZeroGivesFlagZeroAndLogFlagLogIsStillAsked) {
  ScopedInstallPath path(VariantDir(L"nologstart"));
  ScopedEnvironment all(L"VELMORA_LOGGER_ENABLE", L"all");
  for (int index = 0; index <= 10; ++index) EXPECT_EQ(Client().GetLogFlag(index), 0u);
  EXPECT_EQ(LoggerCallCount("GETLOGFLAG"), 0);
  EXPECT_FALSE(Client().IsCategoryEnabled(kLogError));
  EXPECT_EQ(LoggerCallCount("LOGFLAGLOG"), 1);
}

TEST(LoggerFlags, NonZeroFlagIsFetchedOnce) {
  ScopedInstallPath path(VariantDir(L"plain"));
  const DWORD trace = Client().GetLogFlag(kLogTrace);
  EXPECT_NE(trace, 0u);
  EXPECT_EQ(Client().GetLogFlag(kLogTrace), trace);
  Client().IsCategoryEnabled(kLogTrace);
  EXPECT_EQ(LoggerCallCount("LOGSTART"), 1);
  EXPECT_EQ(LoggerCallCount("GETLOGFLAG"), 11);
}

TEST(LoggerFlags, ZeroFlagIsFetchedAgainOnEveryQuery) {
  ScopedInstallPath path(VariantDir(L"traceonly"));
  EXPECT_NE(Client().GetLogFlag(kLogTrace), 0u);
  EXPECT_EQ(Client().GetLogFlag(kLogError), 0u);
  EXPECT_EQ(Client().GetLogFlag(kLogError), 0u);
  EXPECT_NE(Client().GetLogFlag(kLogTrace), 0u);
  EXPECT_EQ(LoggerCallCount("LOGSTART"), 3);
  EXPECT_EQ(LoggerCallCount("GETLOGFLAG"), 33);
}

// --- Messages --------------------------------------------------------------------

TEST(LoggerMessages, EnabledMessagesReachTheFileUnderTheProgramsIdentity) {
  ScopedInstallPath path(VariantDir(L"plain"));
  ScopedEnvironment enable(L"VELMORA_LOGGER_ENABLE", L"Error, info,CorvaneTrace");
  ScopedLogFile log;
  const DWORD custom = Client().RegisterLogFlag(11, L"CorvaneTrace");
  for (int index = 0; index <= 10; ++index) EXPECT_NE(custom, Client().GetLogFlag(index));
  EXPECT_NE(custom, 0u);
  LOG_ERROR(L"failed with %d at %x", -3, 0xABCu);
  LOG_WARNING(L"not wanted");
  LOG_INFO(L"%s took %.3f s", L"start", 0.25);
  LOG_TRACE(L"not wanted");
  Client().LogCustom(custom, L"module %s", L"trace");
  Client().LogCustom(0, L"flag zero is nobody's");

  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].flag, L"Error");
  EXPECT_EQ(lines[0].text, L"failed with -3 at abc");
  EXPECT_EQ(lines[1].flag, L"Info");
  EXPECT_EQ(lines[1].text, L"start took 0.250 s");
  EXPECT_EQ(lines[2].flag, L"CorvaneTrace");
  EXPECT_EQ(lines[2].text, L"module trace");
  for (const auto& line : lines) {
    EXPECT_EQ(line.identity, L"logger_integration_test");
    EXPECT_EQ(line.pid, std::to_wstring(GetCurrentProcessId()));
    EXPECT_EQ(line.tid, std::to_wstring(GetCurrentThreadId()));
    EXPECT_EQ(line.time.size(), 23u);
  }
}

TEST(LoggerMessages, OverlongMessageArrivesCutAndTerminated) {
  ScopedInstallPath path(VariantDir(L"plain"));
  ScopedLogFile log;
  const std::wstring text(12000, L'z');
  Client().LogError(L"%s", text.c_str());
  Client().LogError(L"%s", std::wstring(8191, L'y').c_str());
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, std::wstring(8191, L'z'));
  EXPECT_EQ(lines[1].text, std::wstring(8191, L'y'));
}

TEST(LoggerMessages, LibraryWithoutSomeEntryPointsDropsOnlyThoseMessages) {
  ScopedInstallPath path(VariantDir(L"partial"));
  ScopedLogFile log;
  EXPECT_FALSE(Client().SetIdentityName(L"Pellisant"));
  EXPECT_EQ(Client().RegisterLogFlag(11, L"CorvaneTrace"), 0u);
  LOG_WARNING(L"dropped");
  LOG_ERROR(L"kept");
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, L"kept");
}

TEST(LoggerMessages, RegistrationThatIssuesNoHandleLogsNothingAndRetries) {
  ScopedInstallPath path(VariantDir(L"nohandle"));
  ScopedLogFile log;
  EXPECT_FALSE(Client().EnsureConnected());
  Client().LogError(L"never");
  EXPECT_FALSE(Client().IsCategoryEnabled(kLogError));
  EXPECT_EQ(LoggerCallCount("REGISTERLOGGERCLIENT"), 4);
  EXPECT_EQ(LoggerCallCount("LOGERROR"), 0);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(LoggerMessages, LibraryWithoutRegistrationLogsNothing) {
  ScopedInstallPath path(VariantDir(L"noregister"));
  ScopedLogFile log;
  EXPECT_FALSE(Client().EnsureConnected());
  LOG_ERROR(L"never");
  Client().LogError(L"never");
  EXPECT_FALSE(LoadedLoggerPath().empty());
  EXPECT_EQ(LoggerCallCount("LOGERROR"), 0);
  EXPECT_EQ(LoggerCallCount("LOGFLAGLOG"), 0);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(LoggerMessages, SixteenThreadsLoggingFirstRegisterOnce) {
  ScopedInstallPath path(VariantDir(L"plain"));
  ScopedLogFile log;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < 16; ++i)
    threads.emplace_back([go, i] {
      WaitForSingleObject(go, INFINITE);
      LOG_ERROR(L"thread %d of sixteen", i);
    });
  SetEvent(go);
  for (std::thread& t : threads) t.join();
  CloseHandle(go);
  EXPECT_EQ(LoggerCallCount("REGISTERLOGGERCLIENT"), 1);
  EXPECT_EQ(LoggerCallCount("SETIDENTITYNAME"), 1);
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 16u);
  for (const auto& line : lines) {
    EXPECT_EQ(line.identity, L"logger_integration_test");
    EXPECT_EQ(line.text.find(L"thread "), 0u) << line.text.c_str();
  }
}

TEST(LoggerMessages, ProcessesAppendingTogetherWriteWholeLines) {
  ScopedInstallPath path(VariantDir(L"plain"));
  ScopedLogFile log;
  constexpr int kChildren = 4;
  constexpr int kLinesEach = 40;
  std::vector<HANDLE> children;
  for (int i = 0; i < kChildren; ++i) {
    std::wstring command = L"\"" + BinDir() + L"logger_append_child.exe\" " +
                           std::to_wstring(kLinesEach);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    CloseHandle(process.hThread);
    children.push_back(process.hProcess);
  }
  for (HANDLE child : children) {
    EXPECT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(child, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(child);
  }
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kChildren * kLinesEach));
  for (const auto& line : lines) {
    EXPECT_EQ(line.identity, L"logger_append_child");
    EXPECT_EQ(line.text.size() - line.text.find(L' ', 5), 3005u) << line.text.substr(0, 12).c_str();
    EXPECT_EQ(line.text.substr(line.text.size() - 4), L" end");
  }
}

// --- Inside Velmora.dll ------------------------------------------------------------

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

GetClassObjectFn GetClassObjectOf(HMODULE module) {
  return reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
}

HRESULT RequestClassObject(HMODULE velmora) {
  void* object = nullptr;
  const HRESULT hr = GetClassObjectOf(velmora)(CLSID_SoftwareProcessControlManagerObject,
                                               IID_IClassFactory, &object);
  if (object) static_cast<IUnknown*>(object)->Release();
  return hr;
}

TEST(LoggerInVelmora, IdentityIsTheModuleNameThenPellisantAndUnloadUnregisters) {
  ScopedInstallPath path(BinDir());
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  // Hold the library so that its counters outlive Velmora's unload.
  HMODULE logger = LoadLibraryW((BinDir() + L"LoggerDLL.dll").c_str());
  ASSERT_NE(logger, nullptr);
  HMODULE velmora = LoadLibraryW((BinDir() + L"Velmora.dll").c_str());
  ASSERT_NE(velmora, nullptr);
  ASSERT_NE(GetClassObjectOf(velmora), nullptr);
  RequestClassObject(velmora);
  RequestClassObject(velmora);
  EXPECT_EQ(logger_test::LoggerIdentityHistory(),
            (std::vector<std::wstring>{L"Velmora", L"Pellisant"}));
  EXPECT_EQ(LoggerCallCount("REGISTERLOGGERCLIENT"), 1);
  EXPECT_EQ(LoggerCallCount("REGISTERLOGFLAG"), 1);
  EXPECT_EQ(LoggerCallCount("UNREGISTERLOGGERCLIENT"), 0);
  EXPECT_TRUE(FreeLibrary(velmora));
  EXPECT_EQ(GetModuleHandleW(L"Velmora.dll"), nullptr);
  EXPECT_EQ(LoggerCallCount("UNREGISTERLOGGERCLIENT"), 1);
  FreeLibrary(logger);
  CoUninitialize();
}

TEST(LoggerInVelmora, ClassObjectAnswersTheSameWithoutTheLibrary) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  HRESULT without = E_FAIL;
  {
    ScopedInstallPath path(EmptyFolder());
    HMODULE velmora = LoadLibraryW((BinDir() + L"Velmora.dll").c_str());
    ASSERT_NE(velmora, nullptr);
    without = RequestClassObject(velmora);
    EXPECT_TRUE(LoadedLoggerPath().empty());
    EXPECT_TRUE(FreeLibrary(velmora));
  }
  ScopedInstallPath path(BinDir());
  HMODULE velmora = LoadLibraryW((BinDir() + L"Velmora.dll").c_str());
  ASSERT_NE(velmora, nullptr);
  EXPECT_EQ(RequestClassObject(velmora), without);
  EXPECT_EQ(logger_test::LoggerIdentityHistory(),
            (std::vector<std::wstring>{L"Velmora", L"Pellisant"}));
  FreeLibrary(velmora);
  CoUninitialize();
}

}  // namespace
