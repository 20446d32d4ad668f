// The process-wide logging client and the module's own logging set-up.
#include <type_traits>

#include "logging/LoggerClient.h"
#include "logging/LoggerOs.h"

DWORD ModuleTraceFlag = 0;

namespace {

constexpr wchar_t kModuleIdentity[] = L"Pellisant";
constexpr long kModuleTraceFlagNumber = 11;
constexpr wchar_t kModuleTraceFlagName[] = L"CorvaneTrace";

// One guard for the whole set-up: threads that make their first request at
// the same moment wait until the first of them is done, so the library sees
// one identity and one flag registration, and ModuleTraceFlag is written
// before any of them can send a message under it.
INIT_ONCE g_moduleLoggingOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitializeModuleLoggingOnce(INIT_ONCE*, void*, void**) {
  // Nothing here throws; should anything ever, it must not unwind through
  // the system's frames. Done whatever the library answered: never repeated.
  try {
    LoggerClient& client = LoggerClient::Instance();
    client.SetIdentityName(kModuleIdentity);
    ModuleTraceFlag = client.RegisterLogFlag(kModuleTraceFlagNumber, kModuleTraceFlagName);
  } catch (...) {
  }
  return TRUE;
}

}  // namespace

// A static with a destructor would run it at every detach, process exit
// included (the C runtime's exit-time list): the client has none, and the
// library is released by ShutdownModuleLogging at unload only.
static_assert(std::is_trivially_destructible<LoggerClient>::value,
              "the process-wide client must leave nothing for the C runtime to run at exit");

LoggerClient& LoggerClient::Instance() {
  static LoggerClient client(SystemLoggerOs());
  return client;
}

void InitializeModuleLogging() {
  InitOnceExecuteOnce(&g_moduleLoggingOnce, &InitializeModuleLoggingOnce,
                      /*Parameter=*/nullptr, /*Context=*/nullptr);
}

void ShutdownModuleLogging() { LoggerClient::Instance().Shutdown(); }
