#pragma once
// The two wrappers in which an object class T (derived from its interfaces
// and ComObjectRoot, with FinalConstruct, FinalRelease and GetInterfaceMap)
// is handed to clients, and the creator that picks one.
//
// Every live wrapper holds one module lock, so DllCanUnloadNow answers S_FALSE
// while a client holds any object. Destruction runs FinalRelease, gives the
// lock back, then the root deletes the object's critical section.
//
// No exception leaves a wrapper: QueryInterface and the creation run through
// CallNoThrow; AddRef and Release are interlocked counts and a delete, whose
// destructors are noexcept and do nothing that can throw.
#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <new>
#include <utility>

#include "module/InterfaceMap.h"
#include "module/ModuleRecord.h"
#include "win32/CallNoThrow.h"

// Stand-alone object: its own reference count answers AddRef and Release.
template <class T>
class ComObject : public T {
 public:
  // args are T's own constructor arguments.
  template <class... Args>
  explicit ComObject(Args&&... args) : T(std::forward<Args>(args)...) {
    ModuleLock();
  }
  ~ComObject() override {
    this->StabilizeForDestruction();
    this->FinalRelease();
    ModuleUnlock();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
      return InternalQueryInterface(static_cast<T*>(this), T::GetInterfaceMap(), iid, result);
    });
  }
  STDMETHODIMP_(ULONG) AddRef() override { return this->InternalAddRef(); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) delete this;
    return count;
  }
};

// The object inside an aggregate: its interfaces' IUnknown methods belong to
// the outer object. QueryInterface asks the outer object first and falls back
// on the object's own map only when that fails and the outer object is not
// this object itself (which would recurse).
template <class T>
class ComContainedObject : public T {
 public:
  template <class... Args>
  explicit ComContainedObject(IUnknown* outer, Args&&... args)
      : T(std::forward<Args>(args)...), m_outer(outer) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
      HRESULT hr = m_outer->QueryInterface(iid, result);
      if (FAILED(hr) && RawUnknown() != m_outer) hr = InternalQueryInterface(iid, result);
      return hr;
    });
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }

  HRESULT InternalQueryInterface(REFIID iid, void** result) {
    return ::InternalQueryInterface(static_cast<T*>(this), T::GetInterfaceMap(), iid, result);
  }

 private:
  IUnknown* RawUnknown() {
    const InterfaceMapEntry* map = T::GetInterfaceMap();
    return reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(static_cast<T*>(this)) +
                                       map->offset);
  }

  IUnknown* m_outer;  // not AddRef'd: the outer object owns this one
};

// Aggregated object: this is the inner, non-delegating unknown that the outer
// object holds; the interfaces live in m_contained.
template <class T>
class ComAggObject : public IUnknown {
 public:
  template <class... Args>
  explicit ComAggObject(IUnknown* outer, Args&&... args)
      : m_refCount(0), m_contained(outer, std::forward<Args>(args)...) {
    ModuleLock();
  }
  virtual ~ComAggObject() {
    m_refCount = -(LONG_MAX / 2);
    m_contained.FinalRelease();
    ModuleUnlock();
  }

  ComAggObject(const ComAggObject&) = delete;
  ComAggObject& operator=(const ComAggObject&) = delete;

  HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }
  ULONG InternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }
  ULONG InternalRelease() { return static_cast<ULONG>(InterlockedDecrement(&m_refCount)); }

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
      if (result == nullptr) return E_POINTER;
      *result = nullptr;
      if (IsEqualIID(iid, IID_IUnknown)) {
        *result = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      return m_contained.InternalQueryInterface(iid, result);
    });
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG count = static_cast<ULONG>(InterlockedDecrement(&m_refCount));
    if (count == 0) delete this;
    return count;
  }

 private:
  volatile LONG m_refCount;
  ComContainedObject<T> m_contained;
};

// Runs FinalConstruct with one reference held (so an AddRef/Release pair
// inside it cannot destroy the object), then asks for the interface. The
// object is owned here until that succeeded: on any other result, or an
// exception, it is destroyed, which runs FinalRelease on whatever
// FinalConstruct had built.
template <class Object>
HRESULT FinishCreation(std::unique_ptr<Object> object, REFIID iid, void** result) {
  object->InternalAddRef();
  HRESULT hr = object->FinalConstruct();
  object->InternalRelease();
  if (hr == S_OK) hr = object->QueryInterface(iid, result);
  if (hr == S_OK) object.release();  // now held by the reference just handed out
  return hr;
}

// Creates a T from args, plain when outer is null, else aggregated. Reached
// from the class factory: no exception leaves it.
template <class T, class... Args>
HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** result, Args&&... args) {
  return CallNoThrow(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;

    if (outer == nullptr) {
      std::unique_ptr<ComObject<T>> object(new (std::nothrow)
                                               ComObject<T>(std::forward<Args>(args)...));
      if (!object) return E_OUTOFMEMORY;
      return FinishCreation(std::move(object), iid, result);
    }

    std::unique_ptr<ComAggObject<T>> object(
        new (std::nothrow) ComAggObject<T>(outer, std::forward<Args>(args)...));
    if (!object) return E_OUTOFMEMORY;
    return FinishCreation(std::move(object), iid, result);
  });
}
