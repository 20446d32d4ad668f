#include "tools/velmoractl/CheckApp.h"

#include <cwchar>
#include <memory>
#include <vector>

#include "process/ShutdownContract.h"
#include "tools/velmoractl/CheckAppClauses.h"
#include "tools/velmoractl/CheckAppInterrupt.h"
#include "tools/velmoractl/CheckAppStop.h"
#include "tools/velmoractl/DoctorReport.h"
#include "tools/velmoractl/ProcessProbe.h"
#include "tools/velmoractl/Progress.h"
#include "tools/velmoractl/RealtimeTable.h"
#include "tools/velmoractl/RequestArguments.h"
#include "win32/LastError.h"
#include "win32/Owners.h"

namespace {

// How often the check looks for the program's table entry.
constexpr DWORD kEntryPollMs = 100;

// Writes each clause as soon as it is judged, and the verdict last.
class ClauseReport {
 public:
  explicit ClauseReport(const ClientContext& context) : context_(context) {}

  void Add(const CheckResult& result) {
    if (result.verdict == Verdict::kFail) ++failed_;
    context_.writeOut(FormatCheckLine(result));
  }
  void Line(const std::wstring& text) const { context_.writeOut(text + L"\n"); }

  // A clause that failed settles it; an interruption before that leaves it
  // open.
  int Verdict(bool interrupted) const {
    if (failed_ > 0) {
      Line(L"verdict: does not follow the shutdown contract (" + std::to_wstring(failed_) +
           (failed_ == 1 ? L" clause failed)" : L" clauses failed)"));
    } else if (interrupted) {
      Line(L"verdict: not known: interrupted before the check ended");
    } else {
      Line(L"verdict: follows the shutdown contract");
    }
    return failed_ == 0 && !interrupted ? kExitSuccess : kExitFailure;
  }

 private:
  const ClientContext& context_;
  int failed_ = 0;
};

std::unique_ptr<ProgressReporter> Progress(const ClientContext& context, std::wstring detail) {
  if (!context.writeProgress) return nullptr;
  return std::make_unique<ProgressReporter>([detail] { return detail; }, context.writeProgress);
}

// The process id in the module's identity, "Process_<pid>"; 0 for none.
DWORD ProcessIdIn(const std::wstring& identity) {
  constexpr size_t kPrefixLength =
      sizeof(kApplicationIdentityPrefix) / sizeof(kApplicationIdentityPrefix[0]) - 1;
  if (identity.compare(0, kPrefixLength, kApplicationIdentityPrefix) != 0) return 0;
  const wchar_t* digits = identity.c_str() + kPrefixLength;
  wchar_t* end = nullptr;
  const unsigned long id = wcstoul(digits, &end, 10);
  return end != digits && *end == L'\0' ? static_cast<DWORD>(id) : 0;
}

// Looks for the program's entry, as the stopper does, until it is there, the
// program has ended, --wait has passed or the check is interrupted.
EntryFacts AwaitTableEntry(const RealtimeTable& table, const StartFacts& start,
                           const ProcessProbe& program, DWORD waitMs, ULONGLONG startTick,
                           HANDLE interrupt) {
  EntryFacts facts;
  facts.waitMs = waitMs;
  // Without a handle to the program, only the interruption is waited for.
  const HANDLE handles[] = {interrupt, program.handle()};
  const DWORD count = program.handle() ? 2 : 1;
  for (;;) {
    facts.lastLookup = table.ProcessIdOf(start.identity, &facts.tableProcessId);
    const ULONGLONG elapsed = GetTickCount64() - startTick;
    if (SUCCEEDED(facts.lastLookup)) {
      facts.entered = true;
      facts.enteredAfterMs = static_cast<DWORD>(elapsed);
      return facts;
    }
    if (elapsed >= waitMs) return facts;
    const DWORD left = static_cast<DWORD>(waitMs - elapsed);
    const DWORD which = WaitForMultipleObjects(count, handles, /*bWaitAll=*/FALSE,
                                               left < kEntryPollMs ? left : kEntryPollMs);
    if (which == WAIT_OBJECT_0 + 1) {
      facts.exited = program.ExitCode(&facts.exitCode);
      return facts;
    }
    if (which != WAIT_TIMEOUT) return facts;  // interrupted, or the wait failed
  }
}

// The event's name from the table, opened with the stopper's right and
// closed again at once.
EventFacts ReadShutdownEvent(const RealtimeTable& table, DWORD processId) {
  EventFacts facts;
  facts.nameResult = table.EventNameOf(processId, &facts.name);
  if (FAILED(facts.nameResult)) return facts;
  UniqueHandle event(OpenEventW(kShutdownEventAccess, /*bInheritHandle=*/FALSE,
                                facts.name.c_str()));
  if (!event) facts.openError = LastErrorOrFailure();
  return facts;
}

}  // namespace

int RunCheckApp(const Command& command, const ClientContext& context) {
  // First in, last out: Ctrl+C from here on stops the program, never velmoractl.
  const ConsoleInterrupt interrupt;
  ClauseReport report(context);
  const DWORD waitMs = static_cast<DWORD>(command.waitMs);

  StartFacts start;
  start.path = FullPath(command.target);
  std::wstring heading = L"check-app: " + start.path;
  if (!command.cmdArgs.empty()) heading += L" " + command.cmdArgs;
  report.Line(heading);
  std::vector<wchar_t> name = WritableCopy(start.path);
  std::vector<wchar_t> args = WritableCopy(command.cmdArgs);
  std::vector<wchar_t> ctrl = WritableCopy(command.ctrlArgs);
  UniqueBstr identity;
  const ULONGLONG startTick = GetTickCount64();
  start.result = context.control->StartSoftwareProcess(name.data(), args.data(), ctrl.data(),
                                                       identity.put());
  start.startMs = static_cast<DWORD>(GetTickCount64() - startTick);
  if (identity.get()) start.identity = identity.get();
  if (SUCCEEDED(start.result)) start.processId = ProcessIdIn(start.identity);
  // Opened at once: the module lists the program it launched, so its id
  // cannot have passed to another process yet, and this handle keeps it so.
  const ProcessProbe program =
      start.processId != 0 ? ProcessProbe(start.processId, PROCESS_TERMINATE) : ProcessProbe();
  report.Add(JudgeStart(start, context.messages));
  if (FAILED(start.result) || start.processId == 0) return report.Verdict(interrupt.happened());

  RealtimeTable table;
  EntryFacts entry;
  entry.waitMs = waitMs;
  entry.tableCreated = table.Create();
  if (SUCCEEDED(entry.tableCreated)) {
    auto progress = Progress(context, L"waiting for " + start.identity + L" in the table");
    entry = AwaitTableEntry(table, start, program, waitMs, startTick, interrupt.event());
  }
  if (!interrupt.happened()) report.Add(JudgeTableEntry(start, entry, context.messages));
  const bool entered = entry.entered && entry.tableProcessId == start.processId;
  const DWORD pid = start.processId;
  if (entered && !interrupt.happened()) {
    report.Add(JudgeShutdownEvent(pid, ReadShutdownEvent(table, pid), context.messages));
    long timeoutMs = 0;
    const HRESULT timeout = table.ShutdownTimeoutOf(pid, &timeoutMs);
    report.Add(JudgeShutdownTimeout(timeout, timeoutMs, context.messages));
  }
  if (program.Now() == Presence::kEnded) {
    // Nothing left to stop. One that never entered the table was judged so;
    // an interruption reaches a program on velmoractl's console too.
    DWORD exitCode = 0;
    if (!entry.exited && !interrupt.happened() && program.ExitCode(&exitCode)) {
      report.Add(JudgeExitBeforeStop(exitCode));
    }
    return report.Verdict(interrupt.happened());
  }
  if (entered && !interrupt.happened()) {
    DWORD ageMs = 0;
    const HRESULT heartbeat = table.HeartbeatAgeOf(pid, &ageMs);
    report.Add(JudgeHeartbeat(heartbeat, ageMs, context.messages));
  }

  // An interruption before this point asked for the stop that follows; only
  // one during it ends the program by force.
  WaitForSingleObject(interrupt.event(), 0);
  const int interruptions = interrupt.count();
  StopFacts stop;
  {
    auto progress = Progress(context, L"stopping " + start.identity + L" through the module");
    stop = StopThroughModule(context.control, start.identity, program, waitMs, interrupt.event());
  }
  stop.interrupted = interrupt.count() != interruptions;
  report.Add(JudgeStop(stop, waitMs, context.messages));
  return report.Verdict(interrupt.happened());
}
