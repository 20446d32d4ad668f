#include "host/standins/RealtimeClerk.h"

#include <cwchar>
#include <new>

#include "host/standins/ProcessTable.h"
#include "host/standins/ServerModule.h"

namespace velmora_host {
namespace {

// The record carries the tick counts as signed 32-bit fields; readers
// compare them with GetTickCount() in unsigned arithmetic, so the bits are
// what matters.
LONG TickField(DWORD tick) { return static_cast<LONG>(tick); }

void FillInfo(const SharedProcessTable& table, const ProcessEntry& entry,
              tagProcessRealtimeInfo* info) {
  info->lTableIdx = static_cast<LONG>(&entry - table.entries);
  info->lEntryLock = 0;
  info->bValidBit = entry.valid;
  info->bDirtyBit = entry.dirty;
  info->bMonitorActive = entry.monitorActive;
  info->bWatchdogActive = entry.watchdogActive;
  info->lProcessId = static_cast<LONG>(entry.processId);
  info->lWatchdogAction = entry.watchdogAction;
  info->lWatchdogTimeout = entry.watchdogTimeout;
  info->lWatchdogFaults = entry.watchdogFaults;
  info->lProcessStartupTimeout = entry.startupTimeout;
  info->lProcessShutdownTimeout = entry.shutdownTimeout;
  info->lProcessStatus = entry.status;
  info->lTimeLastHeartbeat = TickField(entry.lastHeartbeat);
  info->lTimeProcessStarted = TickField(entry.started);
  info->lTimeProcessStartupCompleted = TickField(entry.startupCompleted);
}

// The entry at `index`, or null when the index is out of range or unused.
ProcessEntry* EntryAt(SharedProcessTable& table, LONG index) {
  if (index < 0 || static_cast<DWORD>(index) >= kProcessTableCapacity) return nullptr;
  ProcessEntry& entry = table.entries[index];
  return entry.valid ? &entry : nullptr;
}

HRESULT CopyEventName(ULONG processId, BSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  wchar_t copy[kEventNameChars] = {};
  const HRESULT hr = ReadEntry(processId, [&copy](const ProcessEntry& entry) {
    static_assert(sizeof(copy) == sizeof(entry.shutdownEventName), "same buffer size");
    CopyMemory(copy, entry.shutdownEventName, sizeof(copy));
  });
  if (FAILED(hr)) return hr;
  copy[kEventNameChars - 1] = L'\0';
  *name = SysAllocString(copy);
  return *name ? S_OK : E_OUTOFMEMORY;
}

// Finds the first entry whose `flag` (dirty or fresh) is set, reports it and
// clears the flag, so a reader walks through the changes one call at a time.
HRESULT TakeNextFlagged(LONG ProcessEntry::*flag, tagProcessRealtimeInfo* info) {
  if (!info) return E_POINTER;
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  for (ProcessEntry& entry : lock.table().entries) {
    if (entry.valid && entry.*flag) {
      entry.*flag = 0;
      FillInfo(lock.table(), entry, info);
      return S_OK;
    }
  }
  return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
}

}  // namespace

HRESULT ProcessRealtimeClerkObject::Create(REFIID iid, void** object) {
  ProcessRealtimeClerkObject* created = new (std::nothrow) ProcessRealtimeClerkObject();
  if (!created) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

ProcessRealtimeClerkObject::ProcessRealtimeClerkObject() { LockModule(); }
ProcessRealtimeClerkObject::~ProcessRealtimeClerkObject() { UnlockModule(); }

STDMETHODIMP ProcessRealtimeClerkObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IProcessRealtimeClerk) {
    *object = static_cast<IProcessRealtimeClerk*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ProcessRealtimeClerkObject::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) ProcessRealtimeClerkObject::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP ProcessRealtimeClerkObject::CreateProcessEntry(
    ULONG dwProcessId, LONG bRequestWatchdogMonitor, LONG lStartupTimeout, LONG lShutdownTimeout,
    LONG lWatchdogTimeout, LONG lWatchdogFaults, LONG lWatchdogAction) {
  // The host creates entries for processes it launches before they run; they
  // get the event name the sample applications would choose themselves.
  wchar_t eventName[kEventNameChars];
  std::swprintf(eventName, kEventNameChars, L"%ls%lu", kShutdownEventPrefix, dwProcessId);
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  ProcessEntry* entry = nullptr;
  const HRESULT hr = ResetEntry(lock.table(), dwProcessId, eventName, &entry);
  if (FAILED(hr)) return hr;
  entry->monitorActive = bRequestWatchdogMonitor ? 1 : 0;
  entry->watchdogActive = bRequestWatchdogMonitor ? 1 : 0;
  entry->startupTimeout = lStartupTimeout;
  entry->shutdownTimeout = lShutdownTimeout;
  entry->watchdogTimeout = lWatchdogTimeout;
  entry->watchdogFaults = lWatchdogFaults;
  entry->watchdogAction = lWatchdogAction;
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::DeleteProcessEntryByIndex(LONG lEntryIndex) {
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  ProcessEntry* entry = EntryAt(lock.table(), lEntryIndex);
  if (!entry) return kEntryNotFound;
  *entry = ProcessEntry{};
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::DeleteProcessEntryByProcessId(ULONG dwProcessId) {
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  ProcessEntry* entry = FindEntry(lock.table(), dwProcessId);
  if (!entry) return kEntryNotFound;
  *entry = ProcessEntry{};
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::GetNextDirtyProcessRealtimeInfo(
    tagProcessRealtimeInfo* pRuntimeInfo) {
  return TakeNextFlagged(&ProcessEntry::dirty, pRuntimeInfo);
}

STDMETHODIMP ProcessRealtimeClerkObject::GetNextNewProcessRealtimeInfo(
    tagProcessRealtimeInfo* pRuntimeInfo) {
  return TakeNextFlagged(&ProcessEntry::fresh, pRuntimeInfo);
}

STDMETHODIMP ProcessRealtimeClerkObject::GetProcessShutdownEventName(ULONG dwProcessId,
                                                                    BSTR* pbstrName) {
  return CopyEventName(dwProcessId, pbstrName);
}

STDMETHODIMP ProcessRealtimeClerkObject::GetProcessStatus(ULONG dwProcessId,
                                                         tagPlatformProcessStatus* pStatus) {
  if (!pStatus) return E_POINTER;
  LONG status = 0;
  const HRESULT hr =
      ReadEntry(dwProcessId, [&status](const ProcessEntry& entry) { status = entry.status; });
  if (FAILED(hr)) return hr;
  *pStatus = static_cast<tagPlatformProcessStatus>(status);
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::RequestWatchdogMonitor(
    ULONG dwProcessId, LONG lmsStartupTimeout, LONG lmsShutdownTimeout, LONG lmsWatchdogTime,
    LONG lWatchdogFault, tagWatchdogTimeoutAction lWatchdogAction) {
  return ChangeEntry(dwProcessId, [&](ProcessEntry& entry) {
    entry.startupTimeout = lmsStartupTimeout;
    entry.shutdownTimeout = lmsShutdownTimeout;
    entry.watchdogTimeout = lmsWatchdogTime;
    entry.watchdogFaults = lWatchdogFault;
    entry.watchdogAction = lWatchdogAction;
    entry.monitorActive = 1;
    entry.watchdogActive = 1;
  });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetStartupCompleted(ULONG dwProcessId) {
  return ChangeEntry(dwProcessId, [](ProcessEntry& entry) {
    entry.startupCompleted = GetTickCount();
    entry.status = kProcessStarted;
  });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetWatchdogTimeout(ULONG dwProcessId, LONG lmsTimeout) {
  return ChangeEntry(dwProcessId,
                     [lmsTimeout](ProcessEntry& entry) { entry.watchdogTimeout = lmsTimeout; });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetWatchdogFaults(ULONG dwProcessId, LONG numFaults) {
  return ChangeEntry(dwProcessId,
                     [numFaults](ProcessEntry& entry) { entry.watchdogFaults = numFaults; });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetWatchdogAction(ULONG dwProcessId,
                                                          tagWatchdogTimeoutAction action) {
  return ChangeEntry(dwProcessId, [action](ProcessEntry& entry) { entry.watchdogAction = action; });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetWatchdogHeartbeat(ULONG dwProcessId) {
  return ChangeEntry(dwProcessId,
                     [](ProcessEntry& entry) { entry.lastHeartbeat = GetTickCount(); });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetWatchdogActive(ULONG dwProcessId, LONG bSetting) {
  return ChangeEntry(dwProcessId,
                     [bSetting](ProcessEntry& entry) { entry.watchdogActive = bSetting ? 1 : 0; });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetProcessStatus(ULONG dwProcessId,
                                                         tagPlatformProcessStatus status) {
  return ChangeEntry(dwProcessId, [status](ProcessEntry& entry) { entry.status = status; });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetProcessStartupTimeout(ULONG dwProcessId,
                                                                 LONG lmsTimeout) {
  return ChangeEntry(dwProcessId,
                     [lmsTimeout](ProcessEntry& entry) { entry.startupTimeout = lmsTimeout; });
}

STDMETHODIMP ProcessRealtimeClerkObject::SetProcessShutdownTimeout(ULONG dwProcessId,
                                                                  LONG lmsTimeout) {
  return ChangeEntry(dwProcessId,
                     [lmsTimeout](ProcessEntry& entry) { entry.shutdownTimeout = lmsTimeout; });
}

STDMETHODIMP ProcessRealtimeClerkObject::GetProcessRealtimeInfoByProcessId(
    ULONG dwProcessId, tagProcessRealtimeInfo* pRuntimeInfo) {
  if (!pRuntimeInfo) return E_POINTER;
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  const ProcessEntry* entry = FindEntry(lock.table(), dwProcessId);
  if (!entry) return kEntryNotFound;
  FillInfo(lock.table(), *entry, pRuntimeInfo);
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::GetProcessRealtimeInfoByIndex(
    LONG lEntryIndex, tagProcessRealtimeInfo* pRuntimeInfo) {
  if (!pRuntimeInfo) return E_POINTER;
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  const ProcessEntry* entry = EntryAt(lock.table(), lEntryIndex);
  if (!entry) return kEntryNotFound;
  FillInfo(lock.table(), *entry, pRuntimeInfo);
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::GetProcessIdByName(LPWSTR szIdentity,
                                                           ULONG* dwProcessId) {
  if (!dwProcessId) return E_POINTER;
  if (!szIdentity) return E_INVALIDARG;
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  const ProcessEntry* entry = FindEntryByIdentity(lock.table(), szIdentity);
  if (!entry) return kEntryNotFound;
  *dwProcessId = entry->processId;
  return S_OK;
}

STDMETHODIMP ProcessRealtimeClerkObject::GetProcessIdEventName(ULONG dwProcessId,
                                                              BSTR* pbstrEvent) {
  return CopyEventName(dwProcessId, pbstrEvent);
}

STDMETHODIMP ProcessRealtimeClerkObject::GetShutdownTimeout(ULONG dwProcessId, LONG* pTimeout) {
  if (!pTimeout) return E_POINTER;
  LONG timeout = 0;
  const HRESULT hr = ReadEntry(
      dwProcessId, [&timeout](const ProcessEntry& entry) { timeout = entry.shutdownTimeout; });
  if (FAILED(hr)) return hr;
  *pTimeout = timeout;
  return S_OK;
}

}  // namespace velmora_host
