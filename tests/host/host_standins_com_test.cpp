// HostStandins.dll as the module meets it: registered, activated by
// CoCreateInstance in either apartment kind.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "Velmora.h"
#include "host/standins/ProcessTableClient.h"
#include "tests/host/HostTestSupport.h"

namespace {

using velmora_host_test::ComApartment;
using velmora_host_test::ComPtr;

std::wstring ReadClassValue(const CLSID& clsid, const wchar_t* subkey, const wchar_t* name) {
  wchar_t guid[39];
  StringFromGUID2(clsid, guid, 39);
  const std::wstring path = std::wstring(L"CLSID\\") + guid + subkey;
  wchar_t value[MAX_PATH] = {};
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  const LONG error = RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr,
                                  value, &bytes);
  return error == ERROR_SUCCESS ? value : L"<error " + std::to_wstring(error) + L">";
}

TEST(HostStandinsRegistration, BothClassesAreInprocServersWithThreadingModelBoth) {
  for (const CLSID* clsid : {&CLSID_ProcessRealtimeClerkObject, &CLSID_CAdminAccountInfo}) {
    EXPECT_EQ(L"Both", ReadClassValue(*clsid, L"\\InprocServer32", L"ThreadingModel"));
    const std::wstring server = ReadClassValue(*clsid, L"\\InprocServer32", nullptr);
    ASSERT_GE(server.size(), 16u) << server;
    EXPECT_EQ(0, _wcsicmp(server.c_str() + server.size() - 16, L"HostStandins.dll")) << server;
  }
  EXPECT_EQ(L"ProcessRealtimeClerk Class",
            ReadClassValue(CLSID_ProcessRealtimeClerkObject, L"", nullptr));
  EXPECT_EQ(L"CAdminAccountInfo Class", ReadClassValue(CLSID_CAdminAccountInfo, L"", nullptr));
}

class HostStandinsActivation : public ::testing::TestWithParam<DWORD> {};

// The module keeps the clerk it made at construction and calls it from other
// threads unmarshalled, and it must also work when created inside an STA.
TEST_P(HostStandinsActivation, ClerkIsCreatedInprocAndSeesTheSharedTable) {
  ComApartment apartment(GetParam());
  ASSERT_TRUE(SUCCEEDED(apartment.result()));
  ComPtr<IProcessRealtimeClerk> clerk;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr,
                                   CLSCTX_INPROC_SERVER, IID_IProcessRealtimeClerk,
                                   clerk.put_void()));
  constexpr DWORD kFakeId = 0x7FF00030;
  ASSERT_EQ(S_OK, velmora_host::EnterProcess(kFakeId, L"ev", 3000));
  LONG timeout = 0;
  EXPECT_EQ(S_OK, clerk->GetShutdownTimeout(kFakeId, &timeout));
  EXPECT_EQ(3000, timeout);

  // Another thread uses the same pointer directly, as the module does.
  struct CallFromThread {
    IProcessRealtimeClerk* clerk;
    DWORD processId;
    HRESULT hr;
    LONG timeout;
  } call = {clerk.get(), kFakeId, E_FAIL, 0};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* parameter) WINAPI -> DWORD {
        auto* call = static_cast<CallFromThread*>(parameter);
        call->hr = call->clerk->GetShutdownTimeout(call->processId, &call->timeout);
        return 0;
      },
      &call, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(S_OK, call.hr);
  EXPECT_EQ(3000, call.timeout);

  EXPECT_EQ(S_OK, clerk->DeleteProcessEntryByProcessId(kFakeId));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), velmora_host::RemoveProcess(kFakeId));
}

TEST_P(HostStandinsActivation, UnknownInterfaceIsRefused) {
  ComApartment apartment(GetParam());
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_IDispatch,
                                            unknown.put_void()));
}

INSTANTIATE_TEST_SUITE_P(Apartments, HostStandinsActivation,
                         ::testing::Values(COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED),
                         [](const ::testing::TestParamInfo<DWORD>& info) {
                           return info.param == COINIT_MULTITHREADED ? "MTA" : "STA";
                         });

}  // namespace
