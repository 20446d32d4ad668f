#pragma once
// Shared pieces of the stress and fault tests: paths beside the test
// executable, the control object, a uniquely named sample service, the
// realtime table as the host sees it, and the processes still running.
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <set>
#include <string>
#include <vector>

#include "Velmora.h"
#include "harness/InstalledSampleService.h"
#include "host/standins/ProcessTableClient.h"
#include "win32/ComApartment.h"
#include "win32/Owners.h"

namespace stress {

// What the realtime table answers for an identity it does not hold.
constexpr HRESULT kNotInTable = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
// tagPlatformProcessStatus of an entered process.
constexpr long kProcessStarted = 2;
// Wine's sporadic OpenServiceW failure under concurrency.
constexpr DWORD kWineInvalidHandle = ERROR_INVALID_HANDLE;

inline std::wstring BinDir() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length < MAX_PATH ? length : 0);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

inline DWORD PidOf(const std::wstring& identity) {
  return identity.rfind(L"Process_", 0) == 0 ? wcstoul(identity.c_str() + 8, nullptr, 10) : 0;
}

// One control object and the interface calls, with writable copies of the
// request strings (the start lower-cases its control arguments in place).
class Control {
 public:
  Control() {
    m_hr = CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr,
                            CLSCTX_INPROC_SERVER, IID_ISoftwareProcessControlManager,
                            reinterpret_cast<void**>(&m_manager));
  }
  ~Control() { Reset(); }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  void Reset() {
    if (m_manager) m_manager->Release();
    m_manager = nullptr;
  }
  HRESULT created() const { return m_hr; }
  bool ok() const { return m_manager != nullptr; }

  HRESULT Start(const std::wstring& name, const std::wstring& args, const std::wstring& ctrl,
                std::wstring* identity) {
    std::wstring n(name), a(args), c(ctrl);
    UniqueBstr out;
    const HRESULT hr = m_manager->StartSoftwareProcess(&n[0], &a[0], &c[0], out.put());
    if (identity) *identity = out ? out.get() : L"";
    return hr;
  }
  HRESULT Stop(const std::wstring& identity, long timeoutMs, long* forced) {
    std::wstring i(identity);
    return m_manager->StopSoftwareProcess(&i[0], timeoutMs, forced);
  }
  HRESULT Status(const std::wstring& identity, long* status) {
    std::wstring i(identity);
    return m_manager->GetProcessStatus(&i[0], status);
  }
  HRESULT Pause(const std::wstring& identity) {
    std::wstring i(identity);
    return m_manager->PauseSoftwareProcess(&i[0]);
  }
  HRESULT Continue(const std::wstring& identity) {
    std::wstring i(identity);
    return m_manager->ContineSoftwareProcess(&i[0]);
  }
  HRESULT Restart(const std::wstring& identity) {
    std::wstring i(identity);
    return m_manager->RestartSoftwareProcess(&i[0]);
  }

  // Polls the status until the launched program has entered itself in the
  // realtime table. Every answer before that must be the table's "unknown";
  // `unexpected` receives the first other failure. False on time-out.
  bool AwaitEntered(const std::wstring& identity, DWORD timeoutMs, HRESULT* unexpected,
                    long* status) {
    const DWORD begin = GetTickCount();
    for (;;) {
      *status = -1;
      const HRESULT hr = Status(identity, status);
      if (hr == S_OK) return true;
      if (hr != kNotInTable && *unexpected == S_OK) *unexpected = hr;
      if (GetTickCount() - begin > timeoutMs) return false;
      Sleep(15);
    }
  }

 private:
  ISoftwareProcessControlManager* m_manager = nullptr;
  HRESULT m_hr = E_FAIL;
};

// Enters the multithreaded apartment for a scope.
struct Mta : ComApartment {
  Mta() : ComApartment(COINIT_MULTITHREADED) {}
};

using velmora_harness::AwaitServiceState;
using velmora_harness::ServiceState;
using TestService = velmora_harness::InstalledSampleService;

// Asks until the request answers something other than Wine's sporadic 6,
// which `tolerated` counts. That 6 can come from opening the service, before
// the request took effect, or from a status poll after it did; so after a 6
// the request is repeated only if the service has not reached `target`.
template <typename Request>
HRESULT ServiceRequestOnWine(const std::wstring& name, DWORD target, Request request,
                             long* tolerated) {
  HRESULT hr = S_OK;
  for (int attempt = 0; attempt < 3; ++attempt) {
    hr = request();
    if (hr != HRESULT{kWineInvalidHandle}) return hr;
    ++*tolerated;
    if (target != 0 && AwaitServiceState(name, target, 5000)) return S_OK;
  }
  return hr;
}

// Process ids out of `pids` that still run (toolhelp snapshot).
inline std::vector<DWORD> StillRunning(const std::set<DWORD>& pids) {
  std::vector<DWORD> running;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return running;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (pids.count(entry.th32ProcessID)) running.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return running;
}

// Gives terminated processes a moment to leave the system, then reports the
// ones that are still there.
inline std::vector<DWORD> AwaitGone(const std::set<DWORD>& pids, DWORD timeoutMs) {
  std::vector<DWORD> running = StillRunning(pids);
  for (DWORD waited = 0; !running.empty() && waited < timeoutMs; waited += 100) {
    Sleep(100);
    running = StillRunning(pids);
  }
  return running;
}

}  // namespace stress
