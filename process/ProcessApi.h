#pragma once
// The operating-system calls of the application launch and stop, behind one
// narrow interface. RealProcessApi (ProcessApiWin32.cpp) binds the real API;
// tests bind scripted fakes with a virtual tick clock.
#include <windows.h>

#include "Velmora.h"  // ICAdminAccountInfo
#include "win32/UniqueAny.h"

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;

  virtual BOOL GetVersionEx(OSVERSIONINFOW* info) = 0;
  virtual HRESULT CreateAdminAccountInfo(ICAdminAccountInfo** store) = 0;
  virtual BOOL LogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password,
                         DWORD logonType, DWORD provider, HANDLE* token) = 0;
  // Adds the token's logon session to the interactive desktop.
  virtual void GrantDesktopAccess(HANDLE token, DWORD accessMask) = 0;
  virtual BOOL CreateProcessAsUser(HANDLE token, LPWSTR commandLine,
                                   DWORD creationFlags, STARTUPINFOW* startupInfo,
                                   PROCESS_INFORMATION* info) = 0;
  virtual BOOL CreateProcess(LPWSTR commandLine, DWORD creationFlags,
                             STARTUPINFOW* startupInfo,
                             PROCESS_INFORMATION* info) = 0;
  virtual DWORD ResumeThread(HANDLE thread) = 0;
  virtual BSTR AllocString(const wchar_t* text) = 0;

  virtual HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) = 0;
  virtual HANDLE OpenEvent(DWORD access, BOOL inherit, LPCWSTR name) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
  virtual BOOL TerminateProcess(HANDLE process, UINT exitCode) = 0;
  virtual DWORD GetTickCount() = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual DWORD GetLastError() = 0;
};

// The production binding; a process-wide instance serves every object.
class RealProcessApi : public ProcessApi {
 public:
  BOOL GetVersionEx(OSVERSIONINFOW* info) override;
  HRESULT CreateAdminAccountInfo(ICAdminAccountInfo** store) override;
  BOOL LogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType,
                 DWORD provider, HANDLE* token) override;
  void GrantDesktopAccess(HANDLE token, DWORD accessMask) override;
  BOOL CreateProcessAsUser(HANDLE token, LPWSTR commandLine, DWORD creationFlags,
                           STARTUPINFOW* startupInfo,
                           PROCESS_INFORMATION* info) override;
  BOOL CreateProcess(LPWSTR commandLine, DWORD creationFlags,
                     STARTUPINFOW* startupInfo, PROCESS_INFORMATION* info) override;
  DWORD ResumeThread(HANDLE thread) override;
  BSTR AllocString(const wchar_t* text) override;
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) override;
  HANDLE OpenEvent(DWORD access, BOOL inherit, LPCWSTR name) override;
  BOOL SetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override;
  DWORD GetTickCount() override;
  BOOL CloseHandle(HANDLE handle) override;
  DWORD GetLastError() override;
};

RealProcessApi& DefaultProcessApi();

// A kernel handle that the seam handed out (token, process, thread, event),
// closed through it.
using ApiHandle = UniqueAny<CloseThrough<ProcessApi, HANDLE, &ProcessApi::CloseHandle>>;
