#pragma once
// Names for the two kinds of state the client prints.
#include <windows.h>

// The realtime table's tagPlatformProcessStatus enumerator, e.g.
// "PROCESS_STARTED"; null for a value outside the enumeration.
const wchar_t* ProcessStatusName(long status);

// The service manager's current state without its prefix, e.g. "RUNNING",
// "START_PENDING"; null for a value the manager does not define.
const wchar_t* ServiceStateName(DWORD state);
