#pragma once
// The work operations of the application side, as the application controller
// calls them. FsNtProcessControl does the work; dispatch tests put recording
// objects in its place (control/WorkObjects.h).
#include <windows.h>
#include <oleauto.h>

class ApplicationWork {
 public:
  virtual ~ApplicationWork() = default;
  virtual HRESULT StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                               BSTR* processIdentity) = 0;
  virtual HRESULT StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                              long* plProcessForceTerminated) = 0;
  virtual HRESULT GetProcessStatus(LPWSTR instanceName, long* status) = 0;
};
