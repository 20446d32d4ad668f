// velmoractl.exe as a person or a script meets it: a child process whose exit
// code and standard output are read through pipes, talking to the registered
// module and host stand-ins of the Wine session.
#include <windows.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/ClientProcess.h"

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

constexpr DWORD kBadUsage = 2;
constexpr DWORD kFailure = 1;

}  // namespace

TEST(VelmoractlCli, BadUsageExitsTwoWithUsageOnStderrOnly) {
  for (const wchar_t* arguments : {L"", L"launch app.exe", L"start", L"stop",
                                   L"stop Process_1 --timeout soon", L"status a b",
                                   L"start app.exe --bogus", L"check-app",
                                   L"check-app app.exe --ctrl -Service",
                                   L"check-app app.exe --wait -5"}) {
    const ClientRun run = RunClient(arguments);
    EXPECT_EQ(run.exitCode, kBadUsage) << "arguments: " << testing::PrintToString(arguments);
    EXPECT_THAT(run.err, StartsWith("velmoractl: "));
    EXPECT_THAT(run.err, HasSubstr("usage: velmoractl <verb>"));
    EXPECT_EQ(run.out, "");
  }
}

TEST(VelmoractlCli, HelpGoesToStdout) {
  const ClientRun run = RunClient(L"--help");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.out, StartsWith("usage: velmoractl <verb>"));
  EXPECT_EQ(run.err, "");
}

TEST(VelmoractlCli, MissingExecutableIsAFailedStartInTheHResultDomain) {
  const ClientRun run = RunClient(L"start C:\\velmora-no-such-folder\\app.exe --ctrl -con");
  EXPECT_EQ(run.exitCode, kFailure);
  EXPECT_TRUE(AllLinesAreFields(run.out)) << run.out;
  EXPECT_THAT(Field(run.out, "result"), StartsWith("0x8004040B E_EXE_NOT_FOUND ("));
  EXPECT_EQ(Field(run.out, "identity"), "");
  EXPECT_THAT(Field(run.out, "elapsed"), testing::EndsWith(" s"));
  EXPECT_EQ(run.err, "");  // no progress into a pipe
}

TEST(VelmoractlCli, StatusOfAnUnknownServiceIsWin32Code1060) {
  const ClientRun run = RunClient(L"status VelmoraNoSuchService");
  EXPECT_EQ(run.exitCode, kFailure);
  EXPECT_TRUE(AllLinesAreFields(run.out)) << run.out;
  EXPECT_THAT(run.out, StartsWith("result: 1060 ERROR_SERVICE_DOES_NOT_EXIST ("));
  EXPECT_EQ(Field(run.out, "status"), "");
  EXPECT_EQ(run.err, "");
}

TEST(VelmoractlCli, StopOfAnUnknownServiceIsAWin32Failure) {
  const ClientRun run = RunClient(L"stop VelmoraNoSuchService --timeout 100");
  EXPECT_EQ(run.exitCode, kFailure);
  EXPECT_THAT(Field(run.out, "result"), StartsWith("1060 ERROR_SERVICE_DOES_NOT_EXIST ("));
  EXPECT_EQ(Field(run.out, "forced"), "");
  EXPECT_EQ(Field(run.out, "outcome"), "");
}

TEST(VelmoractlCli, CooperativeApplicationStartsReportsAndEndsByItself) {
  // A relative name: the client resolves it against its working directory.
  const ClientRun start = RunClient(L"start cooperative_app.exe --ctrl -con");
  const std::string identity = Field(start.out, "identity");
  ASSERT_EQ(start.exitCode, 0u) << start.out;
  ASSERT_THAT(identity, StartsWith("Process_"));
  EXPECT_THAT(Field(start.out, "result"), StartsWith("0x00000000 S_OK ("));
  EXPECT_TRUE(AllLinesAreFields(start.out)) << start.out;

  // The program enters itself in the table right after it starts.
  ClientRun status;
  for (int i = 0; i < 100; ++i) {
    status = RunClient(L"status " + std::wstring(identity.begin(), identity.end()));
    if (Field(status.out, "status") == "2 PROCESS_STARTED") break;
    Sleep(100);
  }
  EXPECT_EQ(status.exitCode, 0u) << status.out;
  EXPECT_EQ(Field(status.out, "status"), "2 PROCESS_STARTED");

  const ClientRun stop = RunClient(L"stop " + std::wstring(identity.begin(), identity.end()));
  EXPECT_EQ(stop.exitCode, 0u) << stop.out;
  EXPECT_THAT(Field(stop.out, "result"), StartsWith("0x00000000 S_OK ("));
  EXPECT_EQ(Field(stop.out, "forced"), "0");
  EXPECT_EQ(Field(stop.out, "outcome"), "ended by itself");
  TerminateIdentity(identity);
}

TEST(VelmoractlCli, StubbornApplicationIsTerminated) {
  // --stale: the program's heartbeat is already too old when the first wait ends.
  const ClientRun start = RunClient(L"start stubborn_app.exe --args --stale");
  const std::string identity = Field(start.out, "identity");
  ASSERT_EQ(start.exitCode, 0u) << start.out;
  ASSERT_THAT(identity, StartsWith("Process_"));
  const std::wstring wideIdentity(identity.begin(), identity.end());
  for (int i = 0; i < 100; ++i) {
    if (Field(RunClient(L"status " + wideIdentity).out, "status") == "2 PROCESS_STARTED") break;
    Sleep(100);
  }

  const ClientRun stop = RunClient(L"stop " + wideIdentity + L" --timeout 200");
  EXPECT_EQ(stop.exitCode, 0u) << stop.out;
  EXPECT_THAT(Field(stop.out, "result"), StartsWith("0x00000001 S_FALSE ("));
  EXPECT_EQ(Field(stop.out, "forced"), "1");
  EXPECT_EQ(Field(stop.out, "outcome"), "terminated");
  EXPECT_TRUE(AllLinesAreFields(stop.out)) << stop.out;
  TerminateIdentity(identity);
}

TEST(VelmoractlCli, PauseOfAnApplicationDoesNothingAndSaysSo) {
  const ClientRun run = RunClient(L"pause Process_999999");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(Field(run.out, "result"), StartsWith("0x00000000 S_OK ("));
  EXPECT_EQ(Field(run.out, "note"), "pause and continue do nothing for an application");
}
