// An application that follows the shutdown contract: it enters itself in the
// realtime process table, beats every half second, and when its shutdown
// event is set it (optionally lingers, still beating, then) marks itself
// stopped and exits 0. With --stale it breaks one clause: it answers its
// event, but its heartbeat is too old from the start and it never beats.
//
// It keeps its table entry until it is gone: a stopper that finds no entry
// while its wait runs takes the program as hung and terminates it, so leaving
// the table before exiting would race with a graceful stop.
#include <windows.h>

#include "Velmora.h"  // tagPlatformProcessStatus
#include "host/standins/ProcessTableClient.h"
#include "samples/apps/AppOptions.h"
#include "win32/Owners.h"

using namespace velmora_samples;

namespace {

// Keeps the heartbeat fresh for `durationMs`, the way a process that needs
// time to wind down tells the stopper it is still making progress.
void BeatFor(DWORD processId, DWORD durationMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= durationMs) return;
    velmora_host::ReportHeartbeat(processId);
    const DWORD left = durationMs - elapsed;
    Sleep(left < kHeartbeatIntervalMs ? left : kHeartbeatIntervalMs);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  AppOptions options;
  if (!ParseAppOptions(argc, argv, &options)) return kExitUsage;
  AppLog log(options.logPath);

  UniqueHandle shutdownEvent;
  const int entered = EnterRealtimeTable(options, log, &shutdownEvent);
  if (entered != kExitOk) return entered;
  const DWORD pid = GetCurrentProcessId();

  while (WaitForSingleObject(shutdownEvent.get(), kHeartbeatIntervalMs) == WAIT_TIMEOUT) {
    if (!options.stale) velmora_host::ReportHeartbeat(pid);
  }
  log.Line(L"shutdown requested");

  if (options.stale) {
    Sleep(options.lingerMs);
  } else {
    BeatFor(pid, options.lingerMs);
  }
  velmora_host::SetProcessStatus(pid, PROCESS_STOPPED);
  log.Line(L"exiting");
  return kExitOk;
}
