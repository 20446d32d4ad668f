#include "control/ApplicationControl.h"

#include "process/ApplicationWork.h"
#include "win32/CallNoThrow.h"

// The route is known here: whatever a request could not allocate, anywhere
// below, answers in the application side's domain. When the work object
// could not be created there is nothing to call; that answers the same.
HRESULT CApplicationControl::Start(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                                   BSTR* processIdentity) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (szName == nullptr) return E_INVALIDARG;
    if (m_pFsNtProcessControl == nullptr) return E_OUTOFMEMORY;
    return m_pFsNtProcessControl->StartProcess(szName, szCmdLnArgs, szProcessCtrlArgs,
                                               processIdentity);
  });
}

HRESULT CApplicationControl::Stop(LPWSTR instanceName, long lShutdownTimeout,
                                  long* plProcessForceTerminated) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_INVALIDARG;
    if (m_pFsNtProcessControl == nullptr) return E_OUTOFMEMORY;
    return m_pFsNtProcessControl->StopProcess(instanceName, lShutdownTimeout,
                                              plProcessForceTerminated);
  });
}

HRESULT CApplicationControl::Pause(LPWSTR) { return E_INVALIDARG; }

HRESULT CApplicationControl::Continue(LPWSTR) { return E_INVALIDARG; }

HRESULT CApplicationControl::Status(LPWSTR instanceName, long* status) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_POINTER;
    if (m_pFsNtProcessControl == nullptr) return E_OUTOFMEMORY;
    return m_pFsNtProcessControl->GetProcessStatus(instanceName, status);
  });
}
