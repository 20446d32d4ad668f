// LoggerSplitHelper.dll, the small DLL that the "split" variant of the
// stand-in logging library imports for the encoding of its log lines
// (host/logger/LoggerSplitHelper.h). Two copies are built: the library's
// own, beside it, and, with VELMORA_SPLIT_HELPER_PLANTED, another one that a
// user could have left in the host's current folder. The planted copy
// encodes nothing, so a library that took it writes no lines at all.
#define VELMORA_SPLIT_HELPER_API __declspec(dllexport)
#include "host/logger/LoggerSplitHelper.h"

int __cdecl VelmoraSplitToUtf8(const wchar_t* text, int chars, char* out, int bytes) {
#ifdef VELMORA_SPLIT_HELPER_PLANTED
  return 0;
#else
  return WideCharToMultiByte(CP_UTF8, 0, text, chars, out, bytes, nullptr, nullptr);
#endif
}
