// Binds the ScmApi seam to the real Service Control Manager.
#include "service/ScmApi.h"
#include "win32/LastError.h"
#include "win32/NoDestructor.h"

namespace {

DWORD FromBool(BOOL ok) { return ok ? ERROR_SUCCESS : LastErrorOrFailure(); }

class SystemScm final : public ScmApi {
 public:
  DWORD OpenManager(LPCWSTR machineName, LPCWSTR databaseName,
                    DWORD desiredAccess, SC_HANDLE* manager) override {
    *manager = ::OpenSCManagerW(machineName, databaseName, desiredAccess);
    return *manager != nullptr ? ERROR_SUCCESS : LastErrorOrFailure();
  }

  DWORD OpenNamedService(SC_HANDLE manager, LPCWSTR serviceName,
                         DWORD desiredAccess, SC_HANDLE* service) override {
    *service = ::OpenServiceW(manager, serviceName, desiredAccess);
    return *service != nullptr ? ERROR_SUCCESS : LastErrorOrFailure();
  }

  void Close(SC_HANDLE handle) override { ::CloseServiceHandle(handle); }

  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
    return FromBool(::QueryServiceStatus(service, status));
  }

  DWORD Start(SC_HANDLE service, DWORD argc, LPCWSTR* argv) override {
    return FromBool(::StartServiceW(service, argc, argv));
  }

  DWORD Control(SC_HANDLE service, DWORD control,
                SERVICE_STATUS* status) override {
    return FromBool(::ControlService(service, control, status));
  }

  DWORD EnumDependents(SC_HANDLE service, DWORD serviceState,
                       ENUM_SERVICE_STATUSW* buffer, DWORD bufferSize,
                       DWORD* bytesNeeded, DWORD* servicesReturned) override {
    return FromBool(::EnumDependentServicesW(service, serviceState, buffer,
                                             bufferSize, bytesNeeded,
                                             servicesReturned));
  }

  void SleepFor(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

ScmApi& SystemScmApi() {
  static NoDestructor<SystemScm> api;
  return *api;
}
