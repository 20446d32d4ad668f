#pragma once
// The timings of the service waits, and the wait for a start or stop to take
// effect.
#include "service/ScmApi.h"

// A start or stop is checked every kStartStopPollInterval ms; the first check
// never comes at once, a service needs the time to react.
constexpr DWORD kStartStopPollInterval = 2000;
// A pause or continue is checked every kPauseContinuePollInterval ms, at most
// kMaxPauseContinuePolls times.
constexpr DWORD kPauseContinuePollInterval = 100;
constexpr DWORD kMaxPauseContinuePolls = 11;
// A pending service that changes neither its state nor its checkpoint for
// longer than its wait hint is taken as hung. Wait hints are often 0 or far too
// short, so the wait never gives up earlier than this.
constexpr DWORD kMinHungServiceWait = 30000;

// What the wait does with a state seen at a check.
struct SettleRules {
  // True: the service is still on its way; check again.
  bool (*isPending)(DWORD state);
  // The result for any state that is not pending.
  DWORD (*settledResult)(DWORD state);
};

// Polls the service every kStartStopPollInterval ms until it leaves its
// pending states, and returns the result of the state it settles in, the code
// of a failed status query, or ERROR_SERVICE_REQUEST_TIMEOUT when it stops
// making progress. `before` is the status last seen before the request.
DWORD AwaitSettled(ScmApi& scm, SC_HANDLE service, const SERVICE_STATUS& before,
                   const SettleRules& rules);
