#include "bench/StepCosts.h"

#include <objbase.h>

#include <new>
#include <utility>

#include "Velmora.h"
#include "bench/BenchSupport.h"
#include "bench/Statistics.h"
#include "logging/LoggerEntryPoints.h"
#include "win32/ComPtr.h"
#include "win32/LockGuard.h"
#include "win32/Owners.h"

namespace velmora_bench {

BareList::BareList() {
  m_sentinel.prev = m_sentinel.next = &m_sentinel;
  InitializeCriticalSection(&m_lock);
}

BareList::~BareList() {
  while (m_sentinel.next != &m_sentinel) {
    Entry* entry = m_sentinel.next;
    Release(entry->processId, entry->process.get());
  }
  DeleteCriticalSection(&m_lock);
}

bool BareList::Append(UniqueHandle& process, UniqueHandle& thread, DWORD processId) {
  Entry* entry = new (std::nothrow) Entry;
  if (!entry) return false;
  entry->processId = processId;
  entry->process = std::move(process);
  entry->thread = std::move(thread);
  LockGuard<CRITICAL_SECTION> lock(m_lock);
  entry->prev = m_sentinel.prev;
  entry->next = &m_sentinel;
  m_sentinel.prev->next = entry;
  m_sentinel.prev = entry;
  return true;
}

HANDLE BareList::Find(DWORD processId) {
  LockGuard<CRITICAL_SECTION> lock(m_lock);
  for (Entry* entry = m_sentinel.next; entry != &m_sentinel; entry = entry->next)
    if (entry->processId == processId) return entry->process.get();
  return nullptr;
}

void BareList::Release(DWORD processId, HANDLE process) {
  LockGuard<CRITICAL_SECTION> lock(m_lock);
  for (Entry* entry = m_sentinel.next; entry != &m_sentinel; entry = entry->next) {
    if (entry->processId != processId) continue;
    if (entry->process.get() != process) return;
    entry->prev->next = entry->next;
    entry->next->prev = entry->prev;
    delete entry;  // closes the thread handle, then the process handle
    return;
  }
}

Laps::Laps() : m_last(NowMs()) {}

double Laps::Next() {
  const double now = NowMs();
  const double lap = now - m_last;
  m_last = now;
  return lap;
}

CategoryTest::CategoryTest(int categoryIndex) {
  HMODULE logger = GetModuleHandleW(L"LoggerDLL.dll");
  if (!logger) return;
  auto getFlag = reinterpret_cast<GetLogFlagFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(logger, "GETLOGFLAG")));
  m_flagLog = reinterpret_cast<LogFlagLogFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(logger, "LOGFLAGLOG")));
  // The module asks for the flag once and keeps it.
  if (getFlag) m_flag = getFlag(0, categoryIndex);
}

void CategoryTest::operator()() const {
  if (m_flagLog) m_flagLog(0, m_flag, 0);
}

void QueryAccountStore() {
  ComPtr<ICAdminAccountInfo> store;
  if (FAILED(CoCreateInstance(CLSID_CAdminAccountInfo, nullptr, CLSCTX_ALL,
                              IID_ICAdminAccountInfo, store.put_void())) ||
      !store)
    return;
  UniqueSecretBstr domain, user, password;
  store->GetOSAdminAccountInfoEx(domain.put(), user.put(), password.put());
}

StepCosts::StepCosts(const std::string& figure, std::initializer_list<const char*> steps)
    : m_figure(figure), m_names(steps), m_steps(steps.size()) {}

void StepCosts::Add(double request, const std::vector<double>& steps) {
  m_request.push_back(request);
  for (size_t i = 0; i < m_steps.size(); ++i) m_steps[i].push_back(i < steps.size() ? steps[i] : 0);
}

std::vector<Row> StepCosts::Rows() const {
  std::vector<double> sums, rests, shares;
  for (size_t i = 0; i < m_request.size(); ++i) {
    double sum = 0;
    for (const std::vector<double>& step : m_steps) sum += step[i];
    sums.push_back(sum);
    rests.push_back(m_request[i] - sum);
    if (m_request[i] > 0) shares.push_back((m_request[i] - sum) / m_request[i]);
  }
  const double request = Median(m_request);
  auto us = [](double ms) { return Format("%.1f us", ms * 1000.0); };
  auto percent = [](double share) { return Format("%.1f%%", share * 100.0); };
  std::vector<Row> rows;
  for (size_t s = 0; s < m_names.size(); ++s) {
    const double step = Median(m_steps[s]);
    rows.push_back({m_figure + " step: " + m_names[s], "-", us(step),
                    request > 0 ? percent(step / request) : "-", "-", "-"});
  }
  rows.push_back({m_figure + ": the request against the sum of its steps", us(request),
                  us(Median(sums)), Format("%.3fx", MedianOfRatios(m_request, sums)), "-", "-"});
  const double share = Median(shares);
  rows.push_back({m_figure + ": not explained by the contract", us(Median(rests)), "-",
                  percent(share), "<= " + percent(kUnexplainedLimit),
                  Held(!shares.empty() && share <= kUnexplainedLimit)});
  return rows;
}

}  // namespace velmora_bench
