// The program the benchmarks launch and stop.
//
//   bench_child.exe --ready <event>                 signal <event> on entry, exit
//   bench_child.exe --entered <event> [--linger ms] enter the realtime table,
//       signal <event>, wait for the shutdown event, keep beating for
//       `linger` ms, mark itself stopped and exit
//   bench_child.exe --entered <event> --stale      enter the table with a
//       heartbeat a minute old, signal <event>, never look at the shutdown
//       event: a stop must terminate it
#include <windows.h>

#include <cwchar>
#include <string>

#include "Velmora.h"  // tagPlatformProcessStatus
#include "host/standins/ProcessTable.h"
#include "host/standins/ProcessTableClient.h"

namespace {

constexpr DWORD kLingerBeatMs = 25;
constexpr DWORD kIdleBeatMs = 500;
constexpr long kShutdownTimeoutMs = 5000;
// Older than the age at which a stop gives up on a process.
constexpr DWORD kStaleAgeMs = 60000;

void Signal(const wchar_t* name) {
  const HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
  if (!event) return;
  SetEvent(event);
  CloseHandle(event);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* ready = nullptr;
  const wchar_t* entered = nullptr;
  DWORD lingerMs = 0;
  bool stale = false;
  for (int i = 1; i < argc; ++i) {
    const bool value = i + 1 < argc;
    if (std::wcscmp(argv[i], L"--stale") == 0) stale = true;
    if (value && std::wcscmp(argv[i], L"--ready") == 0) ready = argv[++i];
    else if (value && std::wcscmp(argv[i], L"--entered") == 0) entered = argv[++i];
    else if (value && std::wcscmp(argv[i], L"--linger") == 0)
      lingerMs = std::wcstoul(argv[++i], nullptr, 10);
  }
  // The launch is measured up to here.
  if (ready) Signal(ready);
  if (!entered) return 0;

  const DWORD pid = GetCurrentProcessId();
  const std::wstring eventName = velmora_host::kShutdownEventPrefix + std::to_wstring(pid);
  const HANDLE shutdown = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  if (!shutdown || FAILED(velmora_host::EnterProcess(pid, eventName.c_str(), kShutdownTimeoutMs)))
    return 3;
  if (stale) {
    velmora_host::SetHeartbeatTime(pid, GetTickCount() - kStaleAgeMs);
    Signal(entered);
    for (;;) Sleep(kIdleBeatMs);
  }
  Signal(entered);
  while (WaitForSingleObject(shutdown, kIdleBeatMs) == WAIT_TIMEOUT)
    velmora_host::ReportHeartbeat(pid);
  for (DWORD begin = GetTickCount(); GetTickCount() - begin < lingerMs;) {
    velmora_host::ReportHeartbeat(pid);
    Sleep(kLingerBeatMs);
  }
  velmora_host::SetProcessStatus(pid, PROCESS_STOPPED);
  CloseHandle(shutdown);
  return 0;
}
