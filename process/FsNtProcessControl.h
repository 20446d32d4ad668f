#pragma once
// Control of application processes that the module launches itself: the
// launch, the process handle list shared under g_processListLock, the status
// query and the graceful or forced stop. Results are HRESULTs.
#include <windows.h>

#include <cstddef>

#include "Velmora.h"  // IProcessRealtimeClerk (generated from the type library)
#include "process/ProcessCredentials.h"
#include "process/ProcessHandleList.h"
#include "win32/ComPtr.h"

class ProcessApi;
class ProcessLog;

class FsNtProcessControl {
 public:
  // Creates this object's own instance of the host's realtime process table.
  FsNtProcessControl();
  // Seams: a given table instance (may be null; a reference is taken), the
  // operating-system calls and the log. Both must outlive the object.
  FsNtProcessControl(IProcessRealtimeClerk* clerk, ProcessApi& api, ProcessLog& log);
  virtual ~FsNtProcessControl();
  FsNtProcessControl(const FsNtProcessControl&) = delete;
  FsNtProcessControl& operator=(const FsNtProcessControl&) = delete;

  // Work operations. Virtual only so that dispatch tests can record calls.
  virtual HRESULT StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs,
                               LPWSTR szProcessCtrlArgs, BSTR* processIdentity);
  virtual HRESULT StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                              long* plProcessForceTerminated);
  virtual HRESULT GetProcessStatus(LPWSTR instanceName, long* status);

  // Parses the process-control switches into the start-up record, the
  // credentials and the creation flags. The caller has lower-cased them.
  void InitializeProcess(LPCWSTR szProcessCtrlArgs, STARTUPINFOW* startupInfo,
                         ProcessCredentials* credentials, DWORD* creationFlags);

  // Number of entries in this object's process handle list (takes the lock).
  size_t ProcessHandleCount();
  // Copies the first listed entry of that process id; false if none.
  bool FindListedProcess(DWORD processId, PROCESS_INFORMATION* info);

 private:
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
