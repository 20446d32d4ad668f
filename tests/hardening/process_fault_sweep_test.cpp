// Every operating-system, realtime-table and account-store call of the
// application launch, stop and status query fails in turn, the N-th call of
// its kind for every N the scenario reaches. Each row names the code that the
// request must answer and what it must leave behind: a failed launch leaves
// no process, handle or list entry; a stop either leaves the listed process
// as it was (failures before the event is signalled) or terminates it and
// releases its handles; no reference to the table or the store is kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/FsNtProcessControl.h"
#include "tests/hardening/FaultingProcessFakes.h"
#include "tests/process/ProcessFakes.h"
#include "tests/process/ProcessListProbe.h"

namespace {

using hardening::FaultingClerk;
using hardening::FaultingProcessApi;
using hardening::FaultPlan;
using hardening::kInjectedHr;
using hardening::ProcCall;

const HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404);
constexpr long kNotWritten = -5;

enum class Scenario {
  kLaunchWithUser,   // "-u" account: batch logon, else interactive
  kLaunchWithStore,  // the administrator account of the store
  kLaunchAsCaller,   // no store: the caller's own account
  kStopStubborn,     // listed; ignores the event until its heartbeat is stale
  kStopGraceful,     // listed; ends on the event
  kStopUnlisted,     // opened by id; ends after one elapsed wait
  kStatus,
};

const char* ScenarioName(Scenario s) {
  switch (s) {
    case Scenario::kLaunchWithUser: return "LaunchWithUser";
    case Scenario::kLaunchWithStore: return "LaunchWithStore";
    case Scenario::kLaunchAsCaller: return "LaunchAsCaller";
    case Scenario::kStopStubborn: return "StopStubborn";
    case Scenario::kStopGraceful: return "StopGraceful";
    case Scenario::kStopUnlisted: return "StopUnlisted";
    case Scenario::kStatus: return "Status";
  }
  return "?";
}

bool IsLaunch(Scenario s) {
  return s == Scenario::kLaunchWithUser || s == Scenario::kLaunchWithStore ||
         s == Scenario::kLaunchAsCaller;
}

struct Outcome {
  HRESULT hr;
  long forced;   // the value behind plProcessForceTerminated; kNotWritten for launches
  size_t listed; // entries left in the handle list
};

// One world of fakes per run.
struct World {
  FaultPlan plan;
  FaultingProcessApi api{plan};
  process_test::FakeLog log;
  FaultingClerk clerk{plan};
  FsNtProcessControl control{&clerk, api, log};
  BSTR identity = nullptr;
  ~World() { SysFreeString(identity); }

  void SetUp(Scenario s) {
    switch (s) {
      case Scenario::kLaunchWithStore:
        api.adminHr = S_OK;
        break;
      case Scenario::kStopStubborn:
      case Scenario::kStopGraceful: {
        BSTR id = nullptr;
        EXPECT_EQ(control.StartProcess(const_cast<LPWSTR>(L"app.exe"), nullptr,
                                       const_cast<LPWSTR>(L""), &id),
                  S_OK);
        SysFreeString(id);
        clerk.processId = api.created.back().dwProcessId;
        if (s == Scenario::kStopStubborn) {
          api.waitScript = {WAIT_TIMEOUT, WAIT_TIMEOUT};
          clerk.AddHeartbeat(&api.now, 1000);
          clerk.AddHeartbeat(&api.now, 60000);
        } else {
          api.waitScript = {WAIT_OBJECT_0};
        }
        break;
      }
      case Scenario::kStopUnlisted:
        clerk.processId = 777;
        api.waitScript = {WAIT_TIMEOUT, WAIT_OBJECT_0};
        clerk.AddHeartbeat(&api.now, 1000);
        break;
      default:
        break;
    }
  }

  Outcome Run(Scenario s) {
    long forced = kNotWritten;
    HRESULT hr = E_UNEXPECTED;
    switch (s) {
      case Scenario::kLaunchWithUser:
        hr = control.StartProcess(const_cast<LPWSTR>(L"app.exe"), const_cast<LPWSTR>(L"a"),
                                  const_cast<LPWSTR>(L"-u dom user pw -con"), &identity);
        break;
      case Scenario::kLaunchWithStore:
        hr = control.StartProcess(const_cast<LPWSTR>(L"app.exe"), nullptr,
                                  const_cast<LPWSTR>(L"-win"), &identity);
        break;
      case Scenario::kLaunchAsCaller:
        hr = control.StartProcess(const_cast<LPWSTR>(L"app.exe"), nullptr,
                                  const_cast<LPWSTR>(L"-hiddencon"), &identity);
        break;
      case Scenario::kStopStubborn:
      case Scenario::kStopGraceful:
      case Scenario::kStopUnlisted: {
        const std::wstring name = L"Process_" + std::to_wstring(clerk.processId);
        hr = control.StopProcess(const_cast<LPWSTR>(name.c_str()), 0, &forced);
        break;
      }
      case Scenario::kStatus: {
        long status = -1;
        hr = control.GetProcessStatus(const_cast<LPWSTR>(L"Process_4242"), &status);
        break;
      }
    }
    return Outcome{hr, forced, ProcessListProbe::Count(control)};
  }
};

struct Row {
  Scenario scenario;
  ProcCall call;
  Outcome expected;
  DWORD error = hardening::kInjectedError;
};

// Launch rows: only the result is listed; a success leaves one entry.
Row L(Scenario s, ProcCall c, HRESULT hr) { return Row{s, c, {hr, kNotWritten, hr == S_OK ? 1u : 0u}}; }
Row S(Scenario s, ProcCall c, HRESULT hr, long forced, size_t listed) {
  return Row{s, c, {hr, forced, listed}};
}

const Row kRows[] = {
    // The version only picks the logon type; a failed query means the older one.
    L(Scenario::kLaunchWithUser, ProcCall::kGetVersionEx, S_OK),
    // A refused batch logon is retried as interactive; both refused fails.
    L(Scenario::kLaunchWithUser, ProcCall::kLogonUser, S_OK),
    L(Scenario::kLaunchWithUser, ProcCall::kCreateProcessAsUser, kLaunchFailed),
    L(Scenario::kLaunchWithUser, ProcCall::kAllocString, kLaunchFailed),
    // The resume's result is not examined.
    L(Scenario::kLaunchWithUser, ProcCall::kResumeThread, S_OK),
    // No store: the caller's own account.
    L(Scenario::kLaunchWithStore, ProcCall::kCreateAdminAccountInfo, S_OK),
    L(Scenario::kLaunchWithStore, ProcCall::kLogonUser, kLaunchFailed),
    L(Scenario::kLaunchWithStore, ProcCall::kCreateProcessAsUser, kLaunchFailed),
    L(Scenario::kLaunchWithStore, ProcCall::kAllocString, kLaunchFailed),
    L(Scenario::kLaunchAsCaller, ProcCall::kCreateProcess, kLaunchFailed),
    L(Scenario::kLaunchAsCaller, ProcCall::kAllocString, kLaunchFailed),
    L(Scenario::kLaunchAsCaller, ProcCall::kResumeThread, S_OK),

    // Before the event is signalled a failure is returned and the listed
    // process is left as it was; after it, the process is terminated.
    S(Scenario::kStopStubborn, ProcCall::kGetProcessIdByName, kInjectedHr, 0, 1),
    S(Scenario::kStopStubborn, ProcCall::kGetProcessIdEventName, kInjectedHr, 0, 1),
    S(Scenario::kStopStubborn, ProcCall::kOpenEvent, S_FALSE, 1, 0),
    S(Scenario::kStopStubborn, ProcCall::kGetShutdownTimeout, S_FALSE, 1, 0),
    S(Scenario::kStopStubborn, ProcCall::kSetEvent, S_FALSE, 1, 0),
    S(Scenario::kStopStubborn, ProcCall::kWait, S_FALSE, 1, 0),
    S(Scenario::kStopStubborn, ProcCall::kGetRealtimeInfo, S_FALSE, 1, 0),
    // The termination's result is not examined; the entry goes all the same.
    S(Scenario::kStopStubborn, ProcCall::kTerminate, S_FALSE, 1, 0),

    S(Scenario::kStopGraceful, ProcCall::kGetProcessIdByName, kInjectedHr, 0, 1),
    S(Scenario::kStopGraceful, ProcCall::kGetProcessIdEventName, kInjectedHr, 0, 1),
    S(Scenario::kStopGraceful, ProcCall::kOpenEvent, S_FALSE, 1, 0),
    Row{Scenario::kStopGraceful, ProcCall::kOpenEvent, {S_FALSE, 0, 0}, ERROR_FILE_NOT_FOUND},
    S(Scenario::kStopGraceful, ProcCall::kGetShutdownTimeout, S_OK, 0, 0),
    S(Scenario::kStopGraceful, ProcCall::kSetEvent, S_OK, 0, 0),
    S(Scenario::kStopGraceful, ProcCall::kWait, S_FALSE, 1, 0),

    S(Scenario::kStopUnlisted, ProcCall::kGetProcessIdByName, kInjectedHr, 0, 0),
    // Out of reach is taken as nothing to do.
    S(Scenario::kStopUnlisted, ProcCall::kOpenProcess, S_OK, 0, 0),
    Row{Scenario::kStopUnlisted, ProcCall::kOpenProcess, {S_OK, 0, 0}, ERROR_INVALID_PARAMETER},
    S(Scenario::kStopUnlisted, ProcCall::kGetProcessIdEventName, kInjectedHr, 0, 0),
    S(Scenario::kStopUnlisted, ProcCall::kOpenEvent, S_FALSE, 1, 0),
    S(Scenario::kStopUnlisted, ProcCall::kGetShutdownTimeout, S_OK, 0, 0),
    S(Scenario::kStopUnlisted, ProcCall::kWait, S_FALSE, 1, 0),
    S(Scenario::kStopUnlisted, ProcCall::kGetRealtimeInfo, S_FALSE, 1, 0),

    S(Scenario::kStatus, ProcCall::kGetProcessIdByName, kInjectedHr, kNotWritten, 0),
    S(Scenario::kStatus, ProcCall::kGetProcessStatus, kInjectedHr, kNotWritten, 0),
};

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name = std::string(ScenarioName(info.param.scenario)) +
                     hardening::ProcCallName(info.param.call);
  if (info.param.error != hardening::kInjectedError)
    name += "Error" + std::to_string(info.param.error);
  return name;
}

// How often the fault-free run of a scenario makes the call.
int CallsOf(Scenario s, ProcCall call) {
  World world;
  world.SetUp(s);
  world.plan.FailNth(call, 0);
  world.Run(s);
  return world.plan.Count(call);
}

class ProcessFaultSweep : public ::testing::TestWithParam<Row> {};

TEST_P(ProcessFaultSweep, EachFailureGivesItsCodeAndReleasesWhatItTook) {
  const Row& row = GetParam();
  const int calls = CallsOf(row.scenario, row.call);
  ASSERT_GT(calls, 0) << "the scenario never makes this call";
  for (int n = 1; n <= calls; ++n) {
    SCOPED_TRACE(std::string(hardening::ProcCallName(row.call)) + " #" + std::to_string(n) +
                 " of " + std::to_string(calls) + " fails");
    World world;
    world.SetUp(row.scenario);
    const ULONG clerkRefs = world.clerk.refs;
    const ULONG storeRefs = world.api.adminStore.refs;
    const size_t openBefore = world.api.open.size();
    world.plan.FailNth(row.call, n, row.error);

    const Outcome got = world.Run(row.scenario);

    ASSERT_TRUE(world.plan.Failed());
    EXPECT_EQ(got.hr, row.expected.hr);
    EXPECT_EQ(got.forced, row.expected.forced);
    EXPECT_EQ(got.listed, row.expected.listed);
    // Every open handle belongs to a listed process; nothing else survives.
    EXPECT_EQ(world.api.open.size(), 2 * got.listed);
    EXPECT_EQ(world.api.badCloses, 0);
    EXPECT_EQ(world.clerk.refs, clerkRefs);
    EXPECT_EQ(world.api.adminStore.refs, storeRefs);
    if (IsLaunch(row.scenario)) {
      if (got.hr == S_OK) {
        ASSERT_NE(world.identity, nullptr);
        EXPECT_EQ(std::wstring(world.identity),
                  L"Process_" + std::to_wstring(world.api.created.back().dwProcessId));
      } else {
        EXPECT_EQ(world.identity, nullptr);
        // A process that was created must not be left suspended and nameless.
        EXPECT_EQ(world.api.terminated.size(), world.api.created.size());
      }
    } else if (row.expected.listed == 1) {
      // Left as it was: its two listed handles are still the open ones.
      EXPECT_EQ(world.api.open.size(), openBefore);
      EXPECT_TRUE(world.api.terminated.empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CallSites, ProcessFaultSweep, ::testing::ValuesIn(kRows), RowName);

}  // namespace
