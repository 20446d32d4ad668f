#pragma once
// Where the module finds the host's logging library: the registry value that
// names its folder, and the file in that folder. The logging client and
// velmoractl's doctor share this, so the doctor names the very file that the
// module loads.
#include <windows.h>

inline constexpr wchar_t kLoggerKey[] = L"SOFTWARE\\Meridax\\Framework\\Logger";
inline constexpr wchar_t kLoggerInstallPathValue[] = L"InstallPath";
inline constexpr wchar_t kLoggerLibraryFileName[] = L"LoggerDLL.dll";
// "InstallPath" is read into 522 bytes, and the library path is built in as
// many characters: a directory and file name that fit in MAX_PATH.
inline constexpr DWORD kLoggerLibraryPathChars = 261;

// Builds "<directory>\LoggerDLL.dll" into path (kLoggerLibraryPathChars),
// adding the backslash only when the directory does not end in one.
// directory holds the value's data as read into kLoggerLibraryPathChars
// characters; any value type is accepted, so it need not be terminated.
// False, and the bare name "LoggerDLL.dll" is what gets loaded, when the
// directory is empty, fills the whole buffer (a value that did not fit the
// read is treated no differently), or is too long for the path to fit.
bool ComposeLoggerLibraryPath(const wchar_t* directory, wchar_t* path);
