#pragma once
// The one function of LoggerSplitHelper.dll, the small DLL that the "split"
// test variant of the stand-in imports (tests/logging/logger_split_helper.cpp):
// the UTF-8 encoding of a log line. A real logging library that ships helper
// DLLs beside itself imports them the same way, so the tests can tell from
// which folder the loader took a library's own imports.
#include <windows.h>

// The helper's own source defines it as dllexport before it includes this.
#ifndef VELMORA_SPLIT_HELPER_API
#define VELMORA_SPLIT_HELPER_API __declspec(dllimport)
#endif

extern "C" {
// Encodes |chars| wide characters of |text| into at most |bytes| bytes of
// |out|; the number of bytes written (with a null |out|: needed), 0 on failure.
VELMORA_SPLIT_HELPER_API int __cdecl VelmoraSplitToUtf8(const wchar_t* text, int chars,
                                                        char* out, int bytes);
}
