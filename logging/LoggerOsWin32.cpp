// Binds the logging client's seam to the real Win32 calls.
#include "logging/LoggerOs.h"
#include "win32/NoDestructor.h"

// The linker's symbol for the base of the image that holds this code: the
// DLL's own handle inside Velmora.dll, the executable's in a test program.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

class Win32LoggerOs final : public LoggerOs {
 public:
  LSTATUS RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD options,
                        REGSAM access, HKEY* key) override {
    return ::RegOpenKeyExW(root, subKey, options, access, key);
  }
  LSTATUS RegQueryValueExW(HKEY key, const wchar_t* name, DWORD* type, BYTE* data,
                           DWORD* bytes) override {
    return ::RegQueryValueExW(key, name, /*lpReserved=*/nullptr, type, data, bytes);
  }
  LSTATUS RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
  HMODULE LoadLibraryW(const wchar_t* path) override { return ::LoadLibraryW(path); }
  HMODULE LoadLibraryExW(const wchar_t* name, DWORD flags, DWORD* error) override {
    HMODULE module = ::LoadLibraryExW(name, /*hFile=*/nullptr, flags);
    if (!module) *error = ::GetLastError();
    return module;
  }
  UINT GetSystemDirectoryW(wchar_t* path, UINT chars) override {
    return ::GetSystemDirectoryW(path, chars);
  }
  FARPROC GetProcAddress(HMODULE module, const char* name) override {
    return ::GetProcAddress(module, name);
  }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
  HMODULE OwnModule() override { return reinterpret_cast<HMODULE>(&__ImageBase); }
  DWORD GetModuleFileNameW(HMODULE module, wchar_t* path, DWORD chars) override {
    return ::GetModuleFileNameW(module, path, chars);
  }
  HANDLE FindFirstFileW(const wchar_t* path, WIN32_FIND_DATAW* found) override {
    return ::FindFirstFileW(path, found);
  }
  BOOL FindClose(HANDLE find) override { return ::FindClose(find); }
};

}  // namespace

LoggerOs& SystemLoggerOs() {
  static NoDestructor<Win32LoggerOs> os;
  return *os;
}
