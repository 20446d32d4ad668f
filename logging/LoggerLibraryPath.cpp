#include "logging/LoggerLibraryPath.h"

#include <cwchar>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

// Reads at most three characters, and stops at a terminator.
bool IsFullDirectoryPath(const wchar_t* directory) {
  if (IsSeparator(directory[0])) return IsSeparator(directory[1]);
  return IsDriveLetter(directory[0]) && directory[1] == L':' && IsSeparator(directory[2]);
}

bool ComposeLoggerLibraryPath(const wchar_t* directory, wchar_t* path) {
  const size_t length = wcsnlen(directory, kLoggerLibraryPathChars);
  if (length == 0 || length == kLoggerLibraryPathChars) return false;
  if (!IsFullDirectoryPath(directory)) return false;
  const bool addSeparator = directory[length - 1] != L'\\';
  const size_t fileChars = sizeof(kLoggerLibraryFileName) / sizeof(wchar_t) - 1;
  if (length + (addSeparator ? 1 : 0) + fileChars + 1 > kLoggerLibraryPathChars) return false;
  wmemcpy(path, directory, length);
  path[length] = L'\0';
  if (addSeparator) wcscat(path, L"\\");
  wcscat(path, kLoggerLibraryFileName);
  return true;
}
