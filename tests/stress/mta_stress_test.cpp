// One control object in the multithreaded apartment, entered by 16 client
// threads at once: hundreds of application starts and stops (cooperative
// programs, and stale ones that must be terminated) mixed with status queries
// and the whole life cycle of a service. Afterwards every request must have
// had its documented answer, no launched program may be left, and the test
// process must hold no more handles than before.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/HandleCensus.h"
#include "tests/logging/LoggerTestEnv.h"
#include "tests/stress/StressSupport.h"

namespace {

using namespace stress;

constexpr int kClientThreads = 16;
constexpr int kApplicationThreads = 14;   // the other two drive the service
constexpr int kPairsPerThread = 20;       // 280 application starts and stops
constexpr int kStubbornEvery = 5;         // every 5th pair is a stale program
constexpr int kMinServiceCycles = 3;
// Wine's service manager answers 6 now and then under load: its RPC server
// faults a request with a context mismatch (0x1c00001a in an RPC trace) and
// the client reports ERROR_INVALID_HANDLE. About 2 in 10,000 calls on a quiet
// machine, but mostly to the handles a pause or continue holds across its
// polls while other threads open and close theirs: 2 to 9 of a run's 300 or
// so service requests, more while other builds share the machine's cores.
// The module opens its own handles for each request and shares none, and a
// wineserver trace of a run showed no close of a handle it did not own.
// Allow one in ten, four times the worst run seen.
constexpr long kToleratedInvalidHandlesPer = 10;
// Wine's CreateProcessW itself fails now and then with 1359 under
// concurrency, about once in 1,600 launches from 8 threads; the module
// answers such a launch 0x80043404. Of this run's 281 launches one may.
constexpr HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404);
constexpr long kToleratedFailedLaunches = 1;
// Handles the process may hold beyond its starting count afterwards, besides
// Wine's pooled service manager connections (a pipe and an event each, see
// HandleCensus.h): a worker thread and a debug-output mutex that Wine
// creates on demand, and a little slack.
constexpr long kHandleTolerance = 4;
// A thread handle that Wine's RPC layer may keep for its worker.
constexpr long kThreadHandleTolerance = 1;
constexpr DWORD kEnterTimeoutMs = 20000;

// Counts requests and keeps the first mismatches for the failure message.
class Tally {
 public:
  void Expect(bool ok, const std::wstring& what, long got) {
    ++m_requests;
    if (ok) return;
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_faults;
    if (m_messages.size() < 20) {
      wchar_t text[64];
      swprintf(text, 64, L" -> 0x%08lx", static_cast<unsigned long>(got));
      m_messages.push_back(what + text);
    }
  }
  // A service request's answer: `expected`, or Wine's sporadic 6 (counted).
  // True when it was the tolerated 6, so the caller may repeat the request.
  bool ExpectService(HRESULT got, HRESULT expected, const std::wstring& what) {
    ++m_serviceRequests;
    if (got == HRESULT{kWineInvalidHandle} && expected != got) {
      ++m_requests;
      Tolerate(what);
      return true;
    }
    Expect(got == expected, what, got);
    return false;
  }
  // Wine's sporadic 6, counted, with the first few requests that met it.
  void Tolerate(const std::wstring& what) {
    ++m_invalidHandles;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_tolerated.size() < 10) m_tolerated.push_back(what);
  }
  void CountServiceRequests(long count) { m_serviceRequests += count; }
  long serviceRequests() const { return m_serviceRequests; }
  long requests() const { return m_requests; }
  long faults() const { return m_faults; }
  long invalidHandles() const { return m_invalidHandles; }
  std::string Report() const { return Lines(m_messages); }
  std::string ToleratedReport() const { return Lines(m_tolerated); }

 private:
  std::atomic<long> m_requests{0};
  std::atomic<long> m_faults{0};
  std::atomic<long> m_invalidHandles{0};
  std::atomic<long> m_serviceRequests{0};
  std::mutex m_lock;
  std::vector<std::wstring> m_messages;
  std::vector<std::wstring> m_tolerated;

  static std::string Lines(const std::vector<std::wstring>& texts) {
    std::string out;
    for (const std::wstring& text : texts) out += std::string(text.begin(), text.end()) + "\n";
    return out;
  }
};

struct StressRun {
  Control* control;
  TestService* testService;
  std::wstring service;
  Tally tally;
  std::mutex pidLock;
  std::set<DWORD> pids;
  std::atomic<long> starts{0};
  std::atomic<long> failedLaunches{0};
  std::atomic<long> stops{0};
  std::atomic<int> applicationThreadsLeft{kApplicationThreads};

  void Remember(DWORD pid) {
    std::lock_guard<std::mutex> lock(pidLock);
    pids.insert(pid);
  }
};

// One start, the wait for the table entry, a stop and a second stop.
void ApplicationPair(StressRun& run, int thread, int pair) {
  const bool stubborn = pair % kStubbornEvery == kStubbornEvery - 1;
  const std::wstring exe = BinDir() + (stubborn ? L"stubborn_app.exe" : L"cooperative_app.exe");
  const std::wstring args = stubborn ? L"--stale --shutdown-timeout 3000"
                                     : L"--shutdown-timeout 3000";
  const std::wstring tag = L"t" + std::to_wstring(thread) + L"p" + std::to_wstring(pair) + L" ";
  Tally& tally = run.tally;

  std::wstring identity;
  const HRESULT started = run.control->Start(exe, args, L"", &identity);
  if (started == kLaunchFailed && identity.empty()) {
    ++run.failedLaunches;
    return;
  }
  const DWORD pid = PidOf(identity);
  tally.Expect(started == S_OK && pid != 0 &&
                   identity == L"Process_" + std::to_wstring(pid),
               tag + L"start " + identity, started);
  if (started != S_OK || pid == 0) return;
  // Wine hands out process ids again soon after a process is gone. Holding a
  // handle keeps this id ours until its table entry is cleared below, so
  // another thread's program cannot take it over meanwhile.
  const HANDLE keep = OpenProcess(SYNCHRONIZE, FALSE, pid);
  tally.Expect(keep != nullptr, tag + L"open " + identity, HRESULT_FROM_WIN32(GetLastError()));
  ++run.starts;
  run.Remember(pid);

  HRESULT unexpected = S_OK;
  long status = -1;
  const bool entered = run.control->AwaitEntered(identity, kEnterTimeoutMs, &unexpected, &status);
  tally.Expect(entered && unexpected == S_OK && status == kProcessStarted,
               tag + L"status " + identity, entered ? unexpected : E_FAIL);

  // Requests that do nothing for an application, between the start and the stop.
  if (pair % 3 == 0) {
    tally.Expect(run.control->Pause(identity) == S_OK, tag + L"pause", 0);
    tally.Expect(run.control->Continue(identity) == S_OK, tag + L"continue", 0);
    tally.Expect(run.control->Restart(identity) == S_OK, tag + L"restart", 0);
  }
  if (pair % 2 == 0) {
    HRESULT hr = S_OK;
    long untouched = 77;
    do {
      hr = run.control->Status(run.service, &untouched);
    } while (tally.ExpectService(hr, S_OK, tag + L"service status"));
    tally.Expect(untouched == 77, tag + L"service status written", untouched);
  }

  long forced = -1;
  // A stale program is terminated after one short wait; a cooperative one
  // ends within its first wait.
  const HRESULT stopped = run.control->Stop(identity, stubborn ? 100 : 3000, &forced);
  ++run.stops;
  tally.Expect(stubborn ? (stopped == S_FALSE && forced == 1) : (stopped == S_OK && forced == 0),
               tag + L"stop " + identity, stopped);

  // Nothing is left to do for a second stop: the program is gone and no
  // longer listed, though its table entry stays until the host removes it.
  forced = -1;
  const HRESULT again = run.control->Stop(identity, 100, &forced);
  ++run.stops;
  tally.Expect((again == S_OK || again == S_FALSE) && forced == 0,
               tag + L"second stop " + identity, again);
  // The host clears the entries of ended programs; the table has room for
  // 256 only.
  velmora_host::RemoveProcess(pid);
  if (keep) CloseHandle(keep);
}

void ApplicationThread(StressRun& run, int thread) {
  Mta mta;
  for (int pair = 0; pair < kPairsPerThread; ++pair) ApplicationPair(run, thread, pair);
  --run.applicationThreadsLeft;
}

// Drives the service through start, status, pause, continue and stop until
// the application threads are done. Each step's answer depends only on the
// state the previous step left, so it is exact.
void ServiceLifecycleThread(StressRun& run) {
  Mta mta;
  Tally& tally = run.tally;
  const std::wstring& name = run.service;
  Control& control = *run.control;
  long asked = 0;
  // Each request's answer must be exact; a tolerated 6 is judged by the state
  // the service reached instead.
  auto step = [&](DWORD target, const std::wstring& what, auto request) {
    long tolerated = 0;
    const HRESULT hr = ServiceRequestOnWine(name, target, [&] {
      ++asked;
      return request();
    }, &tolerated);
    for (; tolerated > 0; --tolerated) tally.Tolerate(what);
    tally.Expect(hr == S_OK, what, hr);
  };
  for (int cycle = 0; cycle < kMinServiceCycles || run.applicationThreadsLeft > 0; ++cycle) {
    const std::wstring tag = L"service cycle " + std::to_wstring(cycle) + L" ";
    std::wstring identity;
    step(SERVICE_RUNNING, tag + L"start", [&] {
      return control.Start(name, L"-cycle " + std::to_wstring(cycle), L"-Service", &identity);
    });
    tally.Expect(identity == name, tag + L"start identity " + identity, 0);
    long status = 77;
    step(0, tag + L"status", [&] { return control.Status(name, &status); });
    tally.Expect(status == 77, tag + L"status written", status);
    // A pause or continue polls for at most 1.1 s; under this load the
    // sample may still be pending then, and would refuse the next control.
    // Waiting for the settled state keeps every next answer exact.
    step(SERVICE_PAUSED, tag + L"pause", [&] { return control.Pause(name); });
    tally.Expect(run.testService->AwaitState(SERVICE_PAUSED, 10000), tag + L"paused",
                 static_cast<long>(run.testService->State()));
    step(SERVICE_RUNNING, tag + L"continue", [&] { return control.Continue(name); });
    tally.Expect(run.testService->AwaitState(SERVICE_RUNNING, 10000), tag + L"running again",
                 static_cast<long>(run.testService->State()));
    long forced = 5;
    step(SERVICE_STOPPED, tag + L"stop", [&] { return control.Stop(name, 0, &forced); });
    tally.Expect(forced == 5, tag + L"stop wrote forced", forced);
    // A stopped service: the second stop has nothing to do.
    step(SERVICE_STOPPED, tag + L"second stop", [&] { return control.Stop(name, 0, nullptr); });
  }
  tally.CountServiceRequests(asked);
}

// Status queries of the service and of identities nobody started, all the
// while.
void ReaderThread(StressRun& run) {
  Mta mta;
  Tally& tally = run.tally;
  for (int round = 0; run.applicationThreadsLeft > 0; ++round) {
    long status = 0;
    HRESULT hr;
    do {
      hr = run.control->Status(run.service, &status);
    } while (tally.ExpectService(hr, S_OK, L"reader service status"));
    status = 77;
    hr = run.control->Status(L"Process_0", &status);
    tally.Expect(hr == kNotInTable && status == 77, L"reader unknown status", hr);
    long forced = -1;
    hr = run.control->Stop(L"Process_0", 100, &forced);
    ++run.stops;
    tally.Expect(hr == kNotInTable && forced == 0, L"reader unknown stop", hr);
    std::wstring identity;
    hr = run.control->Start(BinDir() + L"no_such_program.exe", L"", L"", &identity);
    tally.Expect(hr == HRESULT(0x8004040B) && identity.empty(), L"reader missing exe", hr);
    Sleep(20);
  }
}

void ExpectNoLeak(const HandleCensus& before, const HandleCensus& after, const char* when) {
  const long newPipes = after.scmPipes - before.scmPipes;
  std::printf("handles %s: %ld -> %ld (processes %ld -> %ld, threads %ld -> %ld, "
              "service manager pipes %ld -> %ld)\n",
              when, before.total, after.total, before.processes, after.processes,
              before.threads, after.threads, before.scmPipes, after.scmPipes);
  EXPECT_EQ(after.processes, before.processes) << when;
  EXPECT_LE(after.threads, before.threads + kThreadHandleTolerance) << when;
  EXPECT_LE(after.total, before.total + 2 * newPipes + kHandleTolerance) << when;
}

long CountLines(const std::wstring& path, const wchar_t* needle) {
  long count = 0;
  for (const logger_test::LogLine& line : logger_test::ReadLogLines(path))
    if (line.text.find(needle) != std::wstring::npos) ++count;
  return count;
}

TEST(MtaStress, SixteenClientsShareOneControlObject) {
  Mta mta;
  ASSERT_TRUE(mta.ok());
  // Every category on, so the logging path runs under the same load; the
  // stand-in library writes to a file of this test's own.
  logger_test::ScopedEnvironment enable(L"VELMORA_LOGGER_ENABLE", L"all");
  logger_test::ScopedLogFile log;

  TestService service(L"VelmoraStress" + std::to_wstring(GetCurrentProcessId()));
  ASSERT_EQ(service.Install(), DWORD{ERROR_SUCCESS});

  Control control;
  ASSERT_EQ(control.created(), S_OK);
  StressRun run;
  run.control = &control;
  run.testService = &service;
  run.service = service.name();

  // One pair and one query first, so that what is loaded or cached on first
  // use (logging library, table mapping, class factories) is not counted.
  // Wine's service manager client keeps a pool of pipe connections (a file
  // and an event each) that grows with the number of threads asking at once,
  // so the warm-up asks from as many threads as the run will.
  ApplicationPair(run, -1, 0);
  {
    std::vector<std::thread> warmup;
    for (int t = 0; t < kClientThreads; ++t) {
      warmup.emplace_back([&run] {
        Mta apartment;
        for (int i = 0; i < 5; ++i) {
          long ignored = 0;
          run.control->Status(run.service, &ignored);
        }
      });
    }
    for (std::thread& thread : warmup) thread.join();
  }
  ASSERT_EQ(run.tally.faults(), 0) << run.tally.Report();
  const HandleCensus before = TakeHandleCensus();
  ASSERT_GT(before.total, 0);

  const auto begin = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kApplicationThreads; ++t)
    threads.emplace_back(ApplicationThread, std::ref(run), t);
  threads.emplace_back(ServiceLifecycleThread, std::ref(run));
  threads.emplace_back(ReaderThread, std::ref(run));
  ASSERT_EQ(static_cast<int>(threads.size()), kClientThreads);
  for (std::thread& thread : threads) thread.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

  std::printf("%ld requests in %.1f s, %ld application stops, %ld tolerated error 6 "
              "in %ld service requests, %ld failed launches\n",
              run.tally.requests(), seconds, static_cast<long>(run.stops),
              run.tally.invalidHandles(), run.tally.serviceRequests(),
              static_cast<long>(run.failedLaunches));
  EXPECT_EQ(run.tally.faults(), 0) << run.tally.Report();
  EXPECT_LE(run.tally.invalidHandles() * kToleratedInvalidHandlesPer,
            run.tally.serviceRequests())
      << run.tally.ToleratedReport();
  EXPECT_LE(static_cast<long>(run.failedLaunches), kToleratedFailedLaunches);
  EXPECT_EQ(static_cast<long>(run.starts + run.failedLaunches),
            kApplicationThreads * kPairsPerThread + 1);

  EXPECT_TRUE(AwaitGone(run.pids, 10000).empty()) << "launched programs still running";
  EXPECT_EQ(service.State(), DWORD{SERVICE_STOPPED});

  // Every listed handle was released by its stop: the object still lives,
  // so a forgotten list entry would still hold a process and a thread handle.
  ExpectNoLeak(before, TakeHandleCensus(), "with the object alive");
  control.Reset();
  ExpectNoLeak(before, TakeHandleCensus(), "after its release");

  // Each application stop (the reader's included) told the logging library,
  // in a line of its own.
  EXPECT_EQ(CountLines(log.path(), L"Try to stop process Process_"),
            static_cast<long>(run.stops));
}

}  // namespace
