// Entry points of HostStandins.dll, the in-process server of the host's
// realtime process table and administrator account store stand-ins.
#include <windows.h>
#include <olectl.h>

#include "Velmora.h"
#include "host/standins/AdminAccountInfo.h"
#include "host/standins/ProcessTable.h"
#include "host/standins/RealtimeClerk.h"
#include "host/standins/Registration.h"
#include "host/standins/ServerModule.h"

namespace {

struct ServedClass {
  velmora_host::ClassRegistration registration;
  velmora_host::CreateObjectFn create;
};

const ServedClass kServedClasses[] = {
    {{&CLSID_ProcessRealtimeClerkObject, L"ProcessRealtimeClerk Class"},
     &velmora_host::ProcessRealtimeClerkObject::Create},
    {{&CLSID_CAdminAccountInfo, L"CAdminAccountInfo Class"},
     &velmora_host::CAdminAccountInfo::Create},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    velmora_host::SetServerModuleHandle(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary: no object is left. At process exit the
    // system reclaims the view and handles.
    velmora_host::CloseProcessTable();
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return velmora_host::ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const ServedClass& served : kServedClasses) {
    if (*served.registration.clsid == clsid) {
      return velmora_host::CreateClassFactory(served.create, iid, object);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(velmora_host::ServerModuleHandle(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  for (const ServedClass& served : kServedClasses) {
    const HRESULT hr = velmora_host::RegisterInprocClass(served.registration, path);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  HRESULT result = S_OK;
  for (const ServedClass& served : kServedClasses) {
    const HRESULT hr = velmora_host::UnregisterInprocClass(served.registration);
    if (FAILED(hr)) result = hr;
  }
  return result;
}
