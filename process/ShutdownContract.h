#pragma once
// The numbers of the application shutdown contract as the stopper applies
// them. The stop uses them, and velmoractl's check-app judges a program by
// the very same ones, so the two cannot drift apart.
#include <windows.h>

// What the table timeout is taken to be when the table leaves nothing.
constexpr long kDefaultShutdownTimeoutMs = 30000;
// The wait of a negative client timeout, and the floor of a table timeout
// that would make every wait return at once.
constexpr long kMinimumWaitMs = 100;
// A process whose last heartbeat is older than this is not shutting down.
constexpr DWORD kHeartbeatMaxAgeMs = 55000;
// The only right the stopper asks for on a program's shutdown event.
constexpr DWORD kShutdownEventAccess = EVENT_MODIFY_STATE;

// The length of each wait of a stop, from the client's timeout (0: let the
// table decide) and the table's timeout.
inline long WaitTimeoutFor(long lShutdownTimeout, long tableTimeout) {
  if (lShutdownTimeout < 0) return kMinimumWaitMs;
  if (lShutdownTimeout > 0) return lShutdownTimeout;
  return tableTimeout > 0 ? tableTimeout : kMinimumWaitMs;
}
