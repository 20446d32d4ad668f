#include "host/standins/ServerModule.h"

#include <new>

namespace velmora_host {
namespace {

LONG g_moduleLocks = 0;
HMODULE g_serverModule = nullptr;

// One factory object per DllGetClassObject call; it counts itself in the
// module count so the DLL stays loaded while a client holds it.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateObjectFn create) : create_(create) { LockModule(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() { UnlockModule(); }

  LONG refs_ = 1;
  CreateObjectFn create_;
};

}  // namespace

void LockModule() { InterlockedIncrement(&g_moduleLocks); }
void UnlockModule() { InterlockedDecrement(&g_moduleLocks); }
bool ModuleInUse() { return InterlockedCompareExchange(&g_moduleLocks, 0, 0) != 0; }

HMODULE ServerModuleHandle() { return g_serverModule; }
void SetServerModuleHandle(HMODULE module) { g_serverModule = module; }

HRESULT CreateClassFactory(CreateObjectFn create, REFIID iid, void** factory) {
  if (!factory) return E_POINTER;
  *factory = nullptr;
  ClassFactory* created = new (std::nothrow) ClassFactory(create);
  if (!created) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(iid, factory);
  created->Release();
  return hr;
}

}  // namespace velmora_host
