// Feeds arbitrary bytes to the switch scan and checks properties that hold
// for any input without re-implementing the scan: values are space-free
// pieces of the input; a switch takes effect only if its name follows a switch
// character somewhere, and always does when it stands as a word of its own
// (a name never spans a space, so the scan cannot jump over a word start);
// a lone trailing "-u" is incomplete; the scan is deterministic.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "process/SwitchScan.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "switch scan property broken: %s\n", what);
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// A switch character followed directly by |name| and then a space or the end.
bool HasSwitch(const std::string& args, const std::string& name) {
  for (size_t at = args.find_first_of("-/"); at != std::string::npos;
       at = args.find_first_of("-/", at + 1)) {
    if (args.compare(at + 1, name.size(), name) != 0) continue;
    const size_t end = at + 1 + name.size();
    if (end == args.size() || args[end] == ' ') return true;
  }
  return false;
}

// Some space-separated word is exactly a switch character plus |name|.
bool HasSwitchWord(const std::string& args, const std::string& name) {
  size_t start = 0;
  for (;;) {
    size_t end = args.find(' ', start);
    if (end == std::string::npos) end = args.size();
    if (end - start == name.size() + 1 && (args[start] == '-' || args[start] == '/') &&
        args.compare(start + 1, name.size(), name) == 0) {
      return true;
    }
    if (end == args.size()) return false;
    start = end + 1;
  }
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

void CheckValue(const std::string& args, std::string_view value) {
  Check(value.find(' ') == std::string_view::npos, "a value contains a space");
  Check(value.size() <= args.size(), "a value is longer than the input");
  Check(args.find(value) != std::string::npos, "a value is not a piece of the input");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The launcher hands over a C string, so the text ends at the first NUL.
  std::string args(reinterpret_cast<const char*>(data), size);
  args.resize(args.find('\0') == std::string::npos ? args.size() : args.find('\0'));

  const SwitchScanResult scan = ScanSwitches(args);

  struct Named {
    bool seen;
    const char* name;
  } const switches[] = {{scan.bConsole, "con"}, {scan.bWindow, "win"},
                        {scan.bHiddenConsole, "hiddencon"}};
  for (const Named& sw : switches) {
    if (sw.seen) Check(HasSwitch(args, sw.name), "a switch took effect without its name");
    if (HasSwitchWord(args, sw.name)) Check(sw.seen, "a switch word took no effect");
  }
  Check(scan.bHiddenConsole == (scan.hiddenConsoleCount > 0), "hiddencon count agrees");
  Check(static_cast<size_t>(scan.hiddenConsoleCount) <= Count(args, "hiddencon"),
        "more hiddencon traces than occurrences");

  const bool anyUser = HasSwitch(args, "u");
  Check(anyUser || (scan.credentials.empty() && !scan.bCredentialsIncomplete),
        "credentials without a \"-u\"");
  Check(scan.credentials.size() <= Count(args, "u"), "more accounts than \"u\"s");
  for (const SwitchCredentialValues& values : scan.credentials) {
    CheckValue(args, values.domain);
    CheckValue(args, values.userName);
    CheckValue(args, values.password);
  }
  // A "u" as the last word has no values at all.
  const size_t lastWord = args.rfind(' ') == std::string::npos ? 0 : args.rfind(' ') + 1;
  if (args.size() - lastWord == 2 && (args[lastWord] == '-' || args[lastWord] == '/') &&
      args[lastWord + 1] == 'u') {
    Check(scan.bCredentialsIncomplete, "a trailing \"-u\" is not incomplete");
  }
  if (args.find_first_of("-/") == std::string::npos) {
    Check(!scan.bConsole && !scan.bWindow && !scan.bHiddenConsole &&
              scan.credentials.empty() && !scan.bCredentialsIncomplete,
          "an effect without any switch character");
  }

  const SwitchScanResult again = ScanSwitches(args);
  Check(again.bConsole == scan.bConsole && again.bWindow == scan.bWindow &&
            again.hiddenConsoleCount == scan.hiddenConsoleCount &&
            again.credentials.size() == scan.credentials.size() &&
            again.bCredentialsIncomplete == scan.bCredentialsIncomplete,
        "the scan is not deterministic");
  return 0;
}
