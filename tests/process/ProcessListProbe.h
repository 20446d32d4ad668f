#pragma once
// What the tests see of an object's process handle list, as its friend.
#include <windows.h>

#include <cstddef>

#include "process/FsNtProcessControl.h"

class ProcessListProbe {
 public:
  // Number of entries in the object's list.
  static size_t Count(FsNtProcessControl& control) {
    ProcessListGuard lock;
    return control.m_processHandleList.Count(lock);
  }
  // Copies the first listed entry of that process id; false if none.
  static bool Find(FsNtProcessControl& control, DWORD processId, PROCESS_INFORMATION* info) {
    ProcessListGuard lock;
    ListedProcess* entry = control.m_processHandleList.Find(processId, lock);
    if (!entry) return false;
    info->hProcess = entry->process();
    info->hThread = entry->thread();
    info->dwProcessId = entry->processId();
    info->dwThreadId = entry->threadId();
    return true;
  }
};
