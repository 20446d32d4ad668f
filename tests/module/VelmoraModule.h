#pragma once
// Velmora.dll from the build's bin folder, loaded into the test process with
// its four exports resolved, and the class's fixed names.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "Velmora.h"
#include "win32/Owners.h"

inline constexpr wchar_t kProgId[] = L"Oxlume.SoftwareProcessControlManagerObject.1";
inline constexpr wchar_t kVersionIndependentProgId[] = L"Oxlume.ZandrelObj";
inline constexpr wchar_t kClsidText[] = L"{69767865-33E1-11D3-87E7-00A0C982C01C}";
inline constexpr wchar_t kClassKey[] = L"CLSID\\{69767865-33E1-11D3-87E7-00A0C982C01C}";
inline constexpr wchar_t kDescription[] = L"Implements the CSoftwareProcessCotrolManagerj class.";

// Full path of a file beside the test executable.
inline std::wstring BesideTestExecutable(const wchar_t* fileName) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path);
  return result.substr(0, result.rfind(L'\\') + 1) + fileName;
}

class VelmoraModule {
 public:
  using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using RegisterFn = HRESULT(STDAPICALLTYPE*)();

  VelmoraModule() : path_(BesideTestExecutable(L"Velmora.dll")) {
    module_.reset(LoadLibraryW(path_.c_str()));
    if (!module_) return;
    canUnloadNow = Resolve<CanUnloadNowFn>("DllCanUnloadNow");
    getClassObject = Resolve<GetClassObjectFn>("DllGetClassObject");
    registerServer = Resolve<RegisterFn>("DllRegisterServer");
    unregisterServer = Resolve<RegisterFn>("DllUnregisterServer");
  }
  bool Loaded() const {
    return module_ && canUnloadNow && getClassObject && registerServer &&
           unregisterServer;
  }
  HMODULE handle() const { return module_.get(); }
  const std::wstring& path() const { return path_; }
  // The file name as the module itself reports it (what registration writes).
  std::wstring LoadedFileName() const {
    wchar_t name[MAX_PATH] = L"";
    GetModuleFileNameW(module_.get(), name, MAX_PATH);
    return name;
  }

  CanUnloadNowFn canUnloadNow = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  RegisterFn registerServer = nullptr;
  RegisterFn unregisterServer = nullptr;

 private:
  template <class Fn>
  Fn Resolve(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
  }

  std::wstring path_;
  UniqueModule module_;
};
