// Launch and stop of real programs under the real OS, with the host's
// realtime process table stand-in (HostStandins.dll, registered by the test
// session).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "host/standins/ProcessTableClient.h"
#include "process/FsNtProcessControl.h"
#include "tests/process/ProcessListProbe.h"

namespace {

constexpr DWORD kGracefulExitCode = 7;

std::wstring BinDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring ChildPath() { return BinDir() + L"\\process_test_child.exe"; }

std::wstring Narrow(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
  return out;
}

std::map<std::wstring, std::wstring> ReadReport(const std::wstring& path) {
  std::map<std::wstring, std::wstring> values;
  FILE* in = _wfopen(path.c_str(), L"rb");
  if (!in) return values;
  std::string bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), in)) > 0) bytes.append(buffer, n);
  fclose(in);
  std::wistringstream lines(Narrow(bytes));
  std::wstring line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find(L'=');
    if (eq != std::wstring::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

DWORD PidOf(BSTR identity) { return static_cast<DWORD>(_wtoi(identity + 8)); }

// COM is entered in the constructor, before the members that create COM
// objects are constructed, and left after they are gone.
class ComTest : public ::testing::Test {
 protected:
  ComTest() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComTest() override { CoUninitialize(); }
};

class LaunchIntegrationTest : public ComTest {
 protected:
  // Launches the child in report mode from `exe` and returns what it saw.
  std::map<std::wstring, std::wstring> Run(const std::wstring& exe, const wchar_t* ctrl,
                                           std::wstring* commandLine = nullptr) {
    const std::wstring report =
        BinDir() + L"\\report_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(report.c_str());
    std::wstring args = L"report " + report + L" two words";
    FsNtProcessControl control;
    BSTR identity = nullptr;
    const size_t before = ProcessListProbe::Count(control);
    HRESULT hr = control.StartProcess(const_cast<LPWSTR>(exe.c_str()), &args[0],
                                      const_cast<LPWSTR>(ctrl), &identity);
    EXPECT_EQ(hr, S_OK);
    if (FAILED(hr)) return {};
    EXPECT_EQ(ProcessListProbe::Count(control), before + 1);
    EXPECT_EQ(std::wstring(identity).rfind(L"Process_", 0), 0u);
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(ProcessListProbe::Find(control, PidOf(identity), &info));
    EXPECT_EQ(std::wstring(identity), L"Process_" + std::to_wstring(info.dwProcessId));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
    SysFreeString(identity);
    if (commandLine) *commandLine = L"\"" + exe + L"\" " + args;
    auto values = ReadReport(report);
    DeleteFileW(report.c_str());
    return values;
  }
};

TEST_F(LaunchIntegrationTest, DefaultSettingsReachTheProgram) {
  std::wstring expectedCommandLine;
  auto seen = Run(ChildPath(), L"", &expectedCommandLine);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[L"cmdline"], expectedCommandLine);
  EXPECT_EQ(seen[L"x"], L"800");
  EXPECT_EQ(seen[L"y"], L"40");
  EXPECT_EQ(seen[L"xsize"], L"240");
  EXPECT_EQ(seen[L"ysize"], L"100");
  EXPECT_EQ(seen[L"xchars"], L"10");
  EXPECT_EQ(seen[L"ychars"], L"40");
  EXPECT_EQ(seen[L"flags"], L"0");
  EXPECT_EQ(seen[L"show"], L"0");
}

TEST_F(LaunchIntegrationTest, ConAndWinReachTheProgram) {
  auto seen = Run(ChildPath(), L"-con -win");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[L"flags"], L"7");
  EXPECT_EQ(seen[L"show"], L"5");
  EXPECT_EQ(seen[L"desktop"], L"WinSta0\\Default");
  EXPECT_EQ(seen[L"console"], L"1");  // CREATE_NEW_CONSOLE
}

TEST_F(LaunchIntegrationTest, PathWithSpacesRunsThatProgram) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir =
      std::wstring(temp) + L"velmora launch " + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring exe = dir + L"\\child copy.exe";
  ASSERT_TRUE(CopyFileW(ChildPath().c_str(), exe.c_str(), FALSE));
  std::wstring expectedCommandLine;
  auto seen = Run(exe, L"", &expectedCommandLine);
  EXPECT_EQ(seen[L"cmdline"], expectedCommandLine);
  DeleteFileW(exe.c_str());
  RemoveDirectoryW(dir.c_str());
}

// Stops with the real table: the child enters itself under its own pid.
class StopIntegrationTest : public ComTest {
 protected:
  // Launches the child in `mode` and waits until the table knows it.
  bool Launch(const std::wstring& mode, const std::wstring& extra = L"") {
    eventName = L"VelmoraProcessTest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(++serial);
    std::wstring args = mode + L" " + eventName + (extra.empty() ? L"" : L" " + extra);
    SysFreeString(identity);
    identity = nullptr;
    if (control.StartProcess(const_cast<LPWSTR>(ChildPath().c_str()), &args[0],
                             const_cast<LPWSTR>(L""), &identity) != S_OK) {
      return false;
    }
    pid = PidOf(identity);
    watcher = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                          FALSE, pid);
    for (int i = 0; i < 400; ++i) {
      long status = -1;
      if (control.GetProcessStatus(identity, &status) == S_OK && status == PROCESS_STARTED)
        return true;
      Sleep(25);
    }
    return false;
  }
  DWORD ExitCode() {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(watcher, 10000) == WAIT_OBJECT_0) GetExitCodeProcess(watcher, &code);
    return code;
  }
  void TearDown() override {
    if (watcher) {
      TerminateProcess(watcher, 1);
      CloseHandle(watcher);
    }
    if (pid) velmora_host::RemoveProcess(pid);
    SysFreeString(identity);
  }

  FsNtProcessControl control;
  std::wstring eventName;
  BSTR identity = nullptr;
  DWORD pid = 0;
  HANDLE watcher = nullptr;
  int serial = 0;
  long force = -5;
};

bool IsOpenHandle(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST_F(StopIntegrationTest, CooperativeProgramEndsOnItsEvent) {
  ASSERT_TRUE(Launch(L"cooperative", L"0"));
  PROCESS_INFORMATION listed = {};
  ASSERT_TRUE(ProcessListProbe::Find(control, pid, &listed));
  EXPECT_EQ(ProcessListProbe::Count(control), 1u);
  EXPECT_EQ(control.StopProcess(identity, 0, &force), S_OK);
  EXPECT_EQ(force, 0);
  EXPECT_FALSE(IsOpenHandle(listed.hProcess));
  EXPECT_FALSE(IsOpenHandle(listed.hThread));
  EXPECT_EQ(ExitCode(), kGracefulExitCode);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
}

TEST_F(StopIntegrationTest, StaleHeartbeatGetsTheProgramTerminated) {
  ASSERT_TRUE(Launch(L"stubborn"));
  PROCESS_INFORMATION listed = {};
  ASSERT_TRUE(ProcessListProbe::Find(control, pid, &listed));
  ASSERT_EQ(velmora_host::SetHeartbeatTime(pid, GetTickCount() - 60000), S_OK);
  EXPECT_EQ(control.StopProcess(identity, 100, &force), S_FALSE);
  EXPECT_EQ(force, 1);
  // A forced end releases the handles like a graceful one.
  EXPECT_FALSE(IsOpenHandle(listed.hProcess));
  EXPECT_FALSE(IsOpenHandle(listed.hThread));
  EXPECT_EQ(ExitCode(), 0u);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);

  // Stopped again: nothing listed, and the process is gone.
  CloseHandle(watcher);
  watcher = nullptr;
  // Either the process can no longer be opened (S_OK) or, while the system
  // still keeps the dead process object, its event is gone (S_FALSE): in
  // both cases nothing is terminated.
  const HRESULT again = control.StopProcess(identity, 100, &force);
  EXPECT_TRUE(again == S_OK || again == S_FALSE) << again;
  EXPECT_EQ(force, 0);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
}

TEST_F(StopIntegrationTest, FreshHeartbeatsKeepTheStopWaiting) {
  ASSERT_TRUE(Launch(L"beating", L"1500"));
  EXPECT_EQ(control.StopProcess(identity, 200, &force), S_OK);
  EXPECT_EQ(force, 0);
  EXPECT_EQ(ExitCode(), kGracefulExitCode);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
}

TEST_F(StopIntegrationTest, MissingEventMeansNoTermination) {
  ASSERT_TRUE(Launch(L"noevent"));
  EXPECT_EQ(control.StopProcess(identity, 100, &force), S_FALSE);
  EXPECT_EQ(force, 0);
  EXPECT_EQ(WaitForSingleObject(watcher, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);  // its handles are released
}

TEST_F(StopIntegrationTest, NullForceFlagStillTerminates) {
  ASSERT_TRUE(Launch(L"stubborn"));
  ASSERT_EQ(velmora_host::SetHeartbeatTime(pid, GetTickCount() - 60000), S_OK);
  EXPECT_EQ(control.StopProcess(identity, 100, nullptr), S_FALSE);
  EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(StopIntegrationTest, TwoConcurrentStopsOfTheSameProgram) {
  ASSERT_TRUE(Launch(L"cooperative", L"300"));
  HRESULT results[2] = {E_FAIL, E_FAIL};
  long forces[2] = {-1, -1};
  auto stop = [&](int i) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    results[i] = control.StopProcess(identity, 0, &forces[i]);
    CoUninitialize();
  };
  std::thread a(stop, 0), b(stop, 1);
  a.join();
  b.join();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(results[i], S_OK) << i;
    EXPECT_EQ(forces[i], 0) << i;
  }
  EXPECT_EQ(ExitCode(), kGracefulExitCode);
  EXPECT_EQ(ProcessListProbe::Count(control), 0u);
}

}  // namespace
