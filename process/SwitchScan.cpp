// The scan of the process-control switches.
#include "process/SwitchScan.h"

namespace {

// Reads the three values after a "u" switch whose name ends at nameEnd (a
// space or the end). Values are separated by single spaces: two spaces in a
// row make an empty value. Fewer than three values mark the record incomplete.
void ReadCredentials(std::string_view args, size_t nameEnd, SwitchScanResult& result) {
  std::string_view values[3];
  size_t pos = nameEnd;
  for (std::string_view& value : values) {
    if (pos >= args.size()) {
      result.bCredentialsIncomplete = true;
      return;
    }
    const size_t start = pos + 1;
    size_t end = args.find(' ', start);
    if (end == std::string_view::npos) end = args.size();
    value = args.substr(start, end - start);
    pos = end;
  }
  result.credentials.push_back(SwitchCredentialValues{values[0], values[1], values[2]});
}

}  // namespace

SwitchScanResult ScanSwitches(std::string_view args) {
  SwitchScanResult result;
  size_t cursor = 0;
  for (;;) {
    const size_t switchChar = args.find_first_of("-/", cursor);
    if (switchChar == std::string_view::npos) break;
    size_t nameEnd = args.find(' ', switchChar + 1);
    if (nameEnd == std::string_view::npos) nameEnd = args.size();
    // A name may lie inside a "u" value, so it is compared in place.
    const std::string_view name = args.substr(switchChar + 1, nameEnd - switchChar - 1);
    cursor = nameEnd;

    if (name == "u") {
      ReadCredentials(args, nameEnd, result);
    } else if (name == "con") {
      result.bConsole = true;
    } else if (name == "hiddencon") {
      result.bHiddenConsole = true;
      ++result.hiddenConsoleCount;
    } else if (name == "win") {
      result.bWindow = true;
    }
  }
  return result;
}
