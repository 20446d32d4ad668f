// Entry point and exports of Velmora.dll.
#include <windows.h>
#include <objbase.h>

#include "logging/LoggerClient.h"
#include "module/ModuleRecord.h"
#include "module/ObjectMap.h"

namespace {

// The type library declares the all-zero library id.
constexpr GUID kLibraryId = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Set after the one-time logging set-up of the first class-object request.
// Never retried, also when the set-up found no logging library.
bool g_loggingInitialized = false;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleInit(g_module, g_objectMap, instance, kLibraryId);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    ModuleTerm(g_module);
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* result) {
  if (!g_loggingInitialized) {
    InitializeModuleLogging();
    g_loggingInitialized = true;
  }
  return ModuleGetClassObject(g_module, clsid, iid, result);
}

STDAPI DllRegisterServer() { return ModuleRegisterServer(g_module, /*clsid=*/nullptr); }

STDAPI DllUnregisterServer() { return ModuleUnregisterServer(g_module, /*clsid=*/nullptr); }
