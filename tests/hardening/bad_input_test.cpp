// Bad input at every method of the registered control object, through
// CoCreateInstance of the class in Velmora.dll as a client would reach it:
// null arguments, empty and 32,767-character strings, malformed identities
// and malformed process-control switches. Every call must give its code and
// leave nothing behind: no process of ours running, and no handle more after
// a second identical pass than after the first (the first pass loads the
// libraries and the table mapping that stay for the life of the process).
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Velmora.h"
#include "harness/HandleTable.h"
#include "tests/hardening/ProcessWatch.h"

namespace {

const HRESULT kExecutableNotFound = static_cast<HRESULT>(0x8004040B);
const HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404);
// The realtime table's answer for an identity it does not hold.
const HRESULT kIdentityNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
constexpr size_t kLongChars = 32767;
constexpr DWORD kChildExitWaitMs = 20000;

std::wstring ChildPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L'\\')) + L"\\hardening_child.exe";
}

// A writable, null-terminated copy: the interface takes LPWSTR, and the
// start lowers the control arguments in place.
class Text {
 public:
  explicit Text(const std::wstring& value) : m_chars(value.begin(), value.end()) {
    m_chars.push_back(L'\0');
  }
  LPWSTR get() { return m_chars.data(); }

 private:
  std::vector<wchar_t> m_chars;
};

// What the real SCM answers when a service of that name is opened: the code
// that the service side hands back unchanged.
DWORD ScmOpenAnswer(const std::wstring& name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return GetLastError();
  SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS);
  const DWORD error = service == nullptr ? GetLastError() : ERROR_SUCCESS;
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    childrenBefore = hardening::RunningChildren();
  }
  void TearDown() override {
    for (DWORD pid : launched) {
      EXPECT_TRUE(hardening::AwaitExit(pid, kChildExitWaitMs)) << "Process_" << pid;
    }
    std::set<DWORD> left = hardening::RunningChildren();
    for (DWORD pid : childrenBefore) left.erase(pid);
    EXPECT_TRUE(left.empty()) << left.size() << " launched process(es) still running";
    CoUninitialize();
  }

  // Runs `calls` twice, each time on a fresh control object that is released
  // afterwards, and checks that the second pass leaves no handle behind.
  void TwicePassesWithoutLeak(const std::function<void(ISoftwareProcessControlManager*)>& calls) {
    long after[2] = {0, 0};
    for (long& count : after) {
      ISoftwareProcessControlManager* manager = nullptr;
      ASSERT_EQ(CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr,
                                 CLSCTX_INPROC_SERVER, IID_ISoftwareProcessControlManager,
                                 reinterpret_cast<void**>(&manager)),
                S_OK);
      calls(manager);
      manager->Release();
      count = velmora_harness::CountProcessHandles();
      ASSERT_GT(count, 0);
    }
    EXPECT_EQ(after[1], after[0]) << "handles left open by one pass of the calls";
  }

  // A start whose result is checked; a launched child is remembered so that
  // the test can see it end.
  void ExpectStart(ISoftwareProcessControlManager* m, LPWSTR name, LPWSTR args, LPWSTR ctrl,
                   HRESULT expected, const std::string& what) {
    BSTR identity = nullptr;
    const HRESULT hr = m->StartSoftwareProcess(name, args, ctrl, &identity);
    EXPECT_EQ(hr, expected) << what;
    if (hr == S_OK && identity != nullptr &&
        std::wstring(identity).compare(0, 8, L"Process_") == 0) {
      launched.push_back(static_cast<DWORD>(_wtoi(identity + 8)));
    } else if (FAILED(hr)) {
      EXPECT_EQ(identity, nullptr) << what << ": a failed start names nothing";
    }
    SysFreeString(identity);
  }

  std::set<DWORD> childrenBefore;
  std::vector<DWORD> launched;
};

TEST_F(BadInput, NullArgumentsAtEveryMethod) {
  const std::wstring child = ChildPath();
  TwicePassesWithoutLeak([&](ISoftwareProcessControlManager* m) {
    Text name(child), args(L""), ctrl(L""), service(L"-service"), identity(L"Process_abc");
    BSTR out = nullptr;
    long value = -7;

    EXPECT_EQ(m->StartSoftwareProcess(name.get(), args.get(), ctrl.get(), nullptr), E_POINTER);
    EXPECT_EQ(m->StartSoftwareProcess(nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m->StartSoftwareProcess(name.get(), args.get(), nullptr, &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    // The application path looks for "\\?\" alone; the service path refuses.
    ExpectStart(m, nullptr, args.get(), ctrl.get(), kExecutableNotFound, "null name");
    ExpectStart(m, nullptr, args.get(), service.get(), E_INVALIDARG, "null service name");
    // No arguments at all is a plain launch.
    ExpectStart(m, name.get(), nullptr, ctrl.get(), S_OK, "null arguments");

    EXPECT_EQ(m->StopSoftwareProcess(nullptr, 0, &value), E_POINTER);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(m->StopSoftwareProcess(identity.get(), 0, nullptr), kIdentityNotFound);
    EXPECT_EQ(m->RestartSoftwareProcess(nullptr), S_OK);
    // A null name is no application identity: the service side refuses it.
    EXPECT_EQ(m->PauseSoftwareProcess(nullptr), E_INVALIDARG);
    EXPECT_EQ(m->ContineSoftwareProcess(nullptr), E_INVALIDARG);
    EXPECT_EQ(m->GetProcessStatus(nullptr, &value), E_INVALIDARG);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(m->GetProcessStatus(identity.get(), nullptr), E_POINTER);
    EXPECT_EQ(m->GetProcessStatus(nullptr, nullptr), E_POINTER);
  });
}

TEST_F(BadInput, EmptyStringsAtEveryMethod) {
  const DWORD scmAnswer = ScmOpenAnswer(L"");
  TwicePassesWithoutLeak([&](ISoftwareProcessControlManager* m) {
    Text empty(L""), args(L""), ctrl(L""), service(L"-service");
    long value = -7;
    ExpectStart(m, empty.get(), args.get(), ctrl.get(), kExecutableNotFound, "empty name");

    // The service start passes an empty name to the SCM and reports its answer,
    // naming the service as asked even so.
    BSTR out = nullptr;
    EXPECT_EQ(m->StartSoftwareProcess(empty.get(), args.get(), service.get(), &out),
              static_cast<HRESULT>(scmAnswer));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::wstring(out), L"");
    SysFreeString(out);

    // The other service operations refuse an empty name themselves.
    EXPECT_EQ(m->StopSoftwareProcess(empty.get(), 0, &value), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(m->PauseSoftwareProcess(empty.get()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m->ContineSoftwareProcess(empty.get()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m->GetProcessStatus(empty.get(), &value), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(m->RestartSoftwareProcess(empty.get()), S_OK);
  });
  EXPECT_EQ(scmAnswer, static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(BadInput, StringsOf32767Characters) {
  const std::wstring child = ChildPath();
  const std::wstring longName(kLongChars, L'a');
  const std::wstring longIdentity = L"Process_" + std::wstring(kLongChars - 8, L'7');
  const DWORD scmAnswer = ScmOpenAnswer(longName);
  TwicePassesWithoutLeak([&](ISoftwareProcessControlManager* m) {
    Text name(child), longText(longName), args(L""), ctrl(L""), service(L"-service");
    Text longArgs(std::wstring(kLongChars, L'x')), longCtrl(std::wstring(kLongChars, L'c'));
    Text dashes(std::wstring(kLongChars, L'-')), identity(longIdentity);
    long value = -7;

    // The existence check runs before the launcher and its command-line limit.
    ExpectStart(m, longText.get(), longArgs.get(), ctrl.get(), kExecutableNotFound,
                "long name");
    // A command line beyond its 511 characters is refused before any launch.
    ExpectStart(m, name.get(), longArgs.get(), ctrl.get(), E_INVALIDARG, "long arguments");
    // The control arguments are not part of the command line.
    ExpectStart(m, name.get(), args.get(), longCtrl.get(), S_OK, "long control arguments");
    ExpectStart(m, name.get(), args.get(), dashes.get(), S_OK, "32767 dashes");
    ASSERT_EQ(launched.size() % 2, 0u);

    BSTR out = nullptr;
    EXPECT_EQ(m->StartSoftwareProcess(longText.get(), args.get(), service.get(), &out),
              static_cast<HRESULT>(scmAnswer));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(SysStringLen(out), kLongChars);
    SysFreeString(out);
    EXPECT_EQ(m->StopSoftwareProcess(longText.get(), 0, &value), static_cast<HRESULT>(scmAnswer));
    EXPECT_EQ(m->PauseSoftwareProcess(longText.get()), static_cast<HRESULT>(scmAnswer));
    EXPECT_EQ(m->ContineSoftwareProcess(longText.get()), static_cast<HRESULT>(scmAnswer));
    EXPECT_EQ(m->GetProcessStatus(longText.get(), &value), static_cast<HRESULT>(scmAnswer));
    EXPECT_EQ(value, -7);

    EXPECT_EQ(m->StopSoftwareProcess(identity.get(), 0, &value), kIdentityNotFound);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(m->GetProcessStatus(identity.get(), &value), kIdentityNotFound);
    EXPECT_EQ(m->PauseSoftwareProcess(identity.get()), S_OK);
    EXPECT_EQ(m->ContineSoftwareProcess(identity.get()), S_OK);
    EXPECT_EQ(m->RestartSoftwareProcess(longText.get()), S_OK);
  });
  // Windows calls a name beyond 256 characters invalid (123); Wine looks it up
  // and finds nothing (1060). Either way it is a failure, passed on unchanged.
  EXPECT_NE(scmAnswer, static_cast<DWORD>(ERROR_SUCCESS));
}

// Identities that look like an application's but name no process the table
// holds, and a service name with "Process_" inside, which is routed to the
// application side all the same.
TEST_F(BadInput, MalformedApplicationIdentities) {
  const wchar_t* const identities[] = {L"Process_", L"Process_abc", L"Process_-1",
                                       L"Process_99999999999", L"Process_0",
                                       L"MyProcess_Service", L"Process_4294967297"};
  TwicePassesWithoutLeak([&](ISoftwareProcessControlManager* m) {
    for (const wchar_t* text : identities) {
      SCOPED_TRACE(std::string(text, text + wcslen(text)));
      Text identity(text);
      long value = -7;
      EXPECT_EQ(m->StopSoftwareProcess(identity.get(), 0, &value), kIdentityNotFound);
      EXPECT_EQ(value, 0) << "written before the lookup";
      value = -7;
      EXPECT_EQ(m->StopSoftwareProcess(identity.get(), -1, nullptr), kIdentityNotFound);
      EXPECT_EQ(m->GetProcessStatus(identity.get(), &value), kIdentityNotFound);
      EXPECT_EQ(m->PauseSoftwareProcess(identity.get()), S_OK);
      EXPECT_EQ(m->ContineSoftwareProcess(identity.get()), S_OK);
      EXPECT_EQ(m->RestartSoftwareProcess(identity.get()), S_OK);
    }
  });
}

// Every malformed switch: those that leave a "u" short fail the launch;
// the others are no switch the launcher knows and the program starts plainly.
// The session's account store holds no administrator account, so plain
// launches run under the caller's own account (Wine's logon tokens could not
// create a process).
TEST_F(BadInput, MalformedProcessControlSwitches) {
  struct Case {
    std::wstring ctrl;
    HRESULT expected;
  };
  const std::vector<Case> cases = {
      {L"-u", kLaunchFailed},
      {L"/u", kLaunchFailed},
      {L"-u a", kLaunchFailed},
      {L"-u a b", kLaunchFailed},
      {L"-U A B", kLaunchFailed},  // lowered first
      {L"-u  ", kLaunchFailed},    // two values, both empty
      {L"-con -u a", kLaunchFailed},
      {L"--con", S_OK},
      {L"-", S_OK},
      {L"/", S_OK},
      {L"-con-win", S_OK},
      {L"- con", S_OK},
      {L"-/-/", S_OK},
      {L"-hiddencon-", S_OK},
      {L"-u-a-b-c", S_OK},
      {L"\x00e9-con", S_OK},
      {std::wstring(kLongChars, L'-'), S_OK},
  };
  const std::wstring child = ChildPath();
  TwicePassesWithoutLeak([&](ISoftwareProcessControlManager* m) {
    for (const Case& c : cases) {
      Text name(child), args(L""), ctrl(c.ctrl);
      const std::string what =
          c.ctrl.size() > 40 ? "32767 dashes" : std::string(c.ctrl.begin(), c.ctrl.end());
      ExpectStart(m, name.get(), args.get(), ctrl.get(), c.expected, what);
    }
  });
  size_t plain = 0;
  for (const Case& c : cases) plain += c.expected == S_OK;
  EXPECT_EQ(launched.size(), 2 * plain) << "each plain start launched its program";
}

}  // namespace
