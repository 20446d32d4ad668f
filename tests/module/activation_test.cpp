// The module's exports driven directly: lock counting, the cached class
// object, creation rules, aggregation, and activation through COM.
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <thread>

#include "VelmoraModule.h"

namespace {

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.Loaded());
    ASSERT_EQ(module_.getClassObject(CLSID_SoftwareProcessControlManagerObject,
                                     IID_IClassFactory, reinterpret_cast<void**>(&factory_)),
              S_OK);
  }
  void TearDown() override {
    if (factory_ != nullptr) factory_->Release();
  }

  VelmoraModule module_;
  IClassFactory* factory_ = nullptr;
};

TEST_F(ActivationTest, ClassObjectReferencesHoldTheModuleButTheMapsOwnDoesNot) {
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  IClassFactory* second = nullptr;
  ASSERT_EQ(module_.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                                   reinterpret_cast<void**>(&second)),
            S_OK);
  EXPECT_EQ(second, factory_);  // one cached class object
  second->Release();
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  factory_->Release();
  factory_ = nullptr;
  EXPECT_EQ(module_.canUnloadNow(), S_OK);

  // Asking again hands out the same cached object and raises the count again.
  ASSERT_EQ(module_.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IUnknown,
                                   reinterpret_cast<void**>(&factory_)),
            S_OK);
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
}

TEST_F(ActivationTest, ObjectsAndServerLocksHoldTheModule) {
  ISoftwareProcessControlManager* first = nullptr;
  ISoftwareProcessControlManager* second = nullptr;
  ASSERT_EQ(factory_->CreateInstance(nullptr, IID_ISoftwareProcessControlManager,
                                     reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_EQ(factory_->CreateInstance(nullptr, IID_ISoftwareProcessControlManager,
                                     reinterpret_cast<void**>(&second)),
            S_OK);
  factory_->Release();
  factory_ = nullptr;
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  first->Release();
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  second->Release();
  EXPECT_EQ(module_.canUnloadNow(), S_OK);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(module_.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);  // the map still holds it
  EXPECT_EQ(module_.canUnloadNow(), S_OK);
}

TEST_F(ActivationTest, UnknownClassAndInterfaceAreRefused) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(module_.getClassObject(IID_IUnknown, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(module_.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IDispatch,
                                   &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ActivationTest, CreateInstanceChecksItsArguments) {
  EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ISoftwareProcessControlManager, nullptr),
            E_POINTER);

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  IUnknown* unknown = nullptr;
  ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
            S_OK);
  IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
            E_NOINTERFACE);
  EXPECT_EQ(dispatch, nullptr);
  ISoftwareProcessControlManager* manager = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_ISoftwareProcessControlManager,
                                    reinterpret_cast<void**>(&manager)),
            S_OK);
  IUnknown* back = nullptr;
  ASSERT_EQ(manager->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, unknown);  // one identity
  back->Release();
  manager->Release();
  EXPECT_EQ(unknown->Release(), 0u);
}

// An outer object that counts its references and answers only IUnknown and
// one marker interface by itself.
class CountingOuter : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    ++queries;
    *result = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist)) {
      *result = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (inner != nullptr && IsEqualIID(iid, IID_ISoftwareProcessControlManager))
      return inner->QueryInterface(iid, result);
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }

  long refs = 1;
  int queries = 0;
  IUnknown* inner = nullptr;
};

TEST_F(ActivationTest, AggregationGivesInnerUnknownWhoseInterfacesDelegateToTheOuter) {
  CountingOuter outer;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(&outer, IID_ISoftwareProcessControlManager, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);

  ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  EXPECT_EQ(outer.refs, 1);  // the inner unknown does not hold the outer
  EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));
  factory_->Release();
  factory_ = nullptr;
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);

  ISoftwareProcessControlManager* manager = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_ISoftwareProcessControlManager,
                                        reinterpret_cast<void**>(&manager)),
            S_OK);
  EXPECT_EQ(outer.refs, 2);  // the interface's AddRef went to the outer object
  manager->AddRef();
  EXPECT_EQ(outer.refs, 3);
  manager->Release();
  EXPECT_EQ(outer.refs, 2);

  // The interface's QueryInterface asks the outer object first.
  IUnknown* identity = nullptr;
  const int queriesBefore = outer.queries;
  ASSERT_EQ(manager->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, queriesBefore + 1);
  identity->Release();
  IUnknown* persist = nullptr;
  EXPECT_EQ(manager->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
  persist->Release();
  void* dispatch = nullptr;
  EXPECT_EQ(manager->QueryInterface(IID_IDispatch, &dispatch), E_NOINTERFACE);

  manager->Release();
  EXPECT_EQ(outer.refs, 1);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(module_.canUnloadNow(), S_OK);
}

// The work objects create host components through COM, so creation is
// checked from both kinds of apartment, through the registered class.
HRESULT CreateAndCallInApartment(DWORD apartment) {
  HRESULT hr = CoInitializeEx(nullptr, apartment);
  if (FAILED(hr)) return hr;
  ISoftwareProcessControlManager* manager = nullptr;
  hr = CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr,
                        CLSCTX_INPROC_SERVER, IID_ISoftwareProcessControlManager,
                        reinterpret_cast<void**>(&manager));
  if (SUCCEEDED(hr)) {
    wchar_t app[] = L"Process_1";
    hr = manager->PauseSoftwareProcess(app);  // does nothing for an application
    manager->Release();
  }
  CoUninitialize();
  return hr;
}

TEST(Activation, CoCreateInstanceInMultithreadedAndSingleThreadedApartments) {
  HRESULT mta = E_FAIL;
  HRESULT sta = E_FAIL;
  std::thread([&] { mta = CreateAndCallInApartment(COINIT_MULTITHREADED); }).join();
  std::thread([&] { sta = CreateAndCallInApartment(COINIT_APARTMENTTHREADED); }).join();
  EXPECT_EQ(mta, S_OK);
  EXPECT_EQ(sta, S_OK);
}

TEST(Activation, ProgIdsResolveToTheClass) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_SoftwareProcessControlManagerObject));
  clsid = CLSID{};
  EXPECT_EQ(CLSIDFromProgID(kVersionIndependentProgId, &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_SoftwareProcessControlManagerObject));
  CoUninitialize();
}

}  // namespace
