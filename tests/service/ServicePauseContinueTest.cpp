// Unit tests on the fake SCM: PauseService and ContinueService, table-driven
// over the state at entry, the answer to the control and the polls.
#include <string>

#include "tests/service/ServiceControlFakeTest.h"

using ::testing::IsEmpty;

namespace {

constexpr DWORD kRun = SERVICE_RUNNING;
constexpr DWORD kPaused = SERVICE_PAUSED;
constexpr DWORD kStopped = SERVICE_STOPPED;
constexpr DWORD kPausePend = SERVICE_PAUSE_PENDING;
constexpr DWORD kContPend = SERVICE_CONTINUE_PENDING;

struct TwinCase {
  const char* name;
  Op op;
  DWORD entry;
  DWORD controlError;
  std::vector<DWORD> polls;  // states seen by the polls; the last one repeats
  DWORD expected;
  size_t expectedPolls;
  DWORD queryErrorAtPoll = 0;  // nonzero: the poll after `polls` fails with it
};

// Names the case instead of dumping its bytes.
void PrintTo(const TwinCase& c, std::ostream* os) { *os << c.name; }


std::vector<DWORD> Then(std::vector<DWORD> head, DWORD state, int times) {
  for (int i = 0; i < times; ++i) head.push_back(state);
  return head;
}

class TwinTable : public ServiceControlFakeTest,
                  public ::testing::WithParamInterface<TwinCase> {};

TEST_P(TwinTable, PollsEvery100msAtMost11Times) {
  const TwinCase& c = GetParam();
  std::vector<FakeStep> script = States({c.entry});
  for (DWORD state : c.polls) script.push_back(FakeStep{state});
  if (c.queryErrorAtPoll != 0) script.push_back(QueryFails(c.queryErrorAtPoll));
  scm.Add(L"Alpha", script);
  scm.Service(L"Alpha").controlError = c.controlError;

  EXPECT_EQ(Run(c.op, L"Alpha"), c.expected);
  EXPECT_EQ(scm.sleeps, Sleeps(100, c.expectedPolls));
  EXPECT_EQ(scm.Filter("Query").size(), 1 + c.expectedPolls);
  const bool atTarget = c.entry == (c.op == Op::kPause ? kPaused : kRun);
  const std::string control =
      std::string("Control Alpha ") + (c.op == Op::kPause ? "2" : "3");
  if (atTarget) {
    EXPECT_THAT(scm.Filter("Control"), IsEmpty());
  } else {
    EXPECT_EQ(scm.Filter("Control"), std::vector<std::string>{control});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TwinTable,
    ::testing::Values(
        // Already at the target: nothing sent.
        TwinCase{"ContinueRunning", Op::kContinue, kRun, 0, {}, 0, 0},
        TwinCase{"PausePaused", Op::kPause, kPaused, 0, {}, 0, 0},
        // Control refused.
        TwinCase{"ContinueStoppedNotActive", Op::kContinue, kStopped,
                 ERROR_SERVICE_NOT_ACTIVE, {}, 1066, 0},
        TwinCase{"PauseStoppedNotActive", Op::kPause, kStopped,
                 ERROR_SERVICE_NOT_ACTIVE, {}, 1066, 0},
        TwinCase{"PauseCannotAccept", Op::kPause, kRun,
                 ERROR_INVALID_SERVICE_CONTROL, {}, ERROR_INVALID_SERVICE_CONTROL, 0},
        // Reaching the target.
        TwinCase{"PausedAtThirdPoll", Op::kPause, kRun, 0,
                 {kPausePend, kPausePend, kPaused}, 0, 3},
        TwinCase{"ContinueRunningAtFirstPoll", Op::kContinue, kPaused, 0, {kRun}, 0, 1},
        TwinCase{"PauseFromUnexpectedEntry", Op::kPause, kUnexpectedState, 0,
                 {kPaused}, 0, 1},
        // Never reaching it: the result left by the 11 polls.
        TwinCase{"PausePendingAll11", Op::kPause, kRun, 0, Then({}, kPausePend, 11), 0, 11},
        TwinCase{"ContinuePendingAll11", Op::kContinue, kPaused, 0,
                 Then({}, kContPend, 11), 0, 11},
        TwinCase{"ContinuePausedOnceThenPending", Op::kContinue, kPaused, 0,
                 Then({kPaused}, kContPend, 10), 1066, 11},
        TwinCase{"ContinueStaysPaused", Op::kContinue, kPaused, 0, {kPaused}, 1066, 11},
        TwinCase{"PauseStoppedRunningThenPending", Op::kPause, kRun, 0,
                 Then({kStopped, kRun}, kPausePend, 9), 0, 11},
        TwinCase{"PauseStoppedAtLastPoll", Op::kPause, kRun, 0,
                 Then(Then({kStopped, kRun}, kPausePend, 8), kStopped, 1), 1066, 11},
        TwinCase{"PauseStaysRunning", Op::kPause, kRun, 0, {kRun}, 0, 11},
        TwinCase{"PauseSeesContinuePending", Op::kPause, kRun, 0,
                 Then({kContPend}, kPausePend, 10), 1066, 11},
        TwinCase{"ContinueSeesPausePending", Op::kContinue, kPaused, 0,
                 Then({kPausePend}, kContPend, 10), 1066, 11},
        TwinCase{"ContinueStopped", Op::kContinue, kStopped, 0, {kStopped}, 1066, 11},
        // A failed poll ends the wait with its code.
        TwinCase{"PauseQueryFailsAtSecondPoll", Op::kPause, kRun, 0, {kPausePend},
                 ERROR_ACCESS_DENIED, 2, ERROR_ACCESS_DENIED},
        TwinCase{"ContinueQueryFailsAtFirstPoll", Op::kContinue, kPaused, 0, {},
                 ERROR_INVALID_HANDLE, 1, ERROR_INVALID_HANDLE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceControlFakeTest, TwinsReturnTheEntryQueryFailure) {
  scm.Add(L"Alpha", {QueryFails(ERROR_ACCESS_DENIED)});
  EXPECT_EQ(control.PauseService(L"Alpha"), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(control.ContinueService(L"Alpha"), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_THAT(scm.Filter("Control"), IsEmpty());
}

}  // namespace
