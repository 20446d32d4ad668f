#pragma once
// The application side's fakes with one more knob: the N-th call of one kind
// fails the way the real call fails (FALSE or null with a last error, a
// failed HRESULT, WAIT_FAILED), without reaching the fake. The fakes' own
// bookkeeping (open handles, reference counts) then shows what was released.
#include <windows.h>

#include <map>
#include <string>

#include "tests/process/ProcessFakes.h"

namespace hardening {

enum class ProcCall {
  kGetVersionEx, kCreateAdminAccountInfo, kLogonUser, kCreateProcessAsUser, kCreateProcess,
  kResumeThread, kAllocString, kOpenProcess, kOpenEvent, kSetEvent, kWait, kTerminate,
  // The realtime table.
  kGetProcessIdByName, kGetProcessIdEventName, kGetShutdownTimeout, kGetRealtimeInfo,
  kGetProcessStatus,
};

inline const char* ProcCallName(ProcCall call) {
  switch (call) {
    case ProcCall::kGetVersionEx: return "GetVersionEx";
    case ProcCall::kCreateAdminAccountInfo: return "CreateAdminAccountInfo";
    case ProcCall::kLogonUser: return "LogonUser";
    case ProcCall::kCreateProcessAsUser: return "CreateProcessAsUser";
    case ProcCall::kCreateProcess: return "CreateProcess";
    case ProcCall::kResumeThread: return "ResumeThread";
    case ProcCall::kAllocString: return "AllocString";
    case ProcCall::kOpenProcess: return "OpenProcess";
    case ProcCall::kOpenEvent: return "OpenEvent";
    case ProcCall::kSetEvent: return "SetEvent";
    case ProcCall::kWait: return "Wait";
    case ProcCall::kTerminate: return "Terminate";
    case ProcCall::kGetProcessIdByName: return "GetProcessIdByName";
    case ProcCall::kGetProcessIdEventName: return "GetProcessIdEventName";
    case ProcCall::kGetShutdownTimeout: return "GetShutdownTimeout";
    case ProcCall::kGetRealtimeInfo: return "GetRealtimeInfo";
    case ProcCall::kGetProcessStatus: return "GetProcessStatus";
  }
  return "?";
}

// What a failed table call answers.
const HRESULT kInjectedHr = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
// The last error a failed kernel call leaves, unless a test picks another.
constexpr DWORD kInjectedError = ERROR_ACCESS_DENIED;

// Which call fails, shared by the two fakes below.
class FaultPlan {
 public:
  // Also starts the counts afresh, so set-up calls made before do not count.
  void FailNth(ProcCall kind, int ordinal, DWORD error = kInjectedError) {
    m_counts.clear();
    m_failed = false;
    m_kind = kind;
    m_ordinal = ordinal;
    m_error = error;
  }
  int Count(ProcCall kind) const {
    auto it = m_counts.find(kind);
    return it == m_counts.end() ? 0 : it->second;
  }
  bool Failed() const { return m_failed; }
  DWORD Error() const { return m_error; }
  // Counts the call; true when this one is to fail.
  bool Trip(ProcCall kind) {
    const int n = ++m_counts[kind];
    if (kind != m_kind || n != m_ordinal) return false;
    m_failed = true;
    return true;
  }

 private:
  ProcCall m_kind = ProcCall::kGetVersionEx;
  int m_ordinal = 0;
  DWORD m_error = kInjectedError;
  bool m_failed = false;
  std::map<ProcCall, int> m_counts;
};

class FaultingProcessApi : public process_test::FakeProcessApi {
 public:
  explicit FaultingProcessApi(FaultPlan& plan) : m_plan(plan) {}

  BOOL GetVersionEx(OSVERSIONINFOW* info) override {
    if (m_plan.Trip(ProcCall::kGetVersionEx)) return Fail<BOOL>(FALSE);
    return FakeProcessApi::GetVersionEx(info);
  }
  HRESULT CreateAdminAccountInfo(ICAdminAccountInfo** store) override {
    if (m_plan.Trip(ProcCall::kCreateAdminAccountInfo)) return kInjectedHr;
    return FakeProcessApi::CreateAdminAccountInfo(store);
  }
  BOOL LogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD type,
                 DWORD provider, HANDLE* token) override {
    if (m_plan.Trip(ProcCall::kLogonUser)) {
      *token = nullptr;
      return Fail<BOOL>(FALSE);
    }
    return FakeProcessApi::LogonUser(user, domain, password, type, provider, token);
  }
  BOOL CreateProcessAsUser(HANDLE token, LPWSTR commandLine, DWORD flags, STARTUPINFOW* si,
                           PROCESS_INFORMATION* info) override {
    if (m_plan.Trip(ProcCall::kCreateProcessAsUser)) return Fail<BOOL>(FALSE);
    return FakeProcessApi::CreateProcessAsUser(token, commandLine, flags, si, info);
  }
  BOOL CreateProcess(LPWSTR commandLine, DWORD flags, STARTUPINFOW* si,
                     PROCESS_INFORMATION* info) override {
    if (m_plan.Trip(ProcCall::kCreateProcess)) return Fail<BOOL>(FALSE);
    return FakeProcessApi::CreateProcess(commandLine, flags, si, info);
  }
  DWORD ResumeThread(HANDLE thread) override {
    if (m_plan.Trip(ProcCall::kResumeThread)) return Fail<DWORD>(static_cast<DWORD>(-1));
    return FakeProcessApi::ResumeThread(thread);
  }
  BSTR AllocString(const wchar_t* text) override {
    if (m_plan.Trip(ProcCall::kAllocString)) return nullptr;
    return FakeProcessApi::AllocString(text);
  }
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid) override {
    if (m_plan.Trip(ProcCall::kOpenProcess)) return Fail<HANDLE>(nullptr);
    return FakeProcessApi::OpenProcess(access, inherit, pid);
  }
  HANDLE OpenEvent(DWORD access, BOOL inherit, LPCWSTR name) override {
    if (m_plan.Trip(ProcCall::kOpenEvent)) return Fail<HANDLE>(nullptr);
    return FakeProcessApi::OpenEvent(access, inherit, name);
  }
  BOOL SetEvent(HANDLE event) override {
    if (m_plan.Trip(ProcCall::kSetEvent)) return Fail<BOOL>(FALSE);
    return FakeProcessApi::SetEvent(event);
  }
  DWORD WaitForSingleObject(HANDLE handle, DWORD ms) override {
    if (m_plan.Trip(ProcCall::kWait)) return Fail<DWORD>(WAIT_FAILED);
    return FakeProcessApi::WaitForSingleObject(handle, ms);
  }
  BOOL TerminateProcess(HANDLE process, UINT code) override {
    if (m_plan.Trip(ProcCall::kTerminate)) return Fail<BOOL>(FALSE);
    return FakeProcessApi::TerminateProcess(process, code);
  }

 private:
  template <typename T>
  T Fail(T value) {
    lastError = m_plan.Error();
    return value;
  }
  FaultPlan& m_plan;
};

class FaultingClerk : public process_test::FakeClerk {
 public:
  explicit FaultingClerk(FaultPlan& plan) : m_plan(plan) {}

  HRESULT STDMETHODCALLTYPE GetProcessIdByName(LPWSTR identity, ULONG* pid) override {
    if (m_plan.Trip(ProcCall::kGetProcessIdByName)) return kInjectedHr;
    return FakeClerk::GetProcessIdByName(identity, pid);
  }
  HRESULT STDMETHODCALLTYPE GetProcessIdEventName(ULONG pid, BSTR* name) override {
    if (m_plan.Trip(ProcCall::kGetProcessIdEventName)) return kInjectedHr;
    return FakeClerk::GetProcessIdEventName(pid, name);
  }
  HRESULT STDMETHODCALLTYPE GetShutdownTimeout(ULONG pid, LONG* timeout) override {
    if (m_plan.Trip(ProcCall::kGetShutdownTimeout)) return kInjectedHr;
    return FakeClerk::GetShutdownTimeout(pid, timeout);
  }
  HRESULT STDMETHODCALLTYPE GetProcessRealtimeInfoByProcessId(
      ULONG pid, tagProcessRealtimeInfo* info) override {
    if (m_plan.Trip(ProcCall::kGetRealtimeInfo)) {
      // The scripted answer of this step is used up all the same, so the
      // steps after it see the answers they would have seen.
      if (!infoScript.empty()) infoScript.pop_front();
      return kInjectedHr;
    }
    return FakeClerk::GetProcessRealtimeInfoByProcessId(pid, info);
  }
  HRESULT STDMETHODCALLTYPE GetProcessStatus(ULONG pid,
                                             tagPlatformProcessStatus* status) override {
    if (m_plan.Trip(ProcCall::kGetProcessStatus)) return kInjectedHr;
    return FakeClerk::GetProcessStatus(pid, status);
  }

 private:
  FaultPlan& m_plan;
};

}  // namespace hardening
