// Where a request's time goes: the platform calls that the contract obliges
// a launch or a stop to make, done bare and each timed on its own beside the
// component's request in the same iteration, and the rows that say how much
// of the request they explain and how much is left.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "bench/Table.h"
#include "logging/LoggerEntryPoints.h"
#include "win32/Owners.h"

namespace velmora_bench {

// The part of a request that the contract does not explain may be at most
// this share of it.
constexpr double kUnexplainedLimit = 0.02;

// The process handle list as the contract describes it and nothing more:
// entries in launch order under one critical section, a lookup from the
// front by process id, and a release that unlinks the first entry of that id
// whose handle is the one the stop used and closes its thread handle, then
// its process handle.
class BareList {
 public:
  BareList();
  ~BareList();
  BareList(const BareList&) = delete;
  BareList& operator=(const BareList&) = delete;

  // Takes over the two handles of a created process. False when no entry can
  // be allocated: the handles then stay with the caller's owners.
  bool Append(UniqueHandle& process, UniqueHandle& thread, DWORD processId);
  // The process handle of the first entry with that id, or null.
  HANDLE Find(DWORD processId);
  void Release(DWORD processId, HANDLE process);

 private:
  struct Entry {
    Entry* prev = nullptr;
    Entry* next = nullptr;
    DWORD processId = 0;
    UniqueHandle process;  // declared before the thread handle: closed after it
    UniqueHandle thread;
  };
  CRITICAL_SECTION m_lock;
  Entry m_sentinel;
};

// Times of consecutive laps, ms: each call gives the time since the last.
class Laps {
 public:
  Laps();
  double Next();

 private:
  double m_last;
};

// The category test that the logging contract asks for before every message
// of a category: LOGFLAGLOG of the library that the module loaded, with the
// library's flag of the category. Nothing without the library.
class CategoryTest {
 public:
  explicit CategoryTest(int categoryIndex);
  void operator()() const;

 private:
  LogFlagLogFn m_flagLog = nullptr;
  DWORD m_flag = 0;
};

// The account store's creation and, where it can be created, its query.
void QueryAccountStore();

// What one figure's iterations measured: the component's request and each
// step, per iteration that both sides completed.
class StepCosts {
 public:
  StepCosts(const std::string& figure, std::initializer_list<const char*> steps);

  size_t StepCount() const { return m_names.size(); }
  // One iteration: the request's time and each step's, in the order named (ms).
  void Add(double request, const std::vector<double>& steps);

  // One row per step (its median and its share of the request's median), the
  // request against the sum of its steps, and the rest, which may be at most
  // kUnexplainedLimit of the request. The rest is taken per iteration.
  std::vector<Row> Rows() const;

 private:
  std::string m_figure;
  std::vector<const char*> m_names;
  std::vector<double> m_request;
  std::vector<std::vector<double>> m_steps;  // [step][iteration]
};

}  // namespace velmora_bench
