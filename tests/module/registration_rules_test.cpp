// The failure rules of the class registration routine, driven in-process
// with a class of the test's own, so the module's real keys stay untouched.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "RegistryProbe.h"
#include "module/Registration.h"
#include "module/RegistryKey.h"

namespace {

// {5E1F0C2A-7B3D-4C11-9A0E-3D2B6F7A8C91}, used by nothing else.
constexpr CLSID kTestClsid = {0x5e1f0c2a, 0x7b3d, 0x4c11,
                              {0x9a, 0x0e, 0x3d, 0x2b, 0x6f, 0x7a, 0x8c, 0x91}};
constexpr wchar_t kTestClassKey[] = L"CLSID\\{5E1F0C2A-7B3D-4C11-9A0E-3D2B6F7A8C91}";
constexpr wchar_t kGoodProgId[] = L"Velmora.RegistrationRules.1";
constexpr wchar_t kGoodIndependentProgId[] = L"Velmora.RegistrationRules";

// Longer than any registry key name may be, so creating it fails.
const std::wstring kTooLong(300, L'x');

class RegistrationRulesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RecurseDeleteKey(HKEY_CLASSES_ROOT, kGoodProgId);
    RecurseDeleteKey(HKEY_CLASSES_ROOT, kGoodIndependentProgId);
    RecurseDeleteKey(HKEY_CLASSES_ROOT, kTestClassKey);
  }
  HINSTANCE self_ = GetModuleHandleW(nullptr);
};

TEST_F(RegistrationRulesTest, FailedProgIdStopsEverythingAfterIt) {
  const ClassRegistration failing = {&kTestClsid, kTooLong.c_str(), kGoodIndependentProgId, 101,
                                     kThreadingBoth};
  const HRESULT hr = UpdateClassRegistration(failing, self_, true);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32);
  EXPECT_FALSE(KeyExists(kGoodIndependentProgId));
  EXPECT_FALSE(KeyExists(kTestClassKey));
}

TEST_F(RegistrationRulesTest, KeysWrittenBeforeAFailureStay) {
  const ClassRegistration failing = {&kTestClsid, kGoodProgId, kTooLong.c_str(), 101,
                                     kThreadingBoth};
  EXPECT_TRUE(FAILED(UpdateClassRegistration(failing, self_, true)));
  EXPECT_TRUE(KeyExists(kGoodProgId));
  EXPECT_FALSE(KeyExists(kTestClassKey));
}

TEST_F(RegistrationRulesTest, ThreadingFlagsChooseTheModelValue) {
  const struct {
    DWORD flags;
    const wchar_t* model;  // null: no value
  } cases[] = {{kThreadingBoth, L"both"},
               {kThreadingApartment, L"Apartment"},
               {kThreadingApartment | kThreadingBoth, L"both"},
               {0, nullptr}};
  const std::wstring server = std::wstring(kTestClassKey) + L"\\InprocServer32";
  for (const auto& c : cases) {
    TearDown();
    const ClassRegistration registration = {&kTestClsid, kGoodProgId, kGoodIndependentProgId,
                                            101, c.flags};
    ASSERT_EQ(UpdateClassRegistration(registration, self_, true), S_OK);
    const RegistryString model = ReadString(server, L"ThreadingModel");
    EXPECT_EQ(model.present, c.model != nullptr) << c.flags;
    if (c.model != nullptr) {
      EXPECT_EQ(model.text, c.model);
    }
  }
  const ClassRegistration proxy = {&kTestClsid, kGoodProgId, kGoodIndependentProgId, 101,
                                   kServerIsAutomationProxy};
  ASSERT_EQ(UpdateClassRegistration(proxy, self_, true), S_OK);
  EXPECT_EQ(ReadString(server).text, L"AUTPRX32.DLL");

  EXPECT_EQ(UpdateClassRegistration(proxy, self_, false), S_OK);
  EXPECT_FALSE(KeyExists(kTestClassKey));
  EXPECT_FALSE(KeyExists(kGoodProgId));
}

TEST_F(RegistrationRulesTest, UnregisterSkipsEmptyProgIdsAndIgnoresErrors) {
  const ClassRegistration empty = {&kTestClsid, L"", nullptr, 101, kThreadingBoth};
  EXPECT_EQ(UpdateClassRegistration(empty, self_, false), S_OK);
  EXPECT_TRUE(KeyExists(L"CLSID"));
}

}  // namespace
