#pragma once
// The client's own look at a program, by its process id: taken before a stop
// request and again after it, to tell whether the module reached a running
// program and whether it is still there. The module answers S_OK both when
// the program ended on its signal and when it could not open a program it
// does not list, so its answer alone cannot tell.
#include <windows.h>

#include "win32/Owners.h"

enum class Presence {
  kRunning,  // it runs
  kEnded,    // it has exited; its process object lives on in someone's handle
  kAbsent,   // no process has this id
  kUnknown,  // a process has this id, but the client may not open it to look
};

class ProcessProbe {
 public:
  // Looks at nothing: every look answers kAbsent.
  ProcessProbe() = default;
  // Opens the process with SYNCHRONIZE, PROCESS_QUERY_LIMITED_INFORMATION and
  // extraAccess. Holding it open pins the process id: it cannot pass to a new
  // process while the probe lives, so the later looks see the same program.
  explicit ProcessProbe(DWORD processId, DWORD extraAccess = 0);

  // What the first look saw, when the probe was made.
  Presence first() const { return first_; }
  // Looks again. A program that still runs gets up to graceMs to finish
  // exiting: a termination, or a program that closed its event on its way
  // out, is not over at once.
  Presence Now(DWORD graceMs = 0) const;
  // The program's exit code, once it has exited.
  bool ExitCode(DWORD* code) const;
  // The open process, or null when the first look could not open it.
  HANDLE handle() const { return process_.get(); }
  DWORD processId() const { return processId_; }

 private:
  DWORD processId_ = 0;
  Presence first_ = Presence::kAbsent;
  UniqueHandle process_;
};
