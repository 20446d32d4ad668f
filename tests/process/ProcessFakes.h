#pragma once
// Scripted fakes of the application side's seams: the OS calls (with a
// virtual tick clock), the log, the realtime process table and the
// administrator account store.
#include <windows.h>

#include <stdio.h>

#include <deque>
#include <functional>
#include <utility>
#include <set>
#include <string>
#include <vector>

#include "Velmora.h"
#include "process/ProcessApi.h"
#include "process/ProcessLog.h"

namespace process_test {

constexpr int kModuleFlag = -1;  // FakeLog kind of a LOG_MODULE message

struct LogLine {
  int kind;  // a category index, or kModuleFlag
  std::wstring text;
};

class FakeLog : public ProcessLog {
 public:
  bool IsCategoryEnabled(int categoryIndex) override { return enabled; }
  void WriteV(int categoryIndex, const wchar_t* format, va_list args) override {
    lines.push_back({categoryIndex, Format(format, args)});
  }
  void WriteModuleV(const wchar_t* format, va_list args) override {
    lines.push_back({kModuleFlag, Format(format, args)});
  }
  bool Has(int kind, const std::wstring& text) const {
    for (const LogLine& line : lines)
      if (line.kind == kind && line.text == text) return true;
    return false;
  }
  size_t CountKind(int kind) const {
    size_t n = 0;
    for (const LogLine& line : lines) n += line.kind == kind;
    return n;
  }
  bool enabled = true;
  std::vector<LogLine> lines;

 private:
  // The logging client's own formatting: msvcrt rules, 8192 characters.
  static std::wstring Format(const wchar_t* format, va_list args) {
    wchar_t text[LoggerClient::kMessageChars];
    _vsnwprintf(text, LoggerClient::kMessageChars, format, args);
    text[LoggerClient::kMessageChars - 1] = L'\0';
    return text;
  }
};

// COM object base: a reference count that tests can inspect.
template <typename Interface>
class FakeComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

class FakeAdminStore : public FakeComObject<ICAdminAccountInfo> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetOSAdminAccountInfo(BSTR*, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOSAdminAccountInfoEx(BSTR* domain, BSTR* user,
                                                    BSTR* password) override {
    ++calls;
    argumentsWereNull = !*domain && !*user && !*password;
    *domain = SysAllocString(L"corp");
    *user = SysAllocString(L"osadmin");
    *password = SysAllocString(L"secret");
    return E_FAIL;  // the launch does not look at it
  }
  HRESULT STDMETHODCALLTYPE RegisterAppID(LPWSTR) override { return E_NOTIMPL; }
  int calls = 0;
  bool argumentsWereNull = false;
};

class FakeClerk : public FakeComObject<IProcessRealtimeClerk> {
 public:
  HRESULT STDMETHODCALLTYPE CreateProcessEntry(ULONG, LONG, LONG, LONG, LONG, LONG,
                                               LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteProcessEntryByIndex(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteProcessEntryByProcessId(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDirtyProcessRealtimeInfo(tagProcessRealtimeInfo*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetNextNewProcessRealtimeInfo(tagProcessRealtimeInfo*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetProcessShutdownEventName(ULONG, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetProcessStatus(ULONG pid, tagPlatformProcessStatus* status) override {
    statusPresetSeen = *status;
    statusPid = pid;
    if (writeStatus) *status = statusValue;
    return statusHr;
  }
  HRESULT STDMETHODCALLTYPE RequestWatchdogMonitor(ULONG, LONG, LONG, LONG, LONG,
                                                   tagWatchdogTimeoutAction) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetStartupCompleted(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWatchdogTimeout(ULONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWatchdogFaults(ULONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWatchdogAction(ULONG, tagWatchdogTimeoutAction) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetWatchdogHeartbeat(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWatchdogActive(ULONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetProcessStatus(ULONG, tagPlatformProcessStatus) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetProcessStartupTimeout(ULONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetProcessShutdownTimeout(ULONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProcessRealtimeInfoByProcessId(
      ULONG pid, tagProcessRealtimeInfo* info) override {
    ++infoCalls;
    if (infoScript.empty()) return E_UNEXPECTED;
    auto step = infoScript.front();
    infoScript.pop_front();
    return step(info);
  }
  HRESULT STDMETHODCALLTYPE GetProcessRealtimeInfoByIndex(LONG, tagProcessRealtimeInfo*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetProcessIdByName(LPWSTR identity, ULONG* pid) override {
    calls.push_back(L"GetProcessIdByName");
    lastIdentity = identity ? identity : L"";
    idPresetSeen = *pid;
    if (SUCCEEDED(idHr)) *pid = processId;
    return idHr;
  }
  HRESULT STDMETHODCALLTYPE GetProcessIdEventName(ULONG, BSTR* name) override {
    calls.push_back(L"GetProcessIdEventName");
    if (SUCCEEDED(eventHr)) *name = SysAllocString(eventName.c_str());
    return eventHr;
  }
  HRESULT STDMETHODCALLTYPE GetShutdownTimeout(ULONG, LONG* timeout) override {
    calls.push_back(L"GetShutdownTimeout");
    if (writeTimeout) *timeout = tableTimeout;
    return timeoutHr;
  }

  // A heartbeat of the given age on the given clock, with the given result.
  void AddHeartbeat(const DWORD* clock, DWORD age, HRESULT hr = S_OK) {
    infoScript.push_back([clock, age, hr](tagProcessRealtimeInfo* info) {
      info->lTimeLastHeartbeat = static_cast<LONG>(*clock - age);
      return hr;
    });
  }

  HRESULT idHr = S_OK;
  ULONG processId = 4242;
  HRESULT eventHr = S_OK;
  std::wstring eventName = L"AppShutdown";
  HRESULT timeoutHr = S_OK;
  bool writeTimeout = true;
  LONG tableTimeout = 5000;
  std::deque<std::function<HRESULT(tagProcessRealtimeInfo*)>> infoScript;
  int infoCalls = 0;
  HRESULT statusHr = S_OK;
  bool writeStatus = true;
  tagPlatformProcessStatus statusValue = PROCESS_RUNNING_ACTIVE;
  tagPlatformProcessStatus statusPresetSeen = PROCESS_STARTING;
  ULONG statusPid = 0;
  ULONG idPresetSeen = 77;
  std::wstring lastIdentity;
  std::vector<std::wstring> calls;
};

struct LogonCall {
  std::wstring user, domain, password;
  DWORD type, provider;
};

struct CreateCall {
  bool asUser;
  HANDLE token;
  std::wstring commandLine;
  DWORD flags;
  STARTUPINFOW startupInfo;
  std::wstring desktop;
  bool hasDesktop;
};

// Kernel objects are fake handle values; every open one is tracked, so a
// test can see exactly what was closed and what leaked.
class FakeProcessApi : public ProcessApi {
 public:
  BOOL GetVersionEx(OSVERSIONINFOW* info) override {
    versionSizeSeen = info->dwOSVersionInfoSize;
    info->dwMajorVersion = majorVersion;
    return TRUE;
  }
  HRESULT CreateAdminAccountInfo(ICAdminAccountInfo** store) override {
    ++adminCreates;
    if (FAILED(adminHr)) return adminHr;
    adminStore.AddRef();
    *store = &adminStore;
    return S_OK;
  }
  BOOL LogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD type,
                 DWORD provider, HANDLE* token) override {
    logons.push_back({user ? user : L"<null>", domain ? domain : L"<null>",
                      password ? password : L"<null>", type, provider});
    bool ok = logonResults.empty() ? true : logonResults.front();
    if (!logonResults.empty()) logonResults.pop_front();
    if (!ok) {
      *token = nullptr;
      lastError = ERROR_LOGON_FAILURE;
      return FALSE;
    }
    *token = NewHandle();
    tokens.push_back(*token);
    return TRUE;
  }
  void GrantDesktopAccess(HANDLE token, DWORD mask) override {
    grants.push_back({token, mask});
  }
  BOOL CreateProcessAsUser(HANDLE token, LPWSTR commandLine, DWORD flags,
                           STARTUPINFOW* si, PROCESS_INFORMATION* info) override {
    return Create(true, token, commandLine, flags, si, info);
  }
  BOOL CreateProcess(LPWSTR commandLine, DWORD flags, STARTUPINFOW* si,
                     PROCESS_INFORMATION* info) override {
    return Create(false, nullptr, commandLine, flags, si, info);
  }
  DWORD ResumeThread(HANDLE thread) override {
    resumed.push_back(thread);
    if (!IsOpen(thread)) {
      ++resumesOfClosedHandles;
      lastError = ERROR_INVALID_HANDLE;
      return static_cast<DWORD>(-1);
    }
    return 1;
  }
  BSTR AllocString(const wchar_t* text) override {
    if (onAllocString) {
      std::function<void()> hook = std::move(onAllocString);
      onAllocString = nullptr;
      hook();
    }
    return failAllocString ? nullptr : SysAllocString(text);
  }
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid) override {
    openProcessCalls.push_back({access, inherit, pid});
    if (openProcessError) {
      lastError = openProcessError;
      return nullptr;
    }
    return NewHandle();
  }
  HANDLE OpenEvent(DWORD access, BOOL inherit, LPCWSTR name) override {
    ++openEventCalls;
    eventAccessSeen = access;
    if (openEventError) {
      lastError = openEventError;
      return nullptr;
    }
    eventHandle = NewHandle();
    return eventHandle;
  }
  BOOL SetEvent(HANDLE event) override {
    setEvents.push_back(event);
    return TRUE;
  }
  DWORD WaitForSingleObject(HANDLE handle, DWORD ms) override {
    if (onWait) {
      std::function<void()> hook = std::move(onWait);
      onWait = nullptr;
      hook();
    }
    waitHandles.push_back(handle);
    waits.push_back(ms);
    if (!IsOpen(handle)) {
      lastError = ERROR_INVALID_HANDLE;
      return WAIT_FAILED;
    }
    DWORD outcome = waitScript.empty() ? WAIT_OBJECT_0 : waitScript.front();
    if (!waitScript.empty()) waitScript.pop_front();
    if (outcome == WAIT_TIMEOUT) now += ms;
    if (outcome == WAIT_FAILED) lastError = ERROR_INVALID_HANDLE;
    return outcome;
  }
  BOOL TerminateProcess(HANDLE process, UINT code) override {
    terminated.push_back(process);
    terminateCode = code;
    return TRUE;
  }
  DWORD GetTickCount() override { return now; }
  BOOL CloseHandle(HANDLE handle) override {
    closed.push_back(handle);
    if (!open.erase(handle)) {
      ++badCloses;
      return FALSE;
    }
    if (reuseClosedHandles) freed.push_back(handle);
    return TRUE;
  }
  DWORD GetLastError() override { return lastError; }

  HANDLE NewHandle() {
    HANDLE h = nullptr;
    if (!freed.empty()) {
      // The kernel hands a closed handle's value out again, the last first.
      h = freed.back();
      freed.pop_back();
      open.insert(h);
      return h;
    }
    nextHandle += 4;
    h = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(nextHandle));
    open.insert(h);
    return h;
  }
  bool IsOpen(HANDLE h) const { return open.count(h) != 0; }
  // Puts a created process's handles in place as if launched earlier.
  PROCESS_INFORMATION MakeProcess(DWORD pid) {
    PROCESS_INFORMATION info = {};
    info.hProcess = NewHandle();
    info.hThread = NewHandle();
    info.dwProcessId = pid;
    info.dwThreadId = pid + 1;
    return info;
  }

  DWORD majorVersion = 6;
  DWORD versionSizeSeen = 0;
  HRESULT adminHr = REGDB_E_CLASSNOTREG;
  FakeAdminStore adminStore;
  int adminCreates = 0;
  std::deque<bool> logonResults;
  std::vector<LogonCall> logons;
  std::vector<HANDLE> tokens;
  std::vector<std::pair<HANDLE, DWORD>> grants;
  bool createResult = true;
  DWORD nextPid = 3000;
  std::vector<CreateCall> creates;
  std::vector<PROCESS_INFORMATION> created;
  std::vector<HANDLE> resumed;
  int resumesOfClosedHandles = 0;
  bool failAllocString = false;
  // Runs once, when the launch allocates its identity (after it listed the
  // process, before it resumes it), as another thread would.
  std::function<void()> onAllocString;
  struct OpenProcessCall { DWORD access; BOOL inherit; DWORD pid; };
  std::vector<OpenProcessCall> openProcessCalls;
  DWORD openProcessError = 0;
  int openEventCalls = 0;
  DWORD eventAccessSeen = 0;
  DWORD openEventError = 0;
  HANDLE eventHandle = nullptr;
  std::vector<HANDLE> setEvents;
  std::deque<DWORD> waitScript;
  std::vector<DWORD> waits;
  std::vector<HANDLE> waitHandles;
  std::vector<HANDLE> terminated;
  UINT terminateCode = 99;
  // Runs once, at the start of the next wait, as another thread would.
  std::function<void()> onWait;
  bool reuseClosedHandles = false;
  std::vector<HANDLE> freed;
  std::vector<HANDLE> closed;
  int badCloses = 0;
  std::set<HANDLE> open;
  DWORD lastError = 0;
  DWORD now = 1000000;
  UINT_PTR nextHandle = 0x100;

 private:
  BOOL Create(bool asUser, HANDLE token, LPWSTR commandLine, DWORD flags,
              STARTUPINFOW* si, PROCESS_INFORMATION* info) {
    CreateCall call{asUser, token, commandLine, flags, *si,
                    si->lpDesktop ? si->lpDesktop : L"", si->lpDesktop != nullptr};
    creates.push_back(call);
    if (!createResult) {
      lastError = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    *info = MakeProcess(nextPid++);
    created.push_back(*info);
    return TRUE;
  }
};

}  // namespace process_test
