#pragma once
// g_processListLock guards every process handle list of every FsNtProcessControl
// in the module. It lives from module load to module unload.
#include <windows.h>

extern CRITICAL_SECTION g_processListLock;

// At module unload (FreeLibrary) only, once no control object is left; at
// process exit the lock is left to the system.
void DeleteProcessListLock();

// Holds g_processListLock for one scope.
class ProcessListLockGuard {
 public:
  ProcessListLockGuard() { EnterCriticalSection(&g_processListLock); }
  ~ProcessListLockGuard() { LeaveCriticalSection(&g_processListLock); }
  ProcessListLockGuard(const ProcessListLockGuard&) = delete;
  ProcessListLockGuard& operator=(const ProcessListLockGuard&) = delete;
};
