// The sample applications as real processes, watched through the registered
// clerk: the table is shared across processes, the cooperative application
// ends on its event and marks itself stopped, the stubborn one does neither.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "Velmora.h"
#include "tests/host/HostTestSupport.h"

namespace {

using velmora_host_test::ChildProcess;
using velmora_host_test::ComApartment;
using velmora_host_test::ComPtr;
using velmora_host_test::IdentityOf;

// Generous bounds for things that normally take milliseconds; they only keep
// a broken build from hanging the run.
constexpr DWORD kStartBoundMs = 20000;
constexpr DWORD kExitBoundMs = 20000;
constexpr DWORD kHeartbeatAgeLimitMs = 55000;

class SampleAppsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr,
                                     CLSCTX_INPROC_SERVER, IID_IProcessRealtimeClerk,
                                     clerk_.put_void()));
  }

  // Waits until `child` has entered itself; false if it exited or never did.
  bool WaitUntilEntered(const ChildProcess& child) {
    std::wstring identity = IdentityOf(child.id());
    for (DWORD waited = 0; waited < kStartBoundMs; waited += 50) {
      ULONG processId = 0;
      if (clerk_->GetProcessIdByName(&identity[0], &processId) == S_OK) {
        return processId == child.id();
      }
      if (WaitForSingleObject(child.handle(), 50) != WAIT_TIMEOUT) return false;
    }
    return false;
  }

  DWORD Heartbeat(DWORD processId) {
    tagProcessRealtimeInfo info = {};
    EXPECT_EQ(S_OK, clerk_->GetProcessRealtimeInfoByProcessId(processId, &info));
    return static_cast<DWORD>(info.lTimeLastHeartbeat);
  }

  std::wstring EventName(DWORD processId) {
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, clerk_->GetProcessIdEventName(processId, &name));
    std::wstring copy = name ? name : L"";
    SysFreeString(name);
    return copy;
  }

  // Sets the shutdown event the way the stopper does: by name, modify access.
  void RequestShutdown(DWORD processId) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(processId).c_str());
    ASSERT_NE(nullptr, event) << GetLastError();
    EXPECT_TRUE(SetEvent(event));
    CloseHandle(event);
  }

  tagPlatformProcessStatus Status(DWORD processId) {
    tagPlatformProcessStatus status = PROCESS_STARTING;
    EXPECT_EQ(S_OK, clerk_->GetProcessStatus(processId, &status));
    return status;
  }

  bool InTable(DWORD processId) {
    LONG timeout = 0;
    return clerk_->GetShutdownTimeout(processId, &timeout) == S_OK;
  }

  ComApartment apartment_{COINIT_MULTITHREADED};
  ComPtr<IProcessRealtimeClerk> clerk_;
};

TEST_F(SampleAppsTest, CooperativeAppEntersBeatsAndStopsWhenAsked) {
  ChildProcess app;
  ASSERT_TRUE(app.Start(L"cooperative_app.exe", L"--shutdown-timeout 7000"));
  ASSERT_TRUE(WaitUntilEntered(app));
  const DWORD pid = app.id();

  EXPECT_EQ(L"VelmoraShutdown_" + std::to_wstring(pid), EventName(pid));
  LONG timeout = 0;
  EXPECT_EQ(S_OK, clerk_->GetShutdownTimeout(pid, &timeout));
  EXPECT_EQ(7000, timeout);
  tagPlatformProcessStatus status = PROCESS_STOPPED;
  EXPECT_EQ(S_OK, clerk_->GetProcessStatus(pid, &status));
  EXPECT_EQ(PROCESS_STARTED, status);

  // The heartbeat moves on while the app runs.
  const DWORD first = Heartbeat(pid);
  DWORD later = first;
  for (int i = 0; i < 100 && later == first; ++i) {
    Sleep(100);
    later = Heartbeat(pid);
  }
  EXPECT_NE(first, later);
  EXPECT_LE(GetTickCount() - later, kHeartbeatAgeLimitMs);

  RequestShutdown(pid);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.handle(), kExitBoundMs));
  DWORD exitCode = 99;
  GetExitCodeProcess(app.handle(), &exitCode);
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ(PROCESS_STOPPED, Status(pid));
}

TEST_F(SampleAppsTest, CooperativeAppLingersWithAFreshHeartbeat) {
  ChildProcess app;
  ASSERT_TRUE(app.Start(L"cooperative_app.exe", L"--linger 4000"));
  ASSERT_TRUE(WaitUntilEntered(app));
  const DWORD pid = app.id();
  LONG timeout = 0;
  EXPECT_EQ(S_OK, clerk_->GetShutdownTimeout(pid, &timeout));
  EXPECT_EQ(5000, timeout);

  const DWORD asked = GetTickCount();
  RequestShutdown(pid);
  // It cannot be gone before its linger is over, and it beats meanwhile.
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(app.handle(), 1500));
  EXPECT_TRUE(InTable(pid));
  EXPECT_LT(static_cast<LONG>(Heartbeat(pid) - asked), 0x10000);
  EXPECT_GE(static_cast<LONG>(Heartbeat(pid) - asked), 0);

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.handle(), kExitBoundMs));
  EXPECT_EQ(PROCESS_STOPPED, Status(pid));
}

TEST_F(SampleAppsTest, StubbornAppIgnoresItsEventWithAStaleHeartbeat) {
  ChildProcess app;
  ASSERT_TRUE(app.Start(L"stubborn_app.exe", L"--stale --shutdown-timeout 100"));
  ASSERT_TRUE(WaitUntilEntered(app));
  const DWORD pid = app.id();
  // Wait until the app has backdated its heartbeat (it does so right after
  // entering, but the entry is visible a moment before).
  DWORD age = 0;
  for (int i = 0; i < 200 && age <= kHeartbeatAgeLimitMs; ++i) {
    age = GetTickCount() - Heartbeat(pid);
    if (age <= kHeartbeatAgeLimitMs) Sleep(50);
  }
  EXPECT_GT(age, kHeartbeatAgeLimitMs);

  RequestShutdown(pid);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(app.handle(), 1500));
  EXPECT_TRUE(InTable(pid));
  EXPECT_GT(GetTickCount() - Heartbeat(pid), kHeartbeatAgeLimitMs);

  // A terminated process cannot leave the table itself.
  TerminateProcess(app.handle(), 0);
  WaitForSingleObject(app.handle(), kExitBoundMs);
  EXPECT_EQ(S_OK, clerk_->DeleteProcessEntryByProcessId(pid));
}

TEST_F(SampleAppsTest, StubbornAppWithBeatKeepsItsHeartbeatFreshAfterTheEvent) {
  ChildProcess app;
  ASSERT_TRUE(app.Start(L"stubborn_app.exe", L"--beat"));
  ASSERT_TRUE(WaitUntilEntered(app));
  const DWORD pid = app.id();
  const DWORD asked = GetTickCount();
  RequestShutdown(pid);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(app.handle(), 1500));
  EXPECT_GE(static_cast<LONG>(Heartbeat(pid) - asked), 0);

  TerminateProcess(app.handle(), 0);
  WaitForSingleObject(app.handle(), kExitBoundMs);
  EXPECT_EQ(S_OK, clerk_->DeleteProcessEntryByProcessId(pid));
}

TEST_F(SampleAppsTest, UnknownArgumentsAreRefusedBeforeEntering) {
  ChildProcess app;
  ASSERT_TRUE(app.Start(L"cooperative_app.exe", L"--linger"));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.handle(), kExitBoundMs));
  DWORD exitCode = 0;
  GetExitCodeProcess(app.handle(), &exitCode);
  EXPECT_EQ(2u, exitCode);
  EXPECT_FALSE(InTable(app.id()));
}

}  // namespace
