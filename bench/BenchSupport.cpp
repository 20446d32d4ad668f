#include "bench/BenchSupport.h"

#include <atomic>
#include <cwchar>
#include <utility>

namespace velmora_bench {

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

std::wstring BinDir() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length < MAX_PATH ? length : 0);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::wstring ChildPath() { return BinDir() + L"bench_child.exe"; }

DWORD PidOf(const wchar_t* identity) {
  return identity && std::wcsncmp(identity, L"Process_", 8) == 0
             ? std::wcstoul(identity + 8, nullptr, 10)
             : 0;
}

std::wstring IdentityOf(DWORD pid) { return L"Process_" + std::to_wstring(pid); }

ChildSignal::ChildSignal() {
  static std::atomic<long> sequence{0};
  m_name = L"VelmoraBench_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(++sequence);
  m_event.reset(CreateEventW(nullptr, FALSE, FALSE, m_name.c_str()));
}

bool ChildSignal::Wait() const {
  return WaitForSingleObject(m_event.get(), kChildTimeoutMs) == WAIT_OBJECT_0;
}

Control::Control() {
  CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr, CLSCTX_INPROC_SERVER,
                   IID_ISoftwareProcessControlManager, m_manager.put_void());
}

Control::Control(ComPtr<ISoftwareProcessControlManager> manager)
    : m_manager(std::move(manager)) {}

HRESULT Control::Start(const std::wstring& name, const std::wstring& args,
                       const std::wstring& ctrl, std::wstring* identity, double* requestMs) {
  std::wstring n(name), a(args), c(ctrl);
  UniqueBstr out;
  const double begin = NowMs();
  const HRESULT hr = m_manager->StartSoftwareProcess(&n[0], &a[0], &c[0], out.put());
  if (requestMs) *requestMs = NowMs() - begin;
  if (identity) *identity = out ? out.get() : L"";
  return hr;
}

DWORD Control::StartChild(const std::wstring& args, double* requestMs) {
  std::wstring identity;
  return Start(ChildPath(), args, L"", &identity, requestMs) == S_OK ? PidOf(identity.c_str())
                                                                      : 0;
}

HRESULT Control::Stop(const std::wstring& identity, long timeoutMs, long* forced) {
  std::wstring copy(identity);
  return m_manager->StopSoftwareProcess(&copy[0], timeoutMs, forced);
}

HRESULT Control::Status(const std::wstring& identity, long* status) {
  std::wstring copy(identity);
  return m_manager->GetProcessStatus(&copy[0], status);
}

HRESULT Control::Pause(const std::wstring& identity) {
  std::wstring copy(identity);
  return m_manager->PauseSoftwareProcess(&copy[0]);
}

HRESULT Control::Continue(const std::wstring& identity) {
  std::wstring copy(identity);
  return m_manager->ContineSoftwareProcess(&copy[0]);
}

void AwaitExit(DWORD pid) {
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (process) WaitForSingleObject(process.get(), kChildTimeoutMs);
}

}  // namespace velmora_bench
