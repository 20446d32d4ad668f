#pragma once
// The work operations of the service side, as the service controller calls
// them. FsNtServiceControl does the work; dispatch tests put recording
// objects in its place (control/WorkObjects.h). Results are Win32 codes.
#include <windows.h>

class ServiceWork {
 public:
  virtual ~ServiceWork() = default;
  virtual DWORD QueryService(LPCWSTR serviceName, SERVICE_STATUS* status) = 0;
  virtual DWORD StartService(LPCWSTR serviceName, LPCWSTR cmdLnArgs) = 0;
  virtual DWORD StopService(LPCWSTR serviceName) = 0;
  virtual DWORD PauseService(LPCWSTR serviceName) = 0;
  virtual DWORD ContinueService(LPCWSTR serviceName) = 0;
};
