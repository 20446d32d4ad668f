// The 40 entry points of the stand-in logging library, in the convention of
// logging/LoggerEntryPoints.h (VELMORA_LOGGER_CALL, __stdcall) and
// exported undecorated through a .def file. Argument orders follow what the
// logging client passes; the entry points it never calls take plausible ones
// ("...1" variants carry an instance name before the message).
//
// Test variants are built from this file with one of these definitions:
//   VELMORA_LOGGER_LOGSTART_ZERO    LOGSTART answers 0 (flags may not be fetched)
//   VELMORA_LOGGER_TRACE_FLAG_ONLY  GETLOGFLAG answers 0 except for Trace (3)
//   VELMORA_LOGGER_NO_HANDLE        REGISTERLOGGERCLIENT never writes a handle
// and variants that lack entry points simply leave them out of their .def.
//
// VELMORA_LOGGER_LATE_CALLS names a file to which every call that reaches the
// library after its own DLL_PROCESS_DETACH appends its entry point's name, one
// a line. At process exit the loader detaches the library before the module
// that loaded it; a real library that tears its state down then could crash a
// host that still calls it. The process is ending, so the record goes to a
// file, written with kernel32 calls only.
#include <atomic>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "host/logger/LoggerStandIn.h"
#include "host/logger/LoggerTestHooks.h"
#include "logging/LoggerEntryPoints.h"

namespace {

std::atomic<LONG> g_calls[kLoggerEntryPointCount];

const char* const kNames[kLoggerEntryPointCount] = {
#define STANDIN_NAME(name) #name,
    VELMORA_LOGGER_ENTRY_POINTS(STANDIN_NAME)
#undef STANDIN_NAME
};

std::atomic<bool> g_detached{false};
// Read at attach: after detach the library takes nothing from the process.
wchar_t g_lateCallsFile[MAX_PATH];

void RecordLateCall(LoggerEntryPoint entry) {
  if (!g_lateCallsFile[0]) return;
  HANDLE file = CreateFileW(g_lateCallsFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, kNames[entry], static_cast<DWORD>(std::strlen(kNames[entry])), &written,
            nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}

void Count(LoggerEntryPoint entry) {
  g_calls[entry].fetch_add(1);
  if (g_detached.load()) RecordLateCall(entry);
}

void Write(int client, const wchar_t* flagName, const wchar_t* instance, const wchar_t* text) {
  if (!standin::IsNameEnabled(flagName)) return;
  if (!instance || !*instance) {
    standin::AppendLine(client, flagName, text);
    return;
  }
  // "[instance] text", cut to the library's own line limit.
  wchar_t line[8192 + MAX_PATH];
  _snwprintf(line, sizeof(line) / sizeof(line[0]), L"[%ls] %ls", instance, text ? text : L"");
  line[sizeof(line) / sizeof(line[0]) - 1] = L'\0';
  standin::AppendLine(client, flagName, line);
}

void WriteCategory(int client, int category, const wchar_t* instance, const wchar_t* text) {
  Write(client, standin::CategoryName(category), instance, text);
}

void WriteFlag(int client, DWORD flag, const wchar_t* instance, const wchar_t* text) {
  wchar_t name[MAX_PATH + 32];
  if (!standin::FlagName(flag, name, MAX_PATH + 32)) return;
  Write(client, name, instance, text);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const DWORD chars = GetEnvironmentVariableW(L"VELMORA_LOGGER_LATE_CALLS", g_lateCallsFile,
                                                MAX_PATH);
    if (chars >= MAX_PATH) g_lateCallsFile[0] = L'\0';
  } else if (reason == DLL_PROCESS_DETACH) {
    g_detached.store(true);
  }
  return TRUE;
}

int VELMORA_LOGGER_CALL LOGSTART(int client) {
  Count(kEntry_LOGSTART);
#ifdef VELMORA_LOGGER_LOGSTART_ZERO
  return 0;
#else
  return 1;
#endif
}

int VELMORA_LOGGER_CALL LOGSTOP(int client) {
  Count(kEntry_LOGSTOP);
  return 1;
}

int VELMORA_LOGGER_CALL SETIDENTITYNAME(int client, const wchar_t* name) {
  Count(kEntry_SETIDENTITYNAME);
  return standin::SetIdentity(client, name) ? 1 : 0;
}

int VELMORA_LOGGER_CALL ADDINSTANCENAME(int client, const wchar_t* name) {
  Count(kEntry_ADDINSTANCENAME);
  return standin::SetInstance(client, name) ? 1 : 0;
}

int VELMORA_LOGGER_CALL REMOVEINSTANCENAME(int client, const wchar_t* name) {
  Count(kEntry_REMOVEINSTANCENAME);
  return standin::SetInstance(client, L"") ? 1 : 0;
}

int VELMORA_LOGGER_CALL REMOVEINSTANCENAME1(int client) {
  Count(kEntry_REMOVEINSTANCENAME1);
  return standin::SetInstance(client, L"") ? 1 : 0;
}

// |number| selects nothing here: every custom flag gets its own value.
DWORD VELMORA_LOGGER_CALL REGISTERLOGFLAG(int client, LONG number, const wchar_t* name) {
  Count(kEntry_REGISTERLOGFLAG);
  return standin::RegisterFlag(name);
}

DWORD VELMORA_LOGGER_CALL REGISTERLOGFLAGEX(int client, LONG number, const wchar_t* name,
                               DWORD defaultEnabled) {
  Count(kEntry_REGISTERLOGFLAGEX);
  return standin::RegisterFlag(name);
}

#define STANDIN_CATEGORY(NAME, index)                                           \
  int VELMORA_LOGGER_CALL NAME(int client, const wchar_t* message) {                         \
    Count(kEntry_##NAME);                                                       \
    WriteCategory(client, index, nullptr, message);                             \
    return 1;                                                                   \
  }                                                                             \
  int VELMORA_LOGGER_CALL NAME##1(int client, const wchar_t* instance, const wchar_t* message) { \
    Count(kEntry_##NAME##1);                                                    \
    WriteCategory(client, index, instance, message);                            \
    return 1;                                                                   \
  }
STANDIN_CATEGORY(LOGERROR, 0)
STANDIN_CATEGORY(LOGWARNING, 1)
STANDIN_CATEGORY(LOGINFO, 2)
STANDIN_CATEGORY(LOGTRACE, 3)
STANDIN_CATEGORY(LOGSTARTSTOP, 4)
STANDIN_CATEGORY(LOGENTRYEXIT, 5)
STANDIN_CATEGORY(LOGTHREADSTARTSTOP, 6)
STANDIN_CATEGORY(LOGSQL, 7)
STANDIN_CATEGORY(LOGCONNECTION, 8)
STANDIN_CATEGORY(LOGCTORDTOR, 9)
STANDIN_CATEGORY(LOGREFCOUNT, 10)
#undef STANDIN_CATEGORY

int VELMORA_LOGGER_CALL LOGCUSTOM(int client, const wchar_t* message) {
  Count(kEntry_LOGCUSTOM);
  Write(client, L"Custom", nullptr, message);
  return 1;
}

int VELMORA_LOGGER_CALL LOGCUSTOM1(int client, const wchar_t* instance, const wchar_t* message) {
  Count(kEntry_LOGCUSTOM1);
  Write(client, L"Custom", instance, message);
  return 1;
}

int VELMORA_LOGGER_CALL LOGCUSTOM2(int client, DWORD flag, const wchar_t* message) {
  Count(kEntry_LOGCUSTOM2);
  WriteFlag(client, flag, nullptr, message);
  return 1;
}

int VELMORA_LOGGER_CALL LOGCUSTOM3(int client, DWORD flag, const wchar_t* instance, const wchar_t* message) {
  Count(kEntry_LOGCUSTOM3);
  WriteFlag(client, flag, instance, message);
  return 1;
}

DWORD VELMORA_LOGGER_CALL GETLOGFLAG(int client, int categoryIndex) {
  Count(kEntry_GETLOGFLAG);
  if (categoryIndex < 0 || categoryIndex >= standin::kCategoryCount) return 0;
#ifdef VELMORA_LOGGER_TRACE_FLAG_ONLY
  if (categoryIndex != 3) return 0;
#endif
  return 1u << categoryIndex;
}

int VELMORA_LOGGER_CALL GETIDENTITYNAME(int client, wchar_t* name, DWORD chars) {
  Count(kEntry_GETIDENTITYNAME);
  return standin::CopyIdentity(client, name, chars) ? 1 : 0;
}

int VELMORA_LOGGER_CALL GETINSTANCENAME(int client, wchar_t* name, DWORD chars) {
  Count(kEntry_GETINSTANCENAME);
  return standin::CopyInstance(client, name, chars) ? 1 : 0;
}

int VELMORA_LOGGER_CALL REGISTERLOGGERCLIENT(int* client) {
  Count(kEntry_REGISTERLOGGERCLIENT);
#ifdef VELMORA_LOGGER_NO_HANDLE
  return 1;
#else
  if (!client) return 0;
  *client = standin::RegisterClient();
  return *client != -1 ? 1 : 0;
#endif
}

int VELMORA_LOGGER_CALL UNREGISTERLOGGERCLIENT(int client) {
  Count(kEntry_UNREGISTERLOGGERCLIENT);
  standin::UnregisterClient(client);
  return 1;
}

// |reserved| selects nothing here.
int VELMORA_LOGGER_CALL LOGFLAGLOG(int client, DWORD flag, int reserved) {
  Count(kEntry_LOGFLAGLOG);
  wchar_t name[MAX_PATH + 32];
  if (flag == 0 || !standin::FlagName(flag, name, MAX_PATH + 32)) return 0;
  return standin::IsNameEnabled(name) ? 1 : 0;
}

LONG WINAPI VelmoraTestCallCount(const char* entryPoint) {
  if (!entryPoint) return -1;
  for (int i = 0; i < kLoggerEntryPointCount; ++i)
    if (std::strcmp(kNames[i], entryPoint) == 0) return g_calls[i].load();
  return -1;
}

}  // extern "C"

// The signatures that the client calls through must be the ones exported.
static_assert(std::is_same<decltype(&LOGSTART), LogStartFn>::value, "LOGSTART");
static_assert(std::is_same<decltype(&SETIDENTITYNAME), SetIdentityNameFn>::value, "");
static_assert(std::is_same<decltype(&REGISTERLOGFLAG), RegisterLogFlagFn>::value, "");
static_assert(std::is_same<decltype(&LOGERROR), LogMessageFn>::value, "");
static_assert(std::is_same<decltype(&LOGCUSTOM2), LogCustom2Fn>::value, "");
static_assert(std::is_same<decltype(&GETLOGFLAG), GetLogFlagFn>::value, "");
static_assert(std::is_same<decltype(&REGISTERLOGGERCLIENT), RegisterLoggerClientFn>::value, "");
static_assert(std::is_same<decltype(&UNREGISTERLOGGERCLIENT), UnregisterLoggerClientFn>::value,
              "");
static_assert(std::is_same<decltype(&LOGFLAGLOG), LogFlagLogFn>::value, "");
