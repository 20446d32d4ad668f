#include "bench/OwnCode.h"

#include <windows.h>
#include <objbase.h>

#include <cstdarg>
#include <string>

#include "bench/BenchSupport.h"
#include "bench/ClerkStub.h"
#include "bench/Statistics.h"
#include "bench/StepCosts.h"
#include "harness/GuardedProcessApi.h"
#include "host/standins/ProcessTableClient.h"
#include "process/FsNtProcessControl.h"
#include "process/ProcessApi.h"
#include "process/ProcessLog.h"
#include "win32/ComPtr.h"
#include "win32/Owners.h"

namespace velmora_bench {
namespace {

// A stop meets a program that has long been idle (velmora_bench.cpp).
constexpr DWORD kSettleMs = 20;
constexpr long kStopTimeoutMs = 5000;

// The time spent outside the component's own code, on the one thread that
// runs the requests.
double g_outsideMs = 0;

// Adds the time of one call outside the component to g_outsideMs.
class Outside {
 public:
  Outside() : m_begin(NowMs()) {}
  ~Outside() { g_outsideMs += NowMs() - m_begin; }
  Outside(const Outside&) = delete;
  Outside& operator=(const Outside&) = delete;

 private:
  double m_begin;
};

using TimedProcessApi = GuardedProcessApi<RealProcessApi, Outside>;

// The production log (the logging client of this program), timed.
class TimedLog final : public ProcessLog {
 public:
  bool IsCategoryEnabled(int categoryIndex) override {
    Outside call;
    return DefaultProcessLog().IsCategoryEnabled(categoryIndex);
  }
  void WriteV(int categoryIndex, const wchar_t* format, va_list args) override {
    Outside call;
    DefaultProcessLog().WriteV(categoryIndex, format, args);
  }
  void WriteModuleV(const wchar_t* format, va_list args) override {
    Outside call;
    DefaultProcessLog().WriteModuleV(format, args);
  }
};

// The host's realtime table, timed: the calls a stop makes.
class TimedClerk final : public ClerkStub {
 public:
  explicit TimedClerk(IProcessRealtimeClerk* table) : m_table(table) {}

  STDMETHODIMP GetProcessIdByName(LPWSTR identity, ULONG* processId) override {
    Outside call;
    return m_table->GetProcessIdByName(identity, processId);
  }
  STDMETHODIMP GetProcessIdEventName(ULONG processId, BSTR* name) override {
    Outside call;
    return m_table->GetProcessIdEventName(processId, name);
  }
  STDMETHODIMP GetShutdownTimeout(ULONG processId, LONG* timeout) override {
    Outside call;
    return m_table->GetShutdownTimeout(processId, timeout);
  }
  STDMETHODIMP GetProcessRealtimeInfoByProcessId(ULONG processId,
                                                 tagProcessRealtimeInfo* info) override {
    Outside call;
    return m_table->GetProcessRealtimeInfoByProcessId(processId, info);
  }

 private:
  IProcessRealtimeClerk* m_table;
};

Row OwnRow(const std::string& figure, const std::vector<double>& own,
           const std::vector<double>& request) {
  std::vector<double> shares;
  for (size_t i = 0; i < own.size() && i < request.size(); ++i)
    if (request[i] > 0) shares.push_back(own[i] / request[i]);
  const double share = Median(shares);
  return {figure, Format("%.1f us", Median(own) * 1000.0),
          Format("request: %.1f us", Median(request) * 1000.0), Format("%.1f%%", share * 100.0),
          Format("<= %.1f%%", kUnexplainedLimit * 100.0),
          Held(!shares.empty() && share <= kUnexplainedLimit)};
}

}  // namespace

std::vector<Row> OwnCode(int iterations) {
  ComPtr<IProcessRealtimeClerk> table;
  CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr, CLSCTX_INPROC_SERVER,
                   IID_IProcessRealtimeClerk, table.put_void());
  if (!table) return {{"Own code", "no realtime table", "-", "-", "-", "no"}};
  TimedProcessApi api;
  TimedLog log;
  TimedClerk clerk(table.get());
  FsNtProcessControl control(&clerk, api, log);
  std::vector<double> launch, launchOwn, stop, stopOwn;
  int failed = 0;
  for (int i = 0; i < iterations; ++i) {
    ChildSignal entered;
    std::wstring name = ChildPath(), args = L"--entered " + entered.name(), ctrl;
    UniqueBstr identity;
    g_outsideMs = 0;
    double begin = NowMs();
    const HRESULT started = control.StartProcess(&name[0], &args[0], &ctrl[0], identity.put());
    double elapsed = NowMs() - begin;
    if (started != S_OK || !entered.Wait()) {
      ++failed;
      continue;
    }
    launch.push_back(elapsed);
    launchOwn.push_back(elapsed - g_outsideMs);
    const DWORD pid = PidOf(identity.get());
    Sleep(kSettleMs);
    long forced = -1;
    g_outsideMs = 0;
    begin = NowMs();
    const HRESULT stopped = control.StopProcess(identity.get(), kStopTimeoutMs, &forced);
    elapsed = NowMs() - begin;
    velmora_host::RemoveProcess(pid);
    if (stopped != S_OK || forced != 0) {
      ++failed;
      continue;
    }
    stop.push_back(elapsed);
    stopOwn.push_back(elapsed - g_outsideMs);
  }
  std::vector<Row> rows{
      OwnRow("Launch: the component's own code, in process (every call out timed)", launchOwn,
             launch),
      OwnRow("Graceful stop: the component's own code, in process (every call out timed)",
             stopOwn, stop)};
  if (failed) {
    for (Row& row : rows) {
      row.ratio += " (" + std::to_string(failed) + " iterations failed)";
      row.held = Held(false);
    }
  }
  return rows;
}

}  // namespace velmora_bench
