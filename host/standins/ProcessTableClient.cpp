#include "host/standins/ProcessTableClient.h"

#include "host/standins/ProcessTable.h"

namespace velmora_host {

HRESULT EnterProcess(DWORD processId, const wchar_t* shutdownEventName, long shutdownTimeoutMs) {
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  ProcessEntry* entry = nullptr;
  const HRESULT hr = ResetEntry(lock.table(), processId, shutdownEventName, &entry);
  if (FAILED(hr)) return hr;
  entry->shutdownTimeout = shutdownTimeoutMs;
  entry->status = kProcessStarted;
  return S_OK;
}

HRESULT ReportHeartbeat(DWORD processId) {
  return ChangeEntry(processId, [](ProcessEntry& entry) { entry.lastHeartbeat = GetTickCount(); });
}

HRESULT SetHeartbeatTime(DWORD processId, DWORD tick) {
  return ChangeEntry(processId, [tick](ProcessEntry& entry) { entry.lastHeartbeat = tick; });
}

HRESULT SetProcessStatus(DWORD processId, long status) {
  return ChangeEntry(processId, [status](ProcessEntry& entry) { entry.status = status; });
}

HRESULT RemoveProcess(DWORD processId) {
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  ProcessEntry* entry = FindEntry(lock.table(), processId);
  if (!entry) return kEntryNotFound;
  *entry = ProcessEntry{};
  return S_OK;
}

}  // namespace velmora_host
