#include "process/ProcessHandleList.h"

#include <new>
#include <utility>

namespace {

// The smallest index. It doubles when the list outgrows half of it, so that
// a chain holds one entry or none most of the time, and halves when the
// list shrinks below an eighth of it.
constexpr unsigned kMinBucketBits = 4;
// Fibonacci hashing: process ids come in steps of four, and the product's
// high bits spread any such run evenly.
constexpr DWORD kHashMultiplier = 0x9E3779B9u;

}  // namespace

ProcessHandleList::ProcessHandleList() {
  m_sentinel.prev = &m_sentinel;
  m_sentinel.next = &m_sentinel;
}

ProcessHandleList::~ProcessHandleList() {
  ProcessListGuard lock;
  m_buckets.reset();  // nothing is looked up any more
  while (m_sentinel.next != &m_sentinel)
    Remove(static_cast<ListedProcess*>(m_sentinel.next), lock);
}

size_t ProcessHandleList::Bucket(DWORD processId) const {
  return static_cast<DWORD>(processId * kHashMultiplier) >> (32 - m_bucketBits);
}

void ProcessHandleList::Append(ListedProcess* entry, const ProcessListGuard& lock) {
  entry->Hold(lock);
  entry->prev = m_sentinel.prev;
  entry->next = &m_sentinel;
  m_sentinel.prev->next = entry;
  m_sentinel.prev = entry;
  ++m_count;
  if (m_count > BucketCount() / 2 && Reindex(m_buckets ? m_bucketBits + 1 : kMinBucketBits))
    return;
  if (!m_buckets) return;
  // The newest entry goes to the front of its chain: a launch touches no
  // other entry.
  ListedProcess*& head = m_buckets[Bucket(entry->processId())];
  entry->nextById = head;
  head = entry;
}

ListedProcess* ProcessHandleList::Find(DWORD processId, const ProcessListGuard&) {
  if (m_buckets) {
    // A chain runs from the newest entry to the oldest: the last match is the
    // first entry from the front of the list. The list never holds two
    // entries of one id at once (a listed process keeps its id taken), but
    // the rule holds all the same.
    ListedProcess* first = nullptr;
    for (ListedProcess* entry = m_buckets[Bucket(processId)]; entry; entry = entry->nextById)
      if (entry->processId() == processId) first = entry;
    return first;
  }
  for (ProcessListLinks* links = m_sentinel.next; links != &m_sentinel; links = links->next) {
    ListedProcess* entry = static_cast<ListedProcess*>(links);
    if (entry->processId() == processId) return entry;
  }
  return nullptr;
}

bool ProcessHandleList::Remove(ListedProcess* entry, const ProcessListGuard& lock) {
  if (!entry->IsListed(lock)) return false;
  if (m_buckets) Unindex(entry);
  entry->prev->next = entry->next;
  entry->next->prev = entry->prev;
  entry->prev = nullptr;
  entry->next = nullptr;
  --m_count;
  if (m_buckets && m_bucketBits > kMinBucketBits && m_count < BucketCount() / 8)
    Reindex(m_bucketBits - 1);  // a larger index than needed still works
  entry->Drop(lock);
  return true;
}

bool ProcessHandleList::Reindex(unsigned bits) {
  std::unique_ptr<ListedProcess*[]> buckets(new (std::nothrow) ListedProcess*[size_t{1} << bits]());
  if (!buckets) return false;
  m_buckets = std::move(buckets);
  m_bucketBits = bits;
  // From the oldest to the newest, each to the front of its chain: every
  // chain runs from the newest to the oldest, as appends leave it.
  for (ProcessListLinks* links = m_sentinel.next; links != &m_sentinel; links = links->next) {
    ListedProcess* entry = static_cast<ListedProcess*>(links);
    ListedProcess*& head = m_buckets[Bucket(entry->processId())];
    entry->nextById = head;
    head = entry;
  }
  return true;
}

void ProcessHandleList::Unindex(ListedProcess* entry) {
  ListedProcess** link = &m_buckets[Bucket(entry->processId())];
  while (*link && *link != entry) link = &(*link)->nextById;
  if (*link) *link = entry->nextById;
  entry->nextById = nullptr;
}
