#pragma once
// The substring rules that decide where a request goes.
#include <windows.h>

// A start goes to the service side when the lowered control arguments hold
// the switch anywhere, also inside a longer word.
bool HasServiceSwitch(const wchar_t* loweredCtrlArgs);

// Every later request goes to the application side when its identity holds
// the application prefix, in exactly this letter case; null does not.
bool IsApplicationIdentity(const wchar_t* instanceName);

// Result of an application start whose executable does not exist.
constexpr HRESULT kExecutableNotFound = static_cast<HRESULT>(0x8004040BL);

// Checks that the executable of an application start exists: S_OK, or
// kExecutableNotFound, or E_OUTOFMEMORY when the path cannot be built. The
// name is taken exactly as given behind the long-path prefix, so relative or
// quoted names are not found; null counts as the prefix alone.
HRESULT CheckExecutableExists(const wchar_t* szName);
