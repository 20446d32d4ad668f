#pragma once
// Ctrl+C, Ctrl+Break or the console closing while check-app runs. velmoractl
// would otherwise end at once and leave behind the program it started; with
// this in place the check notices, stops the program through the module (by
// force where needed), says so, and only then ends.
#include <windows.h>

class ConsoleInterrupt {
 public:
  // Catches the console's control events until destroyed. One at a time.
  ConsoleInterrupt();
  // Stops catching them; a console close that waits for the check goes on.
  ~ConsoleInterrupt();
  ConsoleInterrupt(const ConsoleInterrupt&) = delete;
  ConsoleInterrupt& operator=(const ConsoleInterrupt&) = delete;

  // Set once for each interruption (auto-reset): a wait on it consumes it,
  // so a second Ctrl+C during the stop is a second, later signal.
  HANDLE event() const;
  // Whether any interruption came since this object was made.
  bool happened() const { return count() > 0; }
  // How many came.
  int count() const;
};
