// Against Wine's real SCM: the stateless service object shared by several
// threads, and the sample service's own install and uninstall commands, with
// which demonstrations register a service that depends on another.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "service/FsNtServiceControl.h"
#include "tests/service/SampleServiceHarness.h"

namespace {

class ServiceSharedAndInstalled : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(harness.Install(), DWORD{ERROR_SUCCESS}); }
  void TearDown() override {
    RunSample(L"uninstall " + std::wstring(kDependent));
    harness.Remove();
  }

  // Runs bin/sample_service.exe with the given arguments; its exit code.
  static DWORD RunSample(const std::wstring& args) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, length);
    exe.resize(exe.find_last_of(L'\\') + 1);
    exe += L"sample_service.exe";
    std::wstring command = L"\"" + exe + L"\" " + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
      return ::GetLastError();
    }
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0xFFFFFFFF;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
  }

  static constexpr const wchar_t* kName = SampleServiceHarness::kName;
  static constexpr const wchar_t* kDependent = L"VelmoraSampleDependent";
  SampleServiceHarness harness;
  FsNtServiceControl control;
};

TEST_F(ServiceSharedAndInstalled, OneObjectServesManyThreadsAtOnce) {
  ASSERT_EQ(control.StartService(kName, nullptr), 0u);
  constexpr int kThreads = 4;
  constexpr int kQueries = 50;
  std::atomic<int> running{0};
  std::atomic<int> invalidHandle{0};
  std::atomic<int> other{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kQueries; ++i) {
        SERVICE_STATUS status{};
        const DWORD rc = control.QueryService(kName, &status);
        if (rc == 0 && status.dwCurrentState == SERVICE_RUNNING) {
          ++running;
        } else if (rc == ERROR_INVALID_HANDLE) {
          ++invalidHandle;  // Wine's SCM, now and then, under concurrency
        } else {
          ++other;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(other.load(), 0);
  EXPECT_LE(invalidHandle.load(), 2) << "more than Wine's rare spurious failures";
  EXPECT_EQ(running.load() + invalidHandle.load(), kThreads * kQueries);
  EXPECT_EQ(control.StopService(kName), 0u);
}

TEST_F(ServiceSharedAndInstalled, SampleInstallsADependentServiceThatStartsAndStops) {
  ASSERT_EQ(RunSample(L"install " + std::wstring(kDependent) + L" " + kName), 0u);

  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = ::OpenServiceW(manager, kDependent, SERVICE_QUERY_CONFIG);
  ASSERT_NE(service, nullptr);
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  QUERY_SERVICE_CONFIGW* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  const BOOL ok = ::QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()),
                                        &needed);
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  ASSERT_TRUE(ok);
  EXPECT_EQ(config->dwServiceType, DWORD{SERVICE_WIN32_OWN_PROCESS});
  EXPECT_EQ(config->dwStartType, DWORD{SERVICE_DEMAND_START});
  // Wine's QueryServiceConfigW answers an empty dependency list, so the
  // dependency is read where the SCM keeps it.
  wchar_t dependencies[256] = {};
  DWORD bytes = sizeof(dependencies) - 2 * sizeof(wchar_t);
  const std::wstring key =
      std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + kDependent;
  ASSERT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService",
                           RRF_RT_REG_MULTI_SZ, nullptr, dependencies, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(dependencies), kName);
  EXPECT_EQ(dependencies[wcslen(dependencies) + 1], L'\0') << "one name only";

  EXPECT_EQ(control.StartService(kName, nullptr), 0u);
  EXPECT_EQ(control.StartService(kDependent, L"dependent"), 0u);
  // Wine lists no dependents, so the dependent is stopped on its own first.
  EXPECT_EQ(control.StopService(kDependent), 0u);
  EXPECT_EQ(control.StopService(kName), 0u);
  EXPECT_EQ(RunSample(L"uninstall " + std::wstring(kDependent)), 0u);
  SERVICE_STATUS status{};
  EXPECT_EQ(control.QueryService(kDependent, &status), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
}

}  // namespace
