// Unit tests on the fake SCM: the shared opening and closing, QueryService
// and StartService.
#include <string>

#include "tests/service/ServiceControlFakeTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const Op kAllOps[] = {Op::kQuery, Op::kStart, Op::kStop, Op::kPause, Op::kContinue};

TEST_F(ServiceControlFakeTest, OpensLocalScmAndServiceWithFullAccessAndClosesServiceFirst) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING}));
  for (Op op : kAllOps) {
    SCOPED_TRACE(OpName(op));
    scm.calls.clear();
    scm.serviceAccess.clear();
    Run(op, L"Alpha");
    EXPECT_TRUE(scm.managerNamesNull);
    EXPECT_EQ(scm.managerAccess, DWORD{0xF003F});
    ASSERT_FALSE(scm.serviceAccess.empty());
    EXPECT_EQ(scm.serviceAccess[0], DWORD{0xF01FF});
    ASSERT_GE(scm.calls.size(), 4u);
    EXPECT_EQ(scm.calls[0], "OpenManager");
    EXPECT_EQ(scm.calls[1], "Open Alpha");
    EXPECT_EQ(scm.calls[scm.calls.size() - 2], "Close Alpha");
    EXPECT_EQ(scm.calls.back(), "Close SCM");
  }
}

TEST_F(ServiceControlFakeTest, EmptyNameIsRefusedWithoutOpeningExceptByStart) {
  for (Op op : {Op::kQuery, Op::kStop, Op::kPause, Op::kContinue}) {
    SCOPED_TRACE(OpName(op));
    EXPECT_EQ(Run(op, L""), DWORD{ERROR_INVALID_PARAMETER});
  }
  EXPECT_THAT(scm.calls, IsEmpty());

  // Start refuses only a null name; an empty one is the SCM's to judge.
  EXPECT_EQ(control.StartService(nullptr, L"x"), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_THAT(scm.calls, IsEmpty());
  EXPECT_EQ(control.StartService(L"", nullptr), DWORD{ERROR_INVALID_NAME});
  EXPECT_THAT(scm.calls, ElementsAre("OpenManager", "Open ", "Close SCM"));
}

TEST_F(ServiceControlFakeTest, ShutdownInProgressIsSuccessOnlyForQueryAndStop) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING}));
  scm.openManagerError = ERROR_SHUTDOWN_IN_PROGRESS;
  SERVICE_STATUS status{};
  status.dwCurrentState = 0xABCD;
  EXPECT_EQ(control.QueryService(L"Alpha", &status), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(status.dwCurrentState, DWORD{0xABCD}) << "record must stay untouched";
  EXPECT_EQ(control.StopService(L"Alpha"), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), DWORD{ERROR_SHUTDOWN_IN_PROGRESS});
  EXPECT_EQ(control.PauseService(L"Alpha"), DWORD{ERROR_SHUTDOWN_IN_PROGRESS});
  EXPECT_EQ(control.ContinueService(L"Alpha"), DWORD{ERROR_SHUTDOWN_IN_PROGRESS});
  EXPECT_EQ(scm.Filter("Open ").size(), 0u);
}

TEST_F(ServiceControlFakeTest, OtherScmOpenFailuresAndUnknownServicesReturnTheirCode) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING}));
  scm.openManagerError = ERROR_ACCESS_DENIED;
  for (Op op : kAllOps) {
    SCOPED_TRACE(OpName(op));
    EXPECT_EQ(Run(op, L"Alpha"), DWORD{ERROR_ACCESS_DENIED});
  }
  scm.openManagerError = 0;
  for (Op op : kAllOps) {
    SCOPED_TRACE(OpName(op));
    scm.calls.clear();
    EXPECT_EQ(Run(op, L"NoSuchService"), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    EXPECT_THAT(scm.calls, ElementsAre("OpenManager", "Open NoSuchService", "Close SCM"));
  }
  scm.Service(L"Alpha").openError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Run(Op::kStop, L"Alpha"), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(ServiceControlFakeTest, QueryCopiesTheWholeRecordForEveryState) {
  for (DWORD state : {DWORD{1}, DWORD{2}, DWORD{3}, DWORD{4}, DWORD{5}, DWORD{6}, DWORD{7}, kUnexpectedState}) {
    SCOPED_TRACE(state);
    const std::wstring name = L"S" + std::to_wstring(state);
    scm.Add(name, {FakeStep{state, 5, 3000}});
    SERVICE_STATUS status{};
    EXPECT_EQ(control.QueryService(name.c_str(), &status), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(status.dwCurrentState, state);
    EXPECT_EQ(status.dwServiceType, DWORD{SERVICE_WIN32_OWN_PROCESS});
    EXPECT_EQ(status.dwCheckPoint, 5u);
    EXPECT_EQ(status.dwWaitHint, 3000u);
  }
  EXPECT_THAT(scm.sleeps, IsEmpty());
}

TEST_F(ServiceControlFakeTest, FailedQueryReturnsItsCodeAndLeavesTheRecord) {
  scm.Add(L"Alpha", {QueryFails(ERROR_ACCESS_DENIED)});
  SERVICE_STATUS status{};
  status.dwCurrentState = 0xABCD;
  EXPECT_EQ(control.QueryService(L"Alpha", &status), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(status.dwCurrentState, DWORD{0xABCD});
}

// --- StartService ---------------------------------------------------------

class StartAtEntry : public ServiceControlFakeTest,
                     public ::testing::WithParamInterface<DWORD> {};

TEST_P(StartAtEntry, AnythingButStoppedIs1066WithoutAStartRequest) {
  scm.Add(L"Alpha", States({GetParam()}));
  EXPECT_EQ(control.StartService(L"Alpha", L"arg"), DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_THAT(scm.Filter("Start"), IsEmpty());
  EXPECT_THAT(scm.sleeps, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(States, StartAtEntry,
                         ::testing::Values(SERVICE_START_PENDING, SERVICE_STOP_PENDING,
                                           SERVICE_RUNNING, SERVICE_CONTINUE_PENDING,
                                           SERVICE_PAUSE_PENDING, SERVICE_PAUSED,
                                           kUnexpectedState));

struct StartWaitCase {
  const char* name;
  std::vector<DWORD> polls;  // states seen by the checks after the request
  DWORD expected;
};

// Names the case instead of dumping its bytes.
void PrintTo(const StartWaitCase& c, std::ostream* os) { *os << c.name; }


class StartWait : public ServiceControlFakeTest,
                  public ::testing::WithParamInterface<StartWaitCase> {};

TEST_P(StartWait, ChecksEvery2000msUntilItLeavesStartPending) {
  std::vector<FakeStep> script = States({SERVICE_STOPPED});
  for (DWORD state : GetParam().polls) script.push_back(FakeStep{state});
  scm.Add(L"Alpha", script);
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), GetParam().expected);
  EXPECT_EQ(scm.sleeps, Sleeps(2000, GetParam().polls.size()));
  EXPECT_EQ(scm.Filter("Query").size(), 1 + GetParam().polls.size());
  EXPECT_EQ(scm.Filter("Start").size(), 1u);
}

const DWORD kRunning = SERVICE_RUNNING;
const DWORD kPending = SERVICE_START_PENDING;
INSTANTIATE_TEST_SUITE_P(
    Table, StartWait,
    ::testing::Values(
        StartWaitCase{"RunningAtFirstCheck", {kRunning}, 0},
        StartWaitCase{"PendingThenRunning", {kPending, kPending, kRunning}, 0},
        StartWaitCase{"DiesDuringStart", {kPending, SERVICE_STOPPED}, 1066},
        StartWaitCase{"StopPending", {SERVICE_STOP_PENDING}, 1066},
        StartWaitCase{"ContinuePending", {SERVICE_CONTINUE_PENDING}, 1066},
        StartWaitCase{"PausePending", {SERVICE_PAUSE_PENDING}, 1066},
        StartWaitCase{"Paused", {kPending, SERVICE_PAUSED}, 1066},
        StartWaitCase{"Unexpected", {kUnexpectedState}, 1066}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceControlFakeTest, StartFailuresEndWithTheirCode) {
  scm.Add(L"Alpha", States({SERVICE_STOPPED}));
  scm.Service(L"Alpha").startError = ERROR_SERVICE_DISABLED;
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), DWORD{ERROR_SERVICE_DISABLED});
  EXPECT_THAT(scm.sleeps, IsEmpty());

  scm.Add(L"Beta", {FakeStep{SERVICE_STOPPED}, FakeStep{SERVICE_START_PENDING},
                    QueryFails(ERROR_ACCESS_DENIED)});
  scm.sleeps.clear();
  EXPECT_EQ(control.StartService(L"Beta", nullptr), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 2));

  scm.Add(L"Gamma", {QueryFails(ERROR_INVALID_HANDLE)});
  EXPECT_EQ(control.StartService(L"Gamma", nullptr), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_THAT(scm.Filter("Start Gamma"), IsEmpty());
}

TEST_F(ServiceControlFakeTest, StartArgumentsAreTheVectorsOneEntry) {
  scm.Add(L"Alpha", States({SERVICE_STOPPED, SERVICE_RUNNING}));
  EXPECT_EQ(control.StartService(L"Alpha", L"-port 8080 -v"), 0u);
  scm.Add(L"Beta", States({SERVICE_STOPPED, SERVICE_RUNNING}));
  EXPECT_EQ(control.StartService(L"Beta", L""), 0u);
  scm.Add(L"Gamma", States({SERVICE_STOPPED, SERVICE_RUNNING}));
  EXPECT_EQ(control.StartService(L"Gamma", nullptr), 0u);
  ASSERT_EQ(scm.startArgs.size(), 3u);
  // The service manager adds the name itself; the vector holds the rest.
  EXPECT_THAT(scm.startArgs[0], ElementsAre(L"-port 8080 -v"));
  EXPECT_THAT(scm.startArgs[1], IsEmpty());
  EXPECT_THAT(scm.startArgs[2], IsEmpty());
}

// --- The bound of the start wait --------------------------------------------

TEST_F(ServiceControlFakeTest, StartOfAServiceHungInStartPendingEndsWith1053) {
  // Pending from the first check on, never a new checkpoint: progress was
  // last seen at 2000 ms, so the wait gives up once more than 30000 ms pass
  // without any: at 34000 ms.
  scm.Add(L"Alpha", {FakeStep{SERVICE_STOPPED}, FakeStep{SERVICE_START_PENDING, 1, 0}});
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), DWORD{ERROR_SERVICE_REQUEST_TIMEOUT});
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 17));
}

TEST_F(ServiceControlFakeTest, StartWaitHonoursAWaitHintLongerThanTheFloor) {
  scm.Add(L"Alpha", {FakeStep{SERVICE_STOPPED}, FakeStep{SERVICE_START_PENDING, 1, 60000}});
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), DWORD{ERROR_SERVICE_REQUEST_TIMEOUT});
  EXPECT_EQ(scm.Clock(), 2000u + 62000u);
}

TEST_F(ServiceControlFakeTest, StartWaitsForAServiceThatKeepsAdvancingItsCheckpoint) {
  // 100 s of start-up, far beyond the floor, but with a new checkpoint at
  // every check: still waited for.
  std::vector<FakeStep> script = States({SERVICE_STOPPED});
  for (DWORD checkPoint = 1; checkPoint <= 50; ++checkPoint) {
    script.push_back(FakeStep{SERVICE_START_PENDING, checkPoint, 0});
  }
  script.push_back(FakeStep{SERVICE_RUNNING});
  scm.Add(L"Alpha", script);
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), 0u);
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 51));
}

TEST_F(ServiceControlFakeTest, SlowCheckpointsWithinTheBoundAreWaitedFor) {
  // A new checkpoint every 30000 ms (15 checks) is progress within the bound.
  std::vector<FakeStep> script = States({SERVICE_STOPPED});
  for (DWORD checkPoint = 1; checkPoint <= 4; ++checkPoint) {
    for (int i = 0; i < 16; ++i) script.push_back(FakeStep{SERVICE_START_PENDING, checkPoint, 0});
  }
  script.push_back(FakeStep{SERVICE_RUNNING});
  scm.Add(L"Alpha", script);
  EXPECT_EQ(control.StartService(L"Alpha", nullptr), 0u);
  EXPECT_EQ(scm.sleeps.size(), 65u);
}

}  // namespace
