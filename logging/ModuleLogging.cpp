// The process-wide logging client and the module's own logging set-up.
#include <atomic>
#include <type_traits>

#include "logging/LoggerClient.h"
#include "logging/LoggerOs.h"

DWORD ModuleTraceFlag = 0;

namespace {

constexpr wchar_t kModuleIdentity[] = L"Pellisant";
constexpr long kModuleTraceFlagNumber = 11;
constexpr wchar_t kModuleTraceFlagName[] = L"CorvaneTrace";

std::atomic<bool> g_moduleLoggingInitialised{false};

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
  if (g_moduleLoggingInitialised.load(std::memory_order_acquire)) return;
  LoggerClient& client = LoggerClient::Instance();
  client.SetIdentityName(kModuleIdentity);
  ModuleTraceFlag = client.RegisterLogFlag(kModuleTraceFlagNumber, kModuleTraceFlagName);
  // Set whatever the library answered: the set-up is never repeated.
  g_moduleLoggingInitialised.store(true, std::memory_order_release);
}

void ShutdownModuleLogging() { LoggerClient::Instance().Shutdown(); }
