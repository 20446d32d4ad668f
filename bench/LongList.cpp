#include "bench/LongList.h"

#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "bench/ClerkStub.h"
#include "bench/Statistics.h"
#include "process/FsNtProcessControl.h"
#include "process/ProcessApi.h"
#include "process/ProcessLog.h"
#include "win32/Owners.h"

namespace velmora_bench {
namespace {

// Launches and stops are timed in batches: one of them takes about a
// microsecond, a few ticks of the performance counter under Wine.
constexpr int kBatch = 16;
// Windows hands out process ids and handle values in steps of four.
constexpr DWORD kIdStep = 4;
// A request with a long list may cost a little more, never in proportion to
// the list's length: its bucket of the index is a line that the cache may
// not hold, one miss on a fake launch of 0.4 us, more on a machine whose
// other programs keep the cache busy.
constexpr double kLongListLimit = 1.25;

// 10000 as "10,000".
std::string Thousands(int n) {
  std::string text = std::to_string(n);
  for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3) text.insert(at, ",");
  return text;
}

// The operating system as the list sees it: every call answers at once, so
// what a request costs beyond the list is the same whatever the list holds.
// Handles are plain numbers that nothing ever closes for real.
class InstantProcessApi final : public ProcessApi {
 public:
  BOOL GetVersionEx(OSVERSIONINFOW* info) override {
    info->dwMajorVersion = 6;
    return TRUE;
  }
  HRESULT CreateAdminAccountInfo(ICAdminAccountInfo**) override { return REGDB_E_CLASSNOTREG; }
  BOOL LogonUser(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, DWORD, HANDLE*) override { return FALSE; }
  void GrantDesktopAccess(HANDLE, DWORD) override {}
  BOOL CreateProcessAsUser(HANDLE, LPWSTR, DWORD, STARTUPINFOW*, PROCESS_INFORMATION*) override {
    return FALSE;
  }
  BOOL CreateProcess(LPWSTR, DWORD, STARTUPINFOW*, PROCESS_INFORMATION* info) override {
    info->hProcess = NewHandle();
    info->hThread = NewHandle();
    info->dwProcessId = m_nextId += kIdStep;
    info->dwThreadId = m_nextId + 1;
    return TRUE;
  }
  DWORD ResumeThread(HANDLE) override { return 1; }
  BSTR AllocString(const wchar_t* text) override { return SysAllocString(text); }
  HANDLE OpenProcess(DWORD, BOOL, DWORD) override { return NewHandle(); }
  HANDLE OpenEvent(DWORD, BOOL, LPCWSTR) override { return NewHandle(); }
  BOOL SetEvent(HANDLE) override { return TRUE; }
  DWORD WaitForSingleObject(HANDLE, DWORD) override { return WAIT_OBJECT_0; }
  BOOL TerminateProcess(HANDLE, UINT) override { return TRUE; }
  DWORD GetTickCount() override { return ::GetTickCount(); }
  BOOL CloseHandle(HANDLE) override { return TRUE; }
  DWORD GetLastError() override { return ERROR_SUCCESS; }

 private:
  HANDLE NewHandle() {
    m_nextHandle += kIdStep;
    return reinterpret_cast<HANDLE>(m_nextHandle);
  }
  UINT_PTR m_nextHandle = 0x1000;
  DWORD m_nextId = 0x1000;
};

// The realtime table of a host that knows every program by its identity and
// gives each an event and a timeout; the rest is never asked for.
class InstantClerk final : public ClerkStub {
 public:
  STDMETHODIMP GetProcessIdByName(LPWSTR identity, ULONG* processId) override {
    *processId = PidOf(identity);
    return *processId ? S_OK : E_FAIL;
  }
  STDMETHODIMP GetProcessIdEventName(ULONG, BSTR* name) override {
    *name = SysAllocString(L"LongListShutdown");
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetShutdownTimeout(ULONG, LONG* timeout) override {
    *timeout = 5000;
    return S_OK;
  }
};

// Every category off: what a message costs is not what is measured here.
class SilentLog final : public ProcessLog {
 public:
  bool IsCategoryEnabled(int) override { return false; }
  void WriteV(int, const wchar_t*, va_list) override {}
  void WriteModuleV(const wchar_t*, va_list) override {}
};

// One control object on the instant fakes, and the identities of what it
// launched and has not stopped, the newest last.
class ListedWorld {
 public:
  ListedWorld() : m_control(&m_clerk, m_api, m_log) {}

  bool Launch() {
    wchar_t name[] = L"C:\\program.exe";
    wchar_t args[] = L"";
    wchar_t ctrl[] = L"";
    UniqueBstr identity;
    if (m_control.StartProcess(name, args, ctrl, identity.put()) != S_OK) return false;
    m_identities.emplace_back(identity.get());
    return true;
  }
  // Stops the newest program that is still listed.
  bool StopNewest() {
    std::wstring identity = std::move(m_identities.back());
    m_identities.pop_back();
    long forced = -1;
    return m_control.StopProcess(&identity[0], 0, &forced) == S_OK && forced == 0;
  }

  // The time of one launch and of one stop, in µs, averaged over a batch:
  // kBatch launches, then the stops of the same programs, newest first, so
  // that each stop names the program at the end of the list.
  bool Batch(double* launchUs, double* stopUs) {
    m_identities.reserve(m_identities.size() + kBatch);
    bool ok = true;
    double begin = NowMs();
    for (int i = 0; i < kBatch; ++i) ok = Launch() && ok;
    *launchUs = (NowMs() - begin) * 1000.0 / kBatch;
    begin = NowMs();
    for (int i = 0; i < kBatch; ++i) ok = StopNewest() && ok;
    *stopUs = (NowMs() - begin) * 1000.0 / kBatch;
    return ok;
  }

 private:
  InstantProcessApi m_api;
  InstantClerk m_clerk;
  SilentLog m_log;
  FsNtProcessControl m_control;
  std::vector<std::wstring> m_identities;
};

}  // namespace

std::vector<Row> LongList(int listed, int iterations) {
  std::unique_ptr<ListedWorld> full(new ListedWorld), empty(new ListedWorld);
  for (int i = 0; i < listed; ++i) {
    if (!full->Launch()) return {{"Long list", "the fakes refused a launch", "-", "-", "-", "no"}};
  }
  Pairs launch{"long list: launch (us)", {}, {}}, stop{"long list: stop (us)", {}, {}};
  int failed = 0;
  for (int i = 0; i < iterations; ++i) {
    double fullLaunch = 0, fullStop = 0, emptyLaunch = 0, emptyStop = 0;
    bool ok = true;
    // In turns first, as everywhere in this benchmark.
    if (i % 2 == 0) {
      ok = full->Batch(&fullLaunch, &fullStop) && empty->Batch(&emptyLaunch, &emptyStop);
    } else {
      ok = empty->Batch(&emptyLaunch, &emptyStop) && full->Batch(&fullLaunch, &fullStop);
    }
    if (!ok) {
      ++failed;
      continue;
    }
    launch.component.push_back(fullLaunch);
    launch.bare.push_back(emptyLaunch);
    stop.component.push_back(fullStop);
    stop.bare.push_back(emptyStop);
  }
  const std::string listedText = " with " + Thousands(listed) + " programs listed (fakes)";
  std::vector<Row> rows;
  for (const Pairs* pairs : {&launch, &stop}) {
    const char* what = pairs == &launch ? "Long list: launch" : "Long list: stop of the newest";
    Row row = PairedRow(what + listedText, *pairs, kLongListLimit, "us");
    row.bare = "empty list: " + row.bare;
    if (failed) {
      row.ratio += " (" + std::to_string(failed) + " batches failed)";
      row.held = Held(false);
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace velmora_bench
