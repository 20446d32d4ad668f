// Helpers shared by the host stand-in tests: the foundation's COM owners, and
// child processes started from the test's own folder.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>

#include "win32/ComApartment.h"
#include "win32/ComPtr.h"

namespace velmora_host_test {

using ::ComApartment;
using ::ComPtr;

// A program from the folder of the running test executable, killed and
// reaped on destruction if it still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() {
    if (info_.hProcess) {
      if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 10000);
      }
      CloseHandle(info_.hProcess);
      CloseHandle(info_.hThread);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (a file name beside the test) with `arguments`.
  bool Start(const std::wstring& program, const std::wstring& arguments) {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring path(self, length);
    path.resize(path.find_last_of(L"\\/") + 1);
    path += program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info_) != FALSE;
  }

  HANDLE handle() const { return info_.hProcess; }
  DWORD id() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_ = {};
};

inline std::wstring IdentityOf(DWORD processId) {
  return L"Process_" + std::to_wstring(processId);
}

}  // namespace velmora_host_test
