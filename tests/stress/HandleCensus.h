#pragma once
// The handles of this process, by the kinds a leak check cares about.
//
// Wine's service manager client talks to services.exe over the named pipe
// "svcctl" and pools those connections, one pipe and one event each, growing
// with the number of threads that ask at once. They stay open for the life of
// the process and are not ours, so a leak check counts them apart.
#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/hardening/HandleCount.h"

namespace stress {

struct HandleCensus {
  long total = 0;
  long processes = 0;   // a forgotten list entry holds one of these...
  long threads = 0;     // ...and one of these
  long scmPipes = 0;    // Wine's pooled service manager connections
};

namespace census_detail {

using Entry = velmora_test::handle_count_detail::SystemHandleEntry;

inline std::vector<Entry> OwnEntries() {
  std::vector<unsigned char> buffer;
  std::vector<Entry> own;
  if (!velmora_test::handle_count_detail::ReadHandleTable(buffer)) return own;
  ULONG count = 0;
  std::memcpy(&count, buffer.data(), sizeof(count));
  const size_t header = offsetof(velmora_test::handle_count_detail::SystemHandleTable, Handles);
  const size_t capacity = (buffer.size() - header) / sizeof(Entry);
  const USHORT self = static_cast<USHORT>(GetCurrentProcessId() & 0xFFFFu);
  for (size_t i = 0; i < count && i < capacity; ++i) {
    Entry entry;
    std::memcpy(&entry, buffer.data() + header + i * sizeof(Entry), sizeof(entry));
    if (entry.UniqueProcessId == self) own.push_back(entry);
  }
  return own;
}

// The object type index of a handle of ours, -1 if it is not in the table.
inline int TypeOf(HANDLE handle) {
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
  for (const Entry& entry : OwnEntries())
    if (entry.HandleValue == value) return entry.ObjectTypeIndex;
  return -1;
}

inline bool IsScmPipe(USHORT value) {
  using QueryObjectFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  static const QueryObjectFn query = [] {
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject");
    QueryObjectFn fn = nullptr;
    std::memcpy(&fn, &proc, sizeof(fn));
    return fn;
  }();
  if (!query) return false;
  alignas(8) unsigned char buffer[1024] = {};
  ULONG length = 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
  if (query(handle, /*ObjectNameInformation=*/1, buffer, sizeof(buffer), &length) < 0)
    return false;
  UNICODE_STRING name;
  std::memcpy(&name, buffer, sizeof(name));
  if (!name.Buffer) return false;
  const std::wstring text(name.Buffer, name.Length / sizeof(wchar_t));
  return text.find(L"\\NamedPipe\\svcctl") != std::wstring::npos;
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
  for (const Entry& entry : OwnEntries()) {
    ++census.total;
    if (entry.ObjectTypeIndex == processType) ++census.processes;
    if (entry.ObjectTypeIndex == threadType) ++census.threads;
    if (entry.ObjectTypeIndex == fileType && IsScmPipe(entry.HandleValue)) ++census.scmPipes;
  }
  return census;
}

}  // namespace stress
