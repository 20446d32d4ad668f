// Counts the handles a process holds by reading the system handle table.
//
// GetProcessHandleCount answers 0 for every process under Wine 8, so a leak
// check built on it would always pass. NtQuerySystemInformation with
// SystemHandleInformation is implemented for real: it lists every open handle
// with its owner's process id and object type index, so keeping the entries of
// one process gives its true handle count, also per object type.
//
// Shared by the tests' leak checks and the benchmark's soak. Header-only; it
// needs nothing but ntdll, which it reaches through GetProcAddress.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace velmora_harness {

namespace handle_count_detail {

// The legacy record layout; its owner id is only 16 bits wide, which is
// enough for the process ids Wine hands out and for a same-process filter.
struct SystemHandleEntry {
  USHORT UniqueProcessId;
  USHORT CreatorBackTraceIndex;
  UCHAR ObjectTypeIndex;
  UCHAR HandleAttributes;
  USHORT HandleValue;
  PVOID Object;
  ULONG GrantedAccess;
};

struct SystemHandleTable {
  ULONG NumberOfHandles;
  SystemHandleEntry Handles[1];
};

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004L);

using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

inline NtQuerySystemInformationFn QueryFunction() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  FARPROC proc = ::GetProcAddress(ntdll, "NtQuerySystemInformation");
  NtQuerySystemInformationFn fn = nullptr;
  static_assert(sizeof(fn) == sizeof(proc), "function pointer sizes differ");
  std::memcpy(&fn, &proc, sizeof(fn));
  return fn;
}

// Fills |buffer| with the whole system handle table; false if it cannot.
inline bool ReadHandleTable(std::vector<unsigned char>& buffer) {
  NtQuerySystemInformationFn query = QueryFunction();
  if (query == nullptr) return false;
  ULONG size = 64 * 1024;
  for (int attempt = 0; attempt < 16; ++attempt) {
    buffer.assign(size, 0);
    ULONG needed = 0;
    LONG status = query(kSystemHandleInformation, buffer.data(), size, &needed);
    if (status == kStatusInfoLengthMismatch) {
      size = (needed > size ? needed : size) * 2;
      continue;
    }
    return status >= 0;
  }
  return false;
}

}  // namespace handle_count_detail

using HandleEntry = handle_count_detail::SystemHandleEntry;

// The table's entries of process |pid| (default: this process); empty if the
// table is unreadable.
inline std::vector<HandleEntry> HandleEntriesOf(DWORD pid = ::GetCurrentProcessId()) {
  using namespace handle_count_detail;
  std::vector<HandleEntry> entries;
  std::vector<unsigned char> buffer;
  if (!ReadHandleTable(buffer)) return entries;
  ULONG count = 0;
  std::memcpy(&count, buffer.data(), sizeof(count));
  const size_t header = offsetof(SystemHandleTable, Handles);
  const size_t capacity = (buffer.size() - header) / sizeof(HandleEntry);
  const size_t n = count < capacity ? count : capacity;
  const USHORT owner = static_cast<USHORT>(pid & 0xFFFFu);
  for (size_t i = 0; i < n; ++i) {
    HandleEntry entry;
    std::memcpy(&entry, buffer.data() + header + i * sizeof(HandleEntry), sizeof(entry));
    if (entry.UniqueProcessId == owner) entries.push_back(entry);
  }
  return entries;
}

// Handles open in process |pid| (default: this process) broken down by the
// object type index the kernel reports; empty map if the table is unreadable.
inline std::map<int, long> HandleCountsByType(DWORD pid = ::GetCurrentProcessId()) {
  std::map<int, long> counts;
  for (const HandleEntry& entry : HandleEntriesOf(pid)) ++counts[entry.ObjectTypeIndex];
  return counts;
}

// What NtQueryObject tells of one of this process's handles: its name or its
// type name, as the table's 16-bit handle value gives it; empty if it cannot.
enum class ObjectText : int { kName = 1, kTypeName = 2 };
inline std::wstring QueryObjectText(USHORT handleValue, ObjectText what) {
  using QueryObjectFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  static const QueryObjectFn query = [] {
    FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject");
    QueryObjectFn fn = nullptr;
    static_assert(sizeof(fn) == sizeof(proc), "function pointer sizes differ");
    std::memcpy(&fn, &proc, sizeof(fn));
    return fn;
  }();
  if (!query) return std::wstring();
  // Both answers begin with a UNICODE_STRING.
  alignas(8) unsigned char buffer[2048] = {};
  ULONG length = 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handleValue));
  if (query(handle, static_cast<int>(what), buffer, sizeof(buffer), &length) < 0)
    return std::wstring();
  UNICODE_STRING text;
  std::memcpy(&text, buffer, sizeof(text));
  if (!text.Buffer) return std::wstring();
  return std::wstring(text.Buffer, text.Length / sizeof(wchar_t));
}

// Total handles open in process |pid| (default: this process), or -1 if the
// system handle table cannot be read (a live process always holds some).
inline long CountProcessHandles(DWORD pid = ::GetCurrentProcessId()) {
  std::map<int, long> byType = HandleCountsByType(pid);
  if (byType.empty()) return -1;
  long total = 0;
  for (const auto& kv : byType) total += kv.second;
  return total;
}

}  // namespace velmora_harness
