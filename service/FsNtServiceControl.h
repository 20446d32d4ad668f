#pragma once
// Stateless control of Windows services through the Service Control Manager.
// Every operation opens the SCM and the named service, acts, and closes both
// handles before it returns. Results are Win32 codes: 0 is success.
#include <windows.h>

#include "service/ServiceWork.h"

class ScmApi;

class FsNtServiceControl : public ServiceWork {
 public:
  FsNtServiceControl();  // binds the real SCM
  // Binds the given seam, which must outlive this object (tests pass a fake).
  explicit FsNtServiceControl(ScmApi& scm);
  ~FsNtServiceControl() override;

  // Fills *status and returns 0 when the status could be read, whatever the
  // state; otherwise returns the failure and leaves *status alone. 0 also when
  // the SCM refuses to open because the system is shutting down.
  DWORD QueryService(LPCWSTR serviceName, SERVICE_STATUS* status) override;
  // Starts a stopped service and waits while it is START_PENDING: 0 once it
  // runs, 1066 when it is not stopped at entry or settles elsewhere, 1053 when
  // it hangs. A non-empty cmdLnArgs reaches the service as its one argument,
  // after the name the service manager puts first: {name, cmdLnArgs}.
  DWORD StartService(LPCWSTR serviceName, LPCWSTR cmdLnArgs) override;
  // Stops the active dependents (depth first, results ignored), then the
  // service, and waits while it is pending: 0 when it is stopped (or running)
  // afterwards, 1066 for other states, 1053 when it hangs.
  DWORD StopService(LPCWSTR serviceName) override;
  // Pause and continue send their control unless the service is already in
  // the target state, then poll briefly (at most 11 times) for it.
  DWORD PauseService(LPCWSTR serviceName) override;
  DWORD ContinueService(LPCWSTR serviceName) override;

 private:
  ScmApi* m_scm;
};
