// Pause and continue: twins that differ only in their constants.
#include "service/FsNtServiceControl.h"
#include "service/ScmApi.h"
#include "service/ScmSession.h"
#include "service/ServiceWaits.h"

namespace {

struct TwinRules {
  DWORD target;            // the state the control aims at
  DWORD control;           // the control sent
  DWORD pending;           // on the way to the target: the result stays
  DWORD opposite;          // the other twin's target
  DWORD resultAtOpposite;  // the result when a poll sees `opposite`
};

// A continue that finds the service paused again has failed; a pause that
// finds it still running may yet get there, so that is not held against it.
constexpr TwinRules kContinueRules{SERVICE_RUNNING, SERVICE_CONTROL_CONTINUE,
                                   SERVICE_CONTINUE_PENDING, SERVICE_PAUSED,
                                   ERROR_SERVICE_SPECIFIC_ERROR};
constexpr TwinRules kPauseRules{SERVICE_PAUSED, SERVICE_CONTROL_PAUSE,
                                SERVICE_PAUSE_PENDING, SERVICE_RUNNING,
                                ERROR_SUCCESS};

DWORD SendAndPoll(ScmApi& scm, LPCWSTR serviceName, const TwinRules& rules) {
  if (serviceName == nullptr || serviceName[0] == L'\0') return ERROR_INVALID_PARAMETER;

  ScmSession session(scm);
  DWORD error = session.OpenManager();
  if (error != ERROR_SUCCESS) return error;
  error = session.OpenNamedService(serviceName);
  if (error != ERROR_SUCCESS) return error;

  SERVICE_STATUS status{};
  error = scm.QueryStatus(session.Service(), &status);
  if (error != ERROR_SUCCESS) return error;
  if (status.dwCurrentState == rules.target) return ERROR_SUCCESS;

  SERVICE_STATUS answer{};
  error = scm.Control(session.Service(), rules.control, &answer);
  if (error == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SERVICE_SPECIFIC_ERROR;
  if (error != ERROR_SUCCESS) return error;

  // Only the target state or a failed query end the wait early; every other
  // state may still be on its way, so the polls go on and it sets the result.
  DWORD result = ERROR_SUCCESS;
  for (DWORD poll = 1; poll <= kMaxPauseContinuePolls; ++poll) {
    scm.SleepFor(kPauseContinuePollInterval);
    error = scm.QueryStatus(session.Service(), &status);
    if (error != ERROR_SUCCESS) return error;
    const DWORD state = status.dwCurrentState;
    if (state == rules.target) return ERROR_SUCCESS;
    if (state == rules.opposite) {
      result = rules.resultAtOpposite;
    } else if (state != rules.pending) {
      result = ERROR_SERVICE_SPECIFIC_ERROR;
    }
  }
  return result;
}

}  // namespace

DWORD FsNtServiceControl::PauseService(LPCWSTR serviceName) {
  return SendAndPoll(*m_scm, serviceName, kPauseRules);
}

DWORD FsNtServiceControl::ContinueService(LPCWSTR serviceName) {
  return SendAndPoll(*m_scm, serviceName, kContinueRules);
}
