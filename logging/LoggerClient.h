#pragma once
// Process-wide client of the host's logging library (LoggerDLL.dll).
//
// The library is found through the registry and loaded on first use; its
// entry points are reached by name. When it cannot be loaded, every operation
// quietly does nothing: logging never fails a request.
#include <windows.h>

#include <atomic>
#include <cstdarg>

#include "logging/LoggerEntryPoints.h"

class LoggerOs;

// Built-in categories of the library, by their index in the flag cache.
enum LogCategory : int {
  kLogError = 0,
  kLogWarning = 1,
  kLogInfo = 2,
  kLogTrace = 3,
};

// The module's own custom flag for its trace messages ("CorvaneTrace"),
// registered by the module logging initialisation; 0 until then. Written once,
// inside that initialisation, before the first class object is handed out,
// so no request reads it while it changes.
extern DWORD ModuleTraceFlag;

class LoggerClient {
 public:
  static LoggerClient& Instance();

  // A client of its own over the given OS calls, in the initial state. The
  // module uses only Instance(); tests build clients over scripted fakes.
  explicit LoggerClient(LoggerOs& os);
  LoggerClient(const LoggerClient&) = delete;
  LoggerClient& operator=(const LoggerClient&) = delete;

  bool EnsureConnected();
  bool SetIdentityName(const wchar_t* name);
  DWORD RegisterLogFlag(long number, const wchar_t* name);
  DWORD GetLogFlag(int categoryIndex);
  bool IsFlagEnabled(DWORD flag);
  bool IsCategoryEnabled(int categoryIndex);

  void LogError(const wchar_t* format, ...);
  void LogWarning(const wchar_t* format, ...);
  void LogInfo(const wchar_t* format, ...);
  void LogTrace(const wchar_t* format, ...);
  void LogCustom(DWORD flag, const wchar_t* format, ...);
  // The same, for callers that hold the arguments as a va_list: the message
  // of a built-in category (Error to Trace) and of a custom flag.
  void LogCategoryV(int categoryIndex, const wchar_t* format, va_list args);
  void LogCustomV(DWORD flag, const wchar_t* format, va_list args);

  // Unregisters from the library and unloads it. Runs at module unload only:
  // at process exit the library is already detached, and a thread killed
  // while connecting may hold the connect lock. False, with nothing done,
  // while another thread connects, and when the library could not be freed.
  bool Shutdown();

  // Room for one formatted message, terminator included.
  static constexpr int kMessageChars = 8192;

 private:
  bool ConnectLocked();
  bool LoadLoggerLibrary();
  bool ReadLibraryPath(wchar_t* path);
  HMODULE LoadFromInstallPath(const wchar_t* path);
  HMODULE LoadBareName();
  bool HostFolderLibraryPath(wchar_t* path);
  bool SystemFolderLibraryPath(wchar_t* path);
  void SetIdentityFromModule();
  bool CallSetIdentityName(const wchar_t* name);
  bool RefreshLogFlags();
  void Emit(LoggerEntryPoint entry, const wchar_t* format, va_list args);

  template <typename Fn>
  Fn Entry(LoggerEntryPoint entry) const {
    // Through void(*)(): the generic function type that converts to any other.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(m_entryPoints[entry]));
  }

  LoggerOs& m_os;
  HMODULE m_library = nullptr;
  // Written by the library through REGISTERLOGGERCLIENT; -1 while unregistered.
  int m_clientHandle = -1;
  FARPROC m_entryPoints[kLoggerEntryPointCount] = {};
  std::atomic<DWORD> m_flagCache[kLogCategoryCount] = {};
  // Set once the library, the table, the handle and the identity are all in
  // place, so that messages read them without taking the connect lock.
  std::atomic<bool> m_connected{false};
  // Serialises loading and registration: the first messages of many threads
  // must not register the module with the library more than once. It is held
  // across calls that take the loader lock (loading the library, its
  // registration, the module's file name for the identity), so nothing that
  // runs under the loader lock waits for it: Shutdown, in DllMain, only tries
  // it.
  SRWLOCK m_connectLock = SRWLOCK_INIT;
};

// Runs once per process, on the first class-object request: identity
// "Pellisant", custom flag "CorvaneTrace" registered with 11. Threads that
// come at once wait for the first; it is never repeated.
void InitializeModuleLogging();
// Shutdown of the process-wide client, when the module is unloaded.
void ShutdownModuleLogging();

// Category-tested messages: arguments are evaluated only when wanted.
#define VELMORA_LOG(category, method, ...)                                  \
  do {                                                                      \
    if (LoggerClient::Instance().IsCategoryEnabled(category))               \
      LoggerClient::Instance().method(__VA_ARGS__);                         \
  } while (0)
#define LOG_ERROR(...) VELMORA_LOG(kLogError, LogError, __VA_ARGS__)
#define LOG_WARNING(...) VELMORA_LOG(kLogWarning, LogWarning, __VA_ARGS__)
#define LOG_INFO(...) VELMORA_LOG(kLogInfo, LogInfo, __VA_ARGS__)
#define LOG_TRACE(...) VELMORA_LOG(kLogTrace, LogTrace, __VA_ARGS__)
// Messages under the module's own flag go out untested; the library decides.
#define LOG_MODULE(...) LoggerClient::Instance().LogCustom(ModuleTraceFlag, __VA_ARGS__)
