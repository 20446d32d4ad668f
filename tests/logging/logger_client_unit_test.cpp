// The logging client over a scripted registry, loader and library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "logging/LoggerClient.h"
#include "tests/logging/FakeLoggerOs.h"

using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

constexpr wchar_t kBareName[] = L"LoggerDLL.dll";

class LoggerClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fakeLibrary = &library;
    os.SetInstallPath(L"C:\\Logger");
    client.reset(new LoggerClient(os));
  }
  void TearDown() override { g_fakeLibrary = nullptr; }

  // Connects and forgets what connecting asked of the library.
  void Connect() {
    ASSERT_TRUE(client->EnsureConnected());
    std::lock_guard<std::mutex> lock(library.mutex);
    library.calls.clear();
    library.handles.clear();
    library.identities.clear();
  }

  FakeLibrary library;
  FakeLoggerOs os;
  std::unique_ptr<LoggerClient> client;
};

// --- Finding the library -----------------------------------------------------

TEST_F(LoggerClientTest, InstallPathWithOrWithoutSeparatorLoadsTheSameFile) {
  for (const wchar_t* dir : {L"C:\\Logger", L"C:\\Logger\\"}) {
    FakeLoggerOs fresh;
    fresh.SetInstallPath(dir);
    LoggerClient c(fresh);
    EXPECT_TRUE(c.EnsureConnected());
    EXPECT_THAT(fresh.loadedPaths, ElementsAre(L"C:\\Logger\\LoggerDLL.dll")) << dir;
    EXPECT_EQ(fresh.queryBufferBytes, 522u);
    EXPECT_EQ(fresh.keyOpens, 1);
    EXPECT_EQ(fresh.keyCloses, 1);
  }
}

TEST_F(LoggerClientTest, InstallPathLibraryTakesItsImportsFromItsOwnFolder) {
  const DWORD ownFolderFirst = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  EXPECT_TRUE(client->EnsureConnected());
  EXPECT_THAT(os.loadFlags, ElementsAre(ownFolderFirst));

  // Where the system refuses those flags, the same file with the older one.
  FakeLoggerOs old;
  old.SetInstallPath(L"C:\\Logger");
  old.searchFlagsRefused = true;
  LoggerClient c(old);
  EXPECT_TRUE(c.EnsureConnected());
  const wchar_t* path = L"C:\\Logger\\LoggerDLL.dll";
  EXPECT_THAT(old.loadedPaths, ElementsAre(path, path));
  EXPECT_THAT(old.loadFlags, ElementsAre(ownFolderFirst, LOAD_WITH_ALTERED_SEARCH_PATH));
}

// A value that names a folder only relative to the process's current folder
// or drive is unusable, like one too long: the bare name comes from the safe
// places instead.
TEST_F(LoggerClientTest, InstallPathThatIsNotAFullPathLoadsTheBareName) {
  for (const wchar_t* dir : {L"logs\\lib", L".\\", L"..\\Logger", L"C:logs", L"C:",
                             L"\\Logger", L"/Logger", L"1:\\Logger", L"Logger"}) {
    FakeLoggerOs fresh;
    fresh.SetInstallPath(dir);
    LoggerClient c(fresh);
    EXPECT_TRUE(c.EnsureConnected());
    EXPECT_THAT(fresh.loadedPaths, ElementsAre(kBareName)) << dir;
    EXPECT_THAT(fresh.loadFlags, ElementsAre(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) << dir;
  }
  for (const wchar_t* dir : {L"\\\\server\\share\\Logger", L"\\\\?\\C:\\Logger", L"c:/Logger",
                             L"//server/share"}) {
    FakeLoggerOs fresh;
    fresh.SetInstallPath(dir);
    LoggerClient c(fresh);
    EXPECT_TRUE(c.EnsureConnected());
    EXPECT_THAT(fresh.loadedPaths, ElementsAre(std::wstring(dir) + L"\\LoggerDLL.dll")) << dir;
  }
}

TEST_F(LoggerClientTest, MissingKeyValueOrEmptyPathLoadsTheBareName) {
  for (int scenario = 0; scenario < 3; ++scenario) {
    FakeLoggerOs fresh;
    if (scenario == 0) fresh.keyExists = false;
    if (scenario == 1) fresh.valueExists = false;
    if (scenario == 2) fresh.SetInstallPath(L"");
    LoggerClient c(fresh);
    EXPECT_TRUE(c.EnsureConnected());
    EXPECT_THAT(fresh.loadedPaths, ElementsAre(kBareName)) << scenario;
    EXPECT_THAT(fresh.loadFlags, ElementsAre(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) << scenario;
    EXPECT_EQ(fresh.keyCloses, scenario == 0 ? 0 : 1) << scenario;
  }
}

TEST_F(LoggerClientTest, BareNameNeverFallsBackToTheSearchOrderThatTakesTheCurrentFolder) {
  os.SetInstallPath(L"");
  os.loadSucceeds = false;  // missing from every folder the host decides on
  EXPECT_FALSE(client->EnsureConnected());
  EXPECT_THAT(os.loadFlags, ElementsAre(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));

  // Where the flags are refused: the host's folder, then the system folder,
  // by full path, on every retry.
  os.searchFlagsRefused = true;
  os.loadedPaths.clear();
  os.loadFlags.clear();
  EXPECT_FALSE(client->EnsureConnected());
  EXPECT_FALSE(client->EnsureConnected());
  const wchar_t* host = L"C:\\Host\\LoggerDLL.dll";
  const wchar_t* system = L"C:\\Windows\\system32\\LoggerDLL.dll";
  EXPECT_THAT(os.loadedPaths, ElementsAre(kBareName, host, system, kBareName, host, system));
  EXPECT_THAT(os.loadFlags, ElementsAre(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, 0, 0,
                                        LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, 0, 0));
  os.loadSucceeds = true;
  os.loadedPaths.clear();
  EXPECT_TRUE(client->EnsureConnected());
  EXPECT_THAT(os.loadedPaths, ElementsAre(kBareName, host));
}

TEST_F(LoggerClientTest, AnyValueTypeIsAccepted) {
  os.SetInstallPath(L"D:\\Expand");
  os.valueType = REG_EXPAND_SZ;
  EXPECT_TRUE(client->EnsureConnected());
  EXPECT_THAT(os.loadedPaths, ElementsAre(L"D:\\Expand\\LoggerDLL.dll"));
}

TEST_F(LoggerClientTest, PathsThatDoNotFitFallBackToTheBareName) {
  // 246 characters + "\" + "LoggerDLL.dll" + terminator fill the 261 exactly.
  const std::wstring fits = L"C:\\" + std::wstring(243, L'a');
  {
    FakeLoggerOs fresh;
    fresh.SetInstallPath(fits);
    LoggerClient c(fresh);
    c.EnsureConnected();
    EXPECT_THAT(fresh.loadedPaths, ElementsAre(fits + L"\\LoggerDLL.dll"));
    EXPECT_EQ(fresh.loadedPaths[0].size(), 260u);
  }
  for (const std::wstring& dir : {fits + L"b", fits + L"\\\\", std::wstring(259, L'c')}) {
    FakeLoggerOs fresh;
    fresh.SetInstallPath(dir);
    LoggerClient c(fresh);
    c.EnsureConnected();
    EXPECT_THAT(fresh.loadedPaths, ElementsAre(kBareName)) << dir.size();
  }
}

TEST_F(LoggerClientTest, ValueFillingOrExceedingTheBufferLoadsTheBareName) {
  // 261 characters without a terminator: the read succeeds, the string does not end.
  os.valueType = REG_BINARY;
  os.valueData.assign(522, 'a');
  EXPECT_TRUE(client->EnsureConnected());
  EXPECT_THAT(os.loadedPaths, ElementsAre(kBareName));

  FakeLoggerOs longer;
  longer.SetInstallPath(std::wstring(300, L'x'));  // the read fails with ERROR_MORE_DATA
  LoggerClient c(longer);
  EXPECT_TRUE(c.EnsureConnected());
  EXPECT_THAT(longer.loadedPaths, ElementsAre(kBareName));
}

TEST_F(LoggerClientTest, UnloadableLibraryIsRetriedOnEveryOperationWithoutFallback) {
  os.loadSucceeds = false;
  EXPECT_FALSE(client->IsCategoryEnabled(kLogError));
  client->LogError(L"lost %d", 1);
  EXPECT_EQ(client->GetLogFlag(kLogInfo), 0u);
  EXPECT_FALSE(client->SetIdentityName(L"x"));
  EXPECT_EQ(client->RegisterLogFlag(11, L"CorvaneTrace"), 0u);
  client->LogCustom(5, L"lost");
  // The category test tries twice: once for the flag, once to ask about it.
  EXPECT_EQ(os.keyOpens, 7);
  EXPECT_EQ(os.keyCloses, 7);
  EXPECT_EQ(os.loadedPaths, std::vector<std::wstring>(7, L"C:\\Logger\\LoggerDLL.dll"));
  EXPECT_TRUE(os.resolvedNames.empty());
  EXPECT_TRUE(client->Shutdown());
  EXPECT_EQ(os.frees, 0);
}

// --- Entry points and connection ---------------------------------------------

TEST_F(LoggerClientTest, ResolvesAllFortyNamesInTableOrderOnce) {
  client->EnsureConnected();
  client->LogInfo(L"again");
  ASSERT_EQ(os.resolvedNames.size(), 40u);
  EXPECT_EQ(os.resolvedNames.front(), "LOGSTART");
  EXPECT_EQ(os.resolvedNames[6], "REGISTERLOGFLAG");
  EXPECT_EQ(os.resolvedNames[32], "LOGCUSTOM2");
  EXPECT_EQ(os.resolvedNames[34], "GETLOGFLAG");
  EXPECT_EQ(os.resolvedNames[37], "REGISTERLOGGERCLIENT");
  EXPECT_EQ(os.resolvedNames.back(), "LOGFLAGLOG");
  for (int i = 0; i < kLoggerEntryPointCount; ++i)
    EXPECT_EQ(os.resolvedNames[i], kLoggerEntryPointNames[i]);
}

TEST_F(LoggerClientTest, ConnectsOnceAndNamesItselfAfterItsModuleFile) {
  EXPECT_TRUE(client->EnsureConnected());
  EXPECT_TRUE(client->EnsureConnected());
  EXPECT_EQ(library.registrations, 1);
  EXPECT_THAT(library.identities, ElementsAre(L"Velmora"));
  EXPECT_EQ(os.moduleAsked, os.ownModule);
  EXPECT_EQ(os.moduleCharsGiven, 260u);
  EXPECT_EQ(os.findPathAsked, os.modulePath);
  EXPECT_EQ(os.findCloses, 1);
  EXPECT_EQ(library.handles, std::vector<int>{42});
}

TEST_F(LoggerClientTest, MissingEntryPointsSilenceOnlyTheirOperations) {
  os.missingExports = {"LOGWARNING", "SETIDENTITYNAME", "REGISTERLOGFLAG"};
  Connect();
  client->LogWarning(L"dropped");
  client->LogError(L"kept");
  EXPECT_FALSE(client->SetIdentityName(L"Pellisant"));
  EXPECT_EQ(client->RegisterLogFlag(11, L"CorvaneTrace"), 0u);
  EXPECT_THAT(library.messages, ElementsAre(Pair("LOGERROR", L"kept")));
}

TEST_F(LoggerClientTest, WithoutRegistrationNothingIsEverLogged) {
  os.missingExports = {"REGISTERLOGGERCLIENT"};
  EXPECT_FALSE(client->EnsureConnected());
  EXPECT_FALSE(client->IsCategoryEnabled(kLogError));
  client->LogError(L"never");
  client->LogCustom(1, L"never");
  EXPECT_TRUE(library.calls.empty());
  EXPECT_EQ(os.loadedPaths.size(), 1u);  // loaded once, kept loaded
}

TEST_F(LoggerClientTest, RegistrationThatWritesNoHandleIsRetriedEachOperation) {
  library.registerWritesHandle = false;
  EXPECT_FALSE(client->EnsureConnected());
  client->LogError(L"never");
  EXPECT_EQ(client->GetLogFlag(kLogError), 0u);
  EXPECT_EQ(library.registrations, 3);
  EXPECT_EQ(os.loadedPaths.size(), 1u);
  EXPECT_TRUE(library.messages.empty());
  EXPECT_TRUE(library.identities.empty());

  library.registerWritesHandle = true;
  client->LogError(L"now");
  EXPECT_THAT(library.messages, ElementsAre(Pair("LOGERROR", L"now")));
}

TEST_F(LoggerClientTest, ConcurrentFirstUseRegistersExactlyOnce) {
  library.registerDelayMs = 50;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < 16; ++i)
    threads.emplace_back([&, i] {
      WaitForSingleObject(go, INFINITE);
      client->LogError(L"thread %d", i);
    });
  SetEvent(go);
  for (std::thread& t : threads) t.join();
  CloseHandle(go);
  EXPECT_EQ(library.registrations, 1);
  EXPECT_EQ(os.loadedPaths.size(), 1u);
  EXPECT_EQ(library.identities.size(), 1u);
  EXPECT_EQ(library.Count("LOGERROR"), 16);
  for (int handle : library.handles) EXPECT_EQ(handle, 42);
}

// --- Identity ----------------------------------------------------------------

TEST_F(LoggerClientTest, UnfindableModuleFileGivesItsPathMarkedInvalid) {
  os.findSucceeds = false;
  client->EnsureConnected();
  EXPECT_THAT(library.identities, ElementsAre(os.modulePath + L" - Invalid Name"));
  EXPECT_EQ(os.findCloses, 0);
}

TEST_F(LoggerClientTest, LongestModulePathKeepsTheWholeInvalidMark) {
  os.findSucceeds = false;
  os.modulePath = L"C:\\" + std::wstring(256, L'p');  // 259 characters, the most that fit
  client->EnsureConnected();
  ASSERT_EQ(library.identities.size(), 1u);
  EXPECT_EQ(library.identities[0], os.modulePath + L" - Invalid Name");
  EXPECT_EQ(library.identities[0].size(), 274u);
}

TEST_F(LoggerClientTest, PathCutByTheSystemIsStillTerminated) {
  os.findSucceeds = false;
  os.modulePath = L"C:\\" + std::wstring(400, L'q');
  client->EnsureConnected();
  ASSERT_EQ(library.identities.size(), 1u);
  EXPECT_EQ(library.identities[0], os.modulePath.substr(0, 259) + L" - Invalid Name");
}

TEST_F(LoggerClientTest, GivenIdentityReplacesTheModuleNameAndReportsTheLowByte) {
  EXPECT_TRUE(client->SetIdentityName(L"Pellisant"));
  EXPECT_THAT(library.identities, ElementsAre(L"Velmora", L"Pellisant"));
  library.setIdentityResult = 0x100;
  EXPECT_FALSE(client->SetIdentityName(L"Other"));
}

TEST_F(LoggerClientTest, RegisterLogFlagPassesNumberAndName) {
  Connect();
  EXPECT_EQ(client->RegisterLogFlag(11, L"CorvaneTrace"), 0x10000u);
  EXPECT_THAT(library.registeredFlags, ElementsAre(Pair(11, L"CorvaneTrace")));
  EXPECT_EQ(library.handles, std::vector<int>{42});
}

// --- Flags ---------------------------------------------------------------------

TEST_F(LoggerClientTest, IndexesOutsideTheCacheMakeNoCallAtAll) {
  EXPECT_EQ(client->GetLogFlag(-1), 0u);
  EXPECT_EQ(client->GetLogFlag(11), 0u);
  EXPECT_TRUE(os.loadedPaths.empty());
  Connect();
  EXPECT_EQ(client->GetLogFlag(-1), 0u);
  EXPECT_EQ(client->GetLogFlag(11), 0u);
  EXPECT_TRUE(library.calls.empty());
}

TEST_F(LoggerClientTest, ZeroFromLogStartGivesFlagZeroButStillAsksLogFlagLog) {
  library.logStartResult = 0;
  Connect();
  for (int index = 0; index <= 10; ++index) EXPECT_EQ(client->GetLogFlag(index), 0u);
  EXPECT_EQ(library.Count("GETLOGFLAG"), 0);
  EXPECT_EQ(library.Count("LOGSTART"), 11);
  library.logFlagLogResult = 0;
  EXPECT_FALSE(client->IsCategoryEnabled(kLogTrace));
  EXPECT_THAT(library.flagLogQueries, ElementsAre(Pair(0u, 0)));
}

TEST_F(LoggerClientTest, NonZeroFlagIsFetchedOnceWithAllElevenCategories) {
  Connect();
  EXPECT_EQ(client->GetLogFlag(kLogTrace), 0x8u);
  EXPECT_EQ(client->GetLogFlag(kLogTrace), 0x8u);
  EXPECT_EQ(client->GetLogFlag(kLogError), 0x1u);  // filled by the same refresh
  EXPECT_EQ(library.Count("LOGSTART"), 1);
  EXPECT_THAT(library.flagIndexes, ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
}

TEST_F(LoggerClientTest, ZeroFlagCostsAFullRefreshOnEveryQuery) {
  for (DWORD& flag : library.flags) flag = 0;
  library.flags[3] = 0x8;
  Connect();
  EXPECT_EQ(client->GetLogFlag(kLogError), 0u);
  EXPECT_EQ(client->GetLogFlag(kLogError), 0u);
  EXPECT_EQ(library.Count("LOGSTART"), 2);
  EXPECT_EQ(library.Count("GETLOGFLAG"), 22);
  EXPECT_EQ(client->GetLogFlag(kLogTrace), 0x8u);  // cached by those refreshes
  EXPECT_EQ(library.Count("LOGSTART"), 2);
}

TEST_F(LoggerClientTest, MissingGetLogFlagLeavesEveryFlagZero) {
  os.missingExports = {"GETLOGFLAG"};
  Connect();
  EXPECT_EQ(client->GetLogFlag(kLogError), 0u);
  EXPECT_EQ(library.Count("LOGSTART"), 1);
}

TEST_F(LoggerClientTest, FlagEnabledIsTheLowByteOfLogFlagLog) {
  Connect();
  library.logFlagLogResult = 0x100;
  EXPECT_FALSE(client->IsFlagEnabled(0x20000));
  library.logFlagLogResult = 0x101;
  EXPECT_TRUE(client->IsFlagEnabled(0x20000));
  EXPECT_TRUE(client->IsCategoryEnabled(kLogWarning));
  EXPECT_THAT(library.flagLogQueries,
              ElementsAre(Pair(0x20000u, 0), Pair(0x20000u, 0), Pair(0x2u, 0)));
}

// --- Messages ------------------------------------------------------------------

TEST_F(LoggerClientTest, EachMessageGoesFormattedToItsEntryPoint) {
  Connect();
  client->LogError(L"%s=%d", L"code", -5);
  client->LogWarning(L"%x", 0xBEEFu);
  client->LogInfo(L"%.3f s", 1.5);
  client->LogTrace(L"%ld%%", 7L);
  client->LogCustom(0x10000, L"custom %s", L"text");
  EXPECT_THAT(library.messages,
              ElementsAre(Pair("LOGERROR", L"code=-5"), Pair("LOGWARNING", L"beef"),
                          Pair("LOGINFO", L"1.500 s"), Pair("LOGTRACE", L"7%"),
                          Pair("LOGCUSTOM2", L"custom text")));
  EXPECT_THAT(library.customFlags, ElementsAre(0x10000u));
  EXPECT_EQ(library.handles, std::vector<int>(5, 42));
}

TEST_F(LoggerClientTest, LongMessagesAreCutAndAlwaysTerminated) {
  Connect();
  const size_t lengths[] = {8191, 8192, 8193, 20000};
  for (size_t length : lengths) {
    const std::wstring text(length, L'm');
    client->LogInfo(L"%s", text.c_str());
    client->LogCustom(3, L"%s", text.c_str());
  }
  ASSERT_EQ(library.messages.size(), 8u);
  for (const auto& message : library.messages)
    EXPECT_EQ(message.second, std::wstring(8191, L'm')) << message.first;
}

// --- Shutdown --------------------------------------------------------------------

TEST_F(LoggerClientTest, ShutdownUnregistersUnloadsAndStartsOverAfterwards) {
  Connect();
  EXPECT_EQ(client->GetLogFlag(kLogInfo), 0x4u);
  EXPECT_TRUE(client->Shutdown());
  EXPECT_EQ(library.Count("UNREGISTERLOGGERCLIENT"), 1);
  EXPECT_EQ(library.handles.back(), 42);
  EXPECT_EQ(os.frees, 1);

  client->LogInfo(L"after");
  EXPECT_EQ(os.loadedPaths.size(), 2u);
  EXPECT_EQ(library.registrations, 2);
  EXPECT_EQ(client->GetLogFlag(kLogInfo), 0x4u);
  EXPECT_EQ(library.Count("LOGSTART"), 2);  // the cache was emptied
}

TEST_F(LoggerClientTest, FailedUnloadKeepsTheLibraryForTheNextRegistration) {
  Connect();
  os.freeSucceeds = false;
  EXPECT_FALSE(client->Shutdown());
  client->LogError(L"again");
  EXPECT_EQ(os.loadedPaths.size(), 1u);
  EXPECT_EQ(library.registrations, 2);
  EXPECT_THAT(library.messages, ElementsAre(Pair("LOGERROR", L"again")));
}

TEST_F(LoggerClientTest, ShutdownWithoutLibraryDoesNothing) {
  EXPECT_TRUE(client->Shutdown());
  EXPECT_TRUE(os.loadedPaths.empty());
  EXPECT_EQ(os.frees, 0);
}

}  // namespace
