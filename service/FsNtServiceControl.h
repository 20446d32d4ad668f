#pragma once
// Stateless control of Windows services through the Service Control Manager.
// Every operation opens the SCM and the named service, acts, and closes both
// handles before it returns. Results are Win32 codes: 0 is success.
#include <windows.h>

class ScmApi;

class FsNtServiceControl {
 public:
  FsNtServiceControl();  // binds the real SCM
  virtual ~FsNtServiceControl();

  // Work operations. Virtual only so that dispatch tests can record calls.
  virtual DWORD QueryService(LPCWSTR serviceName, SERVICE_STATUS* status);
  virtual DWORD StartService(LPCWSTR serviceName, LPCWSTR cmdLnArgs);
  virtual DWORD StopService(LPCWSTR serviceName);
  virtual DWORD PauseService(LPCWSTR serviceName);
  virtual DWORD ContinueService(LPCWSTR serviceName);
};
