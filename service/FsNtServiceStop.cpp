// Stop of a service, its active dependents first.
#include <vector>

#include "service/FsNtServiceControl.h"
#include "service/ScmApi.h"
#include "service/ScmSession.h"
#include "service/ServiceWaits.h"

namespace {

// The first enumeration asks with room for about ten dependents; most
// services have fewer, and a larger need is answered with its exact size.
constexpr DWORD kDependentsBufferBytes = 360;
// The set of dependents can grow between two enumerations; give up after a
// few rounds rather than chase it.
constexpr int kMaxDependentEnumAttempts = 3;

bool IsStopWaitPending(DWORD state) {
  return state == SERVICE_STOP_PENDING || state == SERVICE_START_PENDING;
}

// Stopped is the goal; a service still running after the control ignored or
// finished with it and is left alone. Anything else did not stop.
DWORD StopSettledResult(DWORD state) {
  return state == SERVICE_STOPPED || state == SERVICE_RUNNING
             ? ERROR_SUCCESS
             : ERROR_SERVICE_SPECIFIC_ERROR;
}

constexpr SettleRules kStopRules{&IsStopWaitPending, &StopSettledResult};

// The active dependents of a service, in the order the SCM lists them. The
// records point into `storage`. Empty when they cannot be listed: the SCM then
// decides about the stop on its own.
struct Dependents {
  std::vector<ENUM_SERVICE_STATUSW> storage;  // typed, so records are aligned
  DWORD count = 0;
};

Dependents ListActiveDependents(ScmApi& scm, SC_HANDLE service) {
  Dependents result;
  DWORD bytes = kDependentsBufferBytes;
  for (int attempt = 0; attempt < kMaxDependentEnumAttempts; ++attempt) {
    const size_t records = (bytes + sizeof(ENUM_SERVICE_STATUSW) - 1) /
                           sizeof(ENUM_SERVICE_STATUSW);
    result.storage.assign(records, ENUM_SERVICE_STATUSW{});
    DWORD needed = 0;
    DWORD count = 0;
    const DWORD error = scm.EnumDependents(service, SERVICE_ACTIVE,
                                           result.storage.data(), bytes,
                                           &needed, &count);
    if (error == ERROR_SUCCESS) {
      result.count = count <= records ? count : 0;
      return result;
    }
    if (error != ERROR_MORE_DATA || needed <= bytes) break;
    bytes = needed;
  }
  result.storage.clear();
  result.count = 0;
  return result;
}

DWORD StopServiceTree(ScmApi& scm, LPCWSTR serviceName) {
  if (serviceName == nullptr || serviceName[0] == L'\0') return ERROR_INVALID_PARAMETER;

  ScmSession session(scm);
  DWORD error = session.OpenManager();
  // With the system shutting down every service is being stopped anyway.
  if (error == ERROR_SHUTDOWN_IN_PROGRESS) return ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return error;
  error = session.OpenNamedService(serviceName);
  if (error != ERROR_SUCCESS) return error;

  SERVICE_STATUS before{};
  error = scm.QueryStatus(session.Service(), &before);
  if (error != ERROR_SUCCESS) return error;
  if (before.dwCurrentState == SERVICE_STOPPED) return ERROR_SUCCESS;

  // Depth first: each dependent is stopped completely, its own dependents
  // included, before the next. A dependent that will not stop is left to the
  // SCM, which then refuses our own stop control if it matters.
  const Dependents dependents = ListActiveDependents(scm, session.Service());
  for (DWORD i = 0; i < dependents.count; ++i) {
    StopServiceTree(scm, dependents.storage[i].lpServiceName);
  }

  SERVICE_STATUS answer{};
  error = scm.Control(session.Service(), SERVICE_CONTROL_STOP, &answer);
  // Not active: it stopped on its own meanwhile; the wait below confirms it.
  if (error != ERROR_SUCCESS && error != ERROR_SERVICE_NOT_ACTIVE) return error;

  return AwaitSettled(scm, session.Service(), before, kStopRules);
}

}  // namespace

DWORD FsNtServiceControl::StopService(LPCWSTR serviceName) {
  return StopServiceTree(*m_scm, serviceName);
}
