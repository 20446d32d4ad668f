#include "tests/logging/FakeLoggerOs.h"

#include <cstring>
#include <cwchar>

#include "logging/LoggerEntryPoints.h"

FakeLibrary* g_fakeLibrary = nullptr;

namespace {

const HKEY kFakeKey = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
const HMODULE kFakeLibrary = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7700000));
const HANDLE kFakeFind = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x99));

void Record(const char* name, int client) {
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->calls.push_back(name);
  g_fakeLibrary->handles.push_back(client);
}

int WINAPI FakeLogStart(int client) {
  Record("LOGSTART", client);
  return g_fakeLibrary->logStartResult;
}

int WINAPI FakeSetIdentityName(int client, const wchar_t* name) {
  Record("SETIDENTITYNAME", client);
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->identities.push_back(name);
  return g_fakeLibrary->setIdentityResult;
}

DWORD WINAPI FakeRegisterLogFlag(int client, LONG number, const wchar_t* name) {
  Record("REGISTERLOGFLAG", client);
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->registeredFlags.emplace_back(number, name);
  return g_fakeLibrary->registerFlagResult;
}

template <int kEntry>
int WINAPI FakeLogMessage(int client, const wchar_t* message) {
  const char* name = kLoggerEntryPointNames[kEntry];
  Record(name, client);
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->messages.emplace_back(name, message);
  return 1;
}

int WINAPI FakeLogCustom2(int client, DWORD flag, const wchar_t* message) {
  Record("LOGCUSTOM2", client);
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->customFlags.push_back(flag);
  g_fakeLibrary->messages.emplace_back("LOGCUSTOM2", message);
  return 1;
}

DWORD WINAPI FakeGetLogFlag(int client, int index) {
  Record("GETLOGFLAG", client);
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->flagIndexes.push_back(index);
  return index >= 0 && index < 11 ? g_fakeLibrary->flags[index] : 0;
}

int WINAPI FakeRegisterLoggerClient(int* client) {
  {
    std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
    g_fakeLibrary->calls.push_back("REGISTERLOGGERCLIENT");
  }
  ++g_fakeLibrary->registrations;
  // Widens the window in which a second unserialised caller would register too.
  if (g_fakeLibrary->registerDelayMs) Sleep(g_fakeLibrary->registerDelayMs);
  if (g_fakeLibrary->registerWritesHandle) *client = g_fakeLibrary->handle;
  return 1;
}

int WINAPI FakeUnregisterLoggerClient(int client) {
  Record("UNREGISTERLOGGERCLIENT", client);
  return 1;
}

int WINAPI FakeLogFlagLog(int client, DWORD flag, int reserved) {
  Record("LOGFLAGLOG", client);
  std::lock_guard<std::mutex> lock(g_fakeLibrary->mutex);
  g_fakeLibrary->flagLogQueries.emplace_back(flag, reserved);
  return g_fakeLibrary->logFlagLogResult;
}

int WINAPI FakeUncalled() { return 0; }

template <typename Fn>
FARPROC AsProc(Fn fn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

FARPROC FakeEntry(const char* name) {
  const std::string n(name);
  if (n == "LOGSTART") return AsProc(&FakeLogStart);
  if (n == "SETIDENTITYNAME") return AsProc(&FakeSetIdentityName);
  if (n == "REGISTERLOGFLAG") return AsProc(&FakeRegisterLogFlag);
  if (n == "LOGERROR") return AsProc(&FakeLogMessage<kEntry_LOGERROR>);
  if (n == "LOGWARNING") return AsProc(&FakeLogMessage<kEntry_LOGWARNING>);
  if (n == "LOGINFO") return AsProc(&FakeLogMessage<kEntry_LOGINFO>);
  if (n == "LOGTRACE") return AsProc(&FakeLogMessage<kEntry_LOGTRACE>);
  if (n == "LOGCUSTOM2") return AsProc(&FakeLogCustom2);
  if (n == "GETLOGFLAG") return AsProc(&FakeGetLogFlag);
  if (n == "REGISTERLOGGERCLIENT") return AsProc(&FakeRegisterLoggerClient);
  if (n == "UNREGISTERLOGGERCLIENT") return AsProc(&FakeUnregisterLoggerClient);
  if (n == "LOGFLAGLOG") return AsProc(&FakeLogFlagLog);
  return AsProc(&FakeUncalled);
}

}  // namespace

int FakeLibrary::Count(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  int n = 0;
  for (const std::string& call : calls) n += call == name;
  return n;
}

void FakeLoggerOs::SetInstallPath(const std::wstring& path) {
  valueType = REG_SZ;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(path.c_str());
  valueData.assign(bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
}

LSTATUS FakeLoggerOs::RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD, REGSAM access,
                                    HKEY* key) {
  ++keyOpens;
  if (root != HKEY_LOCAL_MACHINE || std::wcscmp(subKey, L"SOFTWARE\\Meridax\\Framework\\Logger") ||
      (access & KEY_READ) != KEY_READ || !keyExists)
    return ERROR_FILE_NOT_FOUND;
  *key = kFakeKey;
  return ERROR_SUCCESS;
}

LSTATUS FakeLoggerOs::RegQueryValueExW(HKEY key, const wchar_t* name, DWORD* type, BYTE* data,
                                       DWORD* bytes) {
  queryBufferBytes = *bytes;
  if (key != kFakeKey || std::wcscmp(name, L"InstallPath") || !valueExists)
    return ERROR_FILE_NOT_FOUND;
  if (type) *type = valueType;
  if (valueData.size() > *bytes) {
    *bytes = static_cast<DWORD>(valueData.size());
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, valueData.data(), valueData.size());
  *bytes = static_cast<DWORD>(valueData.size());
  return ERROR_SUCCESS;
}

LSTATUS FakeLoggerOs::RegCloseKey(HKEY key) {
  ++keyCloses;
  return ERROR_SUCCESS;
}

HMODULE FakeLoggerOs::LoadLibraryW(const wchar_t* path) {
  loadedPaths.push_back(path);
  loadFlags.push_back(0);
  return loadSucceeds && !unloadablePaths.count(path) ? kFakeLibrary : nullptr;
}

HMODULE FakeLoggerOs::LoadLibraryExW(const wchar_t* name, DWORD flags, DWORD* error) {
  loadedPaths.push_back(name);
  loadFlags.push_back(flags);
  // The LOAD_LIBRARY_SEARCH_* bits; LOAD_WITH_ALTERED_SEARCH_PATH is older.
  constexpr DWORD kSearchFlags = 0x0000FF00;
  if (searchFlagsRefused && (flags & kSearchFlags)) {
    *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (!loadSucceeds || unloadablePaths.count(name)) {
    *error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  return kFakeLibrary;
}

UINT FakeLoggerOs::GetSystemDirectoryW(wchar_t* path, UINT chars) {
  if (systemFolder.size() >= chars) return static_cast<UINT>(systemFolder.size() + 1);
  std::wmemcpy(path, systemFolder.c_str(), systemFolder.size() + 1);
  return static_cast<UINT>(systemFolder.size());
}

FARPROC FakeLoggerOs::GetProcAddress(HMODULE module, const char* name) {
  resolvedNames.push_back(name);
  if (module != kFakeLibrary || missingExports.count(name)) return nullptr;
  return FakeEntry(name);
}

BOOL FakeLoggerOs::FreeLibrary(HMODULE module) {
  ++frees;
  return freeSucceeds && module == kFakeLibrary;
}

DWORD FakeLoggerOs::GetModuleFileNameW(HMODULE module, wchar_t* path, DWORD chars) {
  if (module) {
    moduleAsked = module;
    moduleCharsGiven = chars;
  }
  const std::wstring& file = module ? modulePath : hostPath;
  // Like the system: cut to the buffer, terminated, and report the cut length.
  const size_t copied = file.size() < chars ? file.size() : chars - 1;
  std::wmemcpy(path, file.c_str(), copied);
  path[copied] = L'\0';
  return file.size() < chars ? static_cast<DWORD>(copied) : chars;
}

HANDLE FakeLoggerOs::FindFirstFileW(const wchar_t* path, WIN32_FIND_DATAW* found) {
  findPathAsked = path;
  if (!findSucceeds) return INVALID_HANDLE_VALUE;
  std::wcsncpy(found->cFileName, foundName.c_str(), MAX_PATH - 1);
  found->cFileName[MAX_PATH - 1] = L'\0';
  return kFakeFind;
}

BOOL FakeLoggerOs::FindClose(HANDLE find) {
  if (find == kFakeFind) ++findCloses;
  return TRUE;
}
