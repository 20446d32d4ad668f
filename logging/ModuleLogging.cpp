// The process-wide logging client and the module's own logging set-up.
#include <stdlib.h>

#include <atomic>

#include "logging/LoggerClient.h"
#include "logging/LoggerOs.h"

DWORD ModuleTraceFlag = 0;

namespace {

constexpr wchar_t kModuleIdentity[] = L"Pellisant";
constexpr long kModuleTraceFlagNumber = 11;
constexpr wchar_t kModuleTraceFlagName[] = L"CorvaneTrace";

std::atomic<bool> g_moduleLoggingInitialised{false};

// Inside a DLL the C runtime runs its exit-time list when the DLL is unloaded,
// so the library is released with the module that loaded it.
void ShutdownAtExit() { LoggerClient::Instance().Shutdown(); }

}  // namespace

LoggerClient& LoggerClient::Instance() {
  static LoggerClient client(SystemLoggerOs());
  static const int exitRegistration = atexit(&ShutdownAtExit);
  (void)exitRegistration;
  return client;
}

void InitializeModuleLogging() {
  if (g_moduleLoggingInitialised.load(std::memory_order_acquire)) return;
  LoggerClient& client = LoggerClient::Instance();
  client.SetIdentityName(kModuleIdentity);
  ModuleTraceFlag = client.RegisterLogFlag(kModuleTraceFlagNumber, kModuleTraceFlagName);
  // Set whatever the library answered: the set-up is never repeated.
  g_moduleLoggingInitialised.store(true, std::memory_order_release);
}
