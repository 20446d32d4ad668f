#pragma once
// The handles of the processes that one FsNtProcessControl launched and has
// not stopped yet, in launch order. Callers hold g_processListLock around
// every operation. The list never closes handles: whoever removes an entry
// closes them.
#include <windows.h>

#include <cstddef>

class ProcessHandleList {
 public:
  struct Entry {
    Entry* prev;
    Entry* next;
    PROCESS_INFORMATION info;
  };

  ProcessHandleList();
  ~ProcessHandleList();  // discards the entries, handles untouched
  ProcessHandleList(const ProcessHandleList&) = delete;
  ProcessHandleList& operator=(const ProcessHandleList&) = delete;

  // Appends at the end; null when the entry cannot be allocated.
  Entry* Append(const PROCESS_INFORMATION& info);
  // The first entry from the front with that process id, or End().
  Entry* Find(DWORD processId);
  // Unlinks and frees the entry; returns the entry after it.
  Entry* Remove(Entry* entry);
  size_t Count() const { return m_count; }
  Entry* Begin() { return m_sentinel.next; }
  Entry* End() { return &m_sentinel; }

 private:
  Entry m_sentinel;
  size_t m_count = 0;
};
