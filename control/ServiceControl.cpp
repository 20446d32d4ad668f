#include "control/ServiceControl.h"

#include "service/ServiceWork.h"
#include "win32/CallNoThrow.h"

namespace {

// Win32 codes travel unchanged as the method's result.
constexpr HRESULT AsResult(DWORD code) { return static_cast<HRESULT>(code); }

// The route is known here: whatever a request could not allocate, anywhere
// below, answers like Win32 does for a failed allocation, in the service
// side's own domain. So does a missing work object.
constexpr HRESULT kOutOfMemory = AsResult(ERROR_NOT_ENOUGH_MEMORY);

}  // namespace

HRESULT CServiceControl::Start(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR,
                               BSTR* processIdentity) {
  return CallNoThrow(kOutOfMemory, [&]() -> HRESULT {
    // The old identity goes before any other check, so a rejected call never
    // leaves a stale string behind.
    if (processIdentity != nullptr) {
      SysFreeString(*processIdentity);
      *processIdentity = nullptr;
    }
    if (szName == nullptr) return E_INVALIDARG;
    if (m_pFsNtServiceControl == nullptr) return kOutOfMemory;

    const HRESULT rc = AsResult(m_pFsNtServiceControl->StartService(szName, szCmdLnArgs));
    if (rc >= 0 && processIdentity != nullptr) *processIdentity = SysAllocString(szName);
    return rc;
  });
}

HRESULT CServiceControl::Stop(LPWSTR instanceName) {
  return CallNoThrow(kOutOfMemory, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_INVALIDARG;
    if (m_pFsNtServiceControl == nullptr) return kOutOfMemory;
    return AsResult(m_pFsNtServiceControl->StopService(instanceName));
  });
}

HRESULT CServiceControl::Pause(LPWSTR instanceName) {
  return CallNoThrow(kOutOfMemory, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_INVALIDARG;
    if (m_pFsNtServiceControl == nullptr) return kOutOfMemory;
    return AsResult(m_pFsNtServiceControl->PauseService(instanceName));
  });
}

HRESULT CServiceControl::Continue(LPWSTR instanceName) {
  return CallNoThrow(kOutOfMemory, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_INVALIDARG;
    if (m_pFsNtServiceControl == nullptr) return kOutOfMemory;
    return AsResult(m_pFsNtServiceControl->ContinueService(instanceName));
  });
}

HRESULT CServiceControl::Status(LPWSTR instanceName) {
  return CallNoThrow(kOutOfMemory, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_INVALIDARG;
    if (m_pFsNtServiceControl == nullptr) return kOutOfMemory;
    SERVICE_STATUS discarded{};
    return AsResult(m_pFsNtServiceControl->QueryService(instanceName, &discarded));
  });
}
