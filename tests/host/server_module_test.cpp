// HostStandins.dll's own entry points: self-registration both ways, and a
// module count that keeps the DLL loaded while anything of it is alive.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include "Velmora.h"
#include "tests/host/HostTestSupport.h"

namespace {

using velmora_host_test::ComApartment;
using velmora_host_test::ComPtr;

class ServerModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    module_ = LoadLibraryW(L"HostStandins.dll");
    ASSERT_NE(nullptr, module_);
    canUnload_ = reinterpret_cast<decltype(&DllCanUnloadNow)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    getClassObject_ = reinterpret_cast<decltype(&DllGetClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    register_ = reinterpret_cast<decltype(&DllRegisterServer)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
    unregister_ = reinterpret_cast<decltype(&DllUnregisterServer)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllUnregisterServer")));
    ASSERT_TRUE(canUnload_ && getClassObject_ && register_ && unregister_);
  }
  void TearDown() override {
    // Whatever happened, leave the classes registered for everyone else.
    if (register_) register_();
    if (module_) FreeLibrary(module_);
  }

  ComApartment apartment_{COINIT_MULTITHREADED};
  HMODULE module_ = nullptr;
  decltype(&DllCanUnloadNow) canUnload_ = nullptr;
  decltype(&DllGetClassObject) getClassObject_ = nullptr;
  decltype(&DllRegisterServer) register_ = nullptr;
  decltype(&DllUnregisterServer) unregister_ = nullptr;
};

TEST_F(ServerModuleTest, FactoriesAndObjectsKeepTheModuleLoaded) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, getClassObject_(CLSID_ProcessRealtimeClerkObject, IID_IClassFactory,
                                  factory.put_void()));
  EXPECT_EQ(S_FALSE, canUnload_());

  ComPtr<IProcessRealtimeClerk> clerk;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IProcessRealtimeClerk, clerk.put_void()));
  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            factory->CreateInstance(clerk.get(), IID_IUnknown, aggregated.put_void()));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory.reset();
  EXPECT_EQ(S_FALSE, canUnload_());  // the clerk and the server lock
  clerk.reset();
  EXPECT_EQ(S_FALSE, canUnload_());  // the server lock

  ASSERT_EQ(S_OK, getClassObject_(CLSID_CAdminAccountInfo, IID_IClassFactory,
                                  factory.put_void()));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.reset();
  EXPECT_EQ(S_OK, canUnload_());

  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            getClassObject_(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                            factory.put_void()));
}

TEST_F(ServerModuleTest, UnregisterRemovesBothClassesAndRegisterRestoresThem) {
  ASSERT_EQ(S_OK, unregister_());
  ComPtr<IProcessRealtimeClerk> clerk;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr,
                                                  CLSCTX_INPROC_SERVER, IID_IProcessRealtimeClerk,
                                                  clerk.put_void()));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{00223852-484C-412B-B50A-F9B65C12DF1D}", 0,
                          KEY_READ, &key));
  // Unregistering twice is harmless.
  EXPECT_EQ(S_OK, unregister_());

  ASSERT_EQ(S_OK, register_());
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr,
                                   CLSCTX_INPROC_SERVER, IID_IProcessRealtimeClerk,
                                   clerk.put_void()));
}

}  // namespace
