#pragma once
// velmoractl check-app: does this program stop gracefully under Velmora?
// The program is started through the module exactly as a host starts it,
// followed through the application shutdown contract one clause at a time,
// stopped through the module as a host stops it, and judged, in the doctor's
// style (each warn or fail followed by what the program must do):
//   check-app: Z:\apps\worker.exe --port 8080
//   ok    started: Process_1234 in 0.031 s, through StartSoftwareProcess ...
//   ok    table entry: Process_1234 entered after 0.215 s, process id 1234, ...
//   ok    shutdown event: "VelmoraShutdown_1234" exists and opens with ...
//   ok    shutdown timeout: 5000 ms: the stopper waits in steps of 5000 ms ...
//   ok    heartbeat: 0.312 s old just before the stop; ...
//   ok    stop: graceful: exited 0.015 s after the stop request set its event, ...
//   verdict: follows the shutdown contract
// The program never outlives the check: whatever happens, it is stopped
// through the module, and ended by force where the module does not end it.
#include "tools/velmoractl/CommandLine.h"
#include "tools/velmoractl/Verbs.h"

// kExitSuccess when the program follows the contract, else kExitFailure.
int RunCheckApp(const Command& command, const ClientContext& context);
