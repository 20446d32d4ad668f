// The client side of the host's realtime process table: what an application
// process calls to announce itself, keep its heartbeat fresh and leave.
//
// The table is machine-wide (named shared memory), so a process that enters
// itself here is visible to every ProcessRealtimeClerkObject instance, in any
// process. Every function returns S_OK or a failure HRESULT; an unknown
// process id gives HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
#pragma once

#include <windows.h>

namespace velmora_host {

// Creates (or replaces) the entry of `processId` with the identity
// "Process_<pid>", the given shutdown event name and shutdown timeout, the
// status PROCESS_STARTED and a heartbeat of now.
HRESULT EnterProcess(DWORD processId, const wchar_t* shutdownEventName, long shutdownTimeoutMs);

// Records a heartbeat: the entry's last-heartbeat time becomes GetTickCount().
HRESULT ReportHeartbeat(DWORD processId);

// Sets the last-heartbeat time to `tick` (lets tests make a heartbeat stale).
HRESULT SetHeartbeatTime(DWORD processId, DWORD tick);

// Sets the entry's tagPlatformProcessStatus value.
HRESULT SetProcessStatus(DWORD processId, long status);

// Removes the entry of `processId`.
HRESULT RemoveProcess(DWORD processId);

}  // namespace velmora_host
