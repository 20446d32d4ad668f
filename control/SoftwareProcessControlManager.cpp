#include "control/SoftwareProcessControlManager.h"

#include <string.h>

#include <new>

#include "control/ApplicationControl.h"
#include "control/RequestRouting.h"
#include "control/ServiceControl.h"
#include "logging/LoggerClient.h"
#include "win32/CallNoThrow.h"

CSoftwareProcessControlManager::CSoftwareProcessControlManager(const WorkObjects& works)
    : m_works(works),
      m_processType(kApplication),
      m_pApplicationControl(nullptr),
      m_pServiceControl(nullptr) {}

// FinalRelease normally ran already; this only catches an object that was
// never finished through the module's wrappers.
CSoftwareProcessControlManager::~CSoftwareProcessControlManager() {
  delete m_pApplicationControl;
  delete m_pServiceControl;
}

const InterfaceMapEntry* CSoftwareProcessControlManager::GetInterfaceMap() {
  static const InterfaceMapEntry kMap[] = {
      {&IID_ISoftwareProcessControlManager,
       OffsetOfBase<CSoftwareProcessControlManager, ISoftwareProcessControlManager>()},
      {nullptr, 0},
  };
  return kMap;
}

HRESULT CSoftwareProcessControlManager::FinalConstruct() {
  LOG_MODULE(L"CSoftwareProcessControlManager::FinalConstruct() is called.");
  m_pApplicationControl = new (std::nothrow) CApplicationControl(m_works);
  if (m_pApplicationControl == nullptr) return E_OUTOFMEMORY;
  m_pServiceControl = new (std::nothrow) CServiceControl(m_works);
  if (m_pServiceControl == nullptr) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT CSoftwareProcessControlManager::FinalRelease() {
  LOG_MODULE(L"CSoftwareProcessControlManager::FinalRelease() is called.");
  delete m_pApplicationControl;
  m_pApplicationControl = nullptr;
  delete m_pServiceControl;
  m_pServiceControl = nullptr;
  return S_OK;
}

// Every method that does anything runs through CallNoThrow: no exception
// leaves the object. The controllers already answer an allocation failure in
// their route's domain; this catches what the routing itself might meet.
STDMETHODIMP CSoftwareProcessControlManager::StartSoftwareProcess(LPWSTR szName,
                                                                  LPWSTR szCmdLnArgs,
                                                                  LPWSTR szProcessCtrlArgs,
                                                                  BSTR* processIdentity) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (processIdentity == nullptr) return E_POINTER;
    if (szProcessCtrlArgs == nullptr) return E_OUTOFMEMORY;

    // Lowered in the caller's own buffer: the controllers and the launcher
    // parse the switches from it, and the caller sees the change.
    _wcslwr(szProcessCtrlArgs);

    // Concurrent starts on one object may overwrite the field; each call
    // dispatches on what it decided itself.
    const int processType = HasServiceSwitch(szProcessCtrlArgs) ? kService : kApplication;
    m_processType = processType;

    if (processType == kService)
      return m_pServiceControl->Start(szName, szCmdLnArgs, szProcessCtrlArgs, processIdentity);

    // Nothing is launched for an executable that is not there.
    const HRESULT found = CheckExecutableExists(szName);
    if (FAILED(found)) return found;
    return m_pApplicationControl->Start(szName, szCmdLnArgs, szProcessCtrlArgs,
                                        processIdentity);
  });
}

STDMETHODIMP CSoftwareProcessControlManager::StopSoftwareProcess(LPWSTR instanceName,
                                                                 long lShutdownTimeout,
                                                                 long* plProcessForceTerminated) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (instanceName == nullptr) return E_POINTER;
    if (IsApplicationIdentity(instanceName))
      return m_pApplicationControl->Stop(instanceName, lShutdownTimeout,
                                         plProcessForceTerminated);
    return m_pServiceControl->Stop(instanceName);
  });
}

STDMETHODIMP CSoftwareProcessControlManager::RestartSoftwareProcess(LPWSTR) { return S_OK; }

// An application cannot be paused: that path does nothing and succeeds. A
// service's pause result reaches the caller, as its start and stop results do,
// so a refused pause is not reported as done.
STDMETHODIMP CSoftwareProcessControlManager::PauseSoftwareProcess(LPWSTR instanceName) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (IsApplicationIdentity(instanceName)) {
      m_pApplicationControl->Pause(instanceName);
      return S_OK;
    }
    return m_pServiceControl->Pause(instanceName);
  });
}

STDMETHODIMP CSoftwareProcessControlManager::ContineSoftwareProcess(LPWSTR instanceName) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (IsApplicationIdentity(instanceName)) {
      m_pApplicationControl->Continue(instanceName);
      return S_OK;
    }
    return m_pServiceControl->Continue(instanceName);
  });
}

STDMETHODIMP CSoftwareProcessControlManager::GetProcessStatus(LPWSTR instanceName, long* status) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (status == nullptr) return E_POINTER;
    if (IsApplicationIdentity(instanceName))
      return m_pApplicationControl->Status(instanceName, status);
    // A service's answer is whether its status could be read; *status is left
    // as the caller set it.
    return m_pServiceControl->Status(instanceName);
  });
}
