#pragma once
// Carries out one parsed command against a control object and prints the
// machine-readable answer, one "key: value" line each:
//   identity: Process_1234             (start; also for a failed service start)
//   status: 2 PROCESS_STARTED          (status of an application)
//   state: RUNNING                     (service status, pause, continue, stop;
//                                       read by the client from the service manager)
//   forced: 1                          (stop of an application)
//   outcome: terminated                (stop, restart; see StopOutcome.h)
//   result: 0x00000000 S_OK (The operation completed successfully.)
//   elapsed: 2.004 s
#include <windows.h>

#include <functional>
#include <string>

#include "Velmora.h"
#include "tools/velmoractl/CommandLine.h"
#include "tools/velmoractl/ResultText.h"
#include "tools/velmoractl/ServiceStateReader.h"
#include "tools/velmoractl/StopOutcome.h"

enum ExitCode : int {
  kExitSuccess = 0,
  kExitFailure = 1,
  kExitUsage = 2,
};

struct ClientContext {
  ISoftwareProcessControlManager* control = nullptr;
  ServiceStateReader* services = nullptr;
  // Looks for a program before and after its stop; null: the real one.
  ApplicationLookout* applications = nullptr;
  SystemMessageLookup messages;
  std::function<void(const std::wstring&)> writeOut;       // stdout
  std::function<void(const std::wstring&)> writeProgress;  // stderr; empty: no progress
  std::function<void(DWORD)> sleep = [](DWORD ms) { Sleep(ms); };
};

// What the module's identity of an application starts with: "Process_<pid>".
constexpr wchar_t kApplicationIdentityPrefix[] = L"Process_";

// True when the request about this identity goes to the application side.
// Mirrors the module's own routing: "Process_" anywhere, exact letter case.
bool IsApplicationIdentity(const std::wstring& identity);

// Runs the command; returns kExitSuccess or kExitFailure.
int RunCommand(const Command& command, const ClientContext& context);
