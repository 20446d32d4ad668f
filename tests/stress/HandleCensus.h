#pragma once
// The handles of this process, by the kinds a leak check cares about.
//
// Wine's service manager client talks to services.exe over the named pipe
// "svcctl" and pools those connections, one pipe and one event each, growing
// with the number of threads that ask at once. They stay open for the life of
// the process and are not ours, so a leak check counts them apart.
#include <windows.h>

#include <string>

#include "harness/HandleTable.h"

namespace stress {

struct HandleCensus {
  long total = 0;
  long processes = 0;   // a forgotten list entry holds one of these...
  long threads = 0;     // ...and one of these
  long scmPipes = 0;    // Wine's pooled service manager connections
};

namespace census_detail {

using velmora_harness::HandleEntry;

// The object type index of a handle of ours, -1 if it is not in the table.
inline int TypeOf(HANDLE handle) {
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
  for (const HandleEntry& entry : velmora_harness::HandleEntriesOf())
    if (entry.HandleValue == value) return entry.ObjectTypeIndex;
  return -1;
}

inline bool IsScmPipe(USHORT value) {
  return velmora_harness::QueryObjectText(value, velmora_harness::ObjectText::kName)
             .find(L"\\NamedPipe\\svcctl") != std::wstring::npos;
}

}  // namespace census_detail

inline HandleCensus TakeHandleCensus() {
  using namespace census_detail;
  static const int processType = [] {
    const HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
    const int type = TypeOf(h);
    CloseHandle(h);
    return type;
  }();
  static const int threadType = [] {
    const HANDLE h = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
    const int type = TypeOf(h);
    CloseHandle(h);
    return type;
  }();
  static const int fileType = [] {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    const int type = TypeOf(h);
    CloseHandle(h);
    return type;
  }();
  HandleCensus census;
  for (const HandleEntry& entry : velmora_harness::HandleEntriesOf()) {
    ++census.total;
    if (entry.ObjectTypeIndex == processType) ++census.processes;
    if (entry.ObjectTypeIndex == threadType) ++census.threads;
    if (entry.ObjectTypeIndex == fileType && IsScmPipe(entry.HandleValue)) ++census.scmPipes;
  }
  return census;
}

}  // namespace stress
