#pragma once
// The processes that one FsNtProcessControl launched and has not stopped yet,
// in launch order. Every operation runs under g_processListLock, whose guard
// the caller passes. The list holds each entry while it is listed
// (ListedProcess.h); an entry's handles go with its last holder.
//
// Programs that end by themselves stay listed until a stop names them, so a
// host that launches many short-lived programs and never stops them carries
// a long list, and every stop looks its process up under the module-wide
// lock that every launch and stop of every object takes. The lookup goes
// through an index by process id instead of along the list: its cost does
// not grow with the list.
#include <windows.h>

#include <cstddef>
#include <memory>

#include "process/ListedProcess.h"

class ProcessHandleList {
 public:
  ProcessHandleList();
  // Unlists what is still listed: the processes run on, this object's handles
  // to them go with their last holders.
  ~ProcessHandleList();
  ProcessHandleList(const ProcessHandleList&) = delete;
  ProcessHandleList& operator=(const ProcessHandleList&) = delete;

  // Appends at the end; the list holds the entry from now on. Never fails:
  // an index that cannot grow stays as it is, and without one at all the
  // lookup walks the list.
  void Append(ListedProcess* entry, const ProcessListGuard& lock);
  // The first listed entry from the front with that process id, or null.
  ListedProcess* Find(DWORD processId, const ProcessListGuard& lock);
  // Takes the entry out and drops the list's hold, unless it is no longer
  // listed (another request removed it first). True when it did.
  bool Remove(ListedProcess* entry, const ProcessListGuard& lock);
  size_t Count(const ProcessListGuard& lock) const { return m_count; }

 private:
  size_t BucketCount() const { return m_buckets ? size_t{1} << m_bucketBits : 0; }
  size_t Bucket(DWORD processId) const;
  // Builds an index of 2^bits buckets over every listed entry; false, with
  // the index as it was, when it cannot be allocated.
  bool Reindex(unsigned bits);
  void Unindex(ListedProcess* entry);

  ProcessListLinks m_sentinel;
  size_t m_count = 0;
  // The index: entries chained through nextById, each chain from the newest
  // to the oldest, so the last match on a chain is the first from the front
  // of the list. Null until an append could allocate it.
  std::unique_ptr<ListedProcess*[]> m_buckets;
  unsigned m_bucketBits = 0;
};
