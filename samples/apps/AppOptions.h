// Command line and small helpers shared by the sample applications.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "win32/Owners.h"

namespace velmora_samples {

constexpr long kDefaultShutdownTimeoutMs = 5000;
constexpr DWORD kHeartbeatIntervalMs = 500;

struct AppOptions {
  long shutdownTimeoutMs = kDefaultShutdownTimeoutMs;
  DWORD lingerMs = 0;     // cooperative: keep beating this long after the event
  bool stale = false;     // make the heartbeat stale right after entering, never beat
  bool keepBeating = false;  // stubborn: ignore the event but keep the heartbeat fresh
  std::wstring logPath;
};

// Parses --shutdown-timeout <ms>, --linger <ms>, --stale, --beat, --log <file>.
// Returns false (with a message on stderr) for anything else.
bool ParseAppOptions(int argc, wchar_t** argv, AppOptions* options);

// "VelmoraShutdown_<pid>": the manual-reset event that asks the process to exit.
std::wstring ShutdownEventName(DWORD processId);

// Appends lines to the --log file, if one was given; each line is flushed at
// once so a watcher sees it even if the process is terminated next.
class AppLog {
 public:
  explicit AppLog(const std::wstring& path);

  void Line(const wchar_t* format, ...);

 private:
  UniqueAny<CloseWith<FILE*, &std::fclose>> file_;
};

// Creates the process's shutdown event and enters the process in the realtime
// table under "Process_<pid>" with that event and the shutdown timeout; with
// --stale, its heartbeat is then made too old.
// Returns kExitOk, or the exit code the application should end with.
int EnterRealtimeTable(const AppOptions& options, AppLog& log,
                       UniqueHandle* shutdownEvent);

// Exit codes of the sample applications.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitEventFailed = 3;
constexpr int kExitTableFailed = 4;

}  // namespace velmora_samples
