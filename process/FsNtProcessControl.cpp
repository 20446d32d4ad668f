#include "process/FsNtProcessControl.h"

#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>

#include "process/ListedProcess.h"
#include "process/ProcessApi.h"
#include "process/ProcessListLock.h"
#include "process/ProcessLog.h"
#include "win32/ComPtr.h"
#include "win32/Owners.h"

namespace {

// One code for every failed launch step: logon, creation, identity.
constexpr HRESULT kLaunchFailed = static_cast<HRESULT>(0x80043404);
// The command line buffer, terminator included.
constexpr size_t kCommandLineChars = 512;
constexpr DWORD kFirstMajorVersionWithBatchLogon = 6;
// "Process_" and up to ten digits, terminated.
constexpr size_t kIdentityChars = 32;

// "\"szName\" szCmdLnArgs": the quotes keep a path with spaces one program.
// False when it does not fit the buffer. Nothing is allocated.
bool BuildCommandLine(LPCWSTR name, LPCWSTR args, wchar_t (&commandLine)[kCommandLineChars]) {
  const size_t nameChars = std::wcslen(name);
  const size_t argChars = args ? std::wcslen(args) : 0;
  // Two quotes, the space and the terminator.
  if (nameChars + argChars + 4 > kCommandLineChars) return false;
  wchar_t* out = commandLine;
  *out++ = L'"';
  out = std::wmemcpy(out, name, nameChars) + nameChars;
  *out++ = L'"';
  *out++ = L' ';
  if (argChars != 0) out = std::wmemcpy(out, args, argChars) + argChars;
  *out = L'\0';
  return true;
}

}  // namespace

// Every way out of a launch after the process was created goes through this
// owner, early returns and exceptions alike. Unless its program runs, the
// process is terminated and unlisted, and its handles are closed by whoever
// holds its entry last. Until then the launch holds the entry itself, so a
// stop that finds it meanwhile cannot close its handles under the launch.
class FsNtProcessControl::PendingLaunch {
 public:
  PendingLaunch(FsNtProcessControl& owner, const PROCESS_INFORMATION& info)
      : m_owner(owner),
        m_process(owner.m_api, info.hProcess),
        m_thread(owner.m_api, info.hThread),
        m_processId(info.dwProcessId),
        m_threadId(info.dwThreadId) {}
  ~PendingLaunch() {
    if (m_running) return;
    m_owner.m_api.TerminateProcess(m_entry ? m_entry.get()->process() : m_process.get(), 0);
    if (!m_entry) return;  // never listed: the owners close the thread, then the process
    ProcessListGuard lock;
    m_owner.m_processHandleList.Remove(m_entry.get(), lock);
    m_entry.release()->Drop(lock);
  }
  PendingLaunch(const PendingLaunch&) = delete;
  PendingLaunch& operator=(const PendingLaunch&) = delete;

  // Appends the process to the list, the launch holding its entry too; false
  // when no entry can be allocated.
  bool List() {
    ListedProcess* entry = ListedProcess::Create(m_process, m_thread, m_processId, m_threadId);
    if (!entry) return false;
    m_entry.reset(entry);
    ProcessListGuard lock;
    m_owner.m_processHandleList.Append(entry, lock);
    return true;
  }

  // Resumes the program while the launch still holds its entry, then lets go:
  // the list keeps it. False, with nothing resumed, when a stop of the same
  // process id took the entry out meanwhile (it took the process for ended):
  // a program that nobody lists must not run, and the launch fails.
  bool Run() {
    ProcessListGuard lock;
    if (!m_entry.get()->IsListed(lock)) return false;
    m_owner.m_api.ResumeThread(m_entry.get()->thread());
    m_entry.release()->Drop(lock);
    m_running = true;
    return true;
  }

 private:
  FsNtProcessControl& m_owner;
  ApiHandle m_process;  // until listed; declared first, so closed last
  ApiHandle m_thread;
  const DWORD m_processId;
  const DWORD m_threadId;
  ProcessHold m_entry;  // the launch's hold, once listed
  bool m_running = false;
};

FsNtProcessControl::FsNtProcessControl()
    : m_api(DefaultProcessApi()), m_log(DefaultProcessLog()) {
  // A failed creation leaves the pointer null; the stop and the status query
  // report that when they are asked.
  CoCreateInstance(CLSID_ProcessRealtimeClerkObject, nullptr, CLSCTX_INPROC_SERVER,
                   IID_IProcessRealtimeClerk, m_pIProcessRealtimeClerk.put_void());
}

FsNtProcessControl::FsNtProcessControl(IProcessRealtimeClerk* clerk, ProcessApi& api,
                                       ProcessLog& log)
    : m_api(api), m_log(log) {
  if (clerk) clerk->AddRef();
  m_pIProcessRealtimeClerk = ComPtr<IProcessRealtimeClerk>(clerk);
}

// The table instance goes first; then the list lets go of its entries: the
// processes run on, only this object's handles to them go.
FsNtProcessControl::~FsNtProcessControl() { m_pIProcessRealtimeClerk.reset(); }

HRESULT FsNtProcessControl::StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs,
                                         LPWSTR szProcessCtrlArgs,
                                         BSTR* processIdentity) {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  m_api.GetVersionEx(&version);

  if (!processIdentity) return E_POINTER;
  if (!szName) return E_INVALIDARG;
  *processIdentity = nullptr;

  wchar_t commandLine[kCommandLineChars];
  if (!BuildCommandLine(szName, szCmdLnArgs, commandLine)) return E_INVALIDARG;

  std::unique_ptr<ProcessCredentials> credentials(new (std::nothrow) ProcessCredentials);
  std::unique_ptr<STARTUPINFOW> startupInfo(new (std::nothrow) STARTUPINFOW{});
  if (!credentials || !startupInfo) return E_OUTOFMEMORY;

  DWORD creationFlags = 0;
  InitializeProcess(szProcessCtrlArgs, startupInfo.get(), credentials.get(),
                    &creationFlags);

  ApiHandle token(m_api);
  HRESULT hr = ObtainLogonToken(*credentials, version.dwMajorVersion, token.put());
  // Nothing after the logon needs the password: wipe it now rather than keep
  // it through the process creation.
  credentials.reset();
  if (FAILED(hr)) return hr;

  PROCESS_INFORMATION info = {};
  BOOL created = FALSE;
  if (token) {
    // Its outcome does not decide the launch: without access the process
    // merely cannot use the desktop.
    m_api.GrantDesktopAccess(token.get(), GENERIC_ALL);
    created = m_api.CreateProcessAsUser(token.get(), commandLine, creationFlags,
                                        startupInfo.get(), &info);
  } else {
    created = m_api.CreateProcess(commandLine, creationFlags, startupInfo.get(), &info);
  }
  if (!created) {
    m_api.GetLastError();
    return kLaunchFailed;
  }

  PendingLaunch launch(*this, info);
  // Without an entry nobody could stop it: it must not run.
  if (!launch.List()) return E_OUTOFMEMORY;

  token.reset();
  startupInfo.reset();

  wchar_t identity[kIdentityChars];
  std::swprintf(identity, kIdentityChars, L"Process_%lu",
                static_cast<unsigned long>(info.dwProcessId));
  UniqueBstr bstrIdentity(m_api.AllocString(identity));
  // Nobody could name it: it must not stay suspended for ever.
  if (!bstrIdentity) return kLaunchFailed;
  if (!launch.Run()) return kLaunchFailed;
  *processIdentity = bstrIdentity.release();
  return S_OK;
}

HRESULT FsNtProcessControl::ObtainLogonToken(const ProcessCredentials& credentials,
                                             DWORD majorVersion, HANDLE* token) {
  // A "u" switch without its three values names no account to log on with.
  if (credentials.bIncomplete) return kLaunchFailed;

  if (credentials.IsComplete()) {
    if (majorVersion >= kFirstMajorVersionWithBatchLogon &&
        m_api.LogonUser(credentials.bstrUserName.get(), credentials.bstrDomain.get(),
                        credentials.bstrPassword.get(), LOGON32_LOGON_BATCH,
                        LOGON32_PROVIDER_DEFAULT, token)) {
      return S_OK;
    }
    if (!m_api.LogonUser(credentials.bstrUserName.get(), credentials.bstrDomain.get(),
                         credentials.bstrPassword.get(), LOGON32_LOGON_INTERACTIVE,
                         LOGON32_PROVIDER_DEFAULT, token)) {
      m_api.GetLastError();
      *token = nullptr;
      return kLaunchFailed;
    }
    return S_OK;
  }

  ComPtr<ICAdminAccountInfo> store;
  HRESULT hr = m_api.CreateAdminAccountInfo(store.put());
  if (FAILED(hr) || !store.get()) {
    m_log.Category(kLogError, L"Unable to CoCreate coclass CAdminAccountInfo. hr = 0x%x",
                   static_cast<unsigned>(hr));
    return S_OK;  // the caller's own account
  }
  // The store's answer is the administrator's password in strings that are
  // now ours: they go into a record that wipes them, whatever the logon does
  // and whatever the store returned.
  ProcessCredentials account;
  store->GetOSAdminAccountInfoEx(account.bstrDomain.put(), account.bstrUserName.put(),
                                 account.bstrPassword.put());
  const BOOL loggedOn = m_api.LogonUser(account.bstrUserName.get(), account.bstrDomain.get(),
                                        account.bstrPassword.get(), LOGON32_LOGON_SERVICE,
                                        LOGON32_PROVIDER_DEFAULT, token);
  store.reset();
  if (!loggedOn) {
    m_api.GetLastError();
    *token = nullptr;
    return kLaunchFailed;
  }
  return S_OK;
}

HRESULT FsNtProcessControl::GetProcessStatus(LPWSTR instanceName, long* status) {
  tagPlatformProcessStatus value = PROCESS_STOPPED;
  unsigned long processId = 0;
  if (!status) return E_POINTER;
  if (!m_pIProcessRealtimeClerk) return E_INVALIDARG;
  HRESULT hr = m_pIProcessRealtimeClerk->GetProcessIdByName(instanceName, &processId);
  if (FAILED(hr)) return hr;
  hr = m_pIProcessRealtimeClerk->GetProcessStatus(processId, &value);
  *status = static_cast<long>(value);
  return hr;
}
