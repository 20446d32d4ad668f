// The operating-system calls of the application side with every call of a
// `Base` binding run inside a `Guard`: the guard is made before the call and
// destroyed after it. The allocation sweep keeps its fakes' own allocations
// out of its count this way; the benchmark times what a request spends
// outside the component's own code.
//
// Shared by the tests and the benchmark. Header-only.
#pragma once

#include <windows.h>

#include "process/ProcessApi.h"

template <typename Base, typename Guard>
class GuardedProcessApi : public Base {
 public:
  BOOL GetVersionEx(OSVERSIONINFOW* info) override {
    Guard guard;
    return Base::GetVersionEx(info);
  }
  HRESULT CreateAdminAccountInfo(ICAdminAccountInfo** store) override {
    Guard guard;
    return Base::CreateAdminAccountInfo(store);
  }
  BOOL LogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType, DWORD provider,
                 HANDLE* token) override {
    Guard guard;
    return Base::LogonUser(user, domain, password, logonType, provider, token);
  }
  void GrantDesktopAccess(HANDLE token, DWORD accessMask) override {
    Guard guard;
    Base::GrantDesktopAccess(token, accessMask);
  }
  BOOL CreateProcessAsUser(HANDLE token, LPWSTR commandLine, DWORD creationFlags,
                           STARTUPINFOW* startupInfo, PROCESS_INFORMATION* info) override {
    Guard guard;
    return Base::CreateProcessAsUser(token, commandLine, creationFlags, startupInfo, info);
  }
  BOOL CreateProcess(LPWSTR commandLine, DWORD creationFlags, STARTUPINFOW* startupInfo,
                     PROCESS_INFORMATION* info) override {
    Guard guard;
    return Base::CreateProcess(commandLine, creationFlags, startupInfo, info);
  }
  DWORD ResumeThread(HANDLE thread) override {
    Guard guard;
    return Base::ResumeThread(thread);
  }
  BSTR AllocString(const wchar_t* text) override {
    Guard guard;
    return Base::AllocString(text);
  }
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) override {
    Guard guard;
    return Base::OpenProcess(access, inherit, processId);
  }
  HANDLE OpenEvent(DWORD access, BOOL inherit, LPCWSTR name) override {
    Guard guard;
    return Base::OpenEvent(access, inherit, name);
  }
  BOOL SetEvent(HANDLE event) override {
    Guard guard;
    return Base::SetEvent(event);
  }
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    Guard guard;
    return Base::WaitForSingleObject(handle, milliseconds);
  }
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override {
    Guard guard;
    return Base::TerminateProcess(process, exitCode);
  }
  DWORD GetTickCount() override {
    Guard guard;
    return Base::GetTickCount();
  }
  BOOL CloseHandle(HANDLE handle) override {
    Guard guard;
    return Base::CloseHandle(handle);
  }
  DWORD GetLastError() override {
    Guard guard;
    return Base::GetLastError();
  }
};
