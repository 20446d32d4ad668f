// The launcher's mapping of the scanned switches onto the start-up record,
// the creation flags and the credentials, over many generated switch strings
// made of the letters that matter. Properties that hold for any input: the
// launch stays suspended, only the three known flags ever appear, a desktop is
// named exactly when a new console is asked for, the window fields agree with
// their flags, and an account is either complete or marked incomplete.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "process/FsNtProcessControl.h"
#include "tests/process/ProcessFakes.h"

namespace {

using process_test::FakeClerk;
using process_test::FakeLog;
using process_test::FakeProcessApi;

constexpr DWORD kAllowedFlags = CREATE_SUSPENDED | CREATE_NEW_CONSOLE | CREATE_NO_WINDOW;
constexpr DWORD kAllowedStartFlags = STARTF_USESIZE | STARTF_USEPOSITION | STARTF_USESHOWWINDOW;
constexpr int kGeneratedInputs = 20000;

// A small deterministic generator, so a failure names a reproducible input.
class Generator {
 public:
  std::wstring Next() {
    static const wchar_t* const kPieces[] = {L"-", L"/", L" ", L"  ", L"u",  L"con", L"win",
                                             L"hiddencon", L"a", L"-u", L"-con", L"-win",
                                             L"\x00e9", L"service", L"-u a b c"};
    const size_t count = sizeof(kPieces) / sizeof(kPieces[0]);
    std::wstring text;
    const unsigned pieces = Step() % 9;
    for (unsigned i = 0; i < pieces; ++i) text += kPieces[Step() % count];
    return text;
  }

 private:
  unsigned Step() {
    m_state = m_state * 1103515245u + 12345u;
    return (m_state >> 16) & 0x7FFF;
  }
  unsigned m_state = 20261207u;
};

bool HasSpace(BSTR value) { return value != nullptr && std::wcschr(value, L' ') != nullptr; }

TEST(SwitchMapping, EveryGeneratedSwitchStringMapsOntoAConsistentLaunch) {
  FakeProcessApi api;
  FakeLog log;
  FakeClerk clerk;
  FsNtProcessControl control{&clerk, api, log};
  Generator generator;
  for (int i = 0; i < kGeneratedInputs; ++i) {
    const std::wstring args = generator.Next();
    SCOPED_TRACE(std::string("input #") + std::to_string(i));
    STARTUPINFOW si;
    ProcessCredentials credentials;
    DWORD flags = 0xFFFFFFFF;
    control.InitializeProcess(args.c_str(), &si, &credentials, &flags);

    EXPECT_EQ(si.cb, sizeof(STARTUPINFOW));
    EXPECT_TRUE(flags & CREATE_SUSPENDED);
    EXPECT_EQ(flags & ~kAllowedFlags, 0u);
    EXPECT_EQ(si.dwFlags & ~kAllowedStartFlags, 0u);
    EXPECT_EQ(si.lpDesktop != nullptr, (flags & CREATE_NEW_CONSOLE) != 0);
    if (si.lpDesktop != nullptr) {
      EXPECT_STREQ(si.lpDesktop, L"WinSta0\\Default");
    }
    EXPECT_EQ(si.wShowWindow == SW_SHOW, (si.dwFlags & STARTF_USESHOWWINDOW) != 0);
    // Size and position come together, with the console switch only.
    EXPECT_EQ((si.dwFlags & STARTF_USESIZE) != 0, (si.dwFlags & STARTF_USEPOSITION) != 0);
    const bool anyValue = credentials.bstrDomain || credentials.bstrUserName ||
                          credentials.bstrPassword;
    EXPECT_TRUE(!anyValue || credentials.IsComplete() || credentials.bIncomplete);
    EXPECT_FALSE(HasSpace(credentials.bstrDomain.get()) ||
                 HasSpace(credentials.bstrUserName.get()) ||
                 HasSpace(credentials.bstrPassword.get()));
    if (args.find(L'u') == std::wstring::npos) {
      EXPECT_FALSE(anyValue || credentials.bIncomplete);
    }
    if (HasFailure()) {
      ADD_FAILURE() << "input: \"" << std::string(args.begin(), args.end()) << "\"";
      return;
    }
  }
}

// The inputs the callers are likeliest to get wrong, with what each means.
TEST(SwitchMapping, MalformedSwitchesMeanNothingOrAnIncompleteAccount) {
  FakeProcessApi api;
  FakeLog log;
  FakeClerk clerk;
  FsNtProcessControl control{&clerk, api, log};
  struct Case {
    const wchar_t* args;
    DWORD flags;
    bool incomplete;
  };
  const Case cases[] = {
      {L"-u", CREATE_SUSPENDED, true},
      {L"-u a", CREATE_SUSPENDED, true},
      {L"-u a b", CREATE_SUSPENDED, true},
      {L"--con", CREATE_SUSPENDED, false},
      {L"-", CREATE_SUSPENDED, false},
      {L"/", CREATE_SUSPENDED, false},
      {L"-con-win", CREATE_SUSPENDED, false},
      {L"- con", CREATE_SUSPENDED, false},
      {L"-con/", CREATE_SUSPENDED, false},
      // A switch inside a "u" value still counts, and is a value too.
      {L"-u a -con c", CREATE_SUSPENDED | CREATE_NEW_CONSOLE, false},
      {L"-u a b -win", CREATE_SUSPENDED | CREATE_NEW_CONSOLE, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args, c.args + std::wcslen(c.args)));
    STARTUPINFOW si;
    ProcessCredentials credentials;
    DWORD flags = 0;
    control.InitializeProcess(c.args, &si, &credentials, &flags);
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(credentials.bIncomplete, c.incomplete);
  }
  std::wstring dashes(32767, L'-');
  STARTUPINFOW si;
  ProcessCredentials credentials;
  DWORD flags = 0;
  control.InitializeProcess(dashes.c_str(), &si, &credentials, &flags);
  EXPECT_EQ(flags, static_cast<DWORD>(CREATE_SUSPENDED));
  EXPECT_EQ(si.lpDesktop, nullptr);
  EXPECT_FALSE(credentials.bIncomplete);
}

}  // namespace
