#pragma once
// Controller of application processes: null checks in front of the
// FsNtProcessControl operations, whose HRESULTs pass through unchanged.
#include <windows.h>
#include <oleauto.h>

#include "control/ProcessControl.h"

class CApplicationControl : public CProcessControl {
 public:
  explicit CApplicationControl(const WorkObjects& works) : CProcessControl(works) {}
  HRESULT Start(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                BSTR* processIdentity);
  HRESULT Stop(LPWSTR instanceName, long lShutdownTimeout, long* plProcessForceTerminated);
  // An application cannot be paused or continued.
  HRESULT Pause(LPWSTR instanceName);
  HRESULT Continue(LPWSTR instanceName);
  HRESULT Status(LPWSTR instanceName, long* status);
};
