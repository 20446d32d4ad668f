#include "tools/velmoractl/RealtimeTable.h"

#include <vector>

#include "process/ShutdownContract.h"
#include "tools/velmoractl/RequestArguments.h"
#include "win32/Owners.h"

HRESULT RealtimeTable::Create() {
  return CoCreateInstance(CLSID_ProcessRealtimeClerkObject, /*pUnkOuter=*/nullptr,
                          CLSCTX_INPROC_SERVER, IID_IProcessRealtimeClerk, clerk_.put_void());
}

HRESULT RealtimeTable::ProcessIdOf(const std::wstring& identity, DWORD* processId) const {
  if (!clerk_) return E_INVALIDARG;
  // The interface takes a writable string.
  std::vector<wchar_t> name = WritableCopy(identity);
  ULONG id = 0;
  const HRESULT hr = clerk_->GetProcessIdByName(name.data(), &id);
  if (SUCCEEDED(hr)) *processId = id;
  return hr;
}

HRESULT RealtimeTable::EventNameOf(DWORD processId, std::wstring* name) const {
  if (!clerk_) return E_INVALIDARG;
  UniqueBstr event;
  const HRESULT hr = clerk_->GetProcessIdEventName(processId, event.put());
  if (SUCCEEDED(hr)) *name = event.get() ? event.get() : L"";
  return hr;
}

HRESULT RealtimeTable::ShutdownTimeoutOf(DWORD processId, long* timeoutMs) const {
  if (!clerk_) return E_INVALIDARG;
  LONG timeout = kDefaultShutdownTimeoutMs;
  const HRESULT hr = clerk_->GetShutdownTimeout(processId, &timeout);
  *timeoutMs = timeout;
  return hr;
}

HRESULT RealtimeTable::HeartbeatAgeOf(DWORD processId, DWORD* ageMs) const {
  if (!clerk_) return E_INVALIDARG;
  tagProcessRealtimeInfo info = {};
  const HRESULT hr = clerk_->GetProcessRealtimeInfoByProcessId(processId, &info);
  // Unsigned arithmetic keeps the age right across the tick wrap.
  if (SUCCEEDED(hr)) *ageMs = GetTickCount() - static_cast<DWORD>(info.lTimeLastHeartbeat);
  return hr;
}
