// The launch on fakes: command line, logon paths, list and identity.
#include <gtest/gtest.h>

#include <string>

#include "process/FsNtProcessControl.h"
#include "tests/process/ProcessFakes.h"
#include "tests/process/ProcessListProbe.h"

using namespace process_test;

namespace {

constexpr HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404);

class LaunchTest : public ::testing::Test {
 protected:
  HRESULT Start(const wchar_t* name, const wchar_t* args, const wchar_t* ctrl) {
    SysFreeString(identity);
    identity = nullptr;
    return control.StartProcess(const_cast<LPWSTR>(name), const_cast<LPWSTR>(args),
                                const_cast<LPWSTR>(ctrl), &identity);
  }
  void TearDown() override { SysFreeString(identity); }

  FakeProcessApi api;
  FakeLog log;
  FsNtProcessControl control{nullptr, api, log};
  BSTR identity = nullptr;
};

TEST_F(LaunchTest, NullArguments) {
  EXPECT_EQ(control.StartProcess(const_cast<LPWSTR>(L"a.exe"), nullptr, nullptr, nullptr),
            E_POINTER);
  EXPECT_EQ(Start(nullptr, L"x", L""), E_INVALIDARG);
  EXPECT_TRUE(api.creates.empty());
  EXPECT_EQ(api.versionSizeSeen, sizeof(OSVERSIONINFOW));
  EXPECT_EQ(sizeof(OSVERSIONINFOW), 276u);
}

TEST_F(LaunchTest, UnderTheCallersAccountWhenTheStoreIsMissing) {
  ASSERT_EQ(Start(L"C:\\Program Files\\app.exe", L"-a 1", L""), S_OK);
  ASSERT_EQ(api.creates.size(), 1u);
  const CreateCall& call = api.creates[0];
  EXPECT_FALSE(call.asUser);
  EXPECT_EQ(call.commandLine, L"\"C:\\Program Files\\app.exe\" -a 1");
  EXPECT_EQ(call.flags, static_cast<DWORD>(CREATE_SUSPENDED));
  EXPECT_EQ(call.startupInfo.dwX, 800u);
  EXPECT_TRUE(api.logons.empty());
  EXPECT_TRUE(api.grants.empty());

  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].kind, kLogError);
  EXPECT_EQ(log.lines[0].text, L"Unable to CoCreate coclass CAdminAccountInfo. hr = 0x80040154");

  const PROCESS_INFORMATION& info = api.created[0];
  EXPECT_EQ(std::wstring(identity), L"Process_" + std::to_wstring(info.dwProcessId));
  ASSERT_EQ(api.resumed.size(), 1u);
  EXPECT_EQ(api.resumed[0], info.hThread);
  EXPECT_EQ(ProcessListProbe::Count(control), 1u);
  PROCESS_INFORMATION listed = {};
  ASSERT_TRUE(ProcessListProbe::Find(control, info.dwProcessId, &listed));
  EXPECT_EQ(listed.hProcess, info.hProcess);
  EXPECT_EQ(listed.hThread, info.hThread);
  EXPECT_EQ(listed.dwThreadId, info.dwThreadId);
  EXPECT_TRUE(api.IsOpen(info.hProcess));
  EXPECT_TRUE(api.IsOpen(info.hThread));
}

TEST_F(LaunchTest, NullArgumentsCountAsEmptyAndEveryLaunchAddsOneEntry) {
  ASSERT_EQ(Start(L"app.exe", nullptr, nullptr), S_OK);
  ASSERT_EQ(Start(L"app.exe", L"", nullptr), S_OK);
  EXPECT_EQ(api.creates[0].commandLine, L"\"app.exe\" ");
  EXPECT_EQ(ProcessListProbe::Count(control), 2u);
  EXPECT_EQ(std::wstring(identity), L"Process_3001");
}

TEST_F(LaunchTest, CommandLineThatDoesNotFitIsRefusedBeforeAnything) {
  // Quotes, name, blank and arguments: 511 characters fit with the terminator.
  std::wstring name(100, L'n');
  std::wstring args(511 - 3 - name.size(), L'a');
  ASSERT_EQ(Start(name.c_str(), args.c_str(), L""), S_OK);
  EXPECT_EQ(api.creates[0].commandLine.size(), 511u);

  args += L'a';
  EXPECT_EQ(Start(name.c_str(), args.c_str(), L""), E_INVALIDARG);
  EXPECT_EQ(api.creates.size(), 1u);
  EXPECT_EQ(api.adminCreates, 1);
  EXPECT_EQ(ProcessListProbe::Count(control), 1u);
}

TEST_F(LaunchTest, UserSwitchBatchLogonFirstFromVersionSix) {
  api.majorVersion = 6;
  ASSERT_EQ(Start(L"app.exe", L"", L"-u dom user pw"), S_OK);
  ASSERT_EQ(api.logons.size(), 1u);
  EXPECT_EQ(api.logons[0].type, static_cast<DWORD>(LOGON32_LOGON_BATCH));
  EXPECT_EQ(api.logons[0].provider, static_cast<DWORD>(LOGON32_PROVIDER_DEFAULT));
  EXPECT_EQ(api.logons[0].user, L"user");
  EXPECT_EQ(api.logons[0].domain, L"dom");
  EXPECT_EQ(api.logons[0].password, L"pw");
  EXPECT_EQ(api.adminCreates, 0);

  const HANDLE token = api.tokens[0];
  ASSERT_EQ(api.grants.size(), 1u);
  EXPECT_EQ(api.grants[0].first, token);
  EXPECT_EQ(api.grants[0].second, static_cast<DWORD>(GENERIC_ALL));
  ASSERT_EQ(api.creates.size(), 1u);
  EXPECT_TRUE(api.creates[0].asUser);
  EXPECT_EQ(api.creates[0].token, token);
  EXPECT_FALSE(api.IsOpen(token));  // closed after the launch
}

TEST_F(LaunchTest, UserSwitchFallsBackToInteractiveThenFails) {
  api.logonResults = {false, true};
  ASSERT_EQ(Start(L"app.exe", L"", L"-u dom user pw"), S_OK);
  ASSERT_EQ(api.logons.size(), 2u);
  EXPECT_EQ(api.logons[0].type, static_cast<DWORD>(LOGON32_LOGON_BATCH));
  EXPECT_EQ(api.logons[1].type, static_cast<DWORD>(LOGON32_LOGON_INTERACTIVE));
  EXPECT_TRUE(api.creates[0].asUser);

  api.logonResults = {false, false};
  EXPECT_EQ(Start(L"app.exe", L"", L"-u dom user pw"), kLaunchFailed);
  EXPECT_EQ(api.creates.size(), 1u);
  EXPECT_EQ(ProcessListProbe::Count(control), 1u);
  EXPECT_EQ(identity, nullptr);
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(LaunchTest, InteractiveLogonOnlyBelowVersionSix) {
  api.majorVersion = 5;
  api.logonResults = {false};
  EXPECT_EQ(Start(L"app.exe", L"", L"-u dom user pw"), kLaunchFailed);
  ASSERT_EQ(api.logons.size(), 1u);
  EXPECT_EQ(api.logons[0].type, static_cast<DWORD>(LOGON32_LOGON_INTERACTIVE));
  EXPECT_TRUE(api.creates.empty());
}

TEST_F(LaunchTest, ValuesLowerCasedByTheCallerReachTheLogonAsGiven) {
  wchar_t ctrl[] = L"-U DOM User PassWord -WIN";
  _wcslwr(ctrl);  // what the dispatch does before it calls the launch
  ASSERT_EQ(Start(L"app.exe", L"", ctrl), S_OK);
  EXPECT_EQ(api.logons[0].domain, L"dom");
  EXPECT_EQ(api.logons[0].user, L"user");
  EXPECT_EQ(api.logons[0].password, L"password");
  EXPECT_EQ(api.creates[0].startupInfo.wShowWindow, SW_SHOW);
}

TEST_F(LaunchTest, ShortUserSwitchFailsWithoutLogon) {
  EXPECT_EQ(Start(L"app.exe", L"", L"-u dom user"), kLaunchFailed);
  EXPECT_TRUE(api.logons.empty());
  EXPECT_EQ(api.adminCreates, 0);
  EXPECT_TRUE(api.creates.empty());
}

TEST_F(LaunchTest, AdministratorAccountFromTheStoreWithServiceLogon) {
  api.adminHr = S_OK;
  ASSERT_EQ(Start(L"app.exe", L"", L"-con"), S_OK);
  EXPECT_EQ(api.adminStore.calls, 1);
  EXPECT_TRUE(api.adminStore.argumentsWereNull);
  EXPECT_EQ(api.adminStore.refs, 1u);  // released after the logon
  ASSERT_EQ(api.logons.size(), 1u);
  EXPECT_EQ(api.logons[0].type, static_cast<DWORD>(LOGON32_LOGON_SERVICE));
  EXPECT_EQ(api.logons[0].user, L"osadmin");
  EXPECT_EQ(api.logons[0].domain, L"corp");
  EXPECT_EQ(api.logons[0].password, L"secret");
  ASSERT_EQ(api.creates.size(), 1u);
  EXPECT_TRUE(api.creates[0].asUser);
  EXPECT_EQ(api.creates[0].desktop, L"WinSta0\\Default");
  EXPECT_EQ(api.grants.size(), 1u);
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(LaunchTest, FailedAdministratorLogonHasNoFallback) {
  api.adminHr = S_OK;
  api.logonResults = {false};
  EXPECT_EQ(Start(L"app.exe", L"", L""), kLaunchFailed);
  EXPECT_EQ(api.logons.size(), 1u);
  EXPECT_TRUE(api.creates.empty());
  EXPECT_EQ(api.adminStore.refs, 1u);
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(LaunchTest, FailedCreationLeavesTheListAndReleasesTheToken) {
  api.createResult = false;
  EXPECT_EQ(Start(L"app.exe", L"", L"-u d u p"), kLaunchFailed);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty());
  EXPECT_EQ(Start(L"app.exe", L"", L""), kLaunchFailed);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
}

TEST_F(LaunchTest, UnallocatableIdentityLeavesNoSuspendedOrphan) {
  api.failAllocString = true;
  EXPECT_EQ(Start(L"app.exe", L"", L""), kLaunchFailed);
  ASSERT_EQ(api.created.size(), 1u);
  ASSERT_EQ(api.terminated.size(), 1u);
  EXPECT_EQ(api.terminated[0], api.created[0].hProcess);
  EXPECT_TRUE(api.resumed.empty());
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty());
  EXPECT_EQ(identity, nullptr);
}

// A stop of the same process id (an earlier program's identity, its id
// reused) runs on another thread while the launch has listed its process and
// not yet resumed it. The stop finds that program's event gone, takes the
// process for ended and removes the entry. The launch must neither resume a
// handle that stop closed nor hand out a program that nobody lists and that
// never runs: it fails cleanly.
TEST(LaunchRaceTest, StopOfTheSameIdBeforeTheResumeLeavesNoSuspendedOrphan) {
  FakeProcessApi api;
  FakeLog log;
  FakeClerk clerk;
  FsNtProcessControl control(&clerk, api, log);
  clerk.processId = api.nextPid;
  api.openEventError = ERROR_FILE_NOT_FOUND;
  HRESULT stopped = E_UNEXPECTED;
  api.onAllocString = [&] {
    stopped = control.StopProcess(const_cast<LPWSTR>(L"Process_3000"), 100, nullptr);
  };
  BSTR identity = nullptr;
  const HRESULT launched =
      control.StartProcess(const_cast<LPWSTR>(L"app.exe"), nullptr, nullptr, &identity);

  EXPECT_EQ(stopped, S_FALSE);
  ASSERT_EQ(api.created.size(), 1u);
  EXPECT_EQ(api.resumesOfClosedHandles, 0) << "ResumeThread got a closed handle";
  EXPECT_EQ(launched, kLaunchFailed);
  EXPECT_EQ(identity, nullptr);
  SysFreeString(identity);
  EXPECT_TRUE(api.resumed.empty());
  EXPECT_EQ(api.terminated, std::vector<HANDLE>{api.created[0].hProcess});
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty()) << api.open.size() << " handles open";
  EXPECT_EQ(api.badCloses, 0);
}

TEST_F(LaunchTest, DestructionReleasesTheListedHandles) {
  {
    FsNtProcessControl other(nullptr, api, log);
    BSTR id = nullptr;
    ASSERT_EQ(other.StartProcess(const_cast<LPWSTR>(L"a.exe"), nullptr, nullptr, &id), S_OK);
    SysFreeString(id);
    EXPECT_EQ(api.open.size(), 2u);
  }
  EXPECT_TRUE(api.open.empty());
  EXPECT_TRUE(api.terminated.empty());  // the process runs on
}

TEST(ProcessStatusTest, AsksTheTableAndPassesItsAnswerThrough) {
  FakeProcessApi api;
  FakeLog log;
  FakeClerk clerk;
  FsNtProcessControl control(&clerk, api, log);
  long status = -1;
  EXPECT_EQ(control.GetProcessStatus(const_cast<LPWSTR>(L"Process_1"), nullptr), E_POINTER);

  EXPECT_EQ(control.GetProcessStatus(const_cast<LPWSTR>(L"Process_1"), &status), S_OK);
  EXPECT_EQ(status, PROCESS_RUNNING_ACTIVE);
  EXPECT_EQ(clerk.lastIdentity, L"Process_1");
  EXPECT_EQ(clerk.idPresetSeen, 0u);
  EXPECT_EQ(clerk.statusPid, clerk.processId);
  EXPECT_EQ(clerk.statusPresetSeen, PROCESS_STOPPED);

  clerk.writeStatus = false;
  clerk.statusHr = E_FAIL;
  EXPECT_EQ(control.GetProcessStatus(const_cast<LPWSTR>(L"Process_1"), &status), E_FAIL);
  EXPECT_EQ(status, PROCESS_STOPPED);

  status = -1;
  clerk.idHr = E_UNEXPECTED;
  EXPECT_EQ(control.GetProcessStatus(const_cast<LPWSTR>(L"Process_9"), &status), E_UNEXPECTED);
  EXPECT_EQ(status, -1);

  FsNtProcessControl noTable(nullptr, api, log);
  EXPECT_EQ(noTable.GetProcessStatus(const_cast<LPWSTR>(L"Process_1"), &status), E_INVALIDARG);
}

TEST(ProcessStatusTest, TheObjectHoldsOneTableReference) {
  FakeProcessApi api;
  FakeLog log;
  FakeClerk clerk;
  {
    FsNtProcessControl control(&clerk, api, log);
    EXPECT_EQ(clerk.refs, 2u);
  }
  EXPECT_EQ(clerk.refs, 1u);
}

}  // namespace
