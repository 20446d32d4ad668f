#include "service/ServiceWaits.h"

#include <algorithm>

namespace {

// Watches a pending service for progress: a new state or a new checkpoint.
// Time is what the wait slept, so a slow SCM call never shortens the bound.
class ProgressWatch {
 public:
  explicit ProgressWatch(const SERVICE_STATUS& before)
      : m_state(before.dwCurrentState), m_checkPoint(before.dwCheckPoint) {}

  // Records a check made `slept` ms after the previous one. True when the
  // service has made no progress for longer than it promised, with the floor.
  bool Stalled(DWORD slept, const SERVICE_STATUS& now) {
    m_sinceProgress += slept;
    if (now.dwCurrentState != m_state || now.dwCheckPoint != m_checkPoint) {
      m_state = now.dwCurrentState;
      m_checkPoint = now.dwCheckPoint;
      m_sinceProgress = 0;
      return false;
    }
    const ULONGLONG allowed = std::max(now.dwWaitHint, kMinHungServiceWait);
    return m_sinceProgress > allowed;
  }

 private:
  DWORD m_state;
  DWORD m_checkPoint;
  ULONGLONG m_sinceProgress = 0;
};

}  // namespace

DWORD AwaitSettled(ScmApi& scm, SC_HANDLE service, const SERVICE_STATUS& before,
                   const SettleRules& rules) {
  ProgressWatch watch(before);
  for (;;) {
    scm.SleepFor(kStartStopPollInterval);
    SERVICE_STATUS status{};
    const DWORD error = scm.QueryStatus(service, &status);
    if (error != ERROR_SUCCESS) return error;
    if (!rules.isPending(status.dwCurrentState)) {
      return rules.settledResult(status.dwCurrentState);
    }
    if (watch.Stalled(kStartStopPollInterval, status)) {
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    }
  }
}
