// Entry point and exports of Velmora.dll.
#include <windows.h>
#include <objbase.h>

#include "logging/LoggerClient.h"
#include "module/ModuleRecord.h"
#include "module/ObjectMap.h"
#include "process/ProcessListLock.h"
#include "win32/CallNoThrow.h"

namespace {

// The type library declares the all-zero library id.
constexpr GUID kLibraryId = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

}  // namespace

// The image's entry point (set at link time), in front of the C runtime's.
//
// At process exit (DLL_PROCESS_DETACH with a non-null reserved argument)
// ExitProcess has killed the other threads wherever they were, inside a lock
// of this module or of another DLL, and the DLLs loaded after this one, the
// logging library among them, are already detached. mingw-w64's runtime
// would still run its detach there whatever the argument says: it takes
// msvcrt's exit lock, runs the module's exit-time list (atexit functions and
// static destructors) and frees it with msvcrt's free. So at process exit
// neither DllMain nor the runtime's detach runs. The loader still calls the
// image's TLS callbacks itself, without this entry point: mingw-w64's
// thread-key callback enters, leaves and deletes its own critical section,
// and winpthreads' removes its vectored exception handler when the loader
// passes it a null reserved argument, as Wine does. The system reclaims the
// rest. Loading, threads and unloading by FreeLibrary go through the runtime.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI VelmoraDllEntry(HANDLE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) return TRUE;
  return DllMainCRTStartup(instance, reason, reserved);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleInit(g_module, g_objectMap, instance, kLibraryId);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary (CoFreeUnusedLibraries after DllCanUnloadNow
    // said S_OK): no object is left, so the teardown is safe. At process exit
    // (reserved non-null) it takes no lock, calls no other DLL, frees nothing.
    ModuleTerm(g_module);
    ShutdownModuleLogging();
    DeleteProcessListLock();
  }
  return TRUE;
}

// Nothing here can throw.
STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* result) {
  return CallNoThrow(E_OUTOFMEMORY, [&] {
    InitializeModuleLogging();
    return ModuleGetClassObject(g_module, clsid, iid, result);
  });
}

STDAPI DllRegisterServer() {
  return CallNoThrow(E_OUTOFMEMORY,
                     [] { return ModuleRegisterServer(g_module, /*clsid=*/nullptr); });
}

STDAPI DllUnregisterServer() {
  return CallNoThrow(E_OUTOFMEMORY,
                     [] { return ModuleUnregisterServer(g_module, /*clsid=*/nullptr); });
}
