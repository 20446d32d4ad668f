#include "module/ClassFactory.h"

#include <memory>
#include <new>

#include "module/InterfaceMap.h"
#include "module/ModuleRecord.h"
#include "win32/CallNoThrow.h"
#include "win32/LockGuard.h"

namespace {

const InterfaceMapEntry kClassFactoryMap[] = {
    {&IID_IClassFactory, 0},  // IClassFactory is the object's only base
    {nullptr, 0},
};

}  // namespace

ClassFactory::ClassFactory(InstanceCreatorFn createInstance)
    : m_refCount(0), m_createInstance(createInstance) {
  InitializeCriticalSection(&m_critsec);
}

ClassFactory::~ClassFactory() { DeleteCriticalSection(&m_critsec); }

// Every method from outside runs through CallNoThrow, except AddRef and
// Release: a count under the critical section and a delete, nothing that
// can throw.
STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** result) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    return InternalQueryInterface(this, kClassFactoryMap, iid, result);
  });
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
  LockGuard lock(m_critsec);
  const LONG count = ++m_refCount;
  if (count == 2) ModuleLock();
  return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
  LONG count = 0;
  {
    LockGuard lock(m_critsec);
    count = --m_refCount;
    if (count == 1) ModuleUnlock();
  }
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** result) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    // Aggregation hands the outer object the inner unknown, nothing else.
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return m_createInstance(outer, iid, result);
  });
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (lock)
      ModuleLock();
    else
      ModuleUnlock();
    return S_OK;
  });
}

HRESULT WINAPI CreateClassFactory(InstanceCreatorFn createInstance, REFIID iid, void** result) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    std::unique_ptr<ClassFactory> factory(new (std::nothrow) ClassFactory(createInstance));
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, result);
    if (SUCCEEDED(hr)) factory.release();  // now held by its reference
    return hr;
  });
}
