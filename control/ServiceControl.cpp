#include "control/ServiceControl.h"

#include "service/FsNtServiceControl.h"

namespace {

// Without a work object the service side answers like Win32 does for a failed
// allocation, in its own error domain.
constexpr DWORD kNoWorkObject = ERROR_NOT_ENOUGH_MEMORY;

// Win32 codes travel unchanged as the method's result.
HRESULT AsResult(DWORD code) { return static_cast<HRESULT>(code); }

}  // namespace

HRESULT CServiceControl::Start(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR,
                               BSTR* processIdentity) {
  // The old identity goes before any other check, so a rejected call never
  // leaves a stale string behind.
  if (processIdentity != nullptr) {
    SysFreeString(*processIdentity);
    *processIdentity = nullptr;
  }
  if (szName == nullptr) return E_INVALIDARG;
  if (m_pFsNtServiceControl == nullptr) return AsResult(kNoWorkObject);

  const HRESULT rc = AsResult(m_pFsNtServiceControl->StartService(szName, szCmdLnArgs));
  if (rc >= 0 && processIdentity != nullptr) *processIdentity = SysAllocString(szName);
  return rc;
}

HRESULT CServiceControl::Stop(LPWSTR instanceName) {
  if (instanceName == nullptr) return E_INVALIDARG;
  if (m_pFsNtServiceControl == nullptr) return AsResult(kNoWorkObject);
  return AsResult(m_pFsNtServiceControl->StopService(instanceName));
}

HRESULT CServiceControl::Pause(LPWSTR instanceName) {
  if (instanceName == nullptr) return E_INVALIDARG;
  if (m_pFsNtServiceControl == nullptr) return AsResult(kNoWorkObject);
  return AsResult(m_pFsNtServiceControl->PauseService(instanceName));
}

HRESULT CServiceControl::Continue(LPWSTR instanceName) {
  if (instanceName == nullptr) return E_INVALIDARG;
  if (m_pFsNtServiceControl == nullptr) return AsResult(kNoWorkObject);
  return AsResult(m_pFsNtServiceControl->ContinueService(instanceName));
}

HRESULT CServiceControl::Status(LPWSTR instanceName) {
  if (instanceName == nullptr) return E_INVALIDARG;
  if (m_pFsNtServiceControl == nullptr) return AsResult(kNoWorkObject);
  SERVICE_STATUS discarded{};
  return AsResult(m_pFsNtServiceControl->QueryService(instanceName, &discarded));
}
