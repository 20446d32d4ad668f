#include "tools/velmoractl/CheckAppStop.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "tools/velmoractl/RealtimeTable.h"
#include "tools/velmoractl/RequestArguments.h"
#include "win32/ComApartment.h"
#include "win32/Owners.h"

namespace {

// How often the watcher reads the heartbeat while the program winds down.
constexpr DWORD kSampleIntervalMs = 250;

// What the watcher saw; written by its thread only, read after it ended.
struct WindDown {
  bool exited = false;
  DWORD exitAfterMs = 0;
  bool heartbeatSeen = false;
  DWORD oldestHeartbeatMs = 0;
  bool leftTable = false;
  ClientEnd clientEnd = ClientEnd::kNone;
};

// Follows the program from the stop request on, on a thread of its own: the
// module's stop blocks the calling thread for as long as it waits.
class WindDownWatch {
 public:
  WindDownWatch(const ProcessProbe& program, DWORD waitMs, HANDLE interrupt)
      : process_(program.handle()),
        processId_(program.processId()),
        waitMs_(waitMs),
        interrupt_(interrupt),
        finish_(CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr)),
        start_(GetTickCount64()),
        thread_([this] { Run(); }) {}
  ~WindDownWatch() { Finish(); }
  WindDownWatch(const WindDownWatch&) = delete;
  WindDownWatch& operator=(const WindDownWatch&) = delete;

  // Ends the watch and hands over what it saw.
  const WindDown& Finish() {
    if (thread_.joinable()) {
      SetEvent(finish_.get());
      thread_.join();
    }
    return seen_;
  }

 private:
  void Run() {
    // The table is read here as the stopper reads it, through an object of
    // this thread's own apartment.
    ComApartment apartment(COINIT_MULTITHREADED);
    RealtimeTable table;
    if (apartment.ok()) table.Create();
    const HANDLE handles[] = {process_, finish_.get(), interrupt_};
    const DWORD count = interrupt_ ? 3 : 2;
    for (;;) {
      Sample(table);
      DWORD wait = kSampleIntervalMs;
      const ULONGLONG elapsed = GetTickCount64() - start_;
      if (seen_.clientEnd == ClientEnd::kNone) {
        if (elapsed >= waitMs_) {
          End(ClientEnd::kWaitPassed);
        } else {
          wait = static_cast<DWORD>(std::min<ULONGLONG>(wait, waitMs_ - elapsed));
        }
      }
      const DWORD which = WaitForMultipleObjects(count, handles, /*bWaitAll=*/FALSE, wait);
      if (which == WAIT_OBJECT_0) {
        seen_.exited = true;
        seen_.exitAfterMs = static_cast<DWORD>(GetTickCount64() - start_);
        return;
      }
      if (which == WAIT_OBJECT_0 + 2) {
        if (seen_.clientEnd == ClientEnd::kNone) End(ClientEnd::kInterrupted);
        continue;
      }
      if (which != WAIT_TIMEOUT) return;  // finished, or the wait itself failed
    }
  }

  void Sample(const RealtimeTable& table) {
    if (!table.created() || seen_.clientEnd != ClientEnd::kNone) return;
    DWORD age = 0;
    if (SUCCEEDED(table.HeartbeatAgeOf(processId_, &age))) {
      seen_.heartbeatSeen = true;
      seen_.oldestHeartbeatMs = std::max(seen_.oldestHeartbeatMs, age);
      return;
    }
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) seen_.leftTable = true;
  }

  void End(ClientEnd why) {
    TerminateProcess(process_, kClientTerminationExitCode);
    seen_.clientEnd = why;
  }

  const HANDLE process_;
  const DWORD processId_;
  const ULONGLONG waitMs_;
  const HANDLE interrupt_;
  UniqueHandle finish_;
  const ULONGLONG start_;
  WindDown seen_;
  std::thread thread_;  // last: starts once everything above is set
};

}  // namespace

StopFacts StopThroughModule(ISoftwareProcessControlManager* control,
                            const std::wstring& identity, const ProcessProbe& program,
                            DWORD waitMs, HANDLE interrupt) {
  StopFacts facts;
  std::vector<wchar_t> name = WritableCopy(identity);
  WindDown seen;
  {
    WindDownWatch watch(program, waitMs, interrupt);
    const ULONGLONG start = GetTickCount64();
    facts.result = control->StopSoftwareProcess(name.data(), /*lShutdownTimeout=*/0,
                                                &facts.forced);
    facts.requestMs = static_cast<DWORD>(GetTickCount64() - start);
    seen = watch.Finish();
  }
  const Presence after = program.Now(kExitGraceMs);
  facts.outcome = ApplicationStopOutcome(facts.result, facts.forced, Presence::kRunning, after);

  // Whatever the module did, the program does not outlive the check.
  if (after != Presence::kEnded) {
    TerminateProcess(program.handle(), kClientTerminationExitCode);
    if (seen.clientEnd == ClientEnd::kNone) seen.clientEnd = ClientEnd::kModuleLeftIt;
    program.Now(kExitGraceMs);
  }
  facts.exited = seen.exited;
  facts.exitAfterMs = seen.exitAfterMs;
  facts.heartbeatSeen = seen.heartbeatSeen;
  facts.oldestHeartbeatMs = seen.oldestHeartbeatMs;
  facts.leftTable = seen.leftTable;
  facts.clientEnd = seen.clientEnd;
  facts.exitCodeKnown = program.ExitCode(&facts.exitCode);
  return facts;
}
