#include "bench/HostCensus.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <cstring>
#include <vector>

#include "tests/hardening/HandleCount.h"

namespace velmora_bench {
namespace {

using Entry = velmora_test::handle_count_detail::SystemHandleEntry;
using QueryObjectFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

constexpr int kObjectNameInformation = 1;
constexpr int kObjectTypeInformation = 2;

QueryObjectFn QueryObject() {
  static const QueryObjectFn query = [] {
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject");
    QueryObjectFn fn = nullptr;
    static_assert(sizeof(fn) == sizeof(proc), "function pointer sizes differ");
    std::memcpy(&fn, &proc, sizeof(fn));
    return fn;
  }();
  return query;
}

// The name or the type name of one of our handles; both answers begin with
// a UNICODE_STRING.
std::wstring ObjectText(USHORT value, int what) {
  const QueryObjectFn query = QueryObject();
  if (!query) return L"";
  alignas(8) unsigned char buffer[2048] = {};
  ULONG length = 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
  if (query(handle, what, buffer, sizeof(buffer), &length) < 0) return L"";
  UNICODE_STRING text;
  std::memcpy(&text, buffer, sizeof(text));
  if (!text.Buffer) return L"";
  return std::wstring(text.Buffer, text.Length / sizeof(wchar_t));
}

bool EndsWith(const std::wstring& text, const wchar_t* tail) {
  const size_t n = std::wcslen(tail);
  return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

// Committed private memory, walked region by region: what Windows calls the
// process's private bytes. Under Wine the process memory counters answer 0
// for it (PrivateUsage), so they cannot be used.
unsigned long long PrivateBytes() {
  unsigned long long total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof(region)) == sizeof(region);) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

long ThreadsOfThisProcess() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  long count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

}  // namespace

HostCensus TakeHostCensus() {
  HostCensus census;
  std::vector<unsigned char> buffer;
  if (velmora_test::handle_count_detail::ReadHandleTable(buffer)) {
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof(count));
    const size_t header =
        offsetof(velmora_test::handle_count_detail::SystemHandleTable, Handles);
    const size_t capacity = (buffer.size() - header) / sizeof(Entry);
    const USHORT self = static_cast<USHORT>(GetCurrentProcessId() & 0xFFFFu);
    for (size_t i = 0; i < count && i < capacity; ++i) {
      Entry entry;
      std::memcpy(&entry, buffer.data() + header + i * sizeof(Entry), sizeof(entry));
      if (entry.UniqueProcessId != self) continue;
      ++census.handles;
      std::wstring type = ObjectText(entry.HandleValue, kObjectTypeInformation);
      if (type.empty()) type = L"?";
      ++census.byType[type];
      if (type == L"File" || type == L"Key") {
        const std::wstring name = ObjectText(entry.HandleValue, kObjectNameInformation);
        if (type == L"File" && name.find(L"\\NamedPipe\\svcctl") != std::wstring::npos)
          ++census.scmPipes;
        if (type == L"Key" &&
            (EndsWith(name, L"\\Software\\Classes") || EndsWith(name, L"\\Classes\\Wow6432Node")))
          ++census.classesKeys;
      }
    }
  }
  census.privateBytes = PrivateBytes();
  census.threads = ThreadsOfThisProcess();
  return census;
}

}  // namespace velmora_bench
