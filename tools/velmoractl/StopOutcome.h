#pragma once
// What a stop did, as the client tells it on its "outcome:" line: decided
// from the module's answer together with what the client sees itself
// afterwards, never from the answer alone. The module answers a service's
// stop with 0 also when the service still runs, and an application's with
// S_OK also when it could not open the program, which then runs on.
#include <windows.h>

#include <string>

#include "tools/velmoractl/ProcessProbe.h"

struct StopOutcome {
  std::wstring text;     // the outcome line's value; empty: nothing to tell
  bool stopped = false;  // the program or service is stopped
};

// Whether an application stop answered so needs the look afterwards: S_OK
// and S_FALSE without force can both leave the program running.
bool NeedsLookAfterStop(HRESULT result, long forced);

// An application's stop, from the module's result and force flag and the
// client's looks at the program before the request and after it (the latter
// only where NeedsLookAfterStop; pass anything elsewhere):
//   "ended by itself"                               it ran, and is gone
//   "already gone"                                  the module reached no running program
//   "terminated"                                    the module ended it by force
//   "still running (the module could not open it)"  S_OK, and it runs on
//   "still running (its shutdown event does not exist)"  S_FALSE unforced, and it runs on
// A failed request has no outcome.
StopOutcome ApplicationStopOutcome(HRESULT result, long forced, Presence before, Presence after);

// A service's stop that the module answered with success, from the state the
// client read afterwards: "stopped", or "still <STATE>".
StopOutcome ServiceStopOutcome(DWORD state);

// Finds the program an identity names, the way the module will (through the
// host's realtime table), and holds it from before a stop request until the
// look after it.
class ApplicationLookout {
 public:
  virtual ~ApplicationLookout() = default;
  // The look before the request; holds the program for After.
  virtual Presence Before(const std::wstring& identity) = 0;
  // The look after the request, at the program Before found.
  virtual Presence After() = 0;
};

// Through the realtime table and OpenProcess; needs a COM apartment on the
// calling thread.
class SystemApplicationLookout : public ApplicationLookout {
 public:
  Presence Before(const std::wstring& identity) override;
  Presence After() override;

 private:
  ProcessProbe probe_;
};

// How long a program that the stop has just ended, or that is on its way out,
// is given to be gone before the client says it still runs.
constexpr DWORD kExitGraceMs = 1000;
