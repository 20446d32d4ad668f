#pragma once
// Scripted registry, loader and file system for the logging client, and a
// scripted logging library whose entry points record what they are given.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "logging/LoggerOs.h"

struct FakeLibrary {
  // Answers.
  int logStartResult = 1;
  DWORD flags[11] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400};
  bool registerWritesHandle = true;
  int handle = 42;
  DWORD registerDelayMs = 0;
  int setIdentityResult = 1;
  DWORD registerFlagResult = 0x10000;
  int logFlagLogResult = 1;

  // Records, in call order.
  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<int> handles;  // client handle of each call (except registration)
  std::vector<int> flagIndexes;
  std::vector<std::wstring> identities;
  std::vector<std::pair<LONG, std::wstring>> registeredFlags;
  std::vector<std::pair<DWORD, int>> flagLogQueries;  // flag, third argument
  std::vector<std::pair<std::string, std::wstring>> messages;
  std::vector<DWORD> customFlags;
  std::atomic<int> registrations{0};

  int Count(const std::string& name);
};

// The library that the fake loader hands out; set by the test fixture.
extern FakeLibrary* g_fakeLibrary;

class FakeLoggerOs final : public LoggerOs {
 public:
  // Registry.
  bool keyExists = true;
  bool valueExists = true;
  DWORD valueType = REG_SZ;
  std::vector<BYTE> valueData;
  void SetInstallPath(const std::wstring& path);  // REG_SZ, terminator included
  int keyOpens = 0;
  int keyCloses = 0;
  DWORD queryBufferBytes = 0;

  // Loader.
  bool loadSucceeds = true;
  std::set<std::wstring> unloadablePaths;
  // LoadLibraryExW refuses the LOAD_LIBRARY_SEARCH_* flags, as Windows 7
  // without its update, and takes LOAD_WITH_ALTERED_SEARCH_PATH.
  bool searchFlagsRefused = false;
  std::set<std::string> missingExports;
  std::vector<std::wstring> loadedPaths;  // LoadLibraryW and LoadLibraryExW alike
  std::vector<DWORD> loadFlags;           // LoadLibraryExW's flags; 0 for LoadLibraryW
  std::vector<std::string> resolvedNames;
  bool freeSucceeds = true;
  int frees = 0;

  // The host's program file and the system folder.
  std::wstring hostPath = L"C:\\Host\\host.exe";
  std::wstring systemFolder = L"C:\\Windows\\system32";

  // Own module and its file.
  HMODULE ownModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x5a0000));
  HMODULE moduleAsked = nullptr;
  DWORD moduleCharsGiven = 0;
  std::wstring modulePath = L"C:\\Program Files\\Host\\VELMORA.DLL";
  bool findSucceeds = true;
  std::wstring foundName = L"Velmora.dll";
  std::wstring findPathAsked;
  int findCloses = 0;

  LSTATUS RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD options, REGSAM access,
                        HKEY* key) override;
  LSTATUS RegQueryValueExW(HKEY key, const wchar_t* name, DWORD* type, BYTE* data,
                           DWORD* bytes) override;
  LSTATUS RegCloseKey(HKEY key) override;
  HMODULE LoadLibraryW(const wchar_t* path) override;
  HMODULE LoadLibraryExW(const wchar_t* name, DWORD flags, DWORD* error) override;
  UINT GetSystemDirectoryW(wchar_t* path, UINT chars) override;
  FARPROC GetProcAddress(HMODULE module, const char* name) override;
  BOOL FreeLibrary(HMODULE module) override;
  HMODULE OwnModule() override { return ownModule; }
  DWORD GetModuleFileNameW(HMODULE module, wchar_t* path, DWORD chars) override;
  HANDLE FindFirstFileW(const wchar_t* path, WIN32_FIND_DATAW* found) override;
  BOOL FindClose(HANDLE find) override;
};
