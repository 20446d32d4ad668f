#pragma once
// The narrow seam between the service operations and the Service Control
// Manager. Production binds it to ADVAPI32 (SystemScmApi); tests bind a
// scripted fake with a virtual clock.
//
// Every call that can fail returns its Win32 error code, 0 on success. The
// production binding never returns 0 for a failed call, even when the OS left
// the last error at 0, so a failure can never read as success.
#include <windows.h>

#include "win32/UniqueAny.h"

class ScmApi {
 public:
  virtual ~ScmApi() = default;

  // OpenSCManagerW. On success *manager holds the handle.
  virtual DWORD OpenManager(LPCWSTR machineName, LPCWSTR databaseName,
                            DWORD desiredAccess, SC_HANDLE* manager) = 0;
  // OpenServiceW. On success *service holds the handle.
  virtual DWORD OpenNamedService(SC_HANDLE manager, LPCWSTR serviceName,
                                 DWORD desiredAccess, SC_HANDLE* service) = 0;
  // CloseServiceHandle; nothing useful can be done when it fails.
  virtual void Close(SC_HANDLE handle) = 0;
  // QueryServiceStatus. *status is written only on success.
  virtual DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
  // StartServiceW with argc entries of argv (argv may be null when argc is 0).
  virtual DWORD Start(SC_HANDLE service, DWORD argc, LPCWSTR* argv) = 0;
  // ControlService.
  virtual DWORD Control(SC_HANDLE service, DWORD control,
                        SERVICE_STATUS* status) = 0;
  // EnumDependentServicesW. ERROR_MORE_DATA comes back with *bytesNeeded set.
  virtual DWORD EnumDependents(SC_HANDLE service, DWORD serviceState,
                               ENUM_SERVICE_STATUSW* buffer, DWORD bufferSize,
                               DWORD* bytesNeeded, DWORD* servicesReturned) = 0;
  // Sleep. The waits measure their elapsed time by what they slept, so a fake
  // clock that only advances here keeps them exact.
  virtual void SleepFor(DWORD milliseconds) = 0;
};

// A manager or service handle that the seam opened, closed through it.
using ScHandle = UniqueAny<CloseThrough<ScmApi, SC_HANDLE, &ScmApi::Close>>;

// The binding to the real Service Control Manager; one stateless instance
// serves every thread.
ScmApi& SystemScmApi();
