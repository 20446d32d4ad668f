#include "logging/LoggerLibraryPath.h"

#include <cwchar>

bool ComposeLoggerLibraryPath(const wchar_t* directory, wchar_t* path) {
  const size_t length = wcsnlen(directory, kLoggerLibraryPathChars);
  if (length == 0 || length == kLoggerLibraryPathChars) return false;
  const bool addSeparator = directory[length - 1] != L'\\';
  const size_t fileChars = sizeof(kLoggerLibraryFileName) / sizeof(wchar_t) - 1;
  if (length + (addSeparator ? 1 : 0) + fileChars + 1 > kLoggerLibraryPathChars) return false;
  wmemcpy(path, directory, length);
  path[length] = L'\0';
  if (addSeparator) wcscat(path, L"\\");
  wcscat(path, kLoggerLibraryFileName);
  return true;
}
