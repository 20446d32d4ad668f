// The module inside a host process of its own (logger_host_child.exe, in a
// folder without LoggerDLL.dll), through the registered control object:
// where the bare library name is looked for, where a library from
// "InstallPath" takes its own imports from, and a host that exits while
// requests run on other threads.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "tests/logging/LoggerTestEnv.h"

namespace {

using logger_test::BinDir;
using logger_test::ScopedEnvironment;
using logger_test::ScopedInstallPath;
using logger_test::ScopedLogFile;
using logger_test::VariantDir;

// A host that has not ended by then hangs; a prompt exit takes well under a
// second, so this bound tells the two apart and nothing more.
constexpr DWORD kHangBoundMs = 60000;

std::wstring TempName(const wchar_t* prefix) {
  wchar_t dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  wchar_t name[MAX_PATH] = {};
  GetTempFileNameW(dir, prefix, 0, name);
  return name;
}

// The results are ASCII: labels, hex codes, paths of the build folder.
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct HostRun {
  bool ended = false;
  DWORD exitCode = 0;
  std::map<std::string, std::string> results;
};

// Runs logger_host_child.exe with |args| in |currentFolder| (empty: this
// test's own) and reads its result file.
HostRun RunHost(const std::wstring& args, const std::wstring& currentFolder) {
  HostRun run;
  const std::wstring resultFile = TempName(L"vlh");
  std::wstring command = L"\"" + BinDir() + L"logger-host\\logger_host_child.exe\" \"" +
                         resultFile + L"\" " + args;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup,
                      &process)) {
    ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
    return run;
  }
  CloseHandle(process.hThread);
  run.ended = WaitForSingleObject(process.hProcess, kHangBoundMs) == WAIT_OBJECT_0;
  const ULONGLONG endedAt = GetTickCount64();
  if (!run.ended) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 10000);
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);

  std::ifstream in(resultFile.c_str());
  std::string label, value;
  while (in >> label && std::getline(in >> std::ws, value)) run.results[label] = value;
  in.close();
  DeleteFileW(resultFile.c_str());
  if (run.results.count("exit_tick"))
    std::printf("[   info   ] the host ended %llu ms after it called ExitProcess\n",
                endedAt - std::stoull(run.results["exit_tick"]));
  return run;
}

// --- Where the bare name is looked for -----------------------------------------------

TEST(LoggerSearch, BareNameComesFromAFolderTheHostAddedNeverFromTheCurrentFolder) {
  ScopedInstallPath path(L"");
  ScopedLogFile log;
  const std::wstring folder = VariantDir(L"plain");

  const HostRun currentOnly = RunHost(L"request", folder);
  ASSERT_TRUE(currentOnly.ended);
  EXPECT_EQ(currentOnly.exitCode, 0u);
  auto current = currentOnly.results;
  EXPECT_EQ(current["created"], "0x00000000");
  EXPECT_EQ(current["logger"], "none");

  std::wstring added = folder;
  added.pop_back();  // SetDllDirectoryW takes the folder without its separator
  const HostRun dllDirectory = RunHost(L"request \"" + added + L"\"", L"");
  ASSERT_TRUE(dllDirectory.ended);
  EXPECT_EQ(dllDirectory.exitCode, 0u);
  auto loaded = dllDirectory.results;
  EXPECT_EQ(_stricmp(loaded["logger"].c_str(), Narrow(folder + L"LoggerDLL.dll").c_str()), 0)
      << loaded["logger"];
  EXPECT_EQ(loaded["registrations"], "1");
  // Logging never changes an answer.
  EXPECT_EQ(current["status"], loaded["status"]);
  EXPECT_EQ(current["stop"], loaded["stop"]);
}

// --- Where the library's own imports are looked for ---------------------------------

// The split stand-in in the "InstallPath" folder imports LoggerSplitHelper.dll,
// which lies beside it; the host's current folder holds another copy, one
// that encodes no line. The loader must take the library's own, and the
// host's messages must reach the log through it.
TEST(LoggerSearch, LibraryFromInstallPathTakesItsImportsFromItsOwnFolder) {
  const std::wstring folder = VariantDir(L"split");
  ScopedInstallPath path(folder);
  ScopedLogFile log;
  ScopedEnvironment all(L"VELMORA_LOGGER_ENABLE", L"all");

  const HostRun run = RunHost(L"request", BinDir() + L"logger-variants\\split-planted");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  auto results = run.results;
  EXPECT_EQ(_stricmp(results["logger"].c_str(), Narrow(folder + L"LoggerDLL.dll").c_str()), 0)
      << results["logger"];
  EXPECT_EQ(_stricmp(results["helper"].c_str(), Narrow(folder + L"LoggerSplitHelper.dll").c_str()),
            0)
      << results["helper"];
  EXPECT_EQ(results["registrations"], "1");
  // Every line goes through the helper's encoding; the planted copy writes none.
  bool stopLogged = false;
  for (const auto& line : log.Lines())
    stopLogged |= line.identity == L"Pellisant" && line.flag == L"Trace" &&
                  line.text == L"Try to stop process Process_4000000000.";
  EXPECT_TRUE(stopLogged) << "the stop's Trace line is missing";
}

// --- Process exit ----------------------------------------------------------------------

// The host calls ExitProcess(7) while four threads make requests: it must end
// with its own code, and the logging library, which the loader detaches
// before the module, must see no call after its detach.
void ExpectPromptExitWithoutLateCalls(const std::wstring& installPath, bool libraryPresent) {
  ScopedInstallPath path(installPath);
  ScopedLogFile log;
  const std::wstring lateCalls = TempName(L"vll");
  ScopedEnvironment record(L"VELMORA_LOGGER_LATE_CALLS", lateCalls.c_str());

  HostRun run = RunHost(L"exit", L"");
  EXPECT_TRUE(run.ended) << "the host still ran " << kHangBoundMs << " ms after it started";
  EXPECT_EQ(run.exitCode, 7u);
  EXPECT_EQ(run.results["created"], "0x00000000");
  if (libraryPresent) {
    EXPECT_NE(run.results["logger"], "none");
    EXPECT_EQ(run.results["registrations"], "1");
  } else {
    EXPECT_EQ(run.results["logger"], "none");
  }
  EXPECT_EQ(ReadFile(lateCalls), "") << "calls into the logging library after its detach";
  DeleteFileW(lateCalls.c_str());
}

TEST(HostExit, EndsWithItsOwnCodeWhileRequestsRunWithoutTheLibrary) {
  const std::wstring empty = TempName(L"vle");
  DeleteFileW(empty.c_str());
  CreateDirectoryW(empty.c_str(), nullptr);
  ExpectPromptExitWithoutLateCalls(empty, false);
  RemoveDirectoryW(empty.c_str());
}

TEST(HostExit, EndsWithItsOwnCodeWhileRequestsRunWithTheLibraryConnected) {
  ExpectPromptExitWithoutLateCalls(VariantDir(L"plain"), true);
}

}  // namespace
