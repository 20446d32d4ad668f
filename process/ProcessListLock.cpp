#include "process/ProcessListLock.h"

CRITICAL_SECTION g_processListLock;

namespace {

// A static initialiser creates the lock when the module is loaded, and its
// destructor deletes it when the module is unloaded.
struct ProcessListLockLifetime {
  ProcessListLockLifetime() { InitializeCriticalSection(&g_processListLock); }
  ~ProcessListLockLifetime() { DeleteCriticalSection(&g_processListLock); }
};

ProcessListLockLifetime g_processListLockLifetime;

}  // namespace
