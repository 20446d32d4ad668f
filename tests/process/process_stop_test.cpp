// The stop on fakes: exact waits on a virtual clock, messages, releases.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "process/FsNtProcessControl.h"
#include "tests/process/ProcessFakes.h"
#include "tests/process/ProcessListProbe.h"

using namespace process_test;

namespace {

const wchar_t kName[] = L"Process_4242";

class StopTest : public ::testing::Test {
 protected:
  // Launches one process through the fakes, so it is in the list.
  PROCESS_INFORMATION Launch() {
    BSTR id = nullptr;
    EXPECT_EQ(control.StartProcess(const_cast<LPWSTR>(L"app.exe"), nullptr, nullptr, &id),
              S_OK);
    SysFreeString(id);
    PROCESS_INFORMATION info = api.created.back();
    clerk.processId = info.dwProcessId;
    log.lines.clear();
    return info;
  }
  HRESULT Stop(long timeout) {
    force = -5;
    return control.StopProcess(const_cast<LPWSTR>(kName), timeout, &force);
  }
  std::wstring Pid() const { return std::to_wstring(clerk.processId); }

  FakeProcessApi api;
  FakeLog log;
  FakeClerk clerk;
  FsNtProcessControl control{&clerk, api, log};
  long force = -5;
};

TEST_F(StopTest, GracefulEndOfAListedProcess) {
  PROCESS_INFORMATION info = Launch();
  EXPECT_EQ(Stop(2500), S_OK);
  EXPECT_EQ(force, 0);
  EXPECT_EQ(clerk.lastIdentity, kName);
  ASSERT_EQ(api.waits.size(), 1u);
  EXPECT_EQ(api.waits[0], 2500u);
  EXPECT_EQ(api.eventAccessSeen, static_cast<DWORD>(EVENT_MODIFY_STATE));
  ASSERT_EQ(api.setEvents.size(), 1u);
  EXPECT_EQ(api.setEvents[0], api.eventHandle);
  // The wait used the listed handle itself: the request held its entry.
  EXPECT_EQ(api.waitHandles[0], info.hProcess);
  EXPECT_TRUE(api.terminated.empty());
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty());
  EXPECT_EQ(api.badCloses, 0);
  // Exactly the event and the entry's two handles are closed, the thread
  // handle before the process handle, and the entry's only once the wait
  // is over: the process id stays taken while the request uses it.
  const std::vector<HANDLE> closes = {api.eventHandle, info.hThread, info.hProcess};
  EXPECT_EQ(api.closed, closes);

  const std::wstring h = std::to_wstring(reinterpret_cast<UINT_PTR>(info.hProcess));
  const std::vector<LogLine> expected = {
      {kLogTrace, L"Try to stop process Process_4242."},
      {kLogTrace, L"Process handle " + h + L" found for process id : " + Pid()},
      {kLogTrace, L"Inform process to exit. Name:Process_4242  PID:" + Pid() +
                      L"  Event:AppShutdown  Timeout:2500(ms)"},
      {kLogTrace, L"Event AppShutdown is signalled and assume process " + Pid() +
                      L" has stopped gracefully."},
      {kLogTrace, L"ExistProcess closes enlisted process handle " + h + L" for process id " +
                      Pid() + L". process handle list still have 0 entries."},
  };
  ASSERT_EQ(log.lines.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(log.lines[i].kind, expected[i].kind) << i;
    EXPECT_EQ(log.lines[i].text, expected[i].text) << i;
  }
}

TEST_F(StopTest, WaitTimeoutRule) {
  struct Case { long client; LONG table; bool tableWrites; DWORD wait; };
  const Case cases[] = {
      {0, 5000, true, 5000},   {-1, 5000, true, 100},  {-7, 5000, true, 100},
      {2500, 10000, true, 2500}, {0, 0, true, 100},    {0, -20, true, 100},
      {0, 5000, false, 30000},
  };
  for (const Case& c : cases) {
    Launch();
    clerk.tableTimeout = c.table;
    clerk.writeTimeout = c.tableWrites;
    clerk.timeoutHr = c.tableWrites ? S_OK : E_FAIL;
    api.waits.clear();
    api.waitScript = {WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_OBJECT_0};
    clerk.AddHeartbeat(&api.now, 0);
    clerk.AddHeartbeat(&api.now, 0);
    EXPECT_EQ(Stop(c.client), S_OK) << c.client << " " << c.table;
    EXPECT_EQ(api.waits, std::vector<DWORD>(3, c.wait)) << c.client << " " << c.table;
    const std::wstring trace = L"Inform process to exit. Name:Process_4242  PID:" + Pid() +
                               L"  Event:AppShutdown  Timeout:" + std::to_wstring(c.wait) +
                               L"(ms)";
    EXPECT_TRUE(log.Has(kLogTrace, trace)) << c.client << " " << c.table;
  }
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, HeartbeatAgeBoundary) {
  PROCESS_INFORMATION info = Launch();
  clerk.tableTimeout = 10000;
  api.waitScript = {WAIT_TIMEOUT, WAIT_TIMEOUT};
  clerk.AddHeartbeat(&api.now, 55000);  // exactly at the limit: wait again
  clerk.AddHeartbeat(&api.now, 55001);  // beyond it: terminated
  EXPECT_EQ(Stop(2500), S_FALSE);
  EXPECT_EQ(force, 1);
  EXPECT_EQ(api.waits, std::vector<DWORD>(2, 2500u));
  EXPECT_EQ(clerk.infoCalls, 2);
  ASSERT_EQ(api.terminated.size(), 1u);
  EXPECT_EQ(api.terminated[0], info.hProcess);
  EXPECT_EQ(api.terminateCode, 0u);
  EXPECT_TRUE(log.Has(kLogTrace,
                      L"Event AppShutdown has NOT signalled within the last 55001 milliseconds."));
  // The table timeout, not the wait timeout.
  EXPECT_TRUE(log.Has(kLogInfo, L"The process with id " + Pid() +
                                    L" was terminated by the corvane because it failed to "
                                    L"shutdown within 10.000 seconds"));
  // A forced end releases the entry and its handles like a graceful one.
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty());

  // Stopped again: no entry, and the process is gone.
  api.openProcessError = ERROR_INVALID_PARAMETER;
  log.lines.clear();
  EXPECT_EQ(Stop(2500), S_OK);
  EXPECT_EQ(force, 0);
  EXPECT_EQ(api.terminated.size(), 1u);
  ASSERT_EQ(api.openProcessCalls.size(), 1u);
  EXPECT_EQ(api.openProcessCalls[0].access, 0x1F0FFFu);
  EXPECT_FALSE(api.openProcessCalls[0].inherit);
  EXPECT_TRUE(log.Has(kModuleFlag, L"Failed to get Process Handle: " + Pid()));
  EXPECT_TRUE(log.Has(kLogTrace, L"OpenProcess: " + Pid() +
                                     L" failed because process has terminated."));
}

TEST_F(StopTest, HeartbeatAgeSurvivesTheTickWrap) {
  Launch();
  api.now = 1000;  // the counter wrapped after the last heartbeat
  api.waitScript = {WAIT_TIMEOUT, WAIT_OBJECT_0};
  clerk.infoScript.push_back([](tagProcessRealtimeInfo* info) {
    info->lTimeLastHeartbeat = static_cast<LONG>(0xFFFFF000u);
    return S_OK;
  });
  EXPECT_EQ(Stop(100), S_OK);
  EXPECT_EQ(api.waits.size(), 2u);
}

TEST_F(StopTest, FailingHeartbeatQueryForcesTermination) {
  Launch();
  api.waitScript = {WAIT_TIMEOUT};
  clerk.AddHeartbeat(&api.now, 0, E_ACCESSDENIED);
  EXPECT_EQ(Stop(100), S_FALSE);
  EXPECT_EQ(force, 1);
  EXPECT_TRUE(log.Has(kLogWarning, L"GetProcessRealtimeInfoByProcessId() returned hr = 0x80070005"));
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, EndedAfterHeartbeatsReturnsTheLastTableResult) {
  Launch();
  api.waitScript = {WAIT_TIMEOUT, WAIT_OBJECT_0};
  clerk.AddHeartbeat(&api.now, 10, S_FALSE);
  EXPECT_EQ(Stop(100), S_FALSE);
  EXPECT_EQ(force, 0);
  EXPECT_TRUE(api.terminated.empty());
}

TEST_F(StopTest, AbandonedWaitForcesTermination) {
  Launch();
  api.waitScript = {WAIT_ABANDONED};
  EXPECT_EQ(Stop(100), S_FALSE);
  EXPECT_EQ(force, 1);
  EXPECT_EQ(api.terminated.size(), 1u);
  EXPECT_TRUE(log.Has(kLogWarning, L"Event handle AppShutdown was abandoned by process " +
                                       Pid() + L"."));
  EXPECT_EQ(clerk.infoCalls, 0);
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, FailedWaitEndsWaitingAndTerminates) {
  Launch();
  api.waitScript = {WAIT_FAILED};
  EXPECT_EQ(Stop(100), S_FALSE);
  EXPECT_EQ(force, 1);
  EXPECT_EQ(api.waits.size(), 1u);  // no spinning
  EXPECT_EQ(api.terminated.size(), 1u);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, MissingEventMeansAlreadyEnded) {
  Launch();
  api.openEventError = ERROR_FILE_NOT_FOUND;
  EXPECT_EQ(Stop(0), S_FALSE);
  EXPECT_EQ(force, 0);
  EXPECT_TRUE(api.terminated.empty());
  EXPECT_TRUE(api.waits.empty());
  EXPECT_TRUE(log.Has(kLogTrace,
                      L"Event:AppShutdown cannot be found. The process already terminated."));
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, UnopenableEventForcesTerminationWithoutWaiting) {
  Launch();
  api.openEventError = ERROR_ACCESS_DENIED;
  clerk.tableTimeout = 5000;
  EXPECT_EQ(Stop(2500), S_FALSE);
  EXPECT_EQ(force, 1);
  EXPECT_TRUE(api.waits.empty());
  EXPECT_TRUE(api.setEvents.empty());
  // The table was never asked for its timeout.
  EXPECT_EQ(std::count(clerk.calls.begin(), clerk.calls.end(), L"GetShutdownTimeout"), 0);
  EXPECT_TRUE(log.Has(kLogWarning,
                      L"Failed OpenEvent:AppShutdown  err:5  Force to terminate this process."));
  EXPECT_TRUE(log.Has(kLogInfo, L"The process with id " + Pid() +
                                    L" was terminated by the corvane because it failed to "
                                    L"shutdown within 30.000 seconds"));
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, ProcessNotListedIsOpenedAndItsHandleClosed) {
  clerk.processId = 777;
  api.waitScript = {WAIT_OBJECT_0};
  EXPECT_EQ(Stop(100), S_OK);
  ASSERT_EQ(api.openProcessCalls.size(), 1u);
  EXPECT_EQ(api.openProcessCalls[0].pid, 777u);
  const HANDLE opened = api.waitHandles[0];
  EXPECT_TRUE(log.Has(kLogTrace, L"ExistProcess closes opened process handle " +
                                     std::to_wstring(reinterpret_cast<UINT_PTR>(opened))));
  EXPECT_TRUE(api.open.empty());
}

TEST_F(StopTest, ProcessOutOfReachIsLeftAlone) {
  clerk.processId = 777;
  api.openProcessError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Stop(100), S_OK);
  EXPECT_EQ(force, 0);
  EXPECT_TRUE(log.Has(kLogWarning, L"Failed on OpenProcess: 777, Error 0x5."));
  EXPECT_EQ(api.openEventCalls, 0);
  EXPECT_EQ(clerk.calls.size(), 1u);
}

TEST_F(StopTest, TableFailuresAreReturnedUnchanged) {
  FsNtProcessControl noTable(nullptr, api, log);
  EXPECT_EQ(noTable.StopProcess(const_cast<LPWSTR>(kName), 0, &force), E_INVALIDARG);
  EXPECT_EQ(force, 0);
  EXPECT_TRUE(log.Has(kModuleFlag, L"Failed because of no m_pIProcessRealtimeClerk."));

  clerk.idHr = E_UNEXPECTED;
  log.lines.clear();
  EXPECT_EQ(Stop(0), E_UNEXPECTED);
  EXPECT_EQ(force, 0);
  EXPECT_TRUE(log.Has(kModuleFlag, L"Failed on IRealTimeController->GetProcessId"));
}

TEST_F(StopTest, FailedEventNameReleasesOnlyTheRequestsOwnHandles) {
  clerk.eventHr = E_OUTOFMEMORY;
  clerk.processId = 777;
  EXPECT_EQ(Stop(0), E_OUTOFMEMORY);
  EXPECT_TRUE(log.Has(kModuleFlag, L"Failed on IRealTimeController->GetProcessId"));
  EXPECT_TRUE(api.open.empty());  // the handle opened here is closed

  PROCESS_INFORMATION info = Launch();
  EXPECT_EQ(Stop(0), E_OUTOFMEMORY);
  EXPECT_EQ(ProcessListProbe::Count(control), 1u);  // the process runs on, still listed
  EXPECT_TRUE(api.IsOpen(info.hProcess));
  EXPECT_EQ(api.open.size(), 2u);  // its two listed handles, nothing else
  EXPECT_TRUE(api.terminated.empty());
}

TEST_F(StopTest, NullForceFlagIsNeverWritten) {
  Launch();
  api.waitScript = {WAIT_ABANDONED};
  EXPECT_EQ(control.StopProcess(const_cast<LPWSTR>(kName), 100, nullptr), S_FALSE);
  EXPECT_EQ(api.terminated.size(), 1u);
}

TEST_F(StopTest, MessagesOfDisabledCategoriesAreNotFormatted) {
  Launch();
  log.enabled = false;
  api.waitScript = {WAIT_ABANDONED};
  EXPECT_EQ(Stop(100), S_FALSE);
  EXPECT_EQ(log.CountKind(kModuleFlag), 0u);
  EXPECT_TRUE(log.lines.empty());
}

// Two stops of one program, the second running while the first waits, and a
// launch that gets the same process id meanwhile, from a kernel that hands
// closed handle values out again. The stop that finishes first removes the
// entry; the handles stay open until the other is done too, so neither the id
// nor the handle values can pass to the new program, whose entry neither stop
// touches.
TEST_F(StopTest, ConcurrentStopsKeepTheProcessIdUntilBothAreDone) {
  const PROCESS_INFORMATION first = Launch();
  api.reuseClosedHandles = true;
  PROCESS_INFORMATION later = {};
  api.onWait = [&] {
    long innerForce = -5;
    EXPECT_EQ(control.StopProcess(const_cast<LPWSTR>(kName), 100, &innerForce), S_OK);
    EXPECT_EQ(ProcessListProbe::Count(control), 0u);
    EXPECT_TRUE(api.IsOpen(first.hProcess)) << "closed under the first stop's wait";
    EXPECT_TRUE(api.IsOpen(first.hThread));

    api.nextPid = first.dwProcessId;
    BSTR id = nullptr;
    EXPECT_EQ(control.StartProcess(const_cast<LPWSTR>(L"app.exe"), nullptr, nullptr, &id),
              S_OK);
    SysFreeString(id);
    later = api.created.back();
  };
  api.waitScript = {WAIT_OBJECT_0, WAIT_OBJECT_0};

  EXPECT_EQ(Stop(100), S_OK);

  ASSERT_EQ(later.dwProcessId, first.dwProcessId);
  EXPECT_EQ(api.waitHandles, std::vector<HANDLE>(2, first.hProcess));
  EXPECT_FALSE(api.IsOpen(first.hProcess));
  EXPECT_FALSE(api.IsOpen(first.hThread));
  EXPECT_EQ(api.badCloses, 0);
  PROCESS_INFORMATION listed = {};
  ASSERT_TRUE(ProcessListProbe::Find(control, first.dwProcessId, &listed));
  EXPECT_EQ(listed.hProcess, later.hProcess);
  EXPECT_TRUE(api.IsOpen(later.hProcess));
  EXPECT_TRUE(api.IsOpen(later.hThread));
  EXPECT_EQ(ProcessListProbe::Count(control), 1u);

  // One removal, by the stop that finished first, with the count after it.
  const std::wstring h = std::to_wstring(reinterpret_cast<UINT_PTR>(first.hProcess));
  size_t removals = 0;
  for (const LogLine& line : log.lines)
    removals += line.text.find(L"ExistProcess closes enlisted") == 0;
  EXPECT_EQ(removals, 1u);
  EXPECT_TRUE(log.Has(kLogTrace, L"ExistProcess closes enlisted process handle " + h +
                                     L" for process id " + Pid() +
                                     L". process handle list still have 0 entries."));
}

}  // namespace
