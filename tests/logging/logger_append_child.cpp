// Child program of the logging tests: writes <count> long lines through the
// logging client, so that several processes append to one log file at once.
#include <stdlib.h>

#include <string>

#include "logging/LoggerClient.h"

int wmain(int argc, wchar_t** argv) {
  const int count = argc > 1 ? _wtoi(argv[1]) : 0;
  const std::wstring filler(3000, L'a' + static_cast<wchar_t>(GetCurrentProcessId() % 26));
  for (int i = 0; i < count; ++i) LOG_ERROR(L"line %d %s end", i, filler.c_str());
  return LoggerClient::Instance().EnsureConnected() ? 0 : 1;
}
