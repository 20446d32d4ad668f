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

// Whether directory names one folder whatever the process's current folder
// and drive: a drive letter, a colon and a separator ("C:\Logger"), or two
// separators (a UNC share "\\server\share", or "\\?\"). Windows takes "/"
// for "\" in both. "logs\lib" and ".\" are relative to the current folder,
// "C:logs" to the current folder of drive C:, and "\logs" to the current
// drive: each names whatever folder the process happens to be in, which the
// host, and whoever starts it, choose.
bool IsFullDirectoryPath(const wchar_t* directory);

// Builds "<directory>\LoggerDLL.dll" into path (kLoggerLibraryPathChars),
// adding the backslash only when the directory does not end in one.
// directory holds the value's data as read into kLoggerLibraryPathChars
// characters; any value type is accepted, so it need not be terminated.
// False, and the bare name "LoggerDLL.dll" is what gets loaded, when the
// directory is empty, is not a full path (IsFullDirectoryPath), fills the
// whole buffer (a value that did not fit the read is treated no
// differently), or is too long for the path to fit.
bool ComposeLoggerLibraryPath(const wchar_t* directory, wchar_t* path);
