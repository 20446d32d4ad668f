#pragma once
// The processes that one FsNtProcessControl launched and has not stopped yet,
// in launch order. Every operation runs under g_processListLock, whose guard
// the caller passes. The list holds each entry while it is listed
// (ListedProcess.h); an entry's handles go with its last holder.
#include <windows.h>

#include <cstddef>

#include "process/ListedProcess.h"

class ProcessHandleList {
 public:
  ProcessHandleList();
  // Unlists what is still listed: the processes run on, this object's handles
  // to them go with their last holders.
  ~ProcessHandleList();
  ProcessHandleList(const ProcessHandleList&) = delete;
  ProcessHandleList& operator=(const ProcessHandleList&) = delete;

  // Appends at the end; the list holds the entry from now on.
  void Append(ListedProcess* entry, const ProcessListGuard& lock);
  // The first listed entry from the front with that process id, or null.
  ListedProcess* Find(DWORD processId, const ProcessListGuard& lock);
  // Takes the entry out and drops the list's hold, unless it is no longer
  // listed (another request removed it first). True when it did.
  bool Remove(ListedProcess* entry, const ProcessListGuard& lock);
  size_t Count(const ProcessListGuard& lock) const { return m_count; }

 private:
  ProcessListLinks m_sentinel;
  size_t m_count = 0;
};
