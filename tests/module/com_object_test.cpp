// The module's wrappers and class object in the test's own process, with a
// probe class whose construction result the test chooses.
#include <windows.h>
#include <gtest/gtest.h>

#include "module/ClassFactory.h"
#include "module/ComObject.h"
#include "module/ComObjectRoot.h"
#include "module/ModuleRecord.h"
#include "module/RegistryKey.h"

namespace {

struct ProbeLog {
  HRESULT constructResult = S_OK;
  int constructed = 0;
  int released = 0;
  LONG refDuringConstruct = 0;
};
ProbeLog g_probe;

// IPersist stands in for the object's one interface.
class Probe : public IPersist, public ComObjectRoot {
 public:
  virtual ~Probe() = default;
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = CLSID_NULL;
    return S_OK;
  }
  virtual HRESULT FinalConstruct() {
    ++g_probe.constructed;
    g_probe.refDuringConstruct = m_dwRef;
    return g_probe.constructResult;
  }
  virtual HRESULT FinalRelease() {
    ++g_probe.released;
    return S_OK;
  }
  static const InterfaceMapEntry* GetInterfaceMap() {
    static const InterfaceMapEntry kMap[] = {{&IID_IPersist, OffsetOfBase<Probe, IPersist>()},
                                             {nullptr, 0}};
    return kMap;
  }
};

// An outer object that must not be called while an aggregate is being built.
class UntouchedOuter : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** result) override {
    ADD_FAILURE() << "outer queried";
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};
UntouchedOuter g_outer;

class ComObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_probe = ProbeLog();
    ASSERT_EQ(ModuleLockCount(), 0);
  }
  void TearDown() override { EXPECT_EQ(ModuleLockCount(), 0); }
};

TEST_F(ComObjectTest, PlainObjectHoldsOneModuleLockForItsLife) {
  IPersist* object = nullptr;
  ASSERT_EQ(CreateComInstance<Probe>(nullptr, IID_IPersist, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(g_probe.refDuringConstruct, 1);
  EXPECT_EQ(ModuleLockCount(), 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(g_probe.released, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(g_probe.released, 1);
}

TEST_F(ComObjectTest, OnlyExactlySOkFromFinalConstructLetsTheObjectOut) {
  for (HRESULT result : {S_FALSE, E_OUTOFMEMORY, static_cast<HRESULT>(2)}) {
    g_probe = ProbeLog();
    g_probe.constructResult = result;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateComInstance<Probe>(nullptr, IID_IPersist, &object), result);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(g_probe.released, 1);  // destruction runs FinalRelease
    EXPECT_EQ(ModuleLockCount(), 0);

    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateComInstance<Probe>(&g_outer, IID_IUnknown, &object), result);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(g_probe.released, 2);
    EXPECT_EQ(ModuleLockCount(), 0);
  }
}

TEST_F(ComObjectTest, FailedQueryAtCreationDestroysTheObject) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateComInstance<Probe>(nullptr, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_probe.constructed, 1);
  EXPECT_EQ(g_probe.released, 1);
}

HRESULT WINAPI CreateProbe(IUnknown* outer, REFIID iid, void** result) {
  return CreateComInstance<Probe>(outer, iid, result);
}

TEST_F(ComObjectTest, ClassObjectRaisesTheLockOnlyForClientReferences) {
  IUnknown* cached = nullptr;  // the reference an object map would keep
  ASSERT_EQ(CreateClassFactory(&CreateProbe, IID_IUnknown, reinterpret_cast<void**>(&cached)),
            S_OK);
  EXPECT_EQ(ModuleLockCount(), 0);
  IClassFactory* client = nullptr;
  ASSERT_EQ(cached->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&client)), S_OK);
  EXPECT_EQ(ModuleLockCount(), 1);
  client->AddRef();
  EXPECT_EQ(ModuleLockCount(), 1);  // raised by exactly one, however many
  client->Release();
  client->Release();
  EXPECT_EQ(ModuleLockCount(), 0);

  EXPECT_EQ(cached->Release(), 0u);
  EXPECT_EQ(ModuleLockCount(), 0);
}

TEST(RegistryErrors, Win32CodesBecomeHresultsAndOthersPassUnchanged) {
  EXPECT_EQ(HResultFromRegistryError(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(HResultFromRegistryError(ERROR_ACCESS_DENIED), static_cast<HRESULT>(0x80070005L));
  EXPECT_EQ(HResultFromRegistryError(0x12345), static_cast<HRESULT>(0x80072345L));
  EXPECT_EQ(HResultFromRegistryError(static_cast<LONG>(0x80004005L)),
            static_cast<HRESULT>(0x80004005L));
}

}  // namespace
