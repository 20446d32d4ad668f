#include "module/ModuleRecord.h"

#include "module/ObjectMap.h"
#include "win32/LockGuard.h"

ModuleRecord g_module = {};

namespace {

bool Matches(const ObjectMapEntry& entry, const CLSID* clsid) {
  return clsid == nullptr || IsEqualCLSID(*entry.clsid, *clsid);
}

}  // namespace

void ModuleInit(ModuleRecord& module, ObjectMapEntry* objectMap, HINSTANCE instance,
                const GUID& libId) {
  module.instance = instance;
  module.objectMap = objectMap;
  module.lockCount = 0;
  module.libId = libId;
  InitializeCriticalSection(&module.objectMapLock);
  for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->clsid != nullptr; ++entry)
    entry->objectMain(true);
}

void ModuleTerm(ModuleRecord& module) {
  for (ObjectMapEntry* entry = module.objectMap; entry != nullptr && entry->clsid != nullptr;
       ++entry) {
    if (entry->classObject != nullptr) {
      IUnknown* classObject = entry->classObject;
      entry->classObject = nullptr;
      classObject->Release();
    }
    entry->objectMain(false);
  }
  DeleteCriticalSection(&module.objectMapLock);
}

LONG ModuleLock() { return InterlockedIncrement(&g_module.lockCount); }
LONG ModuleUnlock() { return InterlockedDecrement(&g_module.lockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_module.lockCount, 0, 0); }

HRESULT ModuleGetClassObject(ModuleRecord& module, REFCLSID clsid, REFIID iid, void** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  for (ObjectMapEntry* entry = module.objectMap; entry != nullptr && entry->clsid != nullptr;
       ++entry) {
    if (!IsEqualCLSID(*entry->clsid, clsid)) continue;
    HRESULT hr = S_OK;
    IUnknown* classObject = nullptr;
    {
      LockGuard lock(module.objectMapLock);
      if (entry->classObject == nullptr) {
        void* created = nullptr;
        hr = entry->createClassObject(entry->createInstance, IID_IUnknown, &created);
        if (SUCCEEDED(hr)) entry->classObject = static_cast<IUnknown*>(created);
      }
      classObject = entry->classObject;
    }
    if (FAILED(hr)) return hr;
    return classObject->QueryInterface(iid, result);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ModuleRegisterServer(ModuleRecord& module, const CLSID* clsid) {
  for (ObjectMapEntry* entry = module.objectMap; entry != nullptr && entry->clsid != nullptr;
       ++entry) {
    if (!Matches(*entry, clsid)) continue;
    const HRESULT hr = entry->updateRegistry(TRUE);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ModuleUnregisterServer(ModuleRecord& module, const CLSID* clsid) {
  for (ObjectMapEntry* entry = module.objectMap; entry != nullptr && entry->clsid != nullptr;
       ++entry) {
    if (!Matches(*entry, clsid)) continue;
    const HRESULT hr = entry->updateRegistry(FALSE);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}
