#pragma once
// The one COM object that clients create. It owns one controller for
// application processes and one for Windows services and routes each request
// to one of them by its strings alone: a start by the service switch in its
// control arguments, every later request by the shape of the identity string.
#include <windows.h>

#include "control/HostInterfaces.h"
#include "control/WorkObjects.h"
#include "module/ComObjectRoot.h"
#include "module/InterfaceMap.h"

class CApplicationControl;
class CServiceControl;

// The interface comes first so that it sits at the start of the object; its
// IUnknown methods are supplied by the module's plain or aggregate wrapper.
class CSoftwareProcessControlManager : public ISoftwareProcessControlManager,
                                       public ComObjectRoot {
 public:
  // Its controllers get their work objects from works, which outlives it.
  explicit CSoftwareProcessControlManager(const WorkObjects& works = SystemWorkObjects());
  virtual ~CSoftwareProcessControlManager();

  // ISoftwareProcessControlManager
  STDMETHODIMP StartSoftwareProcess(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                                    BSTR* processIdentity) override;
  STDMETHODIMP StopSoftwareProcess(LPWSTR instanceName, long lShutdownTimeout,
                                   long* plProcessForceTerminated) override;
  STDMETHODIMP RestartSoftwareProcess(LPWSTR instanceName) override;
  STDMETHODIMP PauseSoftwareProcess(LPWSTR instanceName) override;
  STDMETHODIMP ContineSoftwareProcess(LPWSTR instanceName) override;
  STDMETHODIMP GetProcessStatus(LPWSTR instanceName, long* status) override;

  // Run by the module right after allocation and at destruction.
  virtual HRESULT FinalConstruct();
  virtual HRESULT FinalRelease();

  // IUnknown and ISoftwareProcessControlManager, nothing else.
  static const InterfaceMapEntry* GetInterfaceMap();

 private:
  enum ProcessType : int { kApplication = 0, kService = 2 };

  const WorkObjects& m_works;
  int m_processType;  // decided by the most recent start on this object
  CApplicationControl* m_pApplicationControl;
  CServiceControl* m_pServiceControl;
};
