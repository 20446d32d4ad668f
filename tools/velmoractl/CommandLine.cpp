#include "tools/velmoractl/CommandLine.h"

#include <cwchar>
#include <cerrno>
#include <climits>
#include <utility>

namespace {

struct VerbName {
  const wchar_t* name;
  Verb verb;
};

// "query" is accepted beside "status" for people used to the service tool.
constexpr VerbName kVerbs[] = {
    {L"start", Verb::kStart},       {L"stop", Verb::kStop},
    {L"restart", Verb::kRestart},   {L"pause", Verb::kPause},
    {L"continue", Verb::kContinue}, {L"status", Verb::kStatus},
    {L"query", Verb::kStatus},      {L"doctor", Verb::kDoctor},
    {L"check-app", Verb::kCheckApp},
    {L"help", Verb::kHelp},
    {L"--help", Verb::kHelp},       {L"-h", Verb::kHelp},
    {L"/?", Verb::kHelp},
};

constexpr wchar_t kServiceSwitch[] = L"-service";
// The module takes this spelling of the switch too.
constexpr wchar_t kSlashServiceSwitch[] = L"/service";

bool Fail(std::wstring* error, std::wstring reason) {
  *error = std::move(reason);
  return false;
}

bool FindVerb(const wchar_t* text, Verb* verb) {
  for (const VerbName& entry : kVerbs) {
    if (wcscmp(entry.name, text) == 0) {
      *verb = entry.verb;
      return true;
    }
  }
  return false;
}

// Takes the value of an option that needs one; false when it is missing.
bool TakeValue(int argc, const wchar_t* const* argv, int* index, std::wstring* value) {
  if (*index + 1 >= argc) return false;
  *value = argv[++*index];
  return true;
}

}  // namespace

bool ParseMilliseconds(const std::wstring& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  wchar_t* end = nullptr;
  long long parsed = wcstoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != L'\0') return false;
  // long is 32 bits on Windows for both pointer sizes; the interface takes a long.
  if (parsed < LONG_MIN || parsed > LONG_MAX) return false;
  *value = static_cast<long>(parsed);
  return true;
}

bool ParseCommandLine(int argc, const wchar_t* const* argv, Command* command,
                      std::wstring* error) {
  *command = Command{};
  if (argc < 2) return Fail(error, L"missing verb");
  if (!FindVerb(argv[1], &command->verb)) {
    return Fail(error, std::wstring(L"unknown verb: ") + argv[1]);
  }
  if (command->verb == Verb::kHelp) {
    return argc == 2 || Fail(error, L"help takes no arguments");
  }
  if (command->verb == Verb::kDoctor) {
    for (int i = 2; i < argc; ++i) {
      if (wcscmp(argv[i], L"--quiet") != 0) {
        return Fail(error, std::wstring(L"doctor takes only --quiet: ") + argv[i]);
      }
      command->quiet = true;
    }
    return true;
  }

  bool haveTarget = false;
  bool serviceSwitch = false;
  const bool isCheckApp = command->verb == Verb::kCheckApp;
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool isStart = command->verb == Verb::kStart;
    const bool launches = isStart || isCheckApp;
    if (arg == L"--args" && launches) {
      if (!TakeValue(argc, argv, &i, &command->cmdArgs)) return Fail(error, L"--args needs a value");
    } else if (arg == L"--ctrl" && launches) {
      if (!TakeValue(argc, argv, &i, &command->ctrlArgs)) return Fail(error, L"--ctrl needs a value");
    } else if (arg == L"--wait" && isCheckApp) {
      std::wstring value;
      if (!TakeValue(argc, argv, &i, &value)) return Fail(error, L"--wait needs a value");
      if (!ParseMilliseconds(value, &command->waitMs) || command->waitMs < 0) {
        return Fail(error, L"--wait takes a whole number of milliseconds, 0 or more: " + value);
      }
    } else if (arg == L"--service" && isStart) {
      serviceSwitch = true;
    } else if (arg == L"--timeout" && command->verb == Verb::kStop) {
      std::wstring value;
      if (!TakeValue(argc, argv, &i, &value)) return Fail(error, L"--timeout needs a value");
      if (!ParseMilliseconds(value, &command->timeoutMs)) {
        return Fail(error, L"--timeout takes a whole number of milliseconds: " + value);
      }
    } else if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) {
      return Fail(error, L"unknown option for this verb: " + arg);
    } else if (!haveTarget) {
      command->target = arg;
      haveTarget = true;
    } else {
      return Fail(error, L"unexpected argument: " + arg);
    }
  }
  if (!haveTarget || command->target.empty()) {
    if (isCheckApp) return Fail(error, L"missing executable");
    return Fail(error, command->verb == Verb::kStart ? L"missing executable or service name"
                                                     : L"missing identity");
  }
  // The module would take the program for a service: check-app checks programs.
  if (isCheckApp && IsServiceStart(command->ctrlArgs)) {
    return Fail(error, L"check-app checks programs, not services: --ctrl holds a service switch");
  }
  if (serviceSwitch) {
    if (!command->ctrlArgs.empty()) command->ctrlArgs += L' ';
    command->ctrlArgs += kServiceSwitch;
  }
  return true;
}

bool IsServiceStart(const std::wstring& ctrlArgs) {
  std::wstring lowered = ctrlArgs;
  for (wchar_t& c : lowered) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lowered.find(kServiceSwitch) != std::wstring::npos ||
         lowered.find(kSlashServiceSwitch) != std::wstring::npos;
}

const wchar_t* UsageText() {
  return L"usage: velmoractl <verb> <target> [options]\n"
         L"  start <exe-or-service> [--args \"...\"] [--ctrl \"...\"] [--service]\n"
         L"        prints the identity (Process_<pid> or the service name);\n"
         L"        --service (or --ctrl \"-service\") starts a Windows service\n"
         L"  stop <identity> [--timeout ms]   graceful stop, forced when it fails\n"
         L"  restart <identity>\n"
         L"  pause <identity>\n"
         L"  continue <identity>\n"
         L"  status <identity>                (also: query)\n"
         L"  doctor [--quiet]                 checks what the module needs around it;\n"
         L"        --quiet prints only warnings and failures\n"
         L"  check-app [--wait ms] [--ctrl \"...\"] <exe> [--args \"...\"]\n"
         L"        starts the program through the module, follows it through the\n"
         L"        shutdown contract (one ok/warn/fail line per clause) and stops it;\n"
         L"        --wait bounds each wait for the program (default 30000)\n"
         L"exit code: 0 success, 1 failure, 2 bad usage\n";
}
