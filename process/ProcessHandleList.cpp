#include "process/ProcessHandleList.h"

#include <new>

ProcessHandleList::ProcessHandleList() : m_sentinel{} {
  m_sentinel.prev = &m_sentinel;
  m_sentinel.next = &m_sentinel;
}

ProcessHandleList::~ProcessHandleList() {
  Entry* entry = Begin();
  while (entry != End()) {
    Entry* listed = entry;
    entry = Unlist(listed);
    Free(listed);
  }
}

ProcessHandleList::Entry* ProcessHandleList::Append(const PROCESS_INFORMATION& info) {
  Entry* entry = new (std::nothrow) Entry{};
  if (!entry) return nullptr;
  entry->info = info;
  entry->holds = 1;
  entry->prev = m_sentinel.prev;
  entry->next = &m_sentinel;
  m_sentinel.prev->next = entry;
  m_sentinel.prev = entry;
  ++m_count;
  return entry;
}

ProcessHandleList::Entry* ProcessHandleList::Find(DWORD processId) {
  for (Entry* entry = Begin(); entry != End(); entry = entry->next) {
    if (entry->info.dwProcessId == processId) return entry;
  }
  return End();
}

ProcessHandleList::Entry* ProcessHandleList::Unlist(Entry* entry) {
  if (entry == End() || !IsListed(entry)) return End();
  Entry* next = entry->next;
  entry->prev->next = next;
  next->prev = entry->prev;
  entry->prev = nullptr;
  entry->next = nullptr;
  --m_count;
  return next;
}

void ProcessHandleList::Free(Entry* entry) { delete entry; }
