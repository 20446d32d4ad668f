#include "tools/velmoractl/ProcessProbe.h"

#include "win32/LastError.h"

namespace {

constexpr DWORD kLookAccess = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

// OpenProcess answers ERROR_INVALID_PARAMETER for an id no process has.
Presence OfFailedOpen(DWORD error) {
  return error == ERROR_INVALID_PARAMETER ? Presence::kAbsent : Presence::kUnknown;
}

Presence OfOpenProcess(HANDLE process, DWORD graceMs) {
  return WaitForSingleObject(process, graceMs) == WAIT_OBJECT_0 ? Presence::kEnded
                                                                 : Presence::kRunning;
}

}  // namespace

ProcessProbe::ProcessProbe(DWORD processId, DWORD extraAccess) : processId_(processId) {
  process_.reset(OpenProcess(kLookAccess | extraAccess, /*bInheritHandle=*/FALSE, processId));
  first_ = process_ ? OfOpenProcess(process_.get(), 0) : OfFailedOpen(LastErrorOrFailure());
}

Presence ProcessProbe::Now(DWORD graceMs) const {
  if (process_) return OfOpenProcess(process_.get(), graceMs);
  // An id that named no process then may name a new one now: nothing to see.
  if (first_ != Presence::kUnknown) return first_;
  UniqueHandle again(OpenProcess(kLookAccess, /*bInheritHandle=*/FALSE, processId_));
  return again ? OfOpenProcess(again.get(), graceMs) : OfFailedOpen(LastErrorOrFailure());
}

bool ProcessProbe::ExitCode(DWORD* code) const {
  DWORD exitCode = 0;
  if (!process_ || !GetExitCodeProcess(process_.get(), &exitCode) || exitCode == STILL_ACTIVE) {
    return false;
  }
  *code = exitCode;
  return true;
}
