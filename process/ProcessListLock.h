#pragma once
// g_processListLock guards every process handle list of every FsNtProcessControl
// in the module. It lives from module load to module unload.
#include <windows.h>

extern CRITICAL_SECTION g_processListLock;

// At module unload (FreeLibrary) only, once no control object is left; at
// process exit the lock is left to the system.
void DeleteProcessListLock();
