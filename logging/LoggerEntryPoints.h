#pragma once
// The logging library's entry points: their calling convention, their export
// names in table order and the signatures of the ones this client calls. Each
// takes the client handle first (REGISTERLOGGERCLIENT takes the address of the
// handle field instead, and writes the issued handle there).
//
// This header is the one place where the convention is decided, for the
// client and for the stand-in library alike. On 32-bit Windows the caller and
// the callee must agree on who pops the arguments: a __cdecl pointer to a
// __stdcall export (or the reverse) corrupts the stack on every call, while
// x86_64, with its single convention, never shows the mismatch.
#include <windows.h>

#define VELMORA_LOGGER_CALL __stdcall

using LogStartFn = int(VELMORA_LOGGER_CALL*)(int client);
using SetIdentityNameFn = int(VELMORA_LOGGER_CALL*)(int client, const wchar_t* name);
using RegisterLogFlagFn = DWORD(VELMORA_LOGGER_CALL*)(int client, LONG number,
                                                      const wchar_t* name);
using LogMessageFn = int(VELMORA_LOGGER_CALL*)(int client, const wchar_t* message);
using LogCustom2Fn = int(VELMORA_LOGGER_CALL*)(int client, DWORD flag, const wchar_t* message);
using GetLogFlagFn = DWORD(VELMORA_LOGGER_CALL*)(int client, int categoryIndex);
using RegisterLoggerClientFn = int(VELMORA_LOGGER_CALL*)(int* client);
using UnregisterLoggerClientFn = int(VELMORA_LOGGER_CALL*)(int client);
using LogFlagLogFn = int(VELMORA_LOGGER_CALL*)(int client, DWORD flag, int reserved);

// X(name): all 40 export names, in the order of the client's table.
#define VELMORA_LOGGER_ENTRY_POINTS(X)                                        \
  X(LOGSTART) X(LOGSTOP) X(SETIDENTITYNAME) X(ADDINSTANCENAME)                \
  X(REMOVEINSTANCENAME) X(REMOVEINSTANCENAME1) X(REGISTERLOGFLAG)             \
  X(REGISTERLOGFLAGEX) X(LOGERROR) X(LOGERROR1) X(LOGWARNING) X(LOGWARNING1)  \
  X(LOGINFO) X(LOGINFO1) X(LOGTRACE) X(LOGTRACE1) X(LOGSTARTSTOP)             \
  X(LOGSTARTSTOP1) X(LOGENTRYEXIT) X(LOGENTRYEXIT1) X(LOGTHREADSTARTSTOP)     \
  X(LOGTHREADSTARTSTOP1) X(LOGSQL) X(LOGSQL1) X(LOGCONNECTION)                \
  X(LOGCONNECTION1) X(LOGCTORDTOR) X(LOGCTORDTOR1) X(LOGREFCOUNT)             \
  X(LOGREFCOUNT1) X(LOGCUSTOM) X(LOGCUSTOM1) X(LOGCUSTOM2) X(LOGCUSTOM3)      \
  X(GETLOGFLAG) X(GETIDENTITYNAME) X(GETINSTANCENAME)                         \
  X(REGISTERLOGGERCLIENT) X(UNREGISTERLOGGERCLIENT) X(LOGFLAGLOG)

enum LoggerEntryPoint : int {
#define VELMORA_LOGGER_ENUM(name) kEntry_##name,
  VELMORA_LOGGER_ENTRY_POINTS(VELMORA_LOGGER_ENUM)
#undef VELMORA_LOGGER_ENUM
  kLoggerEntryPointCount
};
static_assert(kLoggerEntryPointCount == 40, "the library has 40 entry points");

// Export names (8-bit, as GetProcAddress wants them), indexed by LoggerEntryPoint.
extern const char* const kLoggerEntryPointNames[kLoggerEntryPointCount];

// The library's built-in categories, one per LOGERROR..LOGREFCOUNT pair.
constexpr int kLogCategoryCount = 11;
