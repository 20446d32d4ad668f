#pragma once
// Extra exports of the stand-in logging library that let tests see what the
// client asked of it. Not part of the library's own 40 entry points.
#include <windows.h>

extern "C" {
// Number of calls so far of the named entry point (e.g. "REGISTERLOGGERCLIENT").
LONG WINAPI VelmoraTestCallCount(const char* entryPoint);
// The index-th SETIDENTITYNAME that the library accepted: client handle and name.
BOOL WINAPI VelmoraTestIdentityAt(int index, int* client, wchar_t* name, DWORD chars);
}

using VelmoraTestCallCountFn = LONG(WINAPI*)(const char*);
using VelmoraTestIdentityAtFn = BOOL(WINAPI*)(int, int*, wchar_t*, DWORD);
