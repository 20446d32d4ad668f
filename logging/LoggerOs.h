#pragma once
// The operating-system calls of the logging client, behind a narrow seam so
// that tests can script the registry, the loader and the file system.
#include <windows.h>

#include "win32/UniqueAny.h"

class LoggerOs {
 public:
  virtual ~LoggerOs() = default;
  virtual LSTATUS RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD options,
                                REGSAM access, HKEY* key) = 0;
  virtual LSTATUS RegQueryValueExW(HKEY key, const wchar_t* name, DWORD* type,
                                   BYTE* data, DWORD* bytes) = 0;
  virtual LSTATUS RegCloseKey(HKEY key) = 0;
  // A full path, whose imports the loader looks for in the plain search
  // order: only where the system refuses the LOAD_LIBRARY_SEARCH_* flags.
  virtual HMODULE LoadLibraryW(const wchar_t* path) = 0;
  // A bare name or a full path, with LoadLibraryExW's |flags|
  // (LOAD_LIBRARY_SEARCH_*, LOAD_WITH_ALTERED_SEARCH_PATH), which also say
  // where the library's own imports are looked for. On failure *error
  // receives the thread's last error: ERROR_INVALID_PARAMETER where the
  // system does not know the flags.
  virtual HMODULE LoadLibraryExW(const wchar_t* name, DWORD flags, DWORD* error) = 0;
  virtual UINT GetSystemDirectoryW(wchar_t* path, UINT chars) = 0;
  virtual FARPROC GetProcAddress(HMODULE module, const char* name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;
  // The module that contains the client's code (Velmora.dll inside the DLL).
  virtual HMODULE OwnModule() = 0;
  // A null module names the host's program file.
  virtual DWORD GetModuleFileNameW(HMODULE module, wchar_t* path, DWORD chars) = 0;
  virtual HANDLE FindFirstFileW(const wchar_t* path, WIN32_FIND_DATAW* found) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
};

// A registry key and a file search that the seam opened, closed through it.
using OsKey = UniqueAny<CloseThrough<LoggerOs, HKEY, &LoggerOs::RegCloseKey>>;
using OsFind =
    UniqueAny<CloseThrough<LoggerOs, HANDLE, &LoggerOs::FindClose, InvalidHandleValueIsInvalid>>;

// The real calls.
LoggerOs& SystemLoggerOs();
