#pragma once
// What a test process has running: its child processes, by a toolhelp
// snapshot, and waiting for a launched process id to end.
#include <windows.h>
#include <tlhelp32.h>

#include <set>

namespace hardening {

// Ids of the processes whose parent is this process.
inline std::set<DWORD> RunningChildren() {
  std::set<DWORD> children;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == self) children.insert(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return children;
}

// Waits up to `ms` for process `pid` to end; true if it is gone.
inline bool AwaitExit(DWORD pid, DWORD ms) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return true;  // already gone
  const DWORD outcome = ::WaitForSingleObject(process, ms);
  ::CloseHandle(process);
  return outcome == WAIT_OBJECT_0;
}

}  // namespace hardening
