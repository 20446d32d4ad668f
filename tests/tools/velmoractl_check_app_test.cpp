// velmoractl check-app as a program's developer meets it: velmoractl.exe
// starts a sample program through the registered module, follows it through
// the shutdown contract and stops it. Each run must leave no program behind,
// whatever its verdict.
#include <windows.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/ClientProcess.h"
#include "win32/Owners.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr DWORD kFailure = 1;
constexpr const char* kClauses[] = {"started",          "table entry", "shutdown event",
                                    "shutdown timeout", "heartbeat",   "stop"};

std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The line of a clause, "ok    heartbeat: ...", or "" when there is none.
std::string Clause(const std::string& output, const std::string& name) {
  for (const std::string& line : Lines(output)) {
    if (line.size() > 6 && line.compare(6, name.size() + 2, name + ": ") == 0) return line;
  }
  return "";
}

// The program that the check started, by the identity on its "started" line,
// is no longer running.
bool ProgramGone(const std::string& output) {
  const std::string started = Clause(output, "started");
  const size_t at = started.find("Process_");
  if (at == std::string::npos) return false;
  const DWORD pid = std::strtoul(started.c_str() + at + 8, nullptr, 10);
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  return !process || WaitForSingleObject(process.get(), 2000) == WAIT_OBJECT_0;
}

}  // namespace

TEST(VelmoractlCheckApp, CooperativeProgramFollowsTheContract) {
  const ClientRun run = RunClient(L"check-app cooperative_app.exe");
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 8u) << run.out;  // heading, six clauses, verdict
  EXPECT_THAT(lines[0], StartsWith("check-app: "));
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_THAT(lines[1 + i], StartsWith(std::string("ok    ") + kClauses[i] + ": ")) << run.out;
  }
  EXPECT_THAT(Clause(run.out, "stop"), HasSubstr("graceful: exited "));
  EXPECT_EQ(lines.back(), "verdict: follows the shutdown contract");
  EXPECT_TRUE(ProgramGone(run.out)) << run.out;
}

TEST(VelmoractlCheckApp, StubbornProgramFailsAndIsTerminated) {
  // It ignores its event. With a stale heartbeat the module terminates it
  // after one wait; with a fresh one the module would wait for ever, so the
  // check ends it itself once --wait has passed.
  const ClientRun forced =
      RunClient(L"check-app stubborn_app.exe --args \"--stale --shutdown-timeout 500\"");
  EXPECT_EQ(forced.exitCode, kFailure) << forced.out;
  EXPECT_THAT(Clause(forced.out, "shutdown event"), StartsWith("ok    "));
  EXPECT_THAT(Clause(forced.out, "stop"),
              StartsWith("fail  stop: forced: the module terminated the program "));
  EXPECT_THAT(forced.out, HasSubstr("verdict: does not follow the shutdown contract ("));
  EXPECT_TRUE(ProgramGone(forced.out)) << forced.out;

  const ClientRun waited =
      RunClient(L"check-app --wait 2000 stubborn_app.exe --args \"--beat --shutdown-timeout 500\"");
  EXPECT_EQ(waited.exitCode, kFailure) << waited.out;
  EXPECT_THAT(Clause(waited.out, "heartbeat"), StartsWith("ok    "));
  EXPECT_THAT(Clause(waited.out, "stop"), StartsWith("fail  stop: not stopped: still running "));
  EXPECT_THAT(Clause(waited.out, "stop"), HasSubstr("terminated by velmoractl"));
  EXPECT_THAT(waited.out, HasSubstr("verdict: does not follow the shutdown contract (1 clause "
                                    "failed)"));
  EXPECT_TRUE(ProgramGone(waited.out)) << waited.out;
}

TEST(VelmoractlCheckApp, StaleHeartbeatFailsTheHeartbeatClause) {
  // It answers its event at once, but its heartbeat is too old throughout.
  const ClientRun run = RunClient(L"check-app cooperative_app.exe --args --stale");
  EXPECT_EQ(run.exitCode, kFailure) << run.out;
  EXPECT_THAT(Clause(run.out, "heartbeat"), StartsWith("fail  heartbeat: "));
  EXPECT_THAT(Clause(run.out, "stop"), StartsWith("warn  stop: graceful: "));
  EXPECT_THAT(run.out, HasSubstr("verdict: does not follow the shutdown contract (1 clause "
                                 "failed)"));
  EXPECT_TRUE(ProgramGone(run.out)) << run.out;
}
