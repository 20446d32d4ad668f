#pragma once
// The client's command line: one verb, one target, a few options.
//
//   velmoractl start <exe-or-service> [--args "..."] [--ctrl "..."] [--service]
//   velmoractl stop <identity> [--timeout ms]
//   velmoractl restart|pause|continue|status <identity>
//   velmoractl doctor [--quiet]
//   velmoractl check-app [--wait ms] [--ctrl "..."] <exe> [--args "..."]
#include <string>

enum class Verb { kHelp, kStart, kStop, kRestart, kPause, kContinue, kStatus, kDoctor, kCheckApp };

// How long check-app waits, by default, for the program to enter the realtime
// table, and for it to exit once its shutdown event is set.
constexpr long kDefaultCheckAppWaitMs = 30000;

struct Command {
  Verb verb = Verb::kHelp;
  std::wstring target;    // executable or service name for start, else the identity
  std::wstring cmdArgs;   // --args: the program's or the service's arguments
  std::wstring ctrlArgs;  // --ctrl: process-control switches; --service appends "-service"
  long timeoutMs = 0;     // --timeout: 0 lets the host's realtime table decide
  long waitMs = kDefaultCheckAppWaitMs;  // check-app --wait
  bool quiet = false;     // doctor --quiet: only warnings and failures
};

// Parses argv[1..]. Returns true with *command filled, or false with a one-line
// reason in *error (the caller prints it with the usage text and exits 2).
bool ParseCommandLine(int argc, const wchar_t* const* argv, Command* command,
                      std::wstring* error);

// Parses a signed decimal millisecond count; rejects empty text, trailing
// characters and values outside the range of a 32-bit long.
bool ParseMilliseconds(const std::wstring& text, long* value);

// True when a start with these process-control arguments goes to the service
// side: "-service" or "/service" anywhere, in any letter case.
bool IsServiceStart(const std::wstring& ctrlArgs);

const wchar_t* UsageText();
