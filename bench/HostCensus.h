// What the host process holds, for the soak: its handles by object type, the
// ones that are Wine's own growth rather than the module's, its private bytes
// and its threads.
//
// GetProcessHandleCount answers 0 under Wine, so the handles are counted in
// the system handle table (harness/HandleTable.h). Two kinds of them
// grow inside Wine whatever the module does, and are counted apart:
// - the service manager client's pooled connections to services.exe, a pipe
//   "\NamedPipe\svcctl" and an event each, one per thread that asked at once;
// - the registry keys that CoCreateInstance of an unregistered class leaves
//   open ("...\Software\Classes" and "...\Classes\Wow6432Node").
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace velmora_bench {

struct HostCensus {
  long handles = 0;
  std::map<std::wstring, long> byType;  // object type name -> handles
  long scmPipes = 0;                    // each comes with an event
  long classesKeys = 0;
  unsigned long long privateBytes = 0;  // committed private memory
  long threads = 0;

  // Handles that are not Wine's own growth described above.
  long ModuleHandles() const { return handles - 2 * scmPipes - classesKeys; }
};

HostCensus TakeHostCensus();

}  // namespace velmora_bench
