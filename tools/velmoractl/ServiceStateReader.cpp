#include "tools/velmoractl/ServiceStateReader.h"

#include "tools/velmoractl/Win32Owners.h"

bool ScmServiceStateReader::Read(const wchar_t* serviceName, DWORD* state, DWORD* error) {
  UniqueScHandle manager(OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                        SC_MANAGER_CONNECT));
  if (!manager.get()) {
    *error = LastErrorOrFailure();
    return false;
  }
  UniqueScHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS));
  if (!service.get()) {
    *error = LastErrorOrFailure();
    return false;
  }
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service.get(), &status)) {
    *error = LastErrorOrFailure();
    return false;
  }
  *state = status.dwCurrentState;
  return true;
}
