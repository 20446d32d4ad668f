#pragma once
// The handles of the processes that one FsNtProcessControl launched and has
// not stopped yet, in launch order. Callers hold g_processListLock around
// every operation. The list never closes handles.
//
// An entry is shared: the list holds it while it is listed, and every request
// that uses its handles (a stop waiting on the process) holds it too. The
// handles stay open, and with them the process id stays taken, until the last
// holder lets go; that one closes them and frees the entry. So a request can
// never close, or unlist, an entry that a later launch made for a reused id.
#include <windows.h>

#include <cstddef>

class ProcessHandleList {
 public:
  struct Entry {
    Entry* prev;  // both null once the entry is unlisted
    Entry* next;
    PROCESS_INFORMATION info;
    int holds;  // the list's own while listed, plus one per request
  };

  ProcessHandleList();
  ~ProcessHandleList();  // frees the entries still listed, handles untouched
  ProcessHandleList(const ProcessHandleList&) = delete;
  ProcessHandleList& operator=(const ProcessHandleList&) = delete;

  // Appends at the end, held by the list; null when it cannot be allocated.
  Entry* Append(const PROCESS_INFORMATION& info);
  // The first listed entry from the front with that process id, or End().
  Entry* Find(DWORD processId);
  // Takes the entry out of the list; it stays allocated, and the list's hold
  // is still to be dropped. Returns the entry after it.
  Entry* Unlist(Entry* entry);
  static bool IsListed(const Entry* entry) { return entry->next != nullptr; }
  static void Hold(Entry* entry) { ++entry->holds; }
  // Drops one hold. True when it was the last: the caller closes the
  // handles and frees the entry with Free.
  static bool Drop(Entry* entry) { return --entry->holds == 0; }
  static void Free(Entry* entry);

  size_t Count() const { return m_count; }
  Entry* Begin() { return m_sentinel.next; }
  Entry* End() { return &m_sentinel; }

 private:
  Entry m_sentinel;
  size_t m_count = 0;
};
