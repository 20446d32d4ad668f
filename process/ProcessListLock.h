#pragma once
// g_processListLock guards every process handle list of every FsNtProcessControl
// in the module. It lives from module load to module unload.
#include <windows.h>

#include "win32/LockGuard.h"

extern CRITICAL_SECTION g_processListLock;

// Holds g_processListLock for one scope. Functions that must run under the
// lock take the guard as a parameter, and only this lock makes one: a guard
// of another critical section is another type and cannot stand in for it.
class ProcessListGuard {
 public:
  ProcessListGuard() : m_lock(g_processListLock) {}

 private:
  LockGuard<CRITICAL_SECTION> m_lock;
};

// At module unload (FreeLibrary) only, once no control object is left; at
// process exit the lock is left to the system.
void DeleteProcessListLock();
