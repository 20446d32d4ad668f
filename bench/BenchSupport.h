// What the benchmark and the soak share: a clock, handle and BSTR owners, the
// control object with writable copies of its request strings, and the named
// event through which bench_child.exe says where it is.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

#include "Velmora.h"

namespace velmora_bench {

// Waits for a launched program longer than any of them takes.
constexpr DWORD kChildTimeoutMs = 30000;

// Milliseconds from the performance counter.
double NowMs();

// This program's folder, with its trailing backslash; the benchmark's
// programs are built beside it.
std::wstring BinDir();
std::wstring ChildPath();

// The process id of an identity "Process_<pid>"; 0 for anything else.
DWORD PidOf(const wchar_t* identity);
std::wstring IdentityOf(DWORD pid);

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : m_h(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void Reset(HANDLE h = nullptr) {
    if (m_h) CloseHandle(m_h);
    m_h = h;
  }
  HANDLE get() const { return m_h; }
  explicit operator bool() const { return m_h != nullptr; }

 private:
  HANDLE m_h;
};

// A named auto-reset event that a child signals; unique per use.
class ChildSignal {
 public:
  ChildSignal();
  const std::wstring& name() const { return m_name; }
  bool Wait() const;

 private:
  std::wstring m_name;
  Handle m_event;
};

// Enters the multithreaded apartment for a scope.
class Mta {
 public:
  Mta() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~Mta() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  Mta(const Mta&) = delete;
  Mta& operator=(const Mta&) = delete;

 private:
  HRESULT m_hr;
};

// One control object. Every request gets writable copies of its strings: a
// start lower-cases its control arguments in place.
class Control {
 public:
  Control();
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  bool ok() const { return m_manager != nullptr; }

  HRESULT Start(const std::wstring& name, const std::wstring& args, const std::wstring& ctrl,
                std::wstring* identity);
  // Starts bench_child.exe; returns its process id, 0 on failure.
  DWORD StartChild(const std::wstring& args);
  HRESULT Stop(const std::wstring& identity, long timeoutMs, long* forced);
  HRESULT Stop(DWORD pid, long timeoutMs, long* forced) {
    return Stop(IdentityOf(pid), timeoutMs, forced);
  }
  HRESULT Status(const std::wstring& identity, long* status);
  HRESULT Pause(const std::wstring& identity);
  HRESULT Continue(const std::wstring& identity);

 private:
  ISoftwareProcessControlManager* m_manager = nullptr;
};

// Waits until a process has ended, by its id.
void AwaitExit(DWORD pid);

}  // namespace velmora_bench
