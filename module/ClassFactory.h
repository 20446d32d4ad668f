#pragma once
// The class object of the module's class: creates control objects through
// the instance creator of its object-map entry.
//
// The object map keeps one reference for the life of the module. That
// reference must not keep the module loaded, so the module lock count moves
// only when clients hold it: up when the count becomes 2, down when it falls
// back to 1. The test and the change happen under the object's own critical
// section.
#include <windows.h>
#include <unknwn.h>

#include "module/ObjectMap.h"

class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(InstanceCreatorFn createInstance);
  virtual ~ClassFactory();

  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  // IUnknown: IUnknown and IClassFactory only.
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IClassFactory
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  LONG m_refCount;
  CRITICAL_SECTION m_critsec;
  InstanceCreatorFn m_createInstance;
};

// The object map's class-object creator: a new ClassFactory answering iid.
HRESULT WINAPI CreateClassFactory(InstanceCreatorFn createInstance, REFIID iid, void** result);
