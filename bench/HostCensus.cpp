#include "bench/HostCensus.h"

#include <tlhelp32.h>

#include <cwchar>

#include "harness/HandleTable.h"
#include "win32/Owners.h"

namespace velmora_bench {
namespace {

using velmora_harness::HandleEntriesOf;
using velmora_harness::HandleEntry;
using velmora_harness::ObjectText;
using velmora_harness::QueryObjectText;

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
  const UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  long count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  return count;
}

}  // namespace

HostCensus TakeHostCensus() {
  HostCensus census;
  for (const HandleEntry& entry : HandleEntriesOf()) {
    ++census.handles;
    std::wstring type = QueryObjectText(entry.HandleValue, ObjectText::kTypeName);
    if (type.empty()) type = L"?";
    ++census.byType[type];
    if (type == L"File" || type == L"Key") {
      const std::wstring name = QueryObjectText(entry.HandleValue, ObjectText::kName);
      if (type == L"File" && name.find(L"\\NamedPipe\\svcctl") != std::wstring::npos)
        ++census.scmPipes;
      if (type == L"Key" &&
          (EndsWith(name, L"\\Software\\Classes") || EndsWith(name, L"\\Classes\\Wow6432Node")))
        ++census.classesKeys;
    }
  }
  census.privateBytes = PrivateBytes();
  census.threads = ThreadsOfThisProcess();
  return census;
}

}  // namespace velmora_bench
