#pragma once
// Module-wide state of the COM server: instance handle, object map, the lock
// count that DllCanUnloadNow answers by, and the type library's id.
#include <windows.h>
#include <unknwn.h>

struct ObjectMapEntry;

struct ModuleRecord {
  HINSTANCE instance;
  ObjectMapEntry* objectMap;
  volatile LONG lockCount;   // changed only by interlocked operations
  GUID libId;
  // Serialises the first creation of a class object, so that two threads that
  // ask at once cannot both create and cache one.
  CRITICAL_SECTION objectMapLock;
};

extern ModuleRecord g_module;

void ModuleInit(ModuleRecord& module, ObjectMapEntry* objectMap, HINSTANCE instance,
                const GUID& libId);
// Releases the cached class objects and the record's own lock. At module
// unload (FreeLibrary) only: at process exit other threads were killed
// wherever they were, and the system reclaims all of it.
void ModuleTerm(ModuleRecord& module);

LONG ModuleLock();
LONG ModuleUnlock();
LONG ModuleLockCount();

// Looks clsid up in the object map, creates and caches its class object on the
// first request, and asks it for iid. Unknown class: CLASS_E_CLASSNOTAVAILABLE.
HRESULT ModuleGetClassObject(ModuleRecord& module, REFCLSID clsid, REFIID iid, void** result);

// Runs the registration routine of every entry (clsid null) or of the entry of
// clsid, with true or false. The type library is never registered.
HRESULT ModuleRegisterServer(ModuleRecord& module, const CLSID* clsid);
HRESULT ModuleUnregisterServer(ModuleRecord& module, const CLSID* clsid);
