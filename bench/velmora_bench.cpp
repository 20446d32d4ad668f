// Benchmarks of the registered control object against the bare platform,
// measured in the same run, printed as a Markdown table:
//
//   velmora_bench.exe [--quick] [--samples <file>]
//
// --samples writes the launch and stop samples, pair by pair, for a plot.
// Run it through scripts/bench.sh, which builds, starts the Wine session
// (registering the servers) and stops it again.
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

#include "Velmora.h"
#include "bench/BenchSupport.h"
#include "bench/LongList.h"
#include "bench/Statistics.h"
#include "bench/Table.h"
#include "host/standins/ProcessTableClient.h"
#include "logging/LoggerEntryPoints.h"

namespace {

using namespace velmora_bench;

constexpr long kGracefulStopTimeoutMs = 5000;
// A stopped program has long been idle in its wait for the shutdown event.
// Right after it has said it entered the table it is still on its way
// there, and a stop that sets the event before it arrives is faster than
// one that has to wake it: the side with more work before SetEvent would
// lose that race more often. So a stop begins once the program has settled.
constexpr DWORD kSettleMs = 20;
// Throughput pairs: the program keeps beating this long after it is asked to
// exit, and the stop looks at its heartbeat every kPairWaitMs meanwhile.
constexpr DWORD kPairLingerMs = 200;
constexpr long kPairWaitMs = 100;

struct Settings {
  int launchReps = 80;
  int stopReps = 120;
  int loggingChildren = 20;
  int loggingReps = 200;
  int throughputRuns = 7;
  int throughputPairs = 16;  // per run, shared among the threads
  int longListed = 10000;
  int longListBatches = 400;
};

// The bare platform's launch: created suspended, then resumed, as the
// component does it.
bool BareLaunch(const std::wstring& args, PROCESS_INFORMATION* info) {
  std::wstring command = ChildPath() + L" " + args;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, info))
    return false;
  ResumeThread(info->hThread);
  return true;
}

void CloseProcessInfo(const PROCESS_INFORMATION& info) {
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

// ---------------------------------------------------------------- figures

// One launch of bench_child.exe through the control object until it reaches
// its main; ms, or a negative value on failure.
double ComponentLaunch(Control& control) {
  ChildSignal ready;
  const double begin = NowMs();
  const DWORD pid = control.StartChild(L"--ready " + ready.name());
  const double elapsed = pid && ready.Wait() ? NowMs() - begin : -1;
  if (pid) AwaitExit(pid);
  return elapsed;
}

double BareLaunchUntilMain() {
  ChildSignal ready;
  PROCESS_INFORMATION info = {};
  const double begin = NowMs();
  const double elapsed =
      BareLaunch(L"--ready " + ready.name(), &info) && ready.Wait() ? NowMs() - begin : -1;
  if (info.hProcess) {
    WaitForSingleObject(info.hProcess, kChildTimeoutMs);
    CloseProcessInfo(info);
  }
  return elapsed;
}

// Runs both sides of one iteration back to back, in turns first, so that
// neither side always follows the other's clean-up.
template <typename ComponentSide, typename BareSide>
void Iteration(int i, Pairs* pairs, ComponentSide component, BareSide bare) {
  double c = -1, b = -1;
  if (i % 2 == 0) {
    b = bare();
    c = component();
  } else {
    c = component();
    b = bare();
  }
  if (c < 0 || b < 0) return;
  pairs->component.push_back(c);
  pairs->bare.push_back(b);
}

// Start through the control object until the program reaches its main,
// against CreateProcessW + ResumeThread of the same program.
Row LaunchOverhead(Control& control, const Settings& settings, Pairs* pairs) {
  for (int i = 0; i < settings.launchReps; ++i)
    Iteration(
        i, pairs, [&] { return ComponentLaunch(control); }, [] { return BareLaunchUntilMain(); });
  return PairedRow("Launch: start until the program runs", *pairs, 1.10);
}

// What any stop must do: ask the realtime table for the process id, the
// event name and the shutdown timeout, then OpenEventW, SetEvent and
// WaitForSingleObject on the process, and release what it holds: the event
// name, the event handle and, the process being gone, its two handles (a
// stop that left them open would leak them, as the component's does not).
// ms, or a negative value on failure.
double BareStop(IProcessRealtimeClerk* clerk) {
  ChildSignal entered;
  PROCESS_INFORMATION info = {};
  double elapsed = -1;
  if (BareLaunch(L"--entered " + entered.name(), &info) && entered.Wait()) {
    std::wstring identity = IdentityOf(info.dwProcessId);
    const DWORD processId = info.dwProcessId;
    Sleep(kSettleMs);
    const double begin = NowMs();
    ULONG pid = 0;
    BSTR eventName = nullptr;
    LONG timeout = 0;
    clerk->GetProcessIdByName(&identity[0], &pid);
    clerk->GetProcessIdEventName(pid, &eventName);
    clerk->GetShutdownTimeout(pid, &timeout);
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName);
    SetEvent(event);
    const bool ended = WaitForSingleObject(info.hProcess, kChildTimeoutMs) == WAIT_OBJECT_0;
    if (event) CloseHandle(event);
    SysFreeString(eventName);
    if (ended) {
      CloseProcessInfo(info);
      info = {};
      elapsed = NowMs() - begin;
    }
    velmora_host::RemoveProcess(processId);
  }
  if (info.hProcess) CloseProcessInfo(info);
  return elapsed;
}

double ComponentStop(Control& control) {
  ChildSignal entered;
  const DWORD pid = control.StartChild(L"--entered " + entered.name());
  if (!pid || !entered.Wait()) return -1;
  UniqueHandle keep(OpenProcess(SYNCHRONIZE, FALSE, pid));  // keeps the id ours
  long forced = -1;
  Sleep(kSettleMs);
  const double begin = NowMs();
  const HRESULT hr = control.Stop(pid, kGracefulStopTimeoutMs, &forced);
  const double elapsed = NowMs() - begin;
  velmora_host::RemoveProcess(pid);
  return hr == S_OK && forced == 0 ? elapsed : -1;
}

// StopSoftwareProcess of a cooperative program, against the bare stop.
Row GracefulStop(Control& control, const Settings& settings, Pairs* pairs) {
  ComPtr<IProcessRealtimeClerk> clerk;
  CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr, CLSCTX_INPROC_SERVER,
                   IID_IProcessRealtimeClerk, clerk.put_void());
  if (!clerk) return {"Graceful stop", "no realtime table", "-", "-", "-", "no"};
  for (int i = 0; i < settings.stopReps; ++i)
    Iteration(
        i, pairs, [&] { return ComponentStop(control); }, [&] { return BareStop(clerk.get()); });
  return PairedRow("Graceful stop of a cooperative program", *pairs, 1.20);
}

// Calls into the loaded logging library, by entry point.
std::vector<LONG> LoggerCalls() {
  static const char* const names[] = {
#define VELMORA_BENCH_NAME(name) #name,
      VELMORA_LOGGER_ENTRY_POINTS(VELMORA_BENCH_NAME)
#undef VELMORA_BENCH_NAME
  };
  std::vector<LONG> calls;
  HMODULE logger = GetModuleHandleW(L"LoggerDLL.dll");
  using CountFn = LONG(WINAPI*)(const char*);
  CountFn count = logger ? reinterpret_cast<CountFn>(reinterpret_cast<void (*)()>(
                               GetProcAddress(logger, "VelmoraTestCallCount")))
                         : nullptr;
  for (const char* name : names) calls.push_back(count ? count(name) : -1);
  return calls;
}

std::string CallsBetween(const std::vector<LONG>& before, const std::vector<LONG>& after,
                         long* total) {
  static const char* const names[] = {
#define VELMORA_BENCH_NAME(name) #name,
      VELMORA_LOGGER_ENTRY_POINTS(VELMORA_BENCH_NAME)
#undef VELMORA_BENCH_NAME
  };
  std::string which;
  *total = 0;
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    const long n = after[i] - before[i];
    if (n <= 0) continue;
    *total += n;
    which += (which.empty() ? "" : " ") + std::string(names[i]) + "x" + std::to_string(n);
  }
  return which.empty() ? "none" : which;
}

// Exact calls into the logging library per request, with every category off.
std::vector<Row> LoggingCalls(Control& control) {
  std::vector<Row> rows;
  if (!GetModuleHandleW(L"LoggerDLL.dll")) {
    rows.push_back({"Logging calls per request", "library not loaded", "-", "-", "-", "no"});
    return rows;
  }
  // With every category off, a request may test categories (one LOGFLAGLOG
  // each) and send its messages under the module's own flag, which go out
  // untested by design; no category message may reach the library.
  auto measure = [&](const char* figure, auto request) {
    const std::vector<LONG> before = LoggerCalls();
    request();
    long total = 0;
    const std::string which = CallsBetween(before, LoggerCalls(), &total);
    bool categoryMessage = false;
    for (const char* name : {"LOGERROR", "LOGWARNING", "LOGINFO", "LOGTRACE"})
      categoryMessage = categoryMessage || which.find(std::string(name) + "x") != std::string::npos ||
                        which.find(std::string(name) + "1x") != std::string::npos;
    rows.push_back({std::string("Logging calls, all categories off: ") + figure,
                    std::to_string(total) + " (" + which + ")", "0", "-",
                    "no category message", Held(!categoryMessage)});
  };
  ChildSignal entered;
  DWORD pid = 0;
  measure("start", [&] { pid = control.StartChild(L"--entered " + entered.name()); });
  if (!pid || !entered.Wait()) return rows;
  UniqueHandle keep(OpenProcess(SYNCHRONIZE, FALSE, pid));
  long status = 0;
  measure("status", [&] { control.Status(IdentityOf(pid), &status); });
  long forced = 0;
  measure("graceful stop", [&] { control.Stop(pid, kGracefulStopTimeoutMs, &forced); });
  velmora_host::RemoveProcess(pid);
  measure("stop of an unknown identity", [&] { control.Stop(L"Process_0", 100, nullptr); });
  return rows;
}

// "InstallPath" of the logging library, set for a scope and put back after.
class InstallPath {
 public:
  explicit InstallPath(const std::wstring& directory) {
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
      return;
    DWORD bytes = sizeof(m_old);
    m_had = RegQueryValueExW(key.get(), L"InstallPath", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(m_old), &bytes) == ERROR_SUCCESS;
    RegSetValueExW(key.get(), L"InstallPath", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(directory.c_str()),
                   static_cast<DWORD>((directory.size() + 1) * sizeof(wchar_t)));
  }
  ~InstallPath() {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
      return;
    if (m_had)
      RegSetValueExW(key.get(), L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_old),
                     static_cast<DWORD>((std::wcslen(m_old) + 1) * sizeof(wchar_t)));
    else
      RegDeleteValueW(key.get(), L"InstallPath");
  }
  InstallPath(const InstallPath&) = delete;
  InstallPath& operator=(const InstallPath&) = delete;

 private:
  static constexpr const wchar_t* kKey = L"SOFTWARE\\Meridax\\Framework\\Logger";
  wchar_t m_old[MAX_PATH + 1] = {};
  bool m_had = false;
};

// The 1st percentile, in µs, of `reps` requests after a warm-up: the stop of
// an identity the table does not know (two logging statements, one table
// call). A low percentile, since the requests are one steady stream: it is
// what a request costs when the machine lets it run.
double RequestTime(Control& control, int reps) {
  for (int i = 0; i < 20; ++i) control.Stop(L"Process_0", 100, nullptr);
  std::vector<double> times;
  for (int i = 0; i < reps; ++i) {
    const double begin = NowMs();
    control.Stop(L"Process_0", 100, nullptr);
    times.push_back((NowMs() - begin) * 1000.0);
  }
  return Quantile(times, 0.01);
}

// Child mode: a fresh process, so that the library has never been loaded.
// It measures the request with "InstallPath" at an empty folder first (every
// logging statement looks for the library again), then with it at the
// library (the next statement loads it), and writes both times and whether
// the library was missing, then loaded, as expected.
int LoggingChild(int reps, const wchar_t* outPath, const wchar_t* libraryDir,
                 const wchar_t* emptyDir) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  double absent = 0, present = 0;
  bool expected = false;
  {
    // The module looks for the library from its first use on, creating the
    // object included.
    std::unique_ptr<InstallPath> empty(new InstallPath(emptyDir));
    Control control;
    if (!control.ok()) return 4;
    absent = RequestTime(control, reps);
    const bool missing = GetModuleHandleW(L"LoggerDLL.dll") == nullptr;
    empty.reset();
    InstallPath library(libraryDir);
    present = RequestTime(control, reps);
    expected = missing && GetModuleHandleW(L"LoggerDLL.dll") != nullptr;
  }
  CoUninitialize();
  FILE* out = _wfopen(outPath, L"w");
  if (!out) return 3;
  std::fprintf(out, "%f %f %d\n", present, absent, expected ? 1 : 0);
  std::fclose(out);
  return 0;
}

// Runs this program in logging-child mode. False when it failed; `expected`
// says whether the library was missing and then loaded as it should be.
bool RunLoggingChild(int reps, const std::wstring& emptyDir, double* present, double* absent,
                     bool* expected) {
  wchar_t temp[MAX_PATH] = {}, out[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetTempFileNameW(temp, L"vbl", 0, out);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  // Without its trailing backslash, which would escape the closing quote.
  std::wstring libraryDir = BinDir();
  libraryDir.pop_back();
  std::wstring command = L"\"" + std::wstring(self) + L"\" --logging-child " +
                         std::to_wstring(reps) + L" \"" + out + L"\" \"" + libraryDir +
                         L"\" \"" + emptyDir + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  bool ran = false;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    WaitForSingleObject(info.hProcess, 120000);
    CloseProcessInfo(info);
    FILE* in = _wfopen(out, L"r");
    int flag = 0;
    ran = in && std::fscanf(in, "%lf %lf %d", present, absent, &flag) == 3 && *present > 0 &&
          *absent > 0;
    *expected = flag != 0;
    if (in) std::fclose(in);
  }
  DeleteFileW(out);
  return ran;
}

// One request with the library present against the same request with it
// absent ("InstallPath" at an empty folder), both in each of several fresh
// processes; the ratio compares the fastest process of each side.
//
// Round trips to wineserver dominate these requests: about two with the
// library present (the realtime table's lock), about eight without it (every
// logging statement reads "InstallPath" again). Under Wine a round trip
// takes about 5 us or about 60 us, for a whole process or for part of one,
// and the two sides of one process do not always get the same speed, so a
// ratio of the two jumped between 0.15x and 1x from process to process, and
// its median from run to run. The fastest process of each side is each
// side's cost without that noise.
Row LoggingTime(const Settings& settings) {
  wchar_t temp[MAX_PATH] = {}, empty[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetTempFileNameW(temp, L"vbe", 0, empty);
  DeleteFileW(empty);
  CreateDirectoryW(empty, nullptr);
  std::vector<double> present, absent;
  int failed = 0, unexpected = 0;
  {
    InstallPath restore(BinDir());  // puts the value back however a child ends
    for (int i = 0; i < settings.loggingChildren; ++i) {
      double withLibrary = 0, without = 0;
      bool expected = false;
      if (!RunLoggingChild(settings.loggingReps, empty, &withLibrary, &without, &expected)) {
        ++failed;
        continue;
      }
      if (!expected) ++unexpected;
      present.push_back(withLibrary);
      absent.push_back(without);
    }
  }
  RemoveDirectoryW(empty);
  DumpSamples(Pairs{"logging time (us)", present, absent});
  const double fastestPresent = Quantile(present, 0), fastestAbsent = Quantile(absent, 0);
  Row row = RatioRow("Request time, logging library present vs absent", fastestPresent,
                     fastestAbsent, fastestAbsent > 0 ? fastestPresent / fastestAbsent : 0, 1.10,
                     "us");
  if (unexpected) {
    row.ratio += " (library load state unexpected in " + std::to_string(unexpected) + ")";
    row.held = Held(false);
  }
  if (failed) {
    row.ratio += " (" + std::to_string(failed) + " children failed)";
    row.held = Held(false);
  }
  return row;
}

// Start+stop pairs from `threads` client threads on one control object; the
// stop of each pair waits about kPairLingerMs. Returns ms per pair.
double PairsPerThreadCount(Control& control, int threads, int pairs, long* failures) {
  std::atomic<long> failed{0};
  const int perThread = pairs / threads;
  const double begin = NowMs();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int p = 0; p < perThread; ++p) {
        ChildSignal entered;
        const DWORD pid = control.StartChild(L"--entered " + entered.name() + L" --linger " +
                                        std::to_wstring(kPairLingerMs));
        if (!pid || !entered.Wait()) {
          ++failed;
          continue;
        }
        UniqueHandle keep(OpenProcess(SYNCHRONIZE, FALSE, pid));
        long forced = -1;
        if (control.Stop(pid, kPairWaitMs, &forced) != S_OK || forced != 0) ++failed;
        velmora_host::RemoveProcess(pid);
      }
      CoUninitialize();
    });
  }
  for (std::thread& worker : workers) worker.join();
  *failures += failed;
  return (NowMs() - begin) / (perThread * threads);
}

std::vector<Row> Throughput(Control& control, const Settings& settings) {
  const int counts[] = {1, 2, 4, 8};
  std::vector<double> perPair[4];
  long failures = 0;
  for (int run = 0; run < settings.throughputRuns; ++run) {
    for (int i = 0; i < 4; ++i)
      perPair[i].push_back(PairsPerThreadCount(control, counts[i], settings.throughputPairs,
                                               &failures));
  }
  const double single = Median(perPair[0]);
  // Each run measures every thread count back to back; a run's ratios are
  // taken against its own single thread.
  std::vector<Row> rows;
  for (int i = 0; i < 4; ++i) {
    const std::string figure = "Start+stop pair (stop waits ~" + std::to_string(kPairLingerMs) +
                               " ms), " + std::to_string(counts[i]) + " thread" +
                               (counts[i] > 1 ? "s" : "") + ", time per pair";
    if (counts[i] == 1) {
      rows.push_back({figure, Format("%.1f ms", single), "-", "1.00x", "reference", "yes"});
      continue;
    }
    // Waits that ran one after another would keep the ratio near 1; the
    // target asks for at least half the ideal 1/N.
    Row row = RatioRow(figure, Median(perPair[i]), single,
                       MedianOfRatios(perPair[i], perPair[0]), 2.0 / counts[i], "ms");
    row.bare = "1 thread: " + row.bare;
    rows.push_back(row);
  }
  // Always a row, so that several runs' tables line up: a pair fails now and
  // then on Wine's own CreateProcessW error 1359 under concurrency.
  rows.push_back({"Throughput pairs that failed", std::to_string(failures), "0", "-", "0",
                  Held(failures == 0)});
  return rows;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 6 && std::wcscmp(argv[1], L"--logging-child") == 0)
    return LoggingChild(_wtoi(argv[2]), argv[3], argv[4], argv[5]);
  Settings settings;
  const wchar_t* samplesPath = nullptr;
  // --only <group>: one group of figures, for working on it; the tables of
  // scripts/bench.sh always have them all.
  std::wstring only;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--quick") == 0) {
      settings = {5, 5, 1, 50, 1, 8, 10000, 20};
    } else if (std::wcscmp(argv[i], L"--samples") == 0 && i + 1 < argc) {
      samplesPath = argv[++i];
    } else if (std::wcscmp(argv[i], L"--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: velmora_bench.exe [--quick] [--samples <file>] "
                   "[--only launch|stop|logging|throughput|list]\n");
      return 2;
    }
  }
  auto wanted = [&](const wchar_t* group) { return only.empty() || only == group; };
  // Every category off (the stand-in library takes an unknown name as
  // enabling nothing): the figures measure the cost of the checks alone.
  // The logging children inherit this.
  SetEnvironmentVariableW(L"VELMORA_LOGGER_ENABLE", L"none");

  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::vector<Row> rows;
  {
    Control control;
    if (!control.ok()) {
      std::fprintf(stderr, "the control object is not registered\n");
      return 1;
    }
    // Warm-up: the first launch and stop load what later ones reuse.
    {
      ChildSignal entered;
      const DWORD pid = control.StartChild(L"--entered " + entered.name());
      if (pid && entered.Wait()) {
        long forced = 0;
        control.Stop(pid, kGracefulStopTimeoutMs, &forced);
        velmora_host::RemoveProcess(pid);
      }
    }
    Pairs launch{"launch", {}, {}}, stop{"graceful stop", {}, {}};
    if (wanted(L"launch")) rows.push_back(LaunchOverhead(control, settings, &launch));
    if (wanted(L"stop")) rows.push_back(GracefulStop(control, settings, &stop));
    if (samplesPath) WriteSamples(samplesPath, {&launch, &stop});
    if (wanted(L"logging")) {
      for (Row& row : LoggingCalls(control)) rows.push_back(row);
      rows.push_back(LoggingTime(settings));
    }
    if (wanted(L"throughput"))
      for (Row& row : Throughput(control, settings)) rows.push_back(row);
  }
  if (wanted(L"list"))
    for (Row& row : LongList(settings.longListed, settings.longListBatches)) rows.push_back(row);
  CoUninitialize();
  PrintTable(rows);
  std::printf("\nEach ratio is the median of per-pair ratios, a pair being the component "
              "and its reference measured back to back, and the times beside it are medians; "
              "but the logging time compares the fastest process of each side (each "
              "process's 1st percentile).\n");
  return 0;
}
