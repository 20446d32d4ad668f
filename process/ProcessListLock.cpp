#include "process/ProcessListLock.h"

CRITICAL_SECTION g_processListLock;

namespace {

// A static initialiser creates the lock when the module is loaded. Nothing
// deletes it from a static destructor: the C runtime runs those at process
// exit too, when a thread killed inside the lock may still own it.
struct ProcessListLockCreation {
  ProcessListLockCreation() { InitializeCriticalSection(&g_processListLock); }
};

ProcessListLockCreation g_processListLockCreation;

}  // namespace

void DeleteProcessListLock() { DeleteCriticalSection(&g_processListLock); }
