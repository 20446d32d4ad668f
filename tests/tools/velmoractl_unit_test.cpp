// The client's logic without the module: argument parsing, the naming of
// results in their domain, and each verb against a scripted control object.
#include <windows.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/FakeControl.h"
#include "tools/velmoractl/CommandLine.h"
#include "tools/velmoractl/Progress.h"
#include "tools/velmoractl/ResultText.h"
#include "tools/velmoractl/StatusNames.h"
#include "tools/velmoractl/Verbs.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

bool Parse(std::vector<const wchar_t*> args, Command* command, std::wstring* error) {
  args.insert(args.begin(), L"velmoractl");
  return ParseCommandLine(static_cast<int>(args.size()), args.data(), command, error);
}

std::wstring Lookup(unsigned long code) {
  switch (code) {
    case 0: return L"The operation completed successfully.";
    case 87: return L"The parameter is incorrect.";
    case 1060: return L"The specified service does not exist as an installed service.";
    default: return L"";
  }
}

}  // namespace

// --- command line ---------------------------------------------------------

TEST(VelmoractlCommandLine, ParsesEachVerbWithItsTarget) {
  struct Case { const wchar_t* word; Verb verb; };
  for (const Case& c : {Case{L"start", Verb::kStart}, Case{L"stop", Verb::kStop},
                        Case{L"restart", Verb::kRestart}, Case{L"pause", Verb::kPause},
                        Case{L"continue", Verb::kContinue}, Case{L"status", Verb::kStatus},
                        Case{L"query", Verb::kStatus}}) {
    Command command;
    std::wstring error;
    ASSERT_TRUE(Parse({c.word, L"Process_42"}, &command, &error)) << error;
    EXPECT_EQ(command.verb, c.verb);
    EXPECT_EQ(command.target, L"Process_42");
  }
}

TEST(VelmoractlCommandLine, StartOptionsAndServiceShorthand) {
  Command command;
  std::wstring error;
  ASSERT_TRUE(Parse({L"start", L"C:\\a b\\app.exe", L"--args", L"-x 1", L"--ctrl", L"-con"},
                    &command, &error));
  EXPECT_EQ(command.target, L"C:\\a b\\app.exe");
  EXPECT_EQ(command.cmdArgs, L"-x 1");
  EXPECT_EQ(command.ctrlArgs, L"-con");

  ASSERT_TRUE(Parse({L"start", L"Svc", L"--ctrl", L"-con", L"--service"}, &command, &error));
  EXPECT_EQ(command.ctrlArgs, L"-con -service");
  ASSERT_TRUE(Parse({L"start", L"--service", L"Svc"}, &command, &error));
  EXPECT_EQ(command.ctrlArgs, L"-service");
  EXPECT_EQ(command.target, L"Svc");
}

TEST(VelmoractlCommandLine, StopTimeoutIsAWholeNumberOfMilliseconds) {
  Command command;
  std::wstring error;
  ASSERT_TRUE(Parse({L"stop", L"Process_1", L"--timeout", L"2500"}, &command, &error));
  EXPECT_EQ(command.timeoutMs, 2500);
  ASSERT_TRUE(Parse({L"stop", L"--timeout", L"-1", L"Process_1"}, &command, &error));
  EXPECT_EQ(command.timeoutMs, -1);
  ASSERT_TRUE(Parse({L"stop", L"Process_1"}, &command, &error));
  EXPECT_EQ(command.timeoutMs, 0);

  long value = 7;
  for (const wchar_t* bad : {L"", L"abc", L"12x", L" ", L"99999999999", L"-2147483649"}) {
    EXPECT_FALSE(ParseMilliseconds(bad, &value)) << bad;
  }
  EXPECT_EQ(value, 7);
  EXPECT_TRUE(ParseMilliseconds(L"2147483647", &value));
  EXPECT_EQ(value, 2147483647L);
}

TEST(VelmoractlCommandLine, RejectsBadUsageWithAReason) {
  const std::vector<std::vector<const wchar_t*>> bad = {
      {},
      {L"launch", L"x"},
      {L"start"},
      {L"stop"},
      {L"status", L"a", L"b"},
      {L"stop", L"Process_1", L"--timeout"},
      {L"stop", L"Process_1", L"--timeout", L"soon"},
      {L"start", L"app.exe", L"--timeout", L"5"},  // an option of another verb
      {L"stop", L"Process_1", L"--args", L"x"},
      {L"status", L"Svc", L"--service"},
      {L"start", L"app.exe", L"--bogus"},
      {L"start", L"app.exe", L"--args"},
      {L"help", L"me"},
  };
  for (const auto& args : bad) {
    Command command;
    std::wstring error;
    EXPECT_FALSE(Parse(args, &command, &error)) << (args.empty() ? L"" : args[0]);
    EXPECT_FALSE(error.empty());
  }
}

// --- results and names -------------------------------------------------------

TEST(VelmoractlResultText, NamesAResultInItsDomain) {
  EXPECT_EQ(FormatResult(0, ResultDomain::kHResult, Lookup),
            L"0x00000000 S_OK (The operation completed successfully.)");
  EXPECT_EQ(FormatResult(0, ResultDomain::kWin32, Lookup),
            L"0 ERROR_SUCCESS (The operation completed successfully.)");
  EXPECT_EQ(FormatResult(1060, ResultDomain::kWin32, Lookup),
            L"1060 ERROR_SERVICE_DOES_NOT_EXIST "
            L"(The specified service does not exist as an installed service.)");
  // The module's own codes carry the client's meaning; the system has none.
  EXPECT_THAT(FormatResult(kExeNotFound, ResultDomain::kHResult, Lookup),
              HasSubstr(L"0x8004040B E_EXE_NOT_FOUND (The executable"));
  EXPECT_THAT(FormatResult(kLaunchFailed, ResultDomain::kHResult, Lookup),
              HasSubstr(L"0x80043404 E_LAUNCH_FAILED (The application could not be launched"));
}

TEST(VelmoractlResultText, SameNumberMeansDifferentThingsPerDomain) {
  // 1 is S_FALSE for an application, never the Win32 "Incorrect function."
  int asked = 0;
  auto counting = [&asked](unsigned long code) {
    ++asked;
    return code == 1 ? std::wstring(L"Incorrect function.") : std::wstring();
  };
  const std::wstring sFalse = FormatResult(1, ResultDomain::kHResult, counting);
  EXPECT_THAT(sFalse, HasSubstr(L"0x00000001 S_FALSE (Success with a qualification"));
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(FormatResult(1, ResultDomain::kWin32, counting), L"1 (Incorrect function.)");
}

TEST(VelmoractlResultText, FallsBackWhenTheSystemHasNoText) {
  // A wrapped Win32 code is explained by the Win32 code inside it.
  EXPECT_EQ(FormatResult(static_cast<long>(0x80070057L), ResultDomain::kHResult, Lookup),
            L"0x80070057 E_INVALIDARG (The parameter is incorrect.)");
  EXPECT_EQ(FormatResult(static_cast<long>(0x80040154L), ResultDomain::kHResult, Lookup),
            L"0x80040154 REGDB_E_CLASSNOTREG (Class not registered.)");
  EXPECT_EQ(FormatResult(static_cast<long>(0x80041234L), ResultDomain::kHResult, Lookup),
            L"0x80041234 (Unknown error.)");
  EXPECT_EQ(FormatResult(4321, ResultDomain::kWin32, nullptr), L"4321 (Unknown error.)");
}

TEST(VelmoractlResultText, DomainFollowsTheRouteAndDecidesSuccess) {
  EXPECT_EQ(DomainOf(true, 0), ResultDomain::kHResult);
  EXPECT_EQ(DomainOf(false, 1060), ResultDomain::kWin32);
  // A negative code on the service route is the controller's own HRESULT.
  EXPECT_EQ(DomainOf(false, static_cast<long>(0x80070057L)), ResultDomain::kHResult);

  EXPECT_TRUE(IsSuccess(S_OK, ResultDomain::kHResult));
  EXPECT_TRUE(IsSuccess(S_FALSE, ResultDomain::kHResult));
  EXPECT_FALSE(IsSuccess(kExeNotFound, ResultDomain::kHResult));
  EXPECT_TRUE(IsSuccess(0, ResultDomain::kWin32));
  EXPECT_FALSE(IsSuccess(1, ResultDomain::kWin32));
  EXPECT_FALSE(IsSuccess(1053, ResultDomain::kWin32));
}

TEST(VelmoractlResultText, RoutesLikeTheModule) {
  EXPECT_TRUE(IsApplicationIdentity(L"Process_1234"));
  EXPECT_TRUE(IsApplicationIdentity(L"MyProcess_Svc"));
  EXPECT_FALSE(IsApplicationIdentity(L"process_1234"));
  EXPECT_FALSE(IsApplicationIdentity(L"Spooler"));

  EXPECT_TRUE(IsServiceStart(L"-service"));
  EXPECT_TRUE(IsServiceStart(L"-con /SERVICE"));
  EXPECT_TRUE(IsServiceStart(L"-Services"));
  EXPECT_FALSE(IsServiceStart(L"-con"));
  EXPECT_FALSE(IsServiceStart(L"service"));
}

TEST(VelmoractlStatusNames, NamesProcessStatusesAndServiceStates) {
  EXPECT_STREQ(ProcessStatusName(0), L"PROCESS_STARTING");
  EXPECT_STREQ(ProcessStatusName(2), L"PROCESS_STARTED");
  EXPECT_STREQ(ProcessStatusName(5), L"PROCESS_STOPPED");
  EXPECT_STREQ(ProcessStatusName(14), L"PROCESS_STOPPED_STANDBY");
  EXPECT_EQ(ProcessStatusName(15), nullptr);
  EXPECT_EQ(ProcessStatusName(-1), nullptr);
  EXPECT_STREQ(ServiceStateName(SERVICE_RUNNING), L"RUNNING");
  EXPECT_STREQ(ServiceStateName(SERVICE_PAUSE_PENDING), L"PAUSE_PENDING");
  EXPECT_EQ(ServiceStateName(0), nullptr);
}

TEST(VelmoractlProgress, LineShowsElapsedTenthsAndDetail) {
  EXPECT_EQ(FormatProgressLine(0, L""), L"waiting 0.0 s");
  EXPECT_EQ(FormatProgressLine(6543, L"service Svc START_PENDING"),
            L"waiting 6.5 s  service Svc START_PENDING");
  EXPECT_EQ(FormatProgressLine(120000, L"x"), L"waiting 120.0 s  x");
}

TEST(VelmoractlProgress, QuickRequestLeavesNoTrace) {
  std::wstring written;
  { ProgressReporter reporter([] { return std::wstring(L"d"); },
                              [&written](const std::wstring& text) { written += text; }); }
  EXPECT_EQ(written, L"");
}

TEST(VelmoractlProgress, LongRequestRewritesOneLineAndEndsIt) {
  std::wstring written;
  {
    ProgressReporter reporter([] { return std::wstring(L"service Svc STOP_PENDING"); },
                              [&written](const std::wstring& text) { written += text; });
    Sleep(ProgressReporter::kFirstLineDelayMs + ProgressReporter::kTickMs + 300);
  }
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.front(), L'\r');
  EXPECT_EQ(written.back(), L'\n');
  EXPECT_THAT(written, HasSubstr(L"service Svc STOP_PENDING"));
  EXPECT_EQ(written.find(L'\n'), written.size() - 1);  // one line, rewritten in place
}

// --- verbs against a scripted control object ----------------------------------

class VelmoractlVerbs : public ::testing::Test {
 protected:
  VelmoractlVerbs() {
    services.serviceName = L"Svc";
    context.control = &control;
    context.services = &services;
    context.applications = &applications;
    context.messages = Lookup;
    context.writeOut = [this](const std::wstring& text) { out += text; };
    context.sleep = [this](DWORD ms) { slept += ms; };
  }

  int Run(std::vector<const wchar_t*> args) {
    Command command;
    std::wstring error;
    EXPECT_TRUE(Parse(std::move(args), &command, &error)) << error;
    return RunCommand(command, context);
  }

  FakeControl control;
  FakeServiceStates services;
  FakeApplications applications;
  ClientContext context;
  std::wstring out;
  DWORD slept = 0;  // virtual time spent waiting for a state to settle
};

TEST_F(VelmoractlVerbs, StartOfAnApplicationPrintsItsIdentity) {
  control.identity = L"Process_1234";
  EXPECT_EQ(Run({L"start", L"app.exe", L"--args", L"-n 3", L"--ctrl", L"-CON"}), kExitSuccess);
  EXPECT_EQ(control.lastMethod, L"Start");
  // The module checks "\\?\" + the name as given, so the client hands over a full path.
  EXPECT_THAT(control.name, HasSubstr(L":\\"));
  EXPECT_THAT(control.name, ::testing::EndsWith(L"\\app.exe"));
  EXPECT_EQ(control.cmdArgs, L"-n 3");
  EXPECT_EQ(control.ctrlArgs, L"-CON");
  EXPECT_THAT(out, ::testing::StartsWith(
                       L"identity: Process_1234\n"
                       L"result: 0x00000000 S_OK (The operation completed successfully.)\n"
                       L"elapsed: "));
  EXPECT_THAT(out, Not(HasSubstr(L"state:")));
}

TEST_F(VelmoractlVerbs, StartOfAMissingExecutableFails) {
  control.result = kExeNotFound;
  EXPECT_EQ(Run({L"start", L"C:\\nowhere\\app.exe"}), kExitFailure);
  EXPECT_EQ(control.name, L"C:\\nowhere\\app.exe");
  EXPECT_THAT(out, Not(HasSubstr(L"identity:")));
  EXPECT_THAT(out, HasSubstr(L"result: 0x8004040B E_EXE_NOT_FOUND ("));
}

TEST_F(VelmoractlVerbs, StartOfAServiceReportsAWin32CodeAndTheState) {
  control.identity = L"Svc";
  control.result = 0;
  EXPECT_EQ(Run({L"start", L"Svc", L"--service", L"--args", L"a b"}), kExitSuccess);
  EXPECT_EQ(control.name, L"Svc");  // a service name is not a path
  EXPECT_EQ(control.ctrlArgs, L"-service");
  EXPECT_THAT(out, HasSubstr(L"identity: Svc\nresult: 0 ERROR_SUCCESS ("));
  EXPECT_THAT(out, HasSubstr(L"state: RUNNING\n"));

  out.clear();
  control.identity = L"Other";
  control.result = 1060;
  EXPECT_EQ(Run({L"start", L"Other", L"--ctrl", L"/SERVICE"}), kExitFailure);
  EXPECT_THAT(out, HasSubstr(L"identity: Other\nresult: 1060 ERROR_SERVICE_DOES_NOT_EXIST ("));
  EXPECT_THAT(out, HasSubstr(L"state: unknown\nstate-error: 1060 "));
}

TEST_F(VelmoractlVerbs, StopOfAnApplicationTellsHowItEnded) {
  struct Case { HRESULT result; long forced; int exit; const wchar_t* outcome; };
  for (const Case& c : {Case{S_OK, 0, kExitSuccess, L"outcome: ended by itself\n"},
                        Case{S_FALSE, 1, kExitSuccess, L"outcome: terminated\n"},
                        Case{S_FALSE, 0, kExitSuccess, L"outcome: already gone\n"},
                        Case{E_INVALIDARG, 0, kExitFailure, nullptr}}) {
    out.clear();
    control.result = c.result;
    control.forced = c.forced;
    EXPECT_EQ(Run({L"stop", L"Process_77", L"--timeout", L"2500"}), c.exit);
    EXPECT_EQ(control.timeout, 2500);
    EXPECT_TRUE(control.forcedPointerGiven);
    EXPECT_THAT(out, HasSubstr(L"forced: " + std::to_wstring(c.forced) + L"\n"));
    if (c.outcome) {
      EXPECT_THAT(out, HasSubstr(c.outcome));
    } else {
      EXPECT_THAT(out, Not(HasSubstr(L"outcome:")));
    }
    EXPECT_THAT(out, Not(HasSubstr(L"state:")));
  }
}

TEST_F(VelmoractlVerbs, StopOfAServiceUsesTheWin32Domain) {
  control.result = 0;
  services.state = SERVICE_STOPPED;
  EXPECT_EQ(Run({L"stop", L"Svc"}), kExitSuccess);
  EXPECT_THAT(out, HasSubstr(L"result: 0 ERROR_SUCCESS ("));
  EXPECT_THAT(out, HasSubstr(L"outcome: stopped\nstate: STOPPED\n"));
  EXPECT_THAT(out, Not(HasSubstr(L"forced:")));

  out.clear();
  control.result = 1062;
  EXPECT_EQ(Run({L"stop", L"Svc"}), kExitFailure);
  EXPECT_THAT(out, HasSubstr(L"result: 1062 ERROR_SERVICE_NOT_ACTIVE"));
  EXPECT_THAT(out, Not(HasSubstr(L"outcome:")));
}

TEST_F(VelmoractlVerbs, StopOfAServiceThatStillRunsFails) {
  // The module answers 0 when the service still runs at its check after the
  // stop control: the state afterwards decides, so `stop && replace` holds.
  control.result = 0;
  services.state = SERVICE_RUNNING;
  EXPECT_EQ(Run({L"stop", L"Svc"}), kExitFailure);
  EXPECT_THAT(out, HasSubstr(L"result: 0 ERROR_SUCCESS ("));
  EXPECT_THAT(out, HasSubstr(L"outcome: still RUNNING\nstate: RUNNING\n"));
  EXPECT_THAT(out, Not(HasSubstr(L"outcome: stopped")));
}

TEST_F(VelmoractlVerbs, StatusOfAnApplicationNamesThePlatformStatus) {
  control.status = 2;
  EXPECT_EQ(Run({L"status", L"Process_9"}), kExitSuccess);
  EXPECT_THAT(out, ::testing::StartsWith(L"status: 2 PROCESS_STARTED\nresult: 0x00000000 S_OK"));

  out.clear();
  control.status = 99;
  EXPECT_EQ(Run({L"query", L"Process_9"}), kExitSuccess);
  EXPECT_THAT(out, HasSubstr(L"status: 99 UNKNOWN\n"));

  out.clear();
  control.result = E_INVALIDARG;
  control.writeStatus = false;
  EXPECT_EQ(Run({L"status", L"Process_9"}), kExitFailure);
  EXPECT_THAT(out, Not(HasSubstr(L"status:")));
  EXPECT_THAT(out, HasSubstr(L"result: 0x80070057 E_INVALIDARG ("));
}

TEST_F(VelmoractlVerbs, StatusOfAServiceIsTheQueryCodePlusItsState) {
  control.result = 0;
  services.state = SERVICE_PAUSED;
  EXPECT_EQ(Run({L"status", L"Svc"}), kExitSuccess);
  EXPECT_THAT(out, ::testing::StartsWith(L"result: 0 ERROR_SUCCESS ("));
  EXPECT_THAT(out, HasSubstr(L"state: PAUSED\n"));

  out.clear();
  control.result = 1060;
  EXPECT_EQ(Run({L"status", L"Gone"}), kExitFailure);
  EXPECT_THAT(out, ::testing::StartsWith(L"result: 1060 ERROR_SERVICE_DOES_NOT_EXIST ("));
  EXPECT_THAT(out, Not(HasSubstr(L"status:")));
}

TEST_F(VelmoractlVerbs, PauseAndContinueAreJudgedByTheServiceStateAfterwards) {
  // The module answers S_OK to every pause; only the state tells.
  control.result = S_OK;
  services.state = SERVICE_PAUSED;
  EXPECT_EQ(Run({L"pause", L"Svc"}), kExitSuccess);
  EXPECT_EQ(control.lastMethod, L"Pause");
  EXPECT_EQ(Run({L"continue", L"Svc"}), kExitFailure);
  EXPECT_EQ(control.lastMethod, L"Continue");
  services.state = SERVICE_RUNNING;
  EXPECT_EQ(Run({L"continue", L"Svc"}), kExitSuccess);
  EXPECT_EQ(Run({L"pause", L"Svc"}), kExitFailure);
  EXPECT_EQ(Run({L"pause", L"Missing"}), kExitFailure);

  out.clear();
  EXPECT_EQ(Run({L"pause", L"Process_5"}), kExitSuccess);
  EXPECT_THAT(out, HasSubstr(L"note: pause and continue do nothing for an application\n"));
  EXPECT_THAT(out, Not(HasSubstr(L"state:")));
}

TEST_F(VelmoractlVerbs, PendingPauseIsGivenThreeSecondsToSettle) {
  services.state = SERVICE_PAUSED;
  services.pendingReads = 4;
  EXPECT_EQ(Run({L"pause", L"Svc"}), kExitSuccess);
  EXPECT_EQ(services.reads, 5);
  EXPECT_EQ(slept, 400u);
  EXPECT_THAT(out, HasSubstr(L"state: PAUSED\n"));

  // Still pending after 30 polls of 100 ms: reported as it is, and a failure.
  out.clear();
  services.reads = 0;
  slept = 0;
  services.pendingReads = 1000;
  services.pendingState = SERVICE_CONTINUE_PENDING;
  EXPECT_EQ(Run({L"continue", L"Svc"}), kExitFailure);
  EXPECT_EQ(services.reads, 31);
  EXPECT_EQ(slept, 3000u);
  EXPECT_THAT(out, HasSubstr(L"state: CONTINUE_PENDING\n"));

  // A status shows the state as it is, pending or not, without waiting.
  out.clear();
  services.reads = 0;
  slept = 0;
  EXPECT_EQ(Run({L"status", L"Svc"}), kExitSuccess);
  EXPECT_EQ(services.reads, 1);
  EXPECT_EQ(slept, 0u);
}

TEST_F(VelmoractlVerbs, RestartReportsTheModulesAnswer) {
  EXPECT_EQ(Run({L"restart", L"Process_5"}), kExitSuccess);
  EXPECT_EQ(control.lastMethod, L"Restart");
  EXPECT_THAT(out, HasSubstr(L"result: 0x00000000 S_OK ("));
  EXPECT_THAT(out, HasSubstr(L"outcome: nothing restarted (the module answers restart requests "
                             L"without acting)\n"));
}

TEST_F(VelmoractlVerbs, ProgressStaysOffStdout) {
  std::wstring progress;
  context.writeProgress = [&progress](const std::wstring& text) { progress += text; };
  control.result = 0;
  services.state = SERVICE_STOPPED;
  EXPECT_EQ(Run({L"stop", L"Svc"}), kExitSuccess);
  EXPECT_THAT(out, Not(HasSubstr(L"waiting")));
  EXPECT_EQ(progress, L"");  // a request this quick shows nothing at all
}
