#pragma once
// Control of application processes that the module launches itself: the
// launch, the process handle list shared under g_processListLock, the status
// query and the graceful or forced stop. Results are HRESULTs.
#include <windows.h>

#include <cstddef>

#include "Velmora.h"  // IProcessRealtimeClerk (generated from the type library)
#include "process/ApplicationWork.h"
#include "process/ProcessCredentials.h"
#include "process/ProcessHandleList.h"
#include "win32/ComPtr.h"

class ProcessApi;
class ProcessLog;

class FsNtProcessControl : public ApplicationWork {
 public:
  // Creates this object's own instance of the host's realtime process table.
  FsNtProcessControl();
  // Seams: a given table instance (may be null; a reference is taken), the
  // operating-system calls and the log. Both must outlive the object.
  FsNtProcessControl(IProcessRealtimeClerk* clerk, ProcessApi& api, ProcessLog& log);
  ~FsNtProcessControl() override;
  FsNtProcessControl(const FsNtProcessControl&) = delete;
  FsNtProcessControl& operator=(const FsNtProcessControl&) = delete;

  HRESULT StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                       BSTR* processIdentity) override;
  HRESULT StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                      long* plProcessForceTerminated) override;
  HRESULT GetProcessStatus(LPWSTR instanceName, long* status) override;

  // Parses the process-control switches into the start-up record, the
  // credentials and the creation flags. The caller has lower-cased them.
  void InitializeProcess(LPCWSTR szProcessCtrlArgs, STARTUPINFOW* startupInfo,
                         ProcessCredentials* credentials, DWORD* creationFlags);

 private:
  // The tests' view of the process handle list (tests/process/ProcessListProbe.h).
  friend class ProcessListProbe;

  // A created process until its program runs (FsNtProcessControl.cpp).
  class PendingLaunch;

  HRESULT ObtainLogonToken(const ProcessCredentials& credentials, DWORD majorVersion,
                           HANDLE* token);
  // The stop's end of a listed process that is gone or was terminated
  // (ProcessStop.cpp).
  void ReleaseListed(ListedProcess* entry, DWORD processId);

  ComPtr<IProcessRealtimeClerk> m_pIProcessRealtimeClerk;
  ProcessHandleList m_processHandleList;
  ProcessApi& m_api;
  ProcessLog& m_log;
};
