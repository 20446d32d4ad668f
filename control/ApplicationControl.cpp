#include "control/ApplicationControl.h"

#include "process/FsNtProcessControl.h"

// When the work object could not be created there is nothing to call; answer
// as for any other allocation failure instead of calling through null.
HRESULT CApplicationControl::Start(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                                   BSTR* processIdentity) {
  if (szName == nullptr) return E_INVALIDARG;
  if (m_pFsNtProcessControl == nullptr) return E_OUTOFMEMORY;
  return m_pFsNtProcessControl->StartProcess(szName, szCmdLnArgs, szProcessCtrlArgs,
                                             processIdentity);
}

HRESULT CApplicationControl::Stop(LPWSTR instanceName, long lShutdownTimeout,
                                  long* plProcessForceTerminated) {
  if (instanceName == nullptr) return E_INVALIDARG;
  if (m_pFsNtProcessControl == nullptr) return E_OUTOFMEMORY;
  return m_pFsNtProcessControl->StopProcess(instanceName, lShutdownTimeout,
                                            plProcessForceTerminated);
}

HRESULT CApplicationControl::Pause(LPWSTR) { return E_INVALIDARG; }

HRESULT CApplicationControl::Continue(LPWSTR) { return E_INVALIDARG; }

HRESULT CApplicationControl::Status(LPWSTR instanceName, long* status) {
  if (instanceName == nullptr) return E_POINTER;
  if (m_pFsNtProcessControl == nullptr) return E_OUTOFMEMORY;
  return m_pFsNtProcessControl->GetProcessStatus(instanceName, status);
}
