#pragma once
// One launched process as the module shares it: the entry of a process handle
// list, with the process's two handles.
//
// The list holds an entry while it is listed, and so does every request that
// uses its handles: the launch until its program runs, a stop while it waits
// on the process. Holds change only under g_processListLock; the guard of
// that lock is the proof that a caller passes. The last holder destroys the
// entry, which closes the thread handle, then the process handle. So a handle
// stays open, and with it the process id stays taken, for as long as anyone
// uses it: no request can close a handle under another, nor unlist or close
// the entry that a later launch made for a reused id.
#include <windows.h>

#include "process/ProcessApi.h"
#include "process/ProcessListLock.h"
#include "win32/UniqueAny.h"

class ListedProcess;

// The links of a process handle list: the list in launch order (both null
// while an entry is not listed) and the chain of the list's index by process
// id that the entry is on.
struct ProcessListLinks {
  ProcessListLinks* prev = nullptr;
  ProcessListLinks* next = nullptr;
  ListedProcess* nextById = nullptr;
};

class ListedProcess : private ProcessListLinks {
 public:
  // A new entry, held once by its creator, that takes over the two handles of
  // a created process. Null when it cannot be allocated: the handles then
  // stay with the caller's owners.
  static ListedProcess* Create(ApiHandle& process, ApiHandle& thread, DWORD processId,
                               DWORD threadId);

  ListedProcess(const ListedProcess&) = delete;
  ListedProcess& operator=(const ListedProcess&) = delete;

  DWORD processId() const { return m_processId; }
  DWORD threadId() const { return m_threadId; }
  HANDLE process() const { return m_process.get(); }
  HANDLE thread() const { return m_thread.get(); }

  bool IsListed(const ProcessListGuard&) const { return prev != nullptr; }
  void Hold(const ProcessListGuard&) { ++m_holds; }
  // Drops one hold; the last one destroys the entry.
  void Drop(const ProcessListGuard&);

 private:
  friend class ProcessHandleList;  // links it, and holds it while it is listed

  ListedProcess(ApiHandle&& process, ApiHandle&& thread, DWORD processId, DWORD threadId);
  ~ListedProcess() = default;

  ApiHandle m_process;  // declared before the thread handle: closed after it
  ApiHandle m_thread;
  DWORD m_processId;
  DWORD m_threadId;
  int m_holds = 1;
};

// One request's hold on an entry, dropped under g_processListLock when the
// owner goes.
struct DropProcessHold {
  using Type = ListedProcess*;
  static Type Invalid() { return nullptr; }
  static void Close(ListedProcess* entry);
};
using ProcessHold = UniqueAny<DropProcessHold>;
