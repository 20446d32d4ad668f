#include "tools/velmoractl/CheckAppClauses.h"

#include <algorithm>
#include <cwchar>

#include "process/ShutdownContract.h"
#include "tools/velmoractl/Progress.h"

namespace {

constexpr wchar_t kStarted[] = L"started";
constexpr wchar_t kTableEntry[] = L"table entry";
constexpr wchar_t kShutdownEvent[] = L"shutdown event";
constexpr wchar_t kShutdownTimeout[] = L"shutdown timeout";
constexpr wchar_t kHeartbeat[] = L"heartbeat";
constexpr wchar_t kStop[] = L"stop";

constexpr wchar_t kEnterFix[] =
    L"enter the program in the realtime table under the identity Process_<its process id> "
    L"right after it starts, with its shutdown event's name and its shutdown timeout";

std::wstring HResultText(HRESULT hr, const SystemMessageLookup& messages) {
  return FormatResult(hr, ResultDomain::kHResult, messages);
}

std::wstring HeartbeatLimit() { return std::to_wstring(kHeartbeatMaxAgeMs / 1000) + L" s"; }

// Small codes in decimal, status codes (a crash, Ctrl+C) in hexadecimal.
std::wstring ExitCodeText(bool known, DWORD code) {
  if (!known) return L"exit code unknown";
  if (code <= 0xFFFF) return L"exit code " + std::to_wstring(code);
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
  return std::wstring(L"exit code ") + text;
}

// The heartbeat from the stop request on, as the watcher read it.
std::wstring HeartbeatAfterTheEvent(const StopFacts& facts) {
  if (facts.leftTable) return L"it left the table after its event was set";
  if (!facts.heartbeatSeen) return L"its heartbeat could not be read after its event was set";
  return L"its heartbeat at most " + FormatSeconds(facts.oldestHeartbeatMs) +
         L" old after its event was set";
}

CheckResult JudgeForcedByModule(const StopFacts& facts, const std::wstring& exitCode) {
  std::wstring cause = L"see the module's log for why";
  if (facts.leftTable) {
    cause = L"it had left the table, so the stopper found no heartbeat";
  } else if (facts.heartbeatSeen && facts.oldestHeartbeatMs > kHeartbeatMaxAgeMs) {
    cause = L"its heartbeat was " + FormatSeconds(facts.oldestHeartbeatMs) + L" old";
  }
  return Fail(kStop,
              L"forced: the module terminated the program " +
                  FormatSeconds(facts.exited ? facts.exitAfterMs : facts.requestMs) +
                  L" after the stop request set its event (result S_FALSE, forced 1): it had "
                  L"not exited, and " + cause + L"; " + exitCode + L", the termination's",
              L"exit once the shutdown event is set, and keep the heartbeat younger than " +
                  HeartbeatLimit() + L" until then");
}

CheckResult JudgeGraceful(const StopFacts& facts, const std::wstring& exitCode) {
  const std::wstring graceful = L"graceful: exited " + FormatSeconds(facts.exitAfterMs) +
                                L" after the stop request set its event, " + exitCode;
  if (facts.leftTable) {
    return Warn(kStop,
                graceful + L"; it left the table while it wound down: had it not exited before "
                           L"the stopper's first look, it would have been terminated",
                L"keep the program's entry in the table until it exits");
  }
  if (facts.oldestHeartbeatMs > kHeartbeatMaxAgeMs) {
    return Warn(kStop,
                graceful + L"; its heartbeat was " + FormatSeconds(facts.oldestHeartbeatMs) +
                    L" old while it wound down: it exited before the stopper looked, and a "
                    L"longer wind-down would have been terminated",
                L"update the heartbeat in the table every few seconds while winding down");
  }
  return Ok(kStop, graceful + L"; " + HeartbeatAfterTheEvent(facts) +
                       L": fresh while it wound down");
}

}  // namespace

CheckResult JudgeStart(const StartFacts& facts, const SystemMessageLookup& messages) {
  if (FAILED(facts.result)) {
    return Fail(kStarted, facts.path + L": " + HResultText(facts.result, messages),
                facts.result == kExeNotFound
                    ? L"give the path of the program's executable"
                    : L"make the program start under the host's account with this command "
                      L"line; the result says where the launch failed");
  }
  if (facts.processId == 0) {
    return Fail(kStarted, L"the module answered the identity \"" + facts.identity +
                              L"\", which names no process id",
                L"check the module: it answers Process_<process id>");
  }
  return Ok(kStarted, facts.identity + L" in " + FormatSeconds(facts.startMs) +
                          L", through StartSoftwareProcess as a host starts it");
}

CheckResult JudgeTableEntry(const StartFacts& start, const EntryFacts& facts,
                            const SystemMessageLookup& messages) {
  if (FAILED(facts.tableCreated)) {
    return Fail(kTableEntry,
                L"the realtime table cannot be created: " +
                    HResultText(facts.tableCreated, messages) +
                    L"; the module then stops no program",
                L"register the host's realtime table (velmoractl doctor tells how)");
  }
  const std::wstring pid = std::to_wstring(start.processId);
  if (facts.entered && facts.tableProcessId != start.processId) {
    return Fail(kTableEntry,
                start.identity + L" names process id " + std::to_wstring(facts.tableProcessId) +
                    L" in the table, not the program's " + pid +
                    L": the stopper would signal and wait on that process",
                L"enter the program under its own process id");
  }
  if (facts.entered) {
    return Ok(kTableEntry, start.identity + L" entered after " +
                               FormatSeconds(facts.enteredAfterMs) + L", process id " + pid +
                               L", read through ProcessRealtimeClerkObject as the module "
                               L"reads it");
  }
  if (facts.exited) {
    return Fail(kTableEntry,
                L"the program exited (" + ExitCodeText(true, facts.exitCode) +
                    L") without entering the table under " + start.identity,
                std::wstring(L"keep running, and ") + kEnterFix);
  }
  return Fail(kTableEntry,
              L"not entered under " + start.identity + L" within " +
                  FormatSeconds(facts.waitMs) + L": the table answers " +
                  HResultText(facts.lastLookup, messages) +
                  L", so the stopper cannot find the program and a host cannot stop it",
              kEnterFix);
}

CheckResult JudgeShutdownEvent(DWORD processId, const EventFacts& facts,
                               const SystemMessageLookup& messages) {
  if (FAILED(facts.nameResult)) {
    return Fail(kShutdownEvent,
                L"the table holds no event name for process id " + std::to_wstring(processId) +
                    L": " + HResultText(facts.nameResult, messages) +
                    L"; the stopper gives up and leaves the program running",
                L"enter the program with the name of its shutdown event");
  }
  const std::wstring quoted = L"\"" + facts.name + L"\"";
  if (facts.openError == ERROR_SUCCESS) {
    return Ok(kShutdownEvent,
              quoted + L" exists and opens with EVENT_MODIFY_STATE, the right the stopper asks "
                       L"for");
  }
  if (facts.openError == ERROR_FILE_NOT_FOUND) {
    return Fail(kShutdownEvent,
                quoted + L" does not exist: the stopper takes the program as already gone and "
                         L"leaves it running",
                L"create the event (CreateEventW) before entering its name in the table, and "
                L"keep it open until the program exits");
  }
  return Fail(kShutdownEvent,
              quoted + L" cannot be opened with EVENT_MODIFY_STATE: " +
                  FormatResult(static_cast<long>(facts.openError), ResultDomain::kWin32,
                               messages) +
                  L"; the stopper then terminates the program at once, without asking it",
              L"create the event with a security descriptor that lets the host's account set "
              L"it (EVENT_MODIFY_STATE)");
}

CheckResult JudgeShutdownTimeout(HRESULT result, long timeoutMs,
                                 const SystemMessageLookup& messages) {
  const std::wstring steps = L"the stopper waits in steps of " +
                             std::to_wstring(WaitTimeoutFor(0, timeoutMs)) +
                             L" ms and looks at the heartbeat after each";
  if (FAILED(result)) {
    return Warn(kShutdownTimeout,
                L"the table answers " + HResultText(result, messages) + L"; " + steps,
                L"enter the program with its shutdown timeout, the time it needs to wind down");
  }
  const std::wstring timeout = std::to_wstring(timeoutMs) + L" ms";
  if (timeoutMs > 0) return Ok(kShutdownTimeout, timeout + L": " + steps);
  return Warn(kShutdownTimeout, timeout + L": not a wait; instead " + steps,
              L"enter a positive shutdown timeout, the time the program needs to wind down");
}

CheckResult JudgeHeartbeat(HRESULT result, DWORD ageMs, const SystemMessageLookup& messages) {
  const std::wstring terminated =
      L": the stopper terminates the program when its first wait ends, unless it has exited "
      L"by then";
  if (FAILED(result)) {
    return Fail(kHeartbeat,
                L"cannot be read just before the stop: " + HResultText(result, messages) +
                    terminated,
                L"keep the program's entry in the table until it exits, with a heartbeat "
                L"younger than " + HeartbeatLimit());
  }
  if (ageMs <= kHeartbeatMaxAgeMs) {
    return Ok(kHeartbeat, FormatSeconds(ageMs) + L" old just before the stop; the stopper "
                                                 L"gives up on one older than " +
                              HeartbeatLimit());
  }
  return Fail(kHeartbeat,
              FormatSeconds(ageMs) + L" old just before the stop, older than " +
                  HeartbeatLimit() + terminated,
              L"update the heartbeat in the table every few seconds, also while winding down");
}

CheckResult JudgeStop(const StopFacts& facts, DWORD waitMs, const SystemMessageLookup& messages) {
  const std::wstring exitCode = ExitCodeText(facts.exitCodeKnown, facts.exitCode);
  if (facts.interrupted) {
    // Ctrl+C reaches every program on velmoractl's console, this one too if
    // it shares it: how it ended says nothing then.
    const wchar_t* ended = facts.clientEnd == ClientEnd::kInterrupted
                               ? L"terminated by velmoractl "
                               : L"it ended, perhaps on the interruption itself, ";
    return Warn(kStop,
                L"interrupted while the module waited for the program: " +
                    std::wstring(ended) +
                    FormatSeconds(facts.exited ? facts.exitAfterMs : facts.requestMs) +
                    L" after the stop request set its event (" + exitCode + L")",
                L"run the check to its end to judge the stop");
  }
  switch (facts.clientEnd) {
    case ClientEnd::kWaitPassed:
      return Fail(kStop,
                  L"not stopped: still running " + FormatSeconds(waitMs) +
                      L" after the stop request set its event, " +
                      HeartbeatAfterTheEvent(facts) +
                      L", the module still waiting: terminated by velmoractl (--wait)",
                  L"exit once the shutdown event is set: a host's stop waits in steps of the "
                  L"shutdown timeout for as long as the heartbeat is younger than " +
                      HeartbeatLimit());
    case ClientEnd::kModuleLeftIt: {
      std::wstring fix = L"keep the program's entry, with its event's name, in the table "
                         L"until it exits";
      if (facts.result == S_FALSE) {
        fix = L"keep the shutdown event open until the program exits";
      } else if (SUCCEEDED(facts.result)) {
        fix = L"let the host's account open the program (PROCESS_ALL_ACCESS)";
      }
      std::wstring answered = L"not stopped: the module answered " +
                              HResultText(facts.result, messages);
      if (!facts.outcome.text.empty()) answered += L" (" + facts.outcome.text + L")";
      return Fail(kStop, answered + L" and the program ran on: terminated by velmoractl", fix);
    }
    case ClientEnd::kInterrupted:
    case ClientEnd::kNone: break;
  }
  if (facts.result == S_FALSE && facts.forced) return JudgeForcedByModule(facts, exitCode);
  if (facts.outcome.stopped && facts.result != S_FALSE && facts.exited) {
    return JudgeGraceful(facts, exitCode);
  }
  if (facts.outcome.stopped) {
    return Warn(kStop,
                L"the module answered " + HResultText(facts.result, messages) + L" (" +
                    facts.outcome.text + L"): the program had exited, " + exitCode +
                    L", before the stopper could ask it",
                L"keep the shutdown event open and the program running until the event is "
                L"set");
  }
  return Fail(kStop,
              L"the module's stop failed: " + HResultText(facts.result, messages) +
                  L"; the program had exited, " + exitCode,
              L"keep the program's entry in the table until it exits");
}

CheckResult JudgeExitBeforeStop(DWORD exitCode) {
  return Fail(kStop,
              L"not checked: the program exited by itself (" + ExitCodeText(true, exitCode) +
                  L") before it was asked to stop",
              L"keep running until the shutdown event is set");
}
