// The administrator account store through COM activation, with and without
// an account in its registry key.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "Velmora.h"
#include "host/standins/AdminAccountStore.h"
#include "tests/host/HostTestSupport.h"

namespace {

using velmora_host_test::ComApartment;
using velmora_host_test::ComPtr;

void DeleteAccountKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, velmora_host::kAdminAccountKey); }

void WriteValue(const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, velmora_host::kAdminAccountKey, 0,
                                           nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(value.c_str()), bytes));
  RegCloseKey(key);
}

std::wstring Take(BSTR value) {
  std::wstring copy = value ? value : L"<null>";
  SysFreeString(value);
  return copy;
}

class AdminAccountTest : public ::testing::TestWithParam<DWORD> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    DeleteAccountKey();
  }
  void TearDown() override { DeleteAccountKey(); }

  // Creates the store the way the launcher does: any context, the dual interface.
  HRESULT Create(ComPtr<ICAdminAccountInfo>* store) {
    return CoCreateInstance(CLSID_CAdminAccountInfo, nullptr, CLSCTX_ALL, IID_ICAdminAccountInfo,
                            store->put_void());
  }

  ComApartment apartment_{GetParam()};
};

TEST_P(AdminAccountTest, CreationFailsClearlyWithoutAnAccount) {
  ComPtr<ICAdminAccountInfo> store;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), Create(&store));
  EXPECT_EQ(nullptr, store.get());

  // A key without a user name is no account either.
  WriteValue(velmora_host::kAdminDomainValue, L"NODE");
  WriteValue(velmora_host::kAdminUserNameValue, L"");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), Create(&store));
}

TEST_P(AdminAccountTest, ConfiguredAccountIsHandedOut) {
  WriteValue(velmora_host::kAdminDomainValue, L"NODE7");
  WriteValue(velmora_host::kAdminUserNameValue, L"corvadmin");
  WriteValue(velmora_host::kAdminPasswordValue, L"s3cret pass");
  ComPtr<ICAdminAccountInfo> store;
  ASSERT_EQ(S_OK, Create(&store));

  BSTR domain = nullptr;
  BSTR user = nullptr;
  BSTR password = nullptr;
  ASSERT_EQ(S_OK, store->GetOSAdminAccountInfoEx(&domain, &user, &password));
  EXPECT_EQ(L"NODE7", Take(domain));
  EXPECT_EQ(L"corvadmin", Take(user));
  EXPECT_EQ(L"s3cret pass", Take(password));

  ASSERT_EQ(S_OK, store->GetOSAdminAccountInfo(&user, &password));
  EXPECT_EQ(L"corvadmin", Take(user));
  EXPECT_EQ(L"s3cret pass", Take(password));

  EXPECT_EQ(E_POINTER, store->GetOSAdminAccountInfoEx(&domain, nullptr, &password));

  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, store->QueryInterface(IID_IDispatch, dispatch.put_void()));
  UINT count = 7;
  EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
  EXPECT_EQ(0u, count);
}

TEST_P(AdminAccountTest, MissingDomainMeansTheLocalMachineAndMissingPasswordIsEmpty) {
  WriteValue(velmora_host::kAdminUserNameValue, L"corvadmin");
  ComPtr<ICAdminAccountInfo> store;
  ASSERT_EQ(S_OK, Create(&store));
  BSTR domain = nullptr;
  BSTR user = nullptr;
  BSTR password = nullptr;
  ASSERT_EQ(S_OK, store->GetOSAdminAccountInfoEx(&domain, &user, &password));
  EXPECT_EQ(L".", Take(domain));
  EXPECT_EQ(L"corvadmin", Take(user));
  EXPECT_EQ(L"", Take(password));
}

TEST_P(AdminAccountTest, UserNameOfTheWrongTypeFailsCreation) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, velmora_host::kAdminAccountKey, 0,
                                           nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
  const DWORD number = 5;
  RegSetValueExW(key, velmora_host::kAdminUserNameValue, 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&number), sizeof(number));
  RegCloseKey(key);
  ComPtr<ICAdminAccountInfo> store;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), Create(&store));
}

INSTANTIATE_TEST_SUITE_P(Apartments, AdminAccountTest,
                         ::testing::Values(COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED),
                         [](const ::testing::TestParamInfo<DWORD>& info) {
                           return info.param == COINIT_MULTITHREADED ? "MTA" : "STA";
                         });

}  // namespace
