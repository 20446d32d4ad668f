// Faults made for real under Wine, through the registered control object: the
// logging library missing, the realtime table's class unregistered, a program
// killed while a stop waits for it, and a service that dies while it starts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "harness/HandleTable.h"
#include "tests/logging/LoggerTestEnv.h"
#include "tests/stress/StressSupport.h"

namespace {

using namespace stress;

constexpr wchar_t kClerkClassKey[] =
    L"SOFTWARE\\Classes\\CLSID\\{A30E1E20-5417-11D3-87F1-00A0C982C01C}";
// A request that the OS ends must come back in about one wait; this bound
// only tells "returned" from "hangs".
constexpr DWORD kPromptBoundMs = 15000;

std::wstring TempName(const wchar_t* prefix) {
  wchar_t dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  wchar_t name[MAX_PATH] = {};
  GetTempFileNameW(dir, prefix, 0, name);
  return name;
}

// An empty folder of its own, removed again afterwards.
class EmptyFolder {
 public:
  EmptyFolder() : m_path(TempName(L"vef")) {
    DeleteFileW(m_path.c_str());
    CreateDirectoryW(m_path.c_str(), nullptr);
  }
  ~EmptyFolder() { RemoveDirectoryW(m_path.c_str()); }
  EmptyFolder(const EmptyFolder&) = delete;
  EmptyFolder& operator=(const EmptyFolder&) = delete;
  const std::wstring& path() const { return m_path; }

 private:
  std::wstring m_path;
};

// Runs the request script in a new process and reads its transcript.
std::map<std::string, std::string> RunScript(const std::wstring& serviceName) {
  const std::wstring transcript = TempName(L"vrs");
  std::wstring command = L"\"" + BinDir() + L"request_script_child.exe\" \"" + transcript +
                         L"\" " + serviceName;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  std::map<std::string, std::string> lines;
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    return lines;
  }
  WaitForSingleObject(info.hProcess, 120000);
  DWORD exitCode = 0;
  GetExitCodeProcess(info.hProcess, &exitCode);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::ifstream in(transcript.c_str());
  std::string label, value;
  while (in >> label >> value) lines[label] = value;
  in.close();
  DeleteFileW(transcript.c_str());
  lines["exit_code"] = std::to_string(exitCode);
  return lines;
}

// What every request of the script must answer, library or not.
const std::map<std::string, std::string>& DocumentedAnswers() {
  static const std::map<std::string, std::string> answers = {
      {"created", "0x00000000"},
      {"missing_exe", "0x8004040b"},
      {"coop_start", "0x00000000"},
      {"coop_identity_well_formed", "0x00000001"},
      {"coop_entered", "0x00000001"},
      {"coop_status_before_entry", "0x00000000"},  // nothing but "unknown" before
      {"coop_status", "0x00000002"},
      {"coop_pause", "0x00000000"},
      {"coop_continue", "0x00000000"},
      {"coop_stop", "0x00000000"},
      {"coop_stop_forced", "0x00000000"},
      {"coop_second_stop_forced", "0x00000000"},
      {"stale_start", "0x00000000"},
      {"stale_identity_well_formed", "0x00000001"},
      {"stale_entered", "0x00000001"},
      {"stale_status_before_entry", "0x00000000"},
      {"stale_status", "0x00000002"},
      {"stale_pause", "0x00000000"},
      {"stale_continue", "0x00000000"},
      {"stale_stop", "0x00000001"},
      {"stale_stop_forced", "0x00000001"},
      {"stale_second_stop_forced", "0x00000000"},
      {"unknown_status", "0x80070490"},
      {"unknown_status_untouched", "0x0000004d"},
      {"unknown_stop", "0x80070490"},
      {"restart", "0x00000000"},
      {"svc_start", "0x00000000"},
      {"svc_identity_is_name", "0x00000001"},
      {"svc_status", "0x00000000"},
      {"svc_status_untouched", "0x0000004d"},
      {"svc_pause", "0x00000000"},
      {"svc_continue", "0x00000000"},
      {"svc_stop", "0x00000000"},
      {"svc_second_stop", "0x00000000"},
      {"svc_unknown_start", "0x00000424"},
      {"exit_code", "0"},
  };
  return answers;
}

TEST(FaultsForReal, EveryRequestAnswersAlikeWithTheLoggingLibraryMissing) {
  TestService service(L"VelmoraFaults" + std::to_wstring(GetCurrentProcessId()));
  ASSERT_EQ(service.Install(), DWORD{ERROR_SUCCESS});
  logger_test::ScopedEnvironment enable(L"VELMORA_LOGGER_ENABLE", L"all");
  logger_test::ScopedLogFile log;

  std::map<std::string, std::string> present;
  {
    logger_test::ScopedInstallPath path(BinDir());
    present = RunScript(service.name());
  }
  // "InstallPath" names a folder without the library. The client then loads
  // that path only, never the bare name, so the copy beside the program
  // cannot stand in for it.
  EmptyFolder empty;
  std::map<std::string, std::string> missing;
  {
    logger_test::ScopedInstallPath path(empty.path());
    missing = RunScript(service.name());
  }

  EXPECT_EQ(present["logger_loaded"], "0x00000001");
  EXPECT_EQ(missing["logger_loaded"], "0x00000000");
  present.erase("logger_loaded");
  missing.erase("logger_loaded");
  EXPECT_EQ(present, missing);
  for (const auto& answer : DocumentedAnswers()) {
    EXPECT_EQ(present[answer.first], answer.second) << answer.first << " with the library";
    EXPECT_EQ(missing[answer.first], answer.second) << answer.first << " without it";
  }
  // A second stop finds the program gone: either it is no longer there to
  // open (S_OK) or its event has gone with it (S_FALSE); never a termination.
  for (const char* label : {"coop_second_stop", "stale_second_stop"}) {
    EXPECT_TRUE(missing[label] == "0x00000000" || missing[label] == "0x00000001") << label;
  }
  // Only the run with the library wrote anything.
  long stops = 0;
  for (const logger_test::LogLine& line : log.Lines())
    if (line.text.find(L"Try to stop process") != std::wstring::npos) ++stops;
  EXPECT_EQ(stops, 5);
}

// Deletes the realtime table's class registration for a scope and registers
// HostStandins.dll again afterwards.
class ClerkUnregistered {
 public:
  ClerkUnregistered() { m_deleted = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClerkClassKey); }
  ~ClerkUnregistered() {
    HMODULE standins = LoadLibraryW((BinDir() + L"HostStandins.dll").c_str());
    if (!standins) return;
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<RegisterFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(standins, "DllRegisterServer")));
    if (registerServer) registerServer();
    FreeLibrary(standins);
  }
  ClerkUnregistered(const ClerkUnregistered&) = delete;
  ClerkUnregistered& operator=(const ClerkUnregistered&) = delete;
  LSTATUS deleted() const { return m_deleted; }

 private:
  LSTATUS m_deleted;
};

TEST(FaultsForReal, WithoutTheRealtimeTableStatusAndStopRefuseAndLaunchStillWorks) {
  Mta mta;
  ASSERT_TRUE(mta.ok());
  std::wstring identity;
  HANDLE keep = nullptr;
  {
    std::unique_ptr<Control> created;
    {
      ClerkUnregistered unregistered;
      ASSERT_EQ(unregistered.deleted(), ERROR_SUCCESS);
      created.reset(new Control);  // while the class is missing: no table instance
    }
    Control& blind = *created;
    ASSERT_EQ(blind.created(), S_OK);
    ASSERT_EQ(blind.Start(BinDir() + L"cooperative_app.exe", L"--shutdown-timeout 3000", L"",
                          &identity),
              S_OK);
    const DWORD pid = PidOf(identity);
    ASSERT_NE(pid, 0u);
    keep = OpenProcess(SYNCHRONIZE, FALSE, pid);

    // The program enters the table on its own; only this object cannot see it.
    Control seeing;
    HRESULT unexpected = S_OK;
    long status = -1;
    ASSERT_TRUE(seeing.AwaitEntered(identity, 20000, &unexpected, &status));

    status = 77;
    EXPECT_EQ(blind.Status(identity, &status), E_INVALIDARG);
    EXPECT_EQ(status, 77);
    long forced = -1;
    EXPECT_EQ(blind.Stop(identity, 3000, &forced), E_INVALIDARG);
    EXPECT_EQ(forced, 0);
    EXPECT_EQ(WaitForSingleObject(keep, 0), DWORD{WAIT_TIMEOUT}) << "nothing was stopped";

    // An object created with the class registered again stops it.
    EXPECT_EQ(seeing.Stop(identity, 3000, &forced), S_OK);
    EXPECT_EQ(forced, 0);
    velmora_host::RemoveProcess(pid);
  }
  ASSERT_NE(keep, nullptr);
  EXPECT_EQ(WaitForSingleObject(keep, kPromptBoundMs), DWORD{WAIT_OBJECT_0});
  CloseHandle(keep);
}

TEST(FaultsForReal, AProgramKilledWhileItsStopWaitsEndsTheStopWithSuccess) {
  Mta mta;
  ASSERT_TRUE(mta.ok());
  Control control;
  ASSERT_EQ(control.created(), S_OK);
  // Once, so that what is loaded on first use is not counted below.
  long ignored = 0;
  control.Status(L"Process_0", &ignored);
  const long handlesBefore = velmora_harness::CountProcessHandles();

  std::wstring identity;
  ASSERT_EQ(control.Start(BinDir() + L"stubborn_app.exe", L"--beat --shutdown-timeout 3000", L"",
                          &identity),
            S_OK);
  const DWORD pid = PidOf(identity);
  const HANDLE victim = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  ASSERT_NE(victim, nullptr);
  HRESULT unexpected = S_OK;
  long status = -1;
  ASSERT_TRUE(control.AwaitEntered(identity, 20000, &unexpected, &status));

  // The program ignores its event and keeps beating, so the stop waits in
  // 200 ms steps for as long as nobody intervenes.
  std::atomic<bool> done{false};
  HRESULT stopped = E_FAIL;
  long forced = -1;
  std::thread stopper([&] {
    Mta apartment;
    stopped = control.Stop(identity, 200, &forced);
    done = true;
  });
  Sleep(1000);
  EXPECT_FALSE(done) << "the stop should still be waiting";
  const auto killedAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(TerminateProcess(victim, 9));
  DWORD waited = 0;
  while (!done && waited < kPromptBoundMs) Sleep(10), waited += 10;
  ASSERT_TRUE(done) << "the stop did not return after the program was killed";
  stopper.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - killedAt).count();
  std::printf("stop returned %.3f s after the kill\n", seconds);

  EXPECT_EQ(stopped, S_OK) << "the program ended; it was not terminated by the stop";
  EXPECT_EQ(forced, 0);
  DWORD exitCode = 0;
  GetExitCodeProcess(victim, &exitCode);
  EXPECT_EQ(exitCode, 9u) << "ended by the test's kill, not by the stop";

  // The list entry went with it: a second stop finds nothing to do.
  forced = -1;
  const HRESULT again = control.Stop(identity, 100, &forced);
  EXPECT_TRUE(again == S_OK || again == S_FALSE) << std::hex << again;
  EXPECT_EQ(forced, 0);
  velmora_host::RemoveProcess(pid);
  CloseHandle(victim);
  EXPECT_LE(velmora_harness::CountProcessHandles(), handlesBefore + 2)
      << "before " << handlesBefore;
}

TEST(FaultsForReal, AServiceThatDiesWhileStartingAnswers1066) {
  Mta mta;
  ASSERT_TRUE(mta.ok());
  TestService service(L"VelmoraDies" + std::to_wstring(GetCurrentProcessId()));
  ASSERT_EQ(service.Install(), DWORD{ERROR_SUCCESS});
  service.SetStartBehaviour(L"die");
  Control control;
  ASSERT_EQ(control.created(), S_OK);

  std::wstring identity;
  HRESULT hr = S_OK;
  const auto begin = std::chrono::steady_clock::now();
  for (int attempt = 0; attempt < 3; ++attempt) {  // Wine's sporadic 6
    hr = control.Start(service.name(), L"", L"-service", &identity);
    if (hr != HRESULT{kWineInvalidHandle}) break;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("the start answered after %.3f s\n", seconds);
  EXPECT_EQ(hr, HRESULT{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(identity, service.name());
  EXPECT_LT(seconds * 1000, kPromptBoundMs) << "the start did not give up on a dead service";
  EXPECT_EQ(service.State(), DWORD{SERVICE_STOPPED});
}

}  // namespace
