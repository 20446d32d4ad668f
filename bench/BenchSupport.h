// What the benchmark and the soak share: a clock, the control object with
// writable copies of its request strings, and the named event through which
// bench_child.exe says where it is.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

#include "Velmora.h"
#include "win32/ComPtr.h"
#include "win32/Owners.h"

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

// A named auto-reset event that a child signals; unique per use.
class ChildSignal {
 public:
  ChildSignal();
  const std::wstring& name() const { return m_name; }
  bool Wait() const;

 private:
  std::wstring m_name;
  UniqueHandle m_event;
};

// One control object. Every request gets writable copies of its strings: a
// start lower-cases its control arguments in place.
class Control {
 public:
  // A new object through COM.
  Control();
  // An object the caller created itself.
  explicit Control(ComPtr<ISoftwareProcessControlManager> manager);
  bool ok() const { return static_cast<bool>(m_manager); }

  // `requestMs`, when given, receives the time of the interface call alone.
  HRESULT Start(const std::wstring& name, const std::wstring& args, const std::wstring& ctrl,
                std::wstring* identity, double* requestMs = nullptr);
  // Starts bench_child.exe; returns its process id, 0 on failure.
  DWORD StartChild(const std::wstring& args, double* requestMs = nullptr);
  HRESULT Stop(const std::wstring& identity, long timeoutMs, long* forced);
  HRESULT Stop(DWORD pid, long timeoutMs, long* forced) {
    return Stop(IdentityOf(pid), timeoutMs, forced);
  }
  HRESULT Status(const std::wstring& identity, long* status);
  HRESULT Pause(const std::wstring& identity);
  HRESULT Continue(const std::wstring& identity);

 private:
  ComPtr<ISoftwareProcessControlManager> m_manager;
};

// Waits until a process has ended, by its id.
void AwaitExit(DWORD pid);

}  // namespace velmora_bench
