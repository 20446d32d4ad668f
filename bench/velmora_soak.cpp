// A long life of the module in one host process:
//
//   velmora_soak.exe <cycles>
//
// One control object, entered by 4 client threads at once, runs <cycles>
// start-and-stop cycles of bench_child.exe (every tenth one ignores its
// shutdown event and is terminated by force) and <cycles>/10 start, pause,
// continue and stop cycles of the sample service, one service per thread.
// The process's handles, private bytes and threads are taken after a
// warm-up (a twentieth of the cycles, at least 40) and at the end, and their
// growth per 1,000 cycles is printed as a Markdown table. Wine's own known
// growth is told apart (HostCensus.h), and so are its sporadic failures:
// CreateProcessW's 1359 (a launch answers 0x80043404) and OpenServiceW's 6.
// Exit code 1 when a request had another answer than its expected one.
//
// Run it through scripts/bench.sh --soak <cycles>.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/HostCensus.h"
#include "harness/InstalledSampleService.h"
#include "host/standins/ProcessTableClient.h"
#include "win32/ComApartment.h"
#include "win32/LockGuard.h"
#include "win32/Owners.h"

namespace {

using namespace velmora_bench;

constexpr int kThreads = 4;
constexpr int kForcedEvery = 10;    // every tenth cycle is a forced stop...
constexpr int kServiceEvery = 10;   // ...and is followed by a service cycle
constexpr long kGracefulStopTimeoutMs = 5000;
constexpr long kForcedStopTimeoutMs = -1;  // one wait of 100 ms, then the stale heartbeat
constexpr HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404L);
constexpr HRESULT kWineInvalidHandle = ERROR_INVALID_HANDLE;
constexpr HRESULT kWineInternalError = ERROR_INTERNAL_ERROR;
constexpr DWORD kServiceSettleMs = 15000;

// Counts of what the cycles met, and the first unexpected answers.
class Tally {
 public:
  void Unexpected(const std::wstring& what, HRESULT hr) {
    ++m_unexpected;
    LockGuard lock(m_lock);
    if (m_messages.size() < 10) {
      wchar_t code[32];
      std::swprintf(code, 32, L" -> 0x%08lx", static_cast<unsigned long>(hr));
      m_messages.push_back(what + code);
    }
  }
  long unexpected() const { return m_unexpected; }
  const std::vector<std::wstring>& messages() const { return m_messages; }

  std::atomic<long> graceful{0}, forced{0}, serviceCycles{0};
  std::atomic<long> launchRefused{0}, scmInvalidHandle{0}, scmInternalError{0};

 private:
  std::atomic<long> m_unexpected{0};
  SRWLOCK m_lock = SRWLOCK_INIT;
  std::vector<std::wstring> m_messages;
};

// ---------------------------------------------------------------- services

using TestService = velmora_harness::InstalledSampleService;

bool AwaitServiceState(const std::wstring& name, DWORD state) {
  return velmora_harness::AwaitServiceState(name, state, kServiceSettleMs);
}

// Brings the service back to stopped after a cycle that went wrong.
void ForceStopped(const TestService& service) {
  UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  const std::wstring& name = service.name();
  UniqueScHandle handle(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (handle) {
    SERVICE_STATUS status = {};
    AwaitServiceState(name, SERVICE_RUNNING) || AwaitServiceState(name, SERVICE_PAUSED);
    ControlService(handle.get(), SERVICE_CONTROL_STOP, &status);
    AwaitServiceState(name, SERVICE_STOPPED);
  }
}

// ---------------------------------------------------------------- cycles

// One start and stop of bench_child.exe; a forced one never looks at its
// shutdown event and has a stale heartbeat, so the stop terminates it after
// one short wait.
void ApplicationCycle(Control& control, bool forced, Tally* tally) {
  ChildSignal entered;
  std::wstring identity;
  const HRESULT started =
      control.Start(ChildPath(), L"--entered " + entered.name() + (forced ? L" --stale" : L""),
                    L"", &identity);
  const DWORD pid = started == S_OK ? PidOf(identity.c_str()) : 0;
  if (started == kLaunchFailed) {
    ++tally->launchRefused;
    return;
  }
  if (!pid) return tally->Unexpected(L"start " + identity, started);
  // Keeps the process id ours until its table entry is removed below.
  UniqueHandle keep(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!entered.Wait()) {
    tally->Unexpected(L"program did not enter " + identity, E_FAIL);
    long ignored = 0;
    control.Stop(identity, kForcedStopTimeoutMs, &ignored);
    velmora_host::RemoveProcess(pid);
    return;
  }
  long terminated = -1;
  const HRESULT hr =
      control.Stop(identity, forced ? kForcedStopTimeoutMs : kGracefulStopTimeoutMs, &terminated);
  if (forced && hr == S_FALSE && terminated == 1) {
    ++tally->forced;
    if (keep) WaitForSingleObject(keep.get(), kChildTimeoutMs);
  } else if (!forced && hr == S_OK && terminated == 0) {
    ++tally->graceful;
  } else {
    tally->Unexpected((forced ? L"forced stop " : L"graceful stop ") + identity, hr);
  }
  velmora_host::RemoveProcess(pid);
}

// One service request, repeated while it answers one of Wine's sporadic
// failures and the service has not reached `target` anyway.
template <typename Request>
HRESULT ServiceRequest(const std::wstring& name, DWORD target, Tally* tally, Request request) {
  HRESULT hr = S_OK;
  for (int attempt = 0; attempt < 3; ++attempt) {
    hr = request();
    if (hr == kWineInvalidHandle) {
      ++tally->scmInvalidHandle;
    } else if (hr == kWineInternalError) {
      ++tally->scmInternalError;
    } else {
      return hr;
    }
    if (AwaitServiceState(name, target)) return S_OK;
  }
  return hr;
}

void ServiceCycle(Control& control, TestService& service, Tally* tally) {
  const std::wstring& name = service.name();
  std::wstring identity;
  HRESULT hr = ServiceRequest(name, SERVICE_RUNNING, tally, [&] {
    return control.Start(name, L"", L"-service", &identity);
  });
  if (hr != S_OK) {
    tally->Unexpected(L"service start " + name, hr);
    return ForceStopped(service);
  }
  hr = ServiceRequest(name, SERVICE_PAUSED, tally, [&] { return control.Pause(name); });
  if (hr == S_OK)
    hr = ServiceRequest(name, SERVICE_RUNNING, tally, [&] { return control.Continue(name); });
  if (hr != S_OK) tally->Unexpected(L"service pause or continue " + name, hr);
  long forced = 0;
  const HRESULT stopped = ServiceRequest(name, SERVICE_STOPPED, tally,
                                         [&] { return control.Stop(name, 0, &forced); });
  if (stopped != S_OK) {
    tally->Unexpected(L"service stop " + name, stopped);
    return ForceStopped(service);
  }
  if (hr == S_OK) ++tally->serviceCycles;
}

// ---------------------------------------------------------------- report

std::string Thousands(long long value) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -value : value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return (negative ? "-" : "") + out;
}

std::string Growth(double perThousand, const char* unit) {
  char text[64];
  std::snprintf(text, sizeof(text), "%+.1f%s", perThousand, unit);
  return text;
}

void PrintCensus(const char* when, const HostCensus& census) {
  std::fprintf(stderr, "%s: %ld handles (", when, census.handles);
  const char* separator = "";
  for (const auto& type : census.byType) {
    std::fprintf(stderr, "%s%ls %ld", separator, type.first.c_str(), type.second);
    separator = ", ";
  }
  std::fprintf(stderr,
               "; Wine's: %ld svcctl pipes, %ld Classes keys), %s KB private, %ld threads\n",
               census.scmPipes, census.classesKeys,
               Thousands(static_cast<long long>(census.privateBytes / 1024)).c_str(),
               census.threads);
}

void PrintReport(long cycles, double seconds, const HostCensus& before, const HostCensus& after,
                 const Tally& tally) {
  const double per = 1000.0 / cycles;
  const long handles = after.handles - before.handles;
  const long moduleHandles = after.ModuleHandles() - before.ModuleHandles();
  const long long bytes = static_cast<long long>(after.privateBytes) -
                          static_cast<long long>(before.privateBytes);
  const long threads = after.threads - before.threads;
  const double kbPerThousand = bytes / 1024.0 * per;
  std::printf("| Soak, %s cycles from %d threads | After warm-up | At the end | Per 1,000 cycles "
              "| Target | Held |\n",
              Thousands(cycles).c_str(), kThreads);
  std::printf("|---|---|---|---|---|---|\n");
  std::printf("| Handles | %ld | %ld | %s | - | - |\n", before.handles, after.handles,
              Growth(handles * per, "").c_str());
  std::printf("| Handles less Wine's own (svcctl pool, Classes keys) | %ld | %ld | %s | +0 "
              "| %s |\n",
              before.ModuleHandles(), after.ModuleHandles(),
              Growth(moduleHandles * per, "").c_str(), moduleHandles <= 0 ? "yes" : "no");
  std::printf("| Private bytes | %s KB | %s KB | %s | <= +64 KB | %s |\n",
              Thousands(static_cast<long long>(before.privateBytes / 1024)).c_str(),
              Thousands(static_cast<long long>(after.privateBytes / 1024)).c_str(),
              Growth(kbPerThousand, " KB").c_str(), kbPerThousand <= 64.0 ? "yes" : "no");
  std::printf("| Threads | %ld | %ld | %s | +0 | %s |\n", before.threads, after.threads,
              Growth(threads * per, "").c_str(), threads <= 0 ? "yes" : "no");
  std::printf("\n%ld graceful stops, %ld forced stops, %ld service cycles in %.0f s.\n",
              tally.graceful.load(), tally.forced.load(), tally.serviceCycles.load(), seconds);
  std::printf("Wine's sporadic failures, tolerated: %ld launches refused (0x80043404, after "
              "CreateProcessW's 1359), %ld service requests answering 6, %ld answering 1359.\n",
              tally.launchRefused.load(), tally.scmInvalidHandle.load(),
              tally.scmInternalError.load());
  std::printf("Unexpected answers: %ld.\n", tally.unexpected());
  for (const std::wstring& message : tally.messages())
    std::printf("  %ls\n", message.c_str());
}

// Runs `work(thread, cycle)` for cycles [0, cycles) from kThreads threads in
// the multithreaded apartment; `after(done)` runs after each cycle.
template <typename Work, typename After>
void RunCycles(long cycles, Work work, After after) {
  std::atomic<long> next{0}, done{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ComApartment mta(COINIT_MULTITHREADED);
      for (long cycle; (cycle = next++) < cycles;) {
        work(t, cycle);
        after(++done);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long cycles = argc == 2 ? std::wcstol(argv[1], nullptr, 10) : 0;
  if (cycles < kForcedEvery) {
    std::fprintf(stderr, "usage: velmora_soak.exe <cycles, at least %d>\n", kForcedEvery);
    return 2;
  }
  // The host's usual categories; the messages go to a file of this run.
  wchar_t temp[MAX_PATH] = {}, logFile[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetTempFileNameW(temp, L"vsl", 0, logFile);
  SetEnvironmentVariableW(L"VELMORA_LOGGER_FILE", logFile);
  SetEnvironmentVariableW(L"VELMORA_LOGGER_ENABLE", L"Error,Warning,Info");

  ComApartment mta(COINIT_MULTITHREADED);
  int status = 0;
  {
    std::vector<std::unique_ptr<TestService>> services;
    for (int t = 0; t < kThreads; ++t) {
      const std::wstring name = L"VelmoraSoak" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                std::to_wstring(t);
      services.emplace_back(new TestService(name));
      if (const DWORD error = services.back()->Install()) {
        std::fprintf(stderr, "cannot install the sample service: %lu\n", error);
        return 1;
      }
    }
    Control control;
    if (!control.ok()) {
      std::fprintf(stderr, "the control object is not registered\n");
      return 1;
    }
    Tally tally;
    auto cycle = [&](int thread, long n) {
      const bool tenth = n % kForcedEvery == kForcedEvery - 1;
      ApplicationCycle(control, tenth, &tally);
      if (n % kServiceEvery == kServiceEvery - 1) ServiceCycle(control, *services[thread], &tally);
    };
    // Warm-up: what is loaded, cached or pooled on first use, from as many
    // threads as the run uses, is not counted as growth. A twentieth of the
    // run, and at least one service cycle per thread.
    const long warmup = std::max<long>(kThreads * kServiceEvery, cycles / 20);
    RunCycles(warmup, cycle, [](long) {});
    const HostCensus before = TakeHostCensus();
    PrintCensus("after warm-up", before);

    const double begin = NowMs();
    SRWLOCK progressLock = SRWLOCK_INIT;
    RunCycles(cycles, cycle, [&](long done) {
      if (done % (cycles / 10) != 0) return;
      LockGuard lock(progressLock);
      char when[64];
      std::snprintf(when, sizeof(when), "%ld cycles, %.0f s (requests in flight)", done,
                    (NowMs() - begin) / 1000);
      PrintCensus(when, TakeHostCensus());
    });
    const double seconds = (NowMs() - begin) / 1000;
    const HostCensus after = TakeHostCensus();
    PrintCensus("at the end", after);
    PrintReport(cycles, seconds, before, after, tally);
    if (tally.unexpected()) status = 1;
  }
  DeleteFileW(logFile);
  return status;
}
