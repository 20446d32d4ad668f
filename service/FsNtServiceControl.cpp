// Construction, status query and start of FsNtServiceControl. Stop, pause and
// continue live in their own files on the same shared opening (ScmSession).
#include "service/FsNtServiceControl.h"

#include "service/ScmApi.h"
#include "service/ScmSession.h"
#include "service/ServiceWaits.h"

namespace {

bool IsStartPending(DWORD state) { return state == SERVICE_START_PENDING; }

DWORD StartSettledResult(DWORD state) {
  return state == SERVICE_RUNNING ? ERROR_SUCCESS : ERROR_SERVICE_SPECIFIC_ERROR;
}

constexpr SettleRules kStartRules{&IsStartPending, &StartSettledResult};

}  // namespace

FsNtServiceControl::FsNtServiceControl() : m_scm(&SystemScmApi()) {}

FsNtServiceControl::FsNtServiceControl(ScmApi& scm) : m_scm(&scm) {}

FsNtServiceControl::~FsNtServiceControl() = default;

DWORD FsNtServiceControl::QueryService(LPCWSTR serviceName, SERVICE_STATUS* status) {
  if (serviceName == nullptr || serviceName[0] == L'\0') return ERROR_INVALID_PARAMETER;

  ScmSession session(*m_scm);
  DWORD error = session.OpenManager();
  // A system on its way down has no status to give; that is not a failure.
  if (error == ERROR_SHUTDOWN_IN_PROGRESS) return ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return error;
  error = session.OpenNamedService(serviceName);
  if (error != ERROR_SUCCESS) return error;

  SERVICE_STATUS current{};
  error = m_scm->QueryStatus(session.Service(), &current);
  if (error != ERROR_SUCCESS) return error;
  if (status != nullptr) *status = current;
  return ERROR_SUCCESS;
}

DWORD FsNtServiceControl::StartService(LPCWSTR serviceName, LPCWSTR cmdLnArgs) {
  // Only a null name is refused here; an empty one gets the SCM's own answer.
  if (serviceName == nullptr) return ERROR_INVALID_PARAMETER;

  ScmSession session(*m_scm);
  DWORD error = session.OpenManager();
  if (error != ERROR_SUCCESS) return error;
  error = session.OpenNamedService(serviceName);
  if (error != ERROR_SUCCESS) return error;

  SERVICE_STATUS before{};
  error = m_scm->QueryStatus(session.Service(), &before);
  if (error != ERROR_SUCCESS) return error;
  // Running, pending or paused: the caller asked for a start that cannot
  // happen, and is told so rather than told it succeeded.
  if (before.dwCurrentState != SERVICE_STOPPED) return ERROR_SERVICE_SPECIFIC_ERROR;

  // The service manager puts the service's name in front of whatever vector
  // it is handed, so ServiceMain sees {name, "<arguments>"}. A vector that
  // began with the name would hand the service its name twice, and a service
  // that reads its options from argv[1] would find its name there. The
  // request's argument string goes over whole, as the one entry.
  const bool hasArgs = cmdLnArgs != nullptr && cmdLnArgs[0] != L'\0';
  LPCWSTR argv[] = {cmdLnArgs};
  error = hasArgs ? m_scm->Start(session.Service(), 1, argv)
                  : m_scm->Start(session.Service(), 0, nullptr);
  if (error != ERROR_SUCCESS) return error;

  return AwaitSettled(*m_scm, session.Service(), before, kStartRules);
}
