// The realtime process table through its client API and the clerk object,
// in one process: the shared memory, its lock and every field the module or
// an application relies on.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Velmora.h"
#include "host/standins/ProcessTable.h"
#include "host/standins/ProcessTableClient.h"
#include "host/standins/RealtimeClerk.h"
#include "tests/host/HostTestSupport.h"

namespace {

using velmora_host_test::ComPtr;
using velmora_host_test::IdentityOf;

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// Ids no real process has under Wine, so the tests never meet live entries.
constexpr DWORD kFakeId = 0x7FF00010;
constexpr DWORD kOtherFakeId = 0x7FF00020;

class ProcessTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, velmora_host::ProcessRealtimeClerkObject::Create(IID_IProcessRealtimeClerk,
                                                                     clerk_.put_void()));
  }
  void TearDown() override {
    velmora_host::RemoveProcess(kFakeId);
    velmora_host::RemoveProcess(kOtherFakeId);
  }

  std::wstring EventNameOf(DWORD processId) {
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, clerk_->GetProcessIdEventName(processId, &name));
    std::wstring copy = name ? name : L"<null>";
    SysFreeString(name);
    return copy;
  }

  ComPtr<IProcessRealtimeClerk> clerk_;
};

TEST_F(ProcessTableTest, EnteredProcessIsVisibleWithEveryFieldTheStopperReads) {
  const DWORD before = GetTickCount();
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"VelmoraShutdown_test", 4321));
  const DWORD after = GetTickCount();

  std::wstring identity = IdentityOf(kFakeId);
  ULONG processId = 0;
  ASSERT_EQ(S_OK, clerk_->GetProcessIdByName(&identity[0], &processId));
  EXPECT_EQ(kFakeId, processId);
  EXPECT_EQ(L"VelmoraShutdown_test", EventNameOf(kFakeId));

  BSTR shutdownName = nullptr;
  ASSERT_EQ(S_OK, clerk_->GetProcessShutdownEventName(kFakeId, &shutdownName));
  EXPECT_STREQ(L"VelmoraShutdown_test", shutdownName);
  SysFreeString(shutdownName);

  LONG timeout = 0;
  ASSERT_EQ(S_OK, clerk_->GetShutdownTimeout(kFakeId, &timeout));
  EXPECT_EQ(4321, timeout);

  tagPlatformProcessStatus status = PROCESS_STOPPED;
  ASSERT_EQ(S_OK, clerk_->GetProcessStatus(kFakeId, &status));
  EXPECT_EQ(PROCESS_STARTED, status);

  tagProcessRealtimeInfo info = {};
  ASSERT_EQ(S_OK, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, &info));
  EXPECT_EQ(1, info.bValidBit);
  EXPECT_EQ(static_cast<LONG>(kFakeId), info.lProcessId);
  EXPECT_EQ(4321, info.lProcessShutdownTimeout);
  EXPECT_EQ(PROCESS_STARTED, info.lProcessStatus);
  const DWORD heartbeat = static_cast<DWORD>(info.lTimeLastHeartbeat);
  EXPECT_LE(heartbeat - before, after - before);
  EXPECT_EQ(info.lTimeLastHeartbeat, info.lTimeProcessStarted);

  tagProcessRealtimeInfo byIndex = {};
  ASSERT_EQ(S_OK, clerk_->GetProcessRealtimeInfoByIndex(info.lTableIdx, &byIndex));
  EXPECT_EQ(info.lProcessId, byIndex.lProcessId);
}

TEST_F(ProcessTableTest, HeartbeatIsTheRawTickEvenPastTheSignBit) {
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"ev", 1000));
  // A tick past 2^31 must come back with the same bits, so that
  // GetTickCount() - lTimeLastHeartbeat in unsigned arithmetic stays right.
  ASSERT_EQ(S_OK, velmora_host::SetHeartbeatTime(kFakeId, 0xFFFFFF00u));
  tagProcessRealtimeInfo info = {};
  ASSERT_EQ(S_OK, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, &info));
  EXPECT_EQ(0xFFFFFF00u, static_cast<DWORD>(info.lTimeLastHeartbeat));

  const DWORD before = GetTickCount();
  ASSERT_EQ(S_OK, velmora_host::ReportHeartbeat(kFakeId));
  ASSERT_EQ(S_OK, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, &info));
  EXPECT_LE(static_cast<DWORD>(info.lTimeLastHeartbeat) - before, GetTickCount() - before);

  ASSERT_EQ(S_OK, clerk_->SetWatchdogHeartbeat(kFakeId));
}

TEST_F(ProcessTableTest, StatusAndTimeoutChangesReachTheClerk) {
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"ev", 1000));
  ASSERT_EQ(S_OK, velmora_host::SetProcessStatus(kFakeId, PROCESS_STOPPING));
  tagPlatformProcessStatus status = PROCESS_STOPPED;
  ASSERT_EQ(S_OK, clerk_->GetProcessStatus(kFakeId, &status));
  EXPECT_EQ(PROCESS_STOPPING, status);

  ASSERT_EQ(S_OK, clerk_->SetProcessStatus(kFakeId, PROCESS_RUNNING_STANDBY));
  ASSERT_EQ(S_OK, clerk_->GetProcessStatus(kFakeId, &status));
  EXPECT_EQ(PROCESS_RUNNING_STANDBY, status);

  ASSERT_EQ(S_OK, clerk_->SetProcessShutdownTimeout(kFakeId, 2500));
  LONG timeout = 0;
  ASSERT_EQ(S_OK, clerk_->GetShutdownTimeout(kFakeId, &timeout));
  EXPECT_EQ(2500, timeout);
}

TEST_F(ProcessTableTest, EnteringAgainReplacesTheEntryInsteadOfAddingOne) {
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"first", 1000));
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"second", 2000));
  EXPECT_EQ(L"second", EventNameOf(kFakeId));
  ASSERT_EQ(S_OK, velmora_host::RemoveProcess(kFakeId));
  // A duplicate would still answer here.
  LONG timeout = 0;
  EXPECT_EQ(kNotFound, clerk_->GetShutdownTimeout(kFakeId, &timeout));
}

TEST_F(ProcessTableTest, MissingEntriesAndIdentitiesFailAndLeaveOutputsAlone) {
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kOtherFakeId, L"ev", 1000));
  EXPECT_EQ(kNotFound, velmora_host::ReportHeartbeat(kFakeId));
  EXPECT_EQ(kNotFound, velmora_host::SetHeartbeatTime(kFakeId, 1));
  EXPECT_EQ(kNotFound, velmora_host::SetProcessStatus(kFakeId, PROCESS_STOPPED));
  EXPECT_EQ(kNotFound, velmora_host::RemoveProcess(kFakeId));

  std::wstring unknown = IdentityOf(kFakeId);
  ULONG processId = 77;
  EXPECT_EQ(kNotFound, clerk_->GetProcessIdByName(&unknown[0], &processId));
  EXPECT_EQ(77u, processId);
  std::wstring serviceName = L"Spooler";
  EXPECT_EQ(kNotFound, clerk_->GetProcessIdByName(&serviceName[0], &processId));

  BSTR name = nullptr;
  EXPECT_EQ(kNotFound, clerk_->GetProcessIdEventName(kFakeId, &name));
  EXPECT_EQ(nullptr, name);
  // The stopper presets these and relies on them being left alone on failure.
  LONG timeout = 30000;
  EXPECT_EQ(kNotFound, clerk_->GetShutdownTimeout(kFakeId, &timeout));
  EXPECT_EQ(30000, timeout);
  tagPlatformProcessStatus status = PROCESS_STOPPED;
  EXPECT_EQ(kNotFound, clerk_->GetProcessStatus(kFakeId, &status));
  EXPECT_EQ(PROCESS_STOPPED, status);
  tagProcessRealtimeInfo info = {};
  EXPECT_EQ(kNotFound, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, &info));
  EXPECT_EQ(kNotFound, clerk_->GetProcessRealtimeInfoByIndex(-1, &info));
  EXPECT_EQ(kNotFound,
            clerk_->GetProcessRealtimeInfoByIndex(velmora_host::kProcessTableCapacity, &info));
  EXPECT_EQ(kNotFound, clerk_->DeleteProcessEntryByProcessId(kFakeId));
}

TEST_F(ProcessTableTest, BadArgumentsAreRejected) {
  EXPECT_EQ(E_INVALIDARG, velmora_host::EnterProcess(kFakeId, nullptr, 1000));
  const std::wstring tooLong(velmora_host::kEventNameChars, L'x');
  EXPECT_EQ(E_INVALIDARG, velmora_host::EnterProcess(kFakeId, tooLong.c_str(), 1000));
  const std::wstring longest(velmora_host::kEventNameChars - 1, L'y');
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, longest.c_str(), 1000));
  EXPECT_EQ(longest, EventNameOf(kFakeId));

  std::wstring identity = IdentityOf(kFakeId);
  EXPECT_EQ(E_POINTER, clerk_->GetProcessIdByName(&identity[0], nullptr));
  ULONG processId = 0;
  EXPECT_EQ(E_INVALIDARG, clerk_->GetProcessIdByName(nullptr, &processId));
  EXPECT_EQ(E_POINTER, clerk_->GetProcessIdEventName(kFakeId, nullptr));
  EXPECT_EQ(E_POINTER, clerk_->GetShutdownTimeout(kFakeId, nullptr));
  EXPECT_EQ(E_POINTER, clerk_->GetProcessStatus(kFakeId, nullptr));
  EXPECT_EQ(E_POINTER, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, nullptr));
}

TEST_F(ProcessTableTest, CreateProcessEntryNamesTheDefaultShutdownEvent) {
  ASSERT_EQ(S_OK, clerk_->CreateProcessEntry(kFakeId, TRUE, 10000, 6000, 60000, 3, 1));
  EXPECT_EQ(L"VelmoraShutdown_" + std::to_wstring(kFakeId), EventNameOf(kFakeId));
  tagProcessRealtimeInfo info = {};
  ASSERT_EQ(S_OK, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, &info));
  EXPECT_EQ(PROCESS_STARTING, info.lProcessStatus);
  EXPECT_EQ(6000, info.lProcessShutdownTimeout);
  EXPECT_EQ(10000, info.lProcessStartupTimeout);
  EXPECT_EQ(1, info.bWatchdogActive);
  ASSERT_EQ(S_OK, clerk_->SetStartupCompleted(kFakeId));
  ASSERT_EQ(S_OK, clerk_->DeleteProcessEntryByIndex(info.lTableIdx));
  EXPECT_EQ(kNotFound, clerk_->GetProcessRealtimeInfoByProcessId(kFakeId, &info));
}

TEST_F(ProcessTableTest, FullTableRefusesAndRecovers) {
  constexpr DWORD kFirst = 0x7FE00000;
  std::vector<DWORD> entered;
  HRESULT hr = S_OK;
  for (DWORD i = 0; i <= velmora_host::kProcessTableCapacity; ++i) {
    hr = velmora_host::EnterProcess(kFirst + i, L"ev", 1000);
    if (FAILED(hr)) break;
    entered.push_back(kFirst + i);
  }
  EXPECT_EQ(velmora_host::kTableFull, hr);
  EXPECT_LE(entered.size(), velmora_host::kProcessTableCapacity);
  // Removing one entry makes room again.
  ASSERT_FALSE(entered.empty());
  EXPECT_EQ(S_OK, velmora_host::RemoveProcess(entered.back()));
  EXPECT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"ev", 1000));
  // Full again; an entry marked stopped is the one given up for a newcomer,
  // and only that one.
  EXPECT_EQ(velmora_host::kTableFull, velmora_host::EnterProcess(kOtherFakeId, L"ev", 1000));
  ASSERT_EQ(S_OK, velmora_host::SetProcessStatus(entered.front(), PROCESS_STOPPED));
  EXPECT_EQ(S_OK, velmora_host::EnterProcess(kOtherFakeId, L"ev", 1000));
  EXPECT_EQ(kNotFound, velmora_host::ReportHeartbeat(entered.front()));
  EXPECT_EQ(S_OK, velmora_host::ReportHeartbeat(entered.back() - 1));
  velmora_host::RemoveProcess(kFakeId);
  velmora_host::RemoveProcess(kOtherFakeId);
  for (DWORD processId : entered) velmora_host::RemoveProcess(processId);
}

TEST_F(ProcessTableTest, ConcurrentWritersNeverLoseOrShareSlots) {
  constexpr DWORD kThreads = 6;
  constexpr DWORD kPerThread = 20;
  constexpr DWORD kFirst = 0x7FD00000;
  std::vector<std::thread> threads;
  std::vector<HRESULT> failures(kThreads, S_OK);
  for (DWORD t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < 5; ++round) {
        for (DWORD i = 0; i < kPerThread; ++i) {
          const HRESULT hr = velmora_host::EnterProcess(kFirst + t * kPerThread + i, L"ev", 1);
          if (FAILED(hr)) failures[t] = hr;
        }
        for (DWORD i = 0; i < kPerThread; ++i) {
          const HRESULT hr = velmora_host::ReportHeartbeat(kFirst + t * kPerThread + i);
          if (FAILED(hr)) failures[t] = hr;
        }
        if (round < 4) {
          for (DWORD i = 0; i < kPerThread; ++i) {
            const HRESULT hr = velmora_host::RemoveProcess(kFirst + t * kPerThread + i);
            if (FAILED(hr)) failures[t] = hr;
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (HRESULT hr : failures) EXPECT_EQ(S_OK, hr);
  for (DWORD id = kFirst; id < kFirst + kThreads * kPerThread; ++id) {
    std::wstring identity = IdentityOf(id);
    ULONG found = 0;
    EXPECT_EQ(S_OK, clerk_->GetProcessIdByName(&identity[0], &found)) << id;
    EXPECT_EQ(id, found);
    EXPECT_EQ(S_OK, velmora_host::RemoveProcess(id));
  }
}

}  // namespace
