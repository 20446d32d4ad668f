#include "tools/velmoractl/ServiceStateReader.h"

#include <utility>

namespace {

class UniqueScHandle {
 public:
  explicit UniqueScHandle(SC_HANDLE handle) : handle_(handle) {}
  ~UniqueScHandle() {
    if (handle_) CloseServiceHandle(handle_);
  }
  UniqueScHandle(const UniqueScHandle&) = delete;
  UniqueScHandle& operator=(const UniqueScHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

// A failed call whose last error reads 0 must still count as a failure.
DWORD LastErrorOrFailure() {
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace

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
