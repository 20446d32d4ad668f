// Binds ProcessApi to the real operating-system calls.
#include "process/ProcessApi.h"

#include "process/DesktopAccess.h"
#include "win32/NoDestructor.h"

BOOL RealProcessApi::GetVersionEx(OSVERSIONINFOW* info) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExW(info);
#pragma GCC diagnostic pop
}

HRESULT RealProcessApi::CreateAdminAccountInfo(ICAdminAccountInfo** store) {
  return ::CoCreateInstance(CLSID_CAdminAccountInfo, nullptr, CLSCTX_ALL,
                            IID_ICAdminAccountInfo, reinterpret_cast<void**>(store));
}

BOOL RealProcessApi::LogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password,
                               DWORD logonType, DWORD provider, HANDLE* token) {
  return ::LogonUserW(user, domain, password, logonType, provider, token);
}

void RealProcessApi::GrantDesktopAccess(HANDLE token, DWORD accessMask) {
  ::GrantDesktopAccess(token, accessMask);
}

BOOL RealProcessApi::CreateProcessAsUser(HANDLE token, LPWSTR commandLine,
                                         DWORD creationFlags,
                                         STARTUPINFOW* startupInfo,
                                         PROCESS_INFORMATION* info) {
  return ::CreateProcessAsUserW(token, /*lpApplicationName=*/nullptr, commandLine,
                                /*lpProcessAttributes=*/nullptr,
                                /*lpThreadAttributes=*/nullptr,
                                /*bInheritHandles=*/FALSE, creationFlags,
                                /*lpEnvironment=*/nullptr,
                                /*lpCurrentDirectory=*/nullptr, startupInfo, info);
}

BOOL RealProcessApi::CreateProcess(LPWSTR commandLine, DWORD creationFlags,
                                   STARTUPINFOW* startupInfo,
                                   PROCESS_INFORMATION* info) {
  return ::CreateProcessW(/*lpApplicationName=*/nullptr, commandLine,
                          /*lpProcessAttributes=*/nullptr,
                          /*lpThreadAttributes=*/nullptr,
                          /*bInheritHandles=*/FALSE, creationFlags,
                          /*lpEnvironment=*/nullptr,
                          /*lpCurrentDirectory=*/nullptr, startupInfo, info);
}

DWORD RealProcessApi::ResumeThread(HANDLE thread) { return ::ResumeThread(thread); }
BSTR RealProcessApi::AllocString(const wchar_t* text) { return ::SysAllocString(text); }

HANDLE RealProcessApi::OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  return ::OpenProcess(access, inherit, processId);
}
HANDLE RealProcessApi::OpenEvent(DWORD access, BOOL inherit, LPCWSTR name) {
  return ::OpenEventW(access, inherit, name);
}
BOOL RealProcessApi::SetEvent(HANDLE event) { return ::SetEvent(event); }
DWORD RealProcessApi::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}
BOOL RealProcessApi::TerminateProcess(HANDLE process, UINT exitCode) {
  return ::TerminateProcess(process, exitCode);
}
DWORD RealProcessApi::GetTickCount() { return ::GetTickCount(); }
BOOL RealProcessApi::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
DWORD RealProcessApi::GetLastError() { return ::GetLastError(); }

RealProcessApi& DefaultProcessApi() {
  static NoDestructor<RealProcessApi> api;
  return *api;
}
