#pragma once
// The operating-system calls of the application launch and stop, behind one
// narrow interface. RealProcessApi (ProcessApiWin32.cpp) binds the real API;
// tests bind scripted fakes with a virtual tick clock.
#include <windows.h>

#include "Velmora.h"  // ICAdminAccountInfo

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

// Owns one kernel handle and closes it through the seam that produced it.
class ApiHandle {
 public:
  explicit ApiHandle(ProcessApi& api, HANDLE handle = nullptr)
      : m_api(&api), m_handle(handle) {}
  ~ApiHandle() { Reset(); }
  ApiHandle(const ApiHandle&) = delete;
  ApiHandle& operator=(const ApiHandle&) = delete;

  HANDLE Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }
  HANDLE* Put() { Reset(); return &m_handle; }
  HANDLE Release() { HANDLE h = m_handle; m_handle = nullptr; return h; }
  void Reset(HANDLE handle = nullptr) {
    if (m_handle) m_api->CloseHandle(m_handle);
    m_handle = handle;
  }

 private:
  ProcessApi* m_api;
  HANDLE m_handle;
};

// Owns one BSTR.
class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR value) : m_value(value) {}
  ~UniqueBstr() { SysFreeString(m_value); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  BSTR Get() const { return m_value; }
  BSTR* Put() { SysFreeString(m_value); m_value = nullptr; return &m_value; }
  BSTR Release() { BSTR v = m_value; m_value = nullptr; return v; }

 private:
  BSTR m_value = nullptr;
};

// Owns one COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  T** Put() { Reset(); return &m_ptr; }
  void Reset() {
    if (m_ptr) m_ptr->Release();
    m_ptr = nullptr;
  }

 private:
  T* m_ptr = nullptr;
};
