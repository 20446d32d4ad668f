#pragma once
// An owner for a Win32 handle that has its own close function (service
// manager handles, window stations, desktops), and the error of a failed call.
#include <windows.h>

template <typename Handle, BOOL(WINAPI* Close)(Handle)>
class UniqueWin32Handle {
 public:
  explicit UniqueWin32Handle(Handle handle) : handle_(handle) {}
  ~UniqueWin32Handle() {
    if (handle_) Close(handle_);
  }
  UniqueWin32Handle(const UniqueWin32Handle&) = delete;
  UniqueWin32Handle& operator=(const UniqueWin32Handle&) = delete;
  Handle get() const { return handle_; }

 private:
  Handle handle_;
};

using UniqueScHandle = UniqueWin32Handle<SC_HANDLE, CloseServiceHandle>;
using UniqueWindowStation = UniqueWin32Handle<HWINSTA, CloseWindowStation>;
using UniqueDesktop = UniqueWin32Handle<HDESK, CloseDesktop>;

// A failed call whose last error reads 0 must still count as a failure.
inline DWORD LastErrorOrFailure() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}
