// Class registration against Wine's real registry, through the exports and
// through regsvr32. Every test leaves the class registered for the others.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "RegistryProbe.h"
#include "VelmoraModule.h"

namespace {

std::wstring Key(const wchar_t* base, const wchar_t* sub) {
  return std::wstring(base) + L"\\" + sub;
}

void ExpectString(const std::wstring& path, const wchar_t* valueName, const std::wstring& text) {
  const RegistryString value = ReadString(path, valueName);
  ASSERT_TRUE(value.present) << path;
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << path;
  EXPECT_EQ(value.text, text) << path;
  EXPECT_EQ(value.bytes, (text.size() + 1) * sizeof(wchar_t)) << path;
}

void ExpectClassRegistered(const std::wstring& serverPath) {
  ExpectString(kProgId, nullptr, kDescription);
  ExpectString(Key(kProgId, L"CLSID"), nullptr, kClsidText);
  ExpectString(kVersionIndependentProgId, nullptr, kDescription);
  ExpectString(Key(kVersionIndependentProgId, L"CLSID"), nullptr, kClsidText);
  ExpectString(kClassKey, nullptr, kDescription);
  ExpectString(Key(kClassKey, L"ProgID"), nullptr, kProgId);
  ExpectString(Key(kClassKey, L"VersionIndependentProgID"), nullptr, kVersionIndependentProgId);
  ExpectString(Key(kClassKey, L"InprocServer32"), nullptr, serverPath);
  ExpectString(Key(kClassKey, L"InprocServer32"), L"ThreadingModel", L"both");
  // Exactly these subkeys: no CurVer, TypeLib or application id.
  EXPECT_EQ(SubkeyCount(kProgId), 1u);
  EXPECT_EQ(SubkeyCount(kVersionIndependentProgId), 1u);
  EXPECT_EQ(SubkeyCount(kClassKey), 3u);
  EXPECT_EQ(SubkeyCount(Key(kClassKey, L"InprocServer32").c_str()), 0u);
}

void ExpectClassUnregistered() {
  EXPECT_FALSE(KeyExists(kProgId));
  EXPECT_FALSE(KeyExists(kVersionIndependentProgId));
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_TRUE(KeyExists(L"CLSID"));  // the common root is never touched
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module_.Loaded()); }
  // Leave the class as the session registered it, whatever the test did.
  void TearDown() override { EXPECT_EQ(module_.registerServer(), S_OK); }

  VelmoraModule module_;
};

TEST_F(RegistrationTest, RegisterWritesExactlyTheClassKeysAndIsRepeatable) {
  ASSERT_EQ(module_.unregisterServer(), S_OK);
  ExpectClassUnregistered();
  ASSERT_EQ(module_.registerServer(), S_OK);
  ExpectClassRegistered(module_.LoadedFileName());
  ASSERT_EQ(module_.registerServer(), S_OK);
  ExpectClassRegistered(module_.LoadedFileName());
}

TEST_F(RegistrationTest, UnregisterRemovesKeysWithSubkeysItDidNotWrite) {
  ASSERT_EQ(module_.registerServer(), S_OK);
  CreateSubkeyWithValue(Key(kProgId, L"CurVer"));
  CreateSubkeyWithValue(Key(kVersionIndependentProgId, L"Deep\\Deeper\\Deepest"));
  CreateSubkeyWithValue(Key(kClassKey, L"TypeLib"));
  CreateSubkeyWithValue(Key(kClassKey, L"InprocServer32\\Nested"));
  ASSERT_TRUE(KeyExists(Key(kClassKey, L"InprocServer32\\Nested").c_str()));

  EXPECT_EQ(module_.unregisterServer(), S_OK);
  ExpectClassUnregistered();
}

TEST_F(RegistrationTest, UnregisterOfAbsentKeysSucceeds) {
  ASSERT_EQ(module_.unregisterServer(), S_OK);
  EXPECT_EQ(module_.unregisterServer(), S_OK);
  ExpectClassUnregistered();
}

// regsvr32 as a separate process, the way an installer runs it.
DWORD RunRegsvr32(const std::wstring& switches, const std::wstring& dllPath) {
  std::wstring commandLine = L"regsvr32.exe " + switches + L" \"" + dllPath + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return GetLastError() | 0x10000000;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

TEST_F(RegistrationTest, Regsvr32RegistersAndUnregistersInItsOwnProcess) {
  ASSERT_EQ(RunRegsvr32(L"/s /u", module_.path()), 0u);
  ExpectClassUnregistered();
  ASSERT_EQ(RunRegsvr32(L"/s", module_.path()), 0u);
  ExpectClassRegistered(module_.LoadedFileName());
}

}  // namespace
