// Unit tests on the fake SCM: StopService, its dependents and its wait.
#include <string>

#include "tests/service/ServiceControlFakeTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

TEST_F(ServiceControlFakeTest, StopOfAStoppedServiceLooksUpNothingAndSendsNothing) {
  scm.Add(L"Alpha", States({SERVICE_STOPPED}));
  scm.Service(L"Alpha").dependents = {L"Beta"};
  scm.Add(L"Beta", States({SERVICE_RUNNING}));
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_THAT(scm.calls, ElementsAre("OpenManager", "Open Alpha", "Query Alpha",
                                     "Close Alpha", "Close SCM"));
}

class StopAtEntry : public ServiceControlFakeTest,
                    public ::testing::WithParamInterface<DWORD> {};

TEST_P(StopAtEntry, EveryOtherStateStopsDependentsSendsTheControlAndWaits) {
  scm.Add(L"Alpha", States({GetParam(), SERVICE_STOPPED}));
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_THAT(scm.calls, ElementsAre("OpenManager", "Open Alpha", "Query Alpha",
                                     "Enum Alpha", "Control Alpha 1", "Query Alpha",
                                     "Close Alpha", "Close SCM"));
  EXPECT_THAT(scm.sleeps, ElementsAre(2000u));
  EXPECT_THAT(scm.enumBufferSizes, ElementsAre(360u));
}

INSTANTIATE_TEST_SUITE_P(States, StopAtEntry,
                         ::testing::Values(SERVICE_START_PENDING, SERVICE_STOP_PENDING,
                                           SERVICE_RUNNING, SERVICE_CONTINUE_PENDING,
                                           SERVICE_PAUSE_PENDING, SERVICE_PAUSED,
                                           kUnexpectedState));

struct StopWaitCase {
  const char* name;
  std::vector<DWORD> polls;
  DWORD expected;
};

// Names the case instead of dumping its bytes.
void PrintTo(const StopWaitCase& c, std::ostream* os) { *os << c.name; }


class StopWait : public ServiceControlFakeTest,
                 public ::testing::WithParamInterface<StopWaitCase> {};

TEST_P(StopWait, ChecksEvery2000msWhilePending) {
  std::vector<FakeStep> script = States({SERVICE_RUNNING});
  for (DWORD state : GetParam().polls) script.push_back(FakeStep{state});
  scm.Add(L"Alpha", script);
  EXPECT_EQ(control.StopService(L"Alpha"), GetParam().expected);
  EXPECT_EQ(scm.sleeps, Sleeps(2000, GetParam().polls.size()));
}

const DWORD kStopPending = SERVICE_STOP_PENDING;
INSTANTIATE_TEST_SUITE_P(
    Table, StopWait,
    ::testing::Values(
        StopWaitCase{"StoppedAtFirstCheck", {SERVICE_STOPPED}, 0},
        StopWaitCase{"StopPendingThriceThenStopped",
                     {kStopPending, kStopPending, kStopPending, SERVICE_STOPPED}, 0},
        StopWaitCase{"StartPendingIsWaitedOut", {SERVICE_START_PENDING, SERVICE_STOPPED}, 0},
        StopWaitCase{"StillRunningCountsAsDone", {kStopPending, SERVICE_RUNNING}, 0},
        StopWaitCase{"PausedAtFirstCheck", {SERVICE_PAUSED}, 1066},
        StopWaitCase{"ContinuePending", {SERVICE_CONTINUE_PENDING}, 1066},
        StopWaitCase{"PausePending", {kStopPending, SERVICE_PAUSE_PENDING}, 1066},
        StopWaitCase{"Unexpected", {kUnexpectedState}, 1066}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceControlFakeTest, StopControlAnsweredNotActiveStillWaitsAndChecks) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  scm.Service(L"Alpha").controlError = ERROR_SERVICE_NOT_ACTIVE;
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_THAT(scm.sleeps, ElementsAre(2000u));
  EXPECT_EQ(scm.Filter("Query").size(), 2u);
}

TEST_F(ServiceControlFakeTest, StopControlRefusedOtherwiseReturnsAtOnce) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING}));
  scm.Service(L"Alpha").controlError = ERROR_DEPENDENT_SERVICES_RUNNING;
  EXPECT_EQ(control.StopService(L"Alpha"), DWORD{ERROR_DEPENDENT_SERVICES_RUNNING});
  EXPECT_THAT(scm.sleeps, IsEmpty());

  scm.Add(L"Beta", {FakeStep{SERVICE_RUNNING}, FakeStep{kStopPending},
                    QueryFails(ERROR_ACCESS_DENIED)});
  EXPECT_EQ(control.StopService(L"Beta"), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 2));
}

TEST_F(ServiceControlFakeTest, DependentsAreStoppedDepthFirstBeforeTheService) {
  // Alpha <- Beta <- Delta, Alpha <- Gamma; Epsilon is a stopped dependent.
  scm.Add(L"Alpha", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  scm.Service(L"Alpha").dependents = {L"Beta", L"Epsilon", L"Gamma"};
  scm.Add(L"Beta", States({SERVICE_RUNNING, kStopPending, SERVICE_STOPPED}));
  scm.Service(L"Beta").dependents = {L"Delta"};
  scm.Add(L"Gamma", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  scm.Add(L"Delta", States({SERVICE_PAUSED, SERVICE_STOPPED}));
  scm.Add(L"Epsilon", States({SERVICE_STOPPED}));

  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_THAT(scm.Filter("Control"),
              ElementsAre("Control Delta 1", "Control Beta 1", "Control Gamma 1",
                          "Control Alpha 1"));
  EXPECT_THAT(scm.Filter("Open"), ElementsAre("OpenManager", "Open Alpha", "OpenManager",
                                              "Open Beta", "OpenManager", "Open Delta",
                                              "OpenManager", "Open Gamma"));
  // Each dependent is finished, handles closed, before the next is opened.
  const auto& calls = scm.calls;
  auto at = [&](const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  EXPECT_LT(at("Close Delta"), at("Control Beta 1"));
  EXPECT_LT(at("Close Beta"), at("Open Gamma"));
  EXPECT_LT(at("Close Gamma"), at("Control Alpha 1"));
  // Delta 1, Beta 2, Gamma 1, Alpha 1 checks.
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 5));
}

TEST_F(ServiceControlFakeTest, ADependentThatWillNotStopDoesNotChangeTheResult) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  scm.Service(L"Alpha").dependents = {L"Beta", L"Gamma"};
  scm.Add(L"Beta", States({SERVICE_RUNNING}));
  scm.Service(L"Beta").controlError = ERROR_ACCESS_DENIED;
  scm.Add(L"Gamma", States({SERVICE_RUNNING, SERVICE_PAUSED}));
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_THAT(scm.Filter("Control"),
              ElementsAre("Control Beta 1", "Control Gamma 1", "Control Alpha 1"));
}

TEST_F(ServiceControlFakeTest, ManyDependentsAreAllStoppedWithABufferOfTheSizeNeeded) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  std::vector<std::wstring> names;
  for (int i = 0; i < 12; ++i) {
    names.push_back(L"DependentServiceWithALongName" + std::to_wstring(i));
    scm.Add(names.back(), States({SERVICE_RUNNING, SERVICE_STOPPED}));
  }
  scm.Service(L"Alpha").dependents = names;
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  ASSERT_EQ(scm.enumBufferSizes.size(), 1u + 12u + 1u);
  EXPECT_EQ(scm.enumBufferSizes[0], 360u);
  EXPECT_GT(scm.enumBufferSizes[1], 360u);
  EXPECT_EQ(scm.Filter("Control").size(), 13u);
  EXPECT_EQ(scm.Filter("Control").back(), "Control Alpha 1");
}

TEST_F(ServiceControlFakeTest, UnlistableDependentsLeaveTheStopToTheScm) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING}));
  scm.Service(L"Alpha").dependents = {L"Beta"};
  scm.Service(L"Alpha").enumError = ERROR_ACCESS_DENIED;
  scm.Service(L"Alpha").controlError = ERROR_DEPENDENT_SERVICES_RUNNING;
  scm.Add(L"Beta", States({SERVICE_RUNNING}));
  EXPECT_EQ(control.StopService(L"Alpha"), DWORD{ERROR_DEPENDENT_SERVICES_RUNNING});
  EXPECT_THAT(scm.Filter("Control"), ElementsAre("Control Alpha 1"));
}

TEST_F(ServiceControlFakeTest, StopOfAServiceHungInStopPendingEndsWith1053) {
  scm.Add(L"Alpha", {FakeStep{SERVICE_RUNNING}, FakeStep{kStopPending, 3, 5000}});
  EXPECT_EQ(control.StopService(L"Alpha"), DWORD{ERROR_SERVICE_REQUEST_TIMEOUT});
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 17));
}

TEST_F(ServiceControlFakeTest, StopWaitsForAServiceThatKeepsAdvancingItsCheckpoint) {
  std::vector<FakeStep> script = States({SERVICE_RUNNING});
  for (DWORD checkPoint = 1; checkPoint <= 40; ++checkPoint) {
    script.push_back(FakeStep{kStopPending, checkPoint, 1000});
  }
  script.push_back(FakeStep{SERVICE_STOPPED});
  scm.Add(L"Alpha", script);
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_EQ(scm.sleeps, Sleeps(2000, 41));
}

TEST_F(ServiceControlFakeTest, ADependentListedAtTwoLevelsIsStoppedOnceAndFoundStoppedLater) {
  scm.Add(L"Alpha", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  scm.Service(L"Alpha").dependents = {L"Beta", L"Gamma"};
  scm.Add(L"Beta", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  scm.Service(L"Beta").dependents = {L"Gamma"};
  scm.Add(L"Gamma", States({SERVICE_RUNNING, SERVICE_STOPPED}));
  EXPECT_EQ(control.StopService(L"Alpha"), 0u);
  EXPECT_THAT(scm.Filter("Control"),
              ElementsAre("Control Gamma 1", "Control Beta 1", "Control Alpha 1"));
  EXPECT_EQ(scm.Filter("Open Gamma").size(), 2u);
  EXPECT_EQ(scm.Filter("Enum Gamma").size(), 1u) << "the second visit finds it stopped";
}

}  // namespace
