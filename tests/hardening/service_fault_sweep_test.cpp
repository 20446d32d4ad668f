// Every SCM call of every service operation fails in turn. The rule the
// operations promise: a failure about the service that was named comes back
// as its own Win32 code, never as success; a failure while stopping one of its
// dependents is left to the SCM's decision about the named service; and every
// handle that was opened is closed exactly once, whichever call failed.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "service/FsNtServiceControl.h"
#include "tests/hardening/FaultingScm.h"
#include "tests/service/FakeScm.h"

namespace {

using hardening::FaultingScm;
using hardening::ScmCall;

// Not a code the operations ever make up themselves.
constexpr DWORD kInjected = ERROR_ACCESS_DENIED;
const wchar_t kTarget[] = L"Target";
const wchar_t kDependent[] = L"Dependent";

enum class Op { kQuery, kStart, kStop, kPause, kContinue };

const char* OpName(Op op) {
  switch (op) {
    case Op::kQuery: return "Query";
    case Op::kStart: return "Start";
    case Op::kStop: return "Stop";
    case Op::kPause: return "Pause";
    case Op::kContinue: return "Continue";
  }
  return "?";
}

// A scenario that goes through every call the operation can make: pending
// states with progress, and for the stop an active dependent of its own.
void Script(Op op, FakeScm& scm) {
  auto steps = [](std::initializer_list<DWORD> states) {
    std::vector<FakeStep> out;
    DWORD checkPoint = 0;
    for (DWORD state : states) out.push_back(FakeStep{state, ++checkPoint, 3000});
    return out;
  };
  switch (op) {
    case Op::kQuery:
      scm.Add(kTarget, steps({SERVICE_RUNNING}));
      break;
    case Op::kStart:
      scm.Add(kTarget, steps({SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_START_PENDING,
                              SERVICE_RUNNING}));
      break;
    case Op::kStop:
      scm.Add(kTarget, steps({SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOPPED}));
      scm.Add(kDependent, steps({SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOPPED}));
      scm.Service(kTarget).dependents = {kDependent};
      break;
    case Op::kPause:
      scm.Add(kTarget, steps({SERVICE_RUNNING, SERVICE_PAUSE_PENDING, SERVICE_PAUSED}));
      break;
    case Op::kContinue:
      scm.Add(kTarget, steps({SERVICE_PAUSED, SERVICE_CONTINUE_PENDING, SERVICE_RUNNING}));
      break;
  }
}

DWORD RunOp(Op op, FsNtServiceControl& control) {
  SERVICE_STATUS status{};
  switch (op) {
    case Op::kQuery: return control.QueryService(kTarget, &status);
    case Op::kStart: return control.StartService(kTarget, L"-x");
    case Op::kStop: return control.StopService(kTarget);
    case Op::kPause: return control.PauseService(kTarget);
    case Op::kContinue: return control.ContinueService(kTarget);
  }
  return 0xFFFFFFFF;
}

// How often the fault-free scenario makes each call.
int CallsOf(Op op, ScmCall call) {
  FakeScm scm;
  Script(op, scm);
  FaultingScm faulting(scm);
  FsNtServiceControl control(faulting);
  EXPECT_EQ(RunOp(op, control), static_cast<DWORD>(ERROR_SUCCESS)) << OpName(op);
  return faulting.Count(call);
}

class ServiceFaultSweep : public ::testing::TestWithParam<std::tuple<Op, ScmCall>> {};

TEST_P(ServiceFaultSweep, EachFailureIsReportedAndReleasesEveryHandle) {
  const Op op = std::get<0>(GetParam());
  const ScmCall call = std::get<1>(GetParam());
  const int calls = CallsOf(op, call);
  ASSERT_GT(calls, 0) << OpName(op) << " makes no such call";
  for (int n = 1; n <= calls; ++n) {
    SCOPED_TRACE(std::string(OpName(op)) + ": " + hardening::ScmCallName(call) + " #" +
                 std::to_string(n) + " of " + std::to_string(calls) + " fails");
    FakeScm scm;
    Script(op, scm);
    FaultingScm faulting(scm);
    faulting.FailNth(call, n, kInjected);
    FsNtServiceControl control(faulting);

    const DWORD result = RunOp(op, control);

    ASSERT_TRUE(faulting.Failed());
    // The first manager opening, and every call about the named service,
    // belong to the request itself; anything else was a dependent's.
    const bool aboutTarget = faulting.FailedTarget() == kTarget ||
                             (call == ScmCall::kOpenManager && n == 1);
    if (call == ScmCall::kEnum || !aboutTarget) {
      EXPECT_EQ(result, static_cast<DWORD>(ERROR_SUCCESS))
          << "the named service stops whatever became of its dependent";
    } else {
      EXPECT_EQ(result, kInjected);
    }
    EXPECT_EQ(scm.OpenHandles(), 0u) << "a handle outlived the call";
    EXPECT_EQ(scm.badCloses, 0) << "a handle was closed twice or used after its close";
  }
}

std::string SweepName(const ::testing::TestParamInfo<std::tuple<Op, ScmCall>>& info) {
  return std::string(OpName(std::get<0>(info.param))) +
         hardening::ScmCallName(std::get<1>(info.param));
}

const ScmCall kAllCalls[] = {ScmCall::kOpenManager, ScmCall::kOpenService, ScmCall::kQuery,
                             ScmCall::kStart,       ScmCall::kControl,     ScmCall::kEnum};

// Each operation with each call it makes.
std::vector<std::tuple<Op, ScmCall>> CallSites() {
  std::vector<std::tuple<Op, ScmCall>> sites;
  const ScmCall opening[] = {ScmCall::kOpenManager, ScmCall::kOpenService, ScmCall::kQuery};
  for (Op op : {Op::kQuery, Op::kStart, Op::kStop, Op::kPause, Op::kContinue}) {
    for (ScmCall call : opening) sites.emplace_back(op, call);
  }
  sites.emplace_back(Op::kStart, ScmCall::kStart);
  sites.emplace_back(Op::kStop, ScmCall::kEnum);
  for (Op op : {Op::kStop, Op::kPause, Op::kContinue}) sites.emplace_back(op, ScmCall::kControl);
  return sites;
}

INSTANTIATE_TEST_SUITE_P(AllOperations, ServiceFaultSweep, ::testing::ValuesIn(CallSites()),
                         SweepName);

// The sweep above must have had something to sweep: every call kind is made
// by some operation, so no row passes for want of calls.
TEST(ServiceFaultSweepCoverage, EveryCallKindIsMadeBySomeOperation) {
  for (ScmCall call : kAllCalls) {
    int total = 0;
    for (Op op : {Op::kQuery, Op::kStart, Op::kStop, Op::kPause, Op::kContinue})
      total += CallsOf(op, call);
    EXPECT_GT(total, 0) << hardening::ScmCallName(call);
  }
  EXPECT_EQ(CallsOf(Op::kStop, ScmCall::kOpenManager), 2) << "the dependent has a session too";
}

// A manager that refuses because the system is shutting down is no failure
// for a query or a stop, and still leaves nothing open.
TEST(ServiceFaultSweepCoverage, ShutdownInProgressAtTheManagerIsSuccessForQueryAndStop) {
  for (Op op : {Op::kQuery, Op::kStop, Op::kStart, Op::kPause}) {
    FakeScm scm;
    Script(op, scm);
    FaultingScm faulting(scm);
    faulting.FailNth(ScmCall::kOpenManager, 1, ERROR_SHUTDOWN_IN_PROGRESS);
    FsNtServiceControl control(faulting);
    const DWORD expected = (op == Op::kQuery || op == Op::kStop)
                               ? static_cast<DWORD>(ERROR_SUCCESS)
                               : static_cast<DWORD>(ERROR_SHUTDOWN_IN_PROGRESS);
    EXPECT_EQ(RunOp(op, control), expected) << OpName(op);
    EXPECT_EQ(scm.OpenHandles(), 0u) << OpName(op);
  }
}

}  // namespace
