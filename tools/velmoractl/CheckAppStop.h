#pragma once
// check-app's stop: through the module, exactly as a host stops a program
// (StopSoftwareProcess, the table's timeout deciding each wait), while a
// watcher thread follows the program: when it ends, how old its heartbeat
// gets while it winds down, and whether it stays in the table. The check
// never leaves the program running: what the module does not end, the client
// ends by force, and the facts say so.
#include <windows.h>

#include <string>

#include "Velmora.h"
#include "tools/velmoractl/ProcessProbe.h"
#include "tools/velmoractl/StopOutcome.h"

// Who ended the program where the module did not, and why.
enum class ClientEnd {
  kNone,
  kWaitPassed,    // still running --wait after the stop request, the module still waiting
  kInterrupted,   // Ctrl+C while the module waited
  kModuleLeftIt,  // the module's stop returned and the program ran on
};

struct StopFacts {
  HRESULT result = S_OK;          // the module's answer
  long forced = 0;                // its force flag
  StopOutcome outcome;            // that answer with the client's look afterwards
  DWORD requestMs = 0;            // how long the stop request took
  bool exited = false;            // the watcher saw the program end
  DWORD exitAfterMs = 0;          // from the stop request to the program's end
  bool exitCodeKnown = false;
  DWORD exitCode = 0;
  bool heartbeatSeen = false;     // the heartbeat could be read while it wound down
  DWORD oldestHeartbeatMs = 0;    // the oldest it was then
  bool leftTable = false;         // its entry went while the program still ran
  ClientEnd clientEnd = ClientEnd::kNone;
  bool interrupted = false;       // an interruption came while the stop ran
};

// The exit code the client gives a program it has to end itself.
constexpr UINT kClientTerminationExitCode = 1;

// Stops the program that `program` holds (opened with PROCESS_TERMINATE)
// through the module. The module's stop may wait as long as the heartbeat
// stays fresh: after waitMs, or at an interruption, the client ends the
// program itself, which also ends the module's wait.
StopFacts StopThroughModule(ISoftwareProcessControlManager* control,
                            const std::wstring& identity, const ProcessProbe& program,
                            DWORD waitMs, HANDLE interrupt);
