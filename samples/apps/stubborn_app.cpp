// An application that breaks the shutdown contract: it enters itself in the
// realtime process table like a cooperative one, then never looks at its
// shutdown event. By default it never beats again, so its heartbeat goes
// stale on its own; --stale backdates it at once (so a stop terminates it
// after one wait), --beat keeps it fresh (so a stop waits for ever).
#include <windows.h>

#include "host/standins/ProcessTableClient.h"
#include "samples/apps/AppOptions.h"
#include "win32/Owners.h"

using namespace velmora_samples;

int wmain(int argc, wchar_t** argv) {
  AppOptions options;
  if (!ParseAppOptions(argc, argv, &options)) return kExitUsage;
  AppLog log(options.logPath);

  UniqueHandle shutdownEvent;
  const int entered = EnterRealtimeTable(options, log, &shutdownEvent);
  if (entered != kExitOk) return entered;
  const DWORD pid = GetCurrentProcessId();

  for (;;) {
    Sleep(kHeartbeatIntervalMs);
    if (options.keepBeating) velmora_host::ReportHeartbeat(pid);
  }
}
