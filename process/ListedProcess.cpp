#include "process/ListedProcess.h"

#include <new>
#include <utility>

ListedProcess* ListedProcess::Create(ApiHandle& process, ApiHandle& thread, DWORD processId,
                                     DWORD threadId) {
  // The handles move only once the entry exists.
  return new (std::nothrow)
      ListedProcess(std::move(process), std::move(thread), processId, threadId);
}

ListedProcess::ListedProcess(ApiHandle&& process, ApiHandle&& thread, DWORD processId,
                             DWORD threadId)
    : m_process(std::move(process)),
      m_thread(std::move(thread)),
      m_processId(processId),
      m_threadId(threadId) {}

void ListedProcess::Drop(const ProcessListGuard&) {
  if (--m_holds == 0) delete this;
}

void DropProcessHold::Close(ListedProcess* entry) {
  ProcessListGuard lock;
  entry->Drop(lock);
}
