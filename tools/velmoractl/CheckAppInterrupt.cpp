#include "tools/velmoractl/CheckAppInterrupt.h"

#include <atomic>

#include "win32/NoDestructor.h"
#include "win32/Owners.h"

namespace {

// How long a closing console is held open for the check to stop its program:
// the system ends the process once the handler returns, and waits about five
// seconds for it at most.
constexpr DWORD kCloseGraceMs = 4000;

// Lives as long as the process: the system runs the handler on a thread of
// its own, which may still be inside it while the check ends.
struct InterruptState {
  UniqueHandle interrupted{CreateEventW(nullptr, /*bManualReset=*/FALSE, FALSE, nullptr)};
  UniqueHandle finished{CreateEventW(nullptr, /*bManualReset=*/TRUE, FALSE, nullptr)};
  std::atomic<int> count{0};
  std::atomic<bool> watching{false};
};

InterruptState& State() {
  static NoDestructor<InterruptState> state;
  return *state;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  InterruptState& state = State();
  if (!state.watching) return FALSE;
  ++state.count;
  SetEvent(state.interrupted.get());
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
  // Closing, logoff or shutdown: the process ends when this returns.
  WaitForSingleObject(state.finished.get(), kCloseGraceMs);
  return TRUE;
}

}  // namespace

ConsoleInterrupt::ConsoleInterrupt() {
  InterruptState& state = State();
  state.count = 0;
  ResetEvent(state.interrupted.get());
  ResetEvent(state.finished.get());
  state.watching = true;
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

ConsoleInterrupt::~ConsoleInterrupt() {
  InterruptState& state = State();
  SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
  state.watching = false;
  SetEvent(state.finished.get());
}

HANDLE ConsoleInterrupt::event() const { return State().interrupted.get(); }

int ConsoleInterrupt::count() const { return State().count; }
