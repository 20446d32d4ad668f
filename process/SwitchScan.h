#pragma once
// The scan of the process-control switches, on the 8-bit text of the system
// code page. Pure string work with no operating-system dependency, so that it
// can be exercised on its own (also by a native fuzzer); the launcher maps the
// result onto its start-up record, creation flags and credentials.
//
// The scan copies nothing out of the text: a "u" switch carries a password,
// and every copy would be one more to wipe. Its values are views into the
// scanned text, which must outlive the result.
#include <string_view>
#include <vector>

// The three values that followed one complete "u" switch, as given (an
// empty value is a value: two spaces in a row make one).
struct SwitchCredentialValues {
  std::string_view domain;
  std::string_view userName;
  std::string_view password;
};

struct SwitchScanResult {
  bool bConsole = false;        // "con" seen
  bool bHiddenConsole = false;  // "hiddencon" seen
  bool bWindow = false;         // "win" seen
  // How often "hiddencon" was seen; the launcher traces each occurrence.
  int hiddenConsoleCount = 0;
  // Every "u" switch that had three values, in the order given; the last
  // one names the account.
  std::vector<SwitchCredentialValues> credentials;
  // Some "u" switch had fewer than three values.
  bool bCredentialsIncomplete = false;
};

// Scans |args| (already lower-cased by the caller). A switch is a '-' or '/'
// followed by a name that ends at the next space or the end of the text; the
// scan resumes right after each name, also after "u", so a switch character
// inside a "u" value starts a new switch there. Unknown names are ignored.
SwitchScanResult ScanSwitches(std::string_view args);
