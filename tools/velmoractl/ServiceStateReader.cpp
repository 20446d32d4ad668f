#include "tools/velmoractl/ServiceStateReader.h"

#include "win32/LastError.h"
#include "win32/Owners.h"

bool ScmServiceStateReader::Read(const wchar_t* serviceName, DWORD* state, DWORD* error) {
  UniqueScHandle manager(OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                        SC_MANAGER_CONNECT));
  if (!manager) {
    *error = LastErrorOrFailure();
    return false;
  }
  UniqueScHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS));
  if (!service) {
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
