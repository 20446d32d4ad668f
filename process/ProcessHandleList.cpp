#include "process/ProcessHandleList.h"

ProcessHandleList::ProcessHandleList() {
  m_sentinel.prev = &m_sentinel;
  m_sentinel.next = &m_sentinel;
}

ProcessHandleList::~ProcessHandleList() {
  ProcessListGuard lock(g_processListLock);
  while (m_sentinel.next != &m_sentinel)
    Remove(static_cast<ListedProcess*>(m_sentinel.next), lock);
}

void ProcessHandleList::Append(ListedProcess* entry, const ProcessListGuard& lock) {
  entry->Hold(lock);
  entry->prev = m_sentinel.prev;
  entry->next = &m_sentinel;
  m_sentinel.prev->next = entry;
  m_sentinel.prev = entry;
  ++m_count;
}

ListedProcess* ProcessHandleList::Find(DWORD processId, const ProcessListGuard&) {
  for (ProcessListLinks* links = m_sentinel.next; links != &m_sentinel; links = links->next) {
    ListedProcess* entry = static_cast<ListedProcess*>(links);
    if (entry->processId() == processId) return entry;
  }
  return nullptr;
}

bool ProcessHandleList::Remove(ListedProcess* entry, const ProcessListGuard& lock) {
  if (!entry->IsListed(lock)) return false;
  entry->prev->next = entry->next;
  entry->next->prev = entry->prev;
  entry->prev = nullptr;
  entry->next = nullptr;
  --m_count;
  entry->Drop(lock);
  return true;
}
