// The process-control switch parser.
#include <gtest/gtest.h>

#include "process/FsNtProcessControl.h"
#include "tests/process/ProcessFakes.h"

using namespace process_test;

namespace {

class SwitchesTest : public ::testing::Test {
 protected:
  void Parse(const wchar_t* args) {
    control.InitializeProcess(args, &si, &credentials, &flags);
  }
  std::wstring Desktop() const { return si.lpDesktop ? si.lpDesktop : L"<none>"; }

  FakeProcessApi api;
  FakeLog log;
  FsNtProcessControl control{nullptr, api, log};
  STARTUPINFOW si;
  ProcessCredentials credentials;
  DWORD flags = 0xFFFFFFFF;
};

TEST_F(SwitchesTest, NoSwitchGivesTheDefaultRecordAndSuspendedOnly) {
  Parse(L"");
  EXPECT_EQ(si.cb, sizeof(STARTUPINFOW));
#ifndef _WIN64
  EXPECT_EQ(si.cb, 68u);
#endif
  EXPECT_EQ(si.lpReserved, nullptr);
  EXPECT_EQ(si.lpDesktop, nullptr);
  EXPECT_EQ(si.lpTitle, nullptr);
  EXPECT_EQ(si.dwX, 800u);
  EXPECT_EQ(si.dwY, 40u);
  EXPECT_EQ(si.dwXSize, 240u);
  EXPECT_EQ(si.dwYSize, 100u);
  EXPECT_EQ(si.dwXCountChars, 10u);
  EXPECT_EQ(si.dwYCountChars, 40u);
  EXPECT_EQ(si.dwFillAttribute, 0u);
  EXPECT_EQ(si.dwFlags, 0u);
  EXPECT_EQ(si.wShowWindow, 0);
  EXPECT_EQ(si.cbReserved2, 0);
  EXPECT_EQ(si.lpReserved2, nullptr);
  EXPECT_EQ(si.hStdInput, nullptr);
  EXPECT_EQ(si.hStdOutput, nullptr);
  EXPECT_EQ(si.hStdError, nullptr);
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED));
  EXPECT_EQ(credentials.bstrDomain.get(), nullptr);
  EXPECT_FALSE(credentials.bIncomplete);

  Parse(nullptr);  // a null string counts as empty
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(SwitchesTest, ConAndWinTogether) {
  Parse(L"-con -win");
  EXPECT_EQ(si.dwFlags, 0x7u);
  EXPECT_EQ(si.wShowWindow, SW_SHOW);
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED | CREATE_NEW_CONSOLE));
  EXPECT_EQ(Desktop(), L"WinSta0\\Default");
}

TEST_F(SwitchesTest, SlashAndDashAreTheSameSwitchCharacter) {
  Parse(L"/con");
  EXPECT_EQ(si.dwFlags, static_cast<DWORD>(STARTF_USESIZE | STARTF_USEPOSITION));
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED | CREATE_NEW_CONSOLE));
  Parse(L"/win");
  EXPECT_EQ(si.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
  EXPECT_EQ(si.wShowWindow, SW_SHOW);
  EXPECT_EQ(Desktop(), L"WinSta0\\Default");
}

TEST_F(SwitchesTest, JoinedSwitchesAndUnknownOrCasedNamesMatchNothing) {
  for (const wchar_t* args : {L"-con-win", L"/con/win", L"-console", L"-CON", L"con win",
                              L"- con", L"-hidden"}) {
    Parse(args);
    EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED)) << args;
    EXPECT_EQ(si.dwFlags, 0u) << args;
    EXPECT_EQ(si.lpDesktop, nullptr) << args;
  }
}

TEST_F(SwitchesTest, HiddenconAloneAddsNoWindowAndTraces) {
  Parse(L"-hiddencon");
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED | CREATE_NO_WINDOW));
  EXPECT_EQ(si.lpDesktop, nullptr);
  EXPECT_EQ(si.dwFlags, 0u);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].kind, kLogTrace);
  EXPECT_EQ(log.lines[0].text,
            L"FsNtProcessControl::InitializeProcess - set flag to CREATE_NO_WINDOW");

  log.lines.clear();
  log.enabled = false;  // the category test comes first
  Parse(L"-hiddencon");
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(SwitchesTest, UserSwitchTakesThreeValues) {
  Parse(L"-u dom user pass -win");
  ASSERT_TRUE(credentials.IsComplete());
  EXPECT_STREQ(credentials.bstrDomain.get(), L"dom");
  EXPECT_STREQ(credentials.bstrUserName.get(), L"user");
  EXPECT_STREQ(credentials.bstrPassword.get(), L"pass");
  EXPECT_FALSE(credentials.bIncomplete);
  EXPECT_EQ(si.wShowWindow, SW_SHOW);  // scanning goes on after the values
}

TEST_F(SwitchesTest, UserValuesAreTakenAsGivenIncludingEmptyOnes) {
  Parse(L"-u DOM  pw");  // two blanks make an empty user name
  ASSERT_TRUE(credentials.IsComplete());
  EXPECT_STREQ(credentials.bstrDomain.get(), L"DOM");  // lower-casing is the caller's
  EXPECT_STREQ(credentials.bstrUserName.get(), L"");
  EXPECT_STREQ(credentials.bstrPassword.get(), L"pw");
}

TEST_F(SwitchesTest, SwitchInsideAUserValueStartsANewSwitch) {
  Parse(L"-u dom user pass-con");
  ASSERT_TRUE(credentials.IsComplete());
  EXPECT_STREQ(credentials.bstrPassword.get(), L"pass-con");
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED | CREATE_NEW_CONSOLE));
  EXPECT_EQ(Desktop(), L"WinSta0\\Default");

  Parse(L"-u my-win user pass");  // a dash in the domain: "win" applies
  EXPECT_STREQ(credentials.bstrDomain.get(), L"my-win");
  EXPECT_EQ(si.wShowWindow, SW_SHOW);
}

TEST_F(SwitchesTest, ShortUserSwitchIsMarkedIncomplete) {
  for (const wchar_t* args : {L"-u", L"-u dom", L"-u dom user", L"-con -u dom user"}) {
    ProcessCredentials fresh;
    control.InitializeProcess(args, &si, &fresh, &flags);
    EXPECT_TRUE(fresh.bIncomplete) << args;
    EXPECT_FALSE(fresh.IsComplete()) << args;
  }
  Parse(L"-u dom user ");  // a trailing blank is an empty password
  EXPECT_FALSE(credentials.bIncomplete);
  EXPECT_STREQ(credentials.bstrPassword.get(), L"");
}

}  // namespace
