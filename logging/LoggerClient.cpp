// The process-wide client of the host's logging library.
#include "logging/LoggerClient.h"

#include <cwchar>
#include <stdlib.h>

#include "logging/LoggerLibraryPath.h"
#include "logging/LoggerOs.h"
#include "win32/LockGuard.h"

namespace {

constexpr wchar_t kInvalidNameSuffix[] = L" - Invalid Name";
constexpr size_t kSuffixChars = sizeof(kInvalidNameSuffix) / sizeof(wchar_t) - 1;

// msvcrt's _vsnwprintf leaves the buffer unterminated when the text fills or
// overflows it, so the last slot is always closed: a long message is cut to
// kMessageChars - 1 characters and still reaches the library terminated.
void FormatInto(wchar_t* buffer, int chars, const wchar_t* format, va_list args) {
  buffer[0] = L'\0';
  if (format) _vsnwprintf(buffer, chars, format, args);
  buffer[chars - 1] = L'\0';
}

}  // namespace

LoggerClient::LoggerClient(LoggerOs& os) : m_os(os) {}

bool LoggerClient::EnsureConnected() {
  if (m_connected.load(std::memory_order_acquire)) return true;
  LockGuard lock(m_connectLock);
  return ConnectLocked();
}

bool LoggerClient::ConnectLocked() {
  if (m_connected.load(std::memory_order_relaxed)) return true;
  if (!m_library) LoadLoggerLibrary();
  auto registerClient = Entry<RegisterLoggerClientFn>(kEntry_REGISTERLOGGERCLIENT);
  if (m_library && registerClient) registerClient(&m_clientHandle);
  if (m_clientHandle == -1) return false;
  SetIdentityFromModule();
  m_connected.store(true, std::memory_order_release);
  return true;
}

bool LoggerClient::LoadLoggerLibrary() {
  if (m_library) return true;
  wchar_t path[kLoggerLibraryPathChars];
  HMODULE library = ReadLibraryPath(path) ? LoadFromInstallPath(path) : LoadBareName();
  if (!library) return false;
  m_library = library;
  for (int i = 0; i < kLoggerEntryPointCount; ++i)
    m_entryPoints[i] = m_os.GetProcAddress(library, kLoggerEntryPointNames[i]);
  return true;
}

// Builds "<InstallPath>\LoggerDLL.dll" into |path| (kLoggerLibraryPathChars).
// False, so that the bare name is loaded, when the key or value is missing,
// or when ComposeLoggerLibraryPath finds the value unusable: empty, too long,
// or not a full path, since a relative one would be resolved against the
// current folder, the very place the bare name is kept away from.
bool LoggerClient::ReadLibraryPath(wchar_t* path) {
  OsKey key(m_os);
  if (m_os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLoggerKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return false;
  wchar_t directory[kLoggerLibraryPathChars] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(directory);
  if (m_os.RegQueryValueExW(key.get(), kLoggerInstallPathValue, &type,
                            reinterpret_cast<BYTE*>(directory), &bytes) != ERROR_SUCCESS)
    return false;
  return ComposeLoggerLibraryPath(directory, path);
}

// The library's own imports are looked for in its own folder, then where the
// bare name is (below): never in the current folder or on PATH. A full path
// given to LoadLibraryW settles where the library itself comes from, not its
// imports: those the loader looks for in the plain search order, the host's
// folder, the system folders, the current folder and PATH, but not the
// library's folder. A helper DLL shipped beside the library would then be
// taken from whatever current folder the host runs in, where anyone who can
// write there may have left one, or not be found at all.
HMODULE LoggerClient::LoadFromInstallPath(const wchar_t* path) {
  DWORD error = ERROR_SUCCESS;
  HMODULE library = m_os.LoadLibraryExW(
      path, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, &error);
  if (library || error != ERROR_INVALID_PARAMETER) return library;
  // Windows 7 without the update that added those flags. This one looks for
  // the imports in the library's folder first, then, in the documented
  // order, the system folder, the 16-bit system folder, the Windows folder,
  // the current folder and PATH (the current folder right after the
  // library's folder where SafeDllSearchMode is off); the host's folder is
  // not searched. An import found in neither the library's folder nor the
  // system folders can still come from the current folder there: only the
  // host, with SetDllDirectoryW, can take that folder out of the order.
  return m_os.LoadLibraryExW(path, LOAD_WITH_ALTERED_SEARCH_PATH, &error);
}

// Without "InstallPath" the bare name is looked for only where the host
// decides: its program's folder, the system folder and the folders it added
// for DLLs (SetDllDirectoryW, AddDllDirectory). The plain search order would
// also take the current folder and every folder on PATH, where whoever can
// write a LoggerDLL.dll would have it run inside the host with the host's
// rights. A system that refuses the search flags (Windows 7 without the
// update that added them) gets the first two folders by full path instead.
HMODULE LoggerClient::LoadBareName() {
  DWORD error = ERROR_SUCCESS;
  HMODULE library =
      m_os.LoadLibraryExW(kLoggerLibraryFileName, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, &error);
  if (library || error != ERROR_INVALID_PARAMETER) return library;
  wchar_t path[kLoggerLibraryPathChars];
  if (HostFolderLibraryPath(path) && (library = m_os.LoadLibraryW(path))) return library;
  if (SystemFolderLibraryPath(path)) return m_os.LoadLibraryW(path);
  return nullptr;
}

bool LoggerClient::HostFolderLibraryPath(wchar_t* path) {
  wchar_t program[MAX_PATH] = {};
  const DWORD length = m_os.GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  wchar_t* separator = wcsrchr(program, L'\\');
  if (!separator) return false;
  separator[1] = L'\0';
  return ComposeLoggerLibraryPath(program, path);
}

bool LoggerClient::SystemFolderLibraryPath(wchar_t* path) {
  wchar_t system[kLoggerLibraryPathChars] = {};
  const UINT length = m_os.GetSystemDirectoryW(system, kLoggerLibraryPathChars);
  if (length == 0 || length >= kLoggerLibraryPathChars) return false;
  return ComposeLoggerLibraryPath(system, path);
}

// The identity is the base name of the module's file as it is spelled on
// disk; when the file cannot be found, the whole path marked as invalid. The
// name buffer has room for a full MAX_PATH path plus the mark, so the mark is
// never cut and nothing is written past the buffer.
void LoggerClient::SetIdentityFromModule() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = m_os.GetModuleFileNameW(m_os.OwnModule(), path, MAX_PATH);
  // Older systems leave a path that fills the buffer unterminated.
  if (length >= MAX_PATH) path[MAX_PATH - 1] = L'\0';

  wchar_t name[MAX_PATH + kSuffixChars] = {};
  WIN32_FIND_DATAW found = {};
  OsFind find(m_os, m_os.FindFirstFileW(path, &found));
  if (find) {
    found.cFileName[MAX_PATH - 1] = L'\0';
    _wsplitpath(found.cFileName, nullptr, nullptr, name, nullptr);
  } else {
    wcscpy(name, path);
    wcscat(name, kInvalidNameSuffix);
  }
  CallSetIdentityName(name);
}

bool LoggerClient::SetIdentityName(const wchar_t* name) {
  if (!EnsureConnected()) return false;
  return CallSetIdentityName(name);
}

bool LoggerClient::CallSetIdentityName(const wchar_t* name) {
  auto setIdentity = Entry<SetIdentityNameFn>(kEntry_SETIDENTITYNAME);
  if (!setIdentity) return false;
  return (setIdentity(m_clientHandle, name) & 0xFF) != 0;
}

DWORD LoggerClient::RegisterLogFlag(long number, const wchar_t* name) {
  if (!EnsureConnected()) return 0;
  auto registerFlag = Entry<RegisterLogFlagFn>(kEntry_REGISTERLOGFLAG);
  if (!registerFlag) return 0;
  return registerFlag(m_clientHandle, number, name);
}

bool LoggerClient::RefreshLogFlags() {
  if (!EnsureConnected()) return false;
  auto logStart = Entry<LogStartFn>(kEntry_LOGSTART);
  if (!logStart || logStart(m_clientHandle) == 0) return false;
  auto getFlag = Entry<GetLogFlagFn>(kEntry_GETLOGFLAG);
  if (!getFlag) return false;
  for (int index = 0; index < kLogCategoryCount; ++index)
    m_flagCache[index].store(getFlag(m_clientHandle, index), std::memory_order_relaxed);
  return true;
}

DWORD LoggerClient::GetLogFlag(int categoryIndex) {
  if (categoryIndex < 0 || categoryIndex >= kLogCategoryCount) return 0;
  const DWORD cached = m_flagCache[categoryIndex].load(std::memory_order_relaxed);
  if (cached != 0) return cached;
  if (!RefreshLogFlags()) return 0;
  return m_flagCache[categoryIndex].load(std::memory_order_relaxed);
}

bool LoggerClient::IsFlagEnabled(DWORD flag) {
  if (!EnsureConnected()) return false;
  auto flagLog = Entry<LogFlagLogFn>(kEntry_LOGFLAGLOG);
  if (!flagLog) return false;
  return (flagLog(m_clientHandle, flag, 0) & 0xFF) != 0;
}

bool LoggerClient::IsCategoryEnabled(int categoryIndex) {
  return IsFlagEnabled(GetLogFlag(categoryIndex));
}

void LoggerClient::Emit(LoggerEntryPoint entry, const wchar_t* format, va_list args) {
  if (!EnsureConnected()) return;
  auto log = Entry<LogMessageFn>(entry);
  if (!log) return;
  wchar_t message[kMessageChars];
  FormatInto(message, kMessageChars, format, args);
  log(m_clientHandle, message);
}

void LoggerClient::LogError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(kEntry_LOGERROR, format, args);
  va_end(args);
}

void LoggerClient::LogWarning(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(kEntry_LOGWARNING, format, args);
  va_end(args);
}

void LoggerClient::LogInfo(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(kEntry_LOGINFO, format, args);
  va_end(args);
}

void LoggerClient::LogTrace(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(kEntry_LOGTRACE, format, args);
  va_end(args);
}

void LoggerClient::LogCustom(DWORD flag, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  LogCustomV(flag, format, args);
  va_end(args);
}

void LoggerClient::LogCategoryV(int categoryIndex, const wchar_t* format, va_list args) {
  switch (categoryIndex) {
    case kLogError: Emit(kEntry_LOGERROR, format, args); break;
    case kLogWarning: Emit(kEntry_LOGWARNING, format, args); break;
    case kLogInfo: Emit(kEntry_LOGINFO, format, args); break;
    case kLogTrace: Emit(kEntry_LOGTRACE, format, args); break;
    default: break;  // the other categories have no message operation
  }
}

void LoggerClient::LogCustomV(DWORD flag, const wchar_t* format, va_list args) {
  if (!EnsureConnected()) return;
  auto log = Entry<LogCustom2Fn>(kEntry_LOGCUSTOM2);
  if (!log) return;
  wchar_t message[kMessageChars];
  FormatInto(message, kMessageChars, format, args);
  log(m_clientHandle, flag, message);
}

// Runs in DllMain, under the loader lock, so it never waits for the connect
// lock: a thread that holds it may be inside LoadLibraryExW, waiting for the
// loader lock in turn. When a connection is under way (a host that unloads
// the module while a request is still inside it), the library is left
// loaded and registered rather than pulled from under that thread.
bool LoggerClient::Shutdown() {
  if (!TryAcquireSRWLockExclusive(&m_connectLock)) return false;
  LockGuard lock(m_connectLock, std::adopt_lock);
  m_connected.store(false, std::memory_order_relaxed);
  if (m_clientHandle != -1) {
    auto unregisterClient = Entry<UnregisterLoggerClientFn>(kEntry_UNREGISTERLOGGERCLIENT);
    if (unregisterClient) unregisterClient(m_clientHandle);
    m_clientHandle = -1;
  }
  bool released = true;
  if (m_library) {
    if (m_os.FreeLibrary(m_library)) {
      m_library = nullptr;
      for (FARPROC& slot : m_entryPoints) slot = nullptr;
    } else {
      released = false;
    }
  }
  for (auto& flag : m_flagCache) flag.store(0, std::memory_order_relaxed);
  return released;
}
