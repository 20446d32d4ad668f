#pragma once
// Control of application processes that the module launches itself: the
// launch, the process handle list shared under g_processListLock, the status
// query and the graceful or forced stop. Results are HRESULTs.
#include <windows.h>
#include "Velmora.h"  // IProcessRealtimeClerk (generated from the type library)

class FsNtProcessControl {
 public:
  // Creates this object's own instance of the host's realtime process table.
  FsNtProcessControl();
  virtual ~FsNtProcessControl();

  // Work operations. Virtual only so that dispatch tests can record calls.
  virtual HRESULT StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs,
                               LPWSTR szProcessCtrlArgs, BSTR* processIdentity);
  virtual HRESULT StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                              long* plProcessForceTerminated);
  virtual HRESULT GetProcessStatus(LPWSTR instanceName, long* status);
};
