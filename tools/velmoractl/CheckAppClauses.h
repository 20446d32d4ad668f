#pragma once
// check-app's judgement of each clause of the application shutdown contract,
// from what the check found, in the doctor's terms (DoctorChecks.h): ok, warn
// (the stopper copes, but the program is not stopped as it should be) or
// fail, each warn and fail with what the program must do.
#include <windows.h>

#include <string>

#include "tools/velmoractl/CheckAppStop.h"
#include "tools/velmoractl/DoctorChecks.h"
#include "tools/velmoractl/ResultText.h"

struct StartFacts {
  std::wstring path;      // as handed to the module
  HRESULT result = S_OK;  // StartSoftwareProcess's answer
  std::wstring identity;  // "Process_<pid>"
  DWORD processId = 0;    // the id in the identity; 0 when it names none
  DWORD startMs = 0;      // how long the start took
};

struct EntryFacts {
  HRESULT tableCreated = S_OK;  // creating the table's object
  HRESULT lastLookup = S_OK;    // the last GetProcessIdByName
  bool entered = false;
  DWORD tableProcessId = 0;     // the id the table holds for the identity
  DWORD enteredAfterMs = 0;     // from the start on
  bool exited = false;          // the program ended while the check waited
  DWORD exitCode = 0;
  DWORD waitMs = 0;             // --wait
};

struct EventFacts {
  HRESULT nameResult = S_OK;  // GetProcessIdEventName
  std::wstring name;
  DWORD openError = ERROR_SUCCESS;  // OpenEventW with the stopper's right
};

CheckResult JudgeStart(const StartFacts& facts, const SystemMessageLookup& messages);
CheckResult JudgeTableEntry(const StartFacts& start, const EntryFacts& facts,
                            const SystemMessageLookup& messages);
CheckResult JudgeShutdownEvent(DWORD processId, const EventFacts& facts,
                               const SystemMessageLookup& messages);
CheckResult JudgeShutdownTimeout(HRESULT result, long timeoutMs,
                                 const SystemMessageLookup& messages);
CheckResult JudgeHeartbeat(HRESULT result, DWORD ageMs, const SystemMessageLookup& messages);
// The stop through the module; waitMs: --wait.
CheckResult JudgeStop(const StopFacts& facts, DWORD waitMs,
                      const SystemMessageLookup& messages);
// The program ended by itself before the check asked it to.
CheckResult JudgeExitBeforeStop(DWORD exitCode);
