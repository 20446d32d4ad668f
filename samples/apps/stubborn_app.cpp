// An application that breaks the shutdown contract: it enters itself in the
// realtime process table like a cooperative one, then never looks at its
// shutdown event. By default it never beats again, so its heartbeat goes
// stale on its own; --stale backdates it at once (so a stop terminates it
// after one wait), --beat keeps it fresh (so a stop waits for ever).
#include <windows.h>

#include "host/standins/Handles.h"
#include "host/standins/ProcessTableClient.h"
#include "samples/apps/AppOptions.h"

using namespace velmora_samples;

namespace {

// Well past the age at which a stopper gives up on a process.
constexpr DWORD kStaleAgeMs = 60000;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  AppOptions options;
  if (!ParseAppOptions(argc, argv, &options)) return kExitUsage;
  AppLog log(options.logPath);

  const DWORD pid = GetCurrentProcessId();
  const std::wstring eventName = ShutdownEventName(pid);
  // The event must exist, else a stopper takes the process as already gone.
  velmora_host::UniqueHandle shutdownEvent(CreateEventW(
      nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, eventName.c_str()));
  if (!shutdownEvent) {
    log.Line(L"CreateEvent %ls failed: %lu", eventName.c_str(), GetLastError());
    return kExitEventFailed;
  }
  const HRESULT hr = velmora_host::EnterProcess(pid, eventName.c_str(), options.shutdownTimeoutMs);
  if (FAILED(hr)) {
    log.Line(L"EnterProcess failed: 0x%08lx", static_cast<unsigned long>(hr));
    return kExitTableFailed;
  }
  if (options.stale) velmora_host::SetHeartbeatTime(pid, GetTickCount() - kStaleAgeMs);
  log.Line(L"entered pid=%lu event=%ls timeout=%ld", pid, eventName.c_str(),
           options.shutdownTimeoutMs);

  for (;;) {
    Sleep(kHeartbeatIntervalMs);
    if (options.keepBeating) velmora_host::ReportHeartbeat(pid);
  }
}
