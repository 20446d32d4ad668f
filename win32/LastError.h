#pragma once
// The error of a Win32 call that just failed. Some calls fail without setting
// the thread's last error, or leave it at 0: that must still read as a
// failure, never as success.
#include <windows.h>

inline DWORD LastErrorOrFailure() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

inline HRESULT HResultFromLastError() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}
