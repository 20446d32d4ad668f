#pragma once
// Grants a logon session access to the interactive desktop "default" of the
// window station "winsta0", so that a process started under another account
// can use it. The entry is appended to the desktop's DACL and stays there.
#include <windows.h>

class ProcessLog;

// The window-station, desktop, token, ACL and security-descriptor calls of
// the grant, behind one narrow interface: window stations and desktops cannot
// be driven for real under every host (Wine's have no access list), so tests
// script them. RealDesktopApi (DesktopApiWin32.cpp) binds the real calls;
// fakes may derive from it to keep the real ACL arithmetic.
class DesktopApi {
 public:
  virtual ~DesktopApi() = default;
  virtual HWINSTA OpenWindowStation(LPCWSTR name, BOOL inherit, ACCESS_MASK access) = 0;
  virtual HWINSTA GetProcessWindowStation() = 0;
  virtual BOOL SetProcessWindowStation(HWINSTA station) = 0;
  virtual BOOL CloseWindowStation(HWINSTA station) = 0;
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind,
                                   void* buffer, DWORD length, DWORD* returned) = 0;
  virtual HDESK OpenDesktop(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK access) = 0;
  virtual BOOL CloseDesktop(HDESK desktop) = 0;
  virtual BOOL GetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                     PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                     DWORD* needed) = 0;
  virtual BOOL SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                     PSECURITY_DESCRIPTOR descriptor) = 0;
  virtual BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                         PACL* dacl, BOOL* defaulted) = 0;
  virtual BOOL GetAclInformation(PACL acl, ACL_SIZE_INFORMATION* info) = 0;
  virtual DWORD GetLengthSid(PSID sid) = 0;
  virtual BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) = 0;
  virtual BOOL GetAce(PACL acl, DWORD index, void** ace) = 0;
  virtual BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, void* ace, DWORD length) = 0;
  virtual BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) = 0;
  virtual BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) = 0;
  virtual BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                         PACL dacl, BOOL defaulted) = 0;
  virtual void* Allocate(size_t bytes) = 0;
  virtual void Free(void* block) = 0;
  virtual DWORD GetLastError() = 0;
};

// The production binding: the real calls.
class RealDesktopApi : public DesktopApi {
 public:
  HWINSTA OpenWindowStation(LPCWSTR name, BOOL inherit, ACCESS_MASK access) override;
  HWINSTA GetProcessWindowStation() override;
  BOOL SetProcessWindowStation(HWINSTA station) override;
  BOOL CloseWindowStation(HWINSTA station) override;
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind,
                           void* buffer, DWORD length, DWORD* returned) override;
  HDESK OpenDesktop(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK access) override;
  BOOL CloseDesktop(HDESK desktop) override;
  BOOL GetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                             PSECURITY_DESCRIPTOR descriptor, DWORD length,
                             DWORD* needed) override;
  BOOL SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                             PSECURITY_DESCRIPTOR descriptor) override;
  BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                 PACL* dacl, BOOL* defaulted) override;
  BOOL GetAclInformation(PACL acl, ACL_SIZE_INFORMATION* info) override;
  DWORD GetLengthSid(PSID sid) override;
  BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) override;
  BOOL GetAce(PACL acl, DWORD index, void** ace) override;
  BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, void* ace, DWORD length) override;
  BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) override;
  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) override;
  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                 PACL dacl, BOOL defaulted) override;
  void* Allocate(size_t bytes) override;
  void Free(void* block) override;
  DWORD GetLastError() override;
};

// Access mask of the desktop handle: READ_CONTROL, WRITE_DAC,
// DESKTOP_READOBJECTS and DESKTOP_WRITEOBJECTS.
constexpr ACCESS_MASK kDesktopGrantAccess = 0x60081;

// Adds an access-allowed entry with accessMask for the token's logon SID to the
// DACL of "default". Calls are serialised process-wide, because the window
// station switch that the desktop lookup needs affects the whole process. A
// failing step leaves the desktop unchanged; the process's window station is
// restored and everything acquired is released on every path. A DACL too full
// to take the entry (its size field has 16 bits) is logged at Warning with
// its entry count.
void GrantDesktopAccess(DesktopApi& api, ProcessLog& log, HANDLE token,
                        DWORD accessMask);

// The production binding: real calls, the module's log.
void GrantDesktopAccess(HANDLE token, DWORD accessMask);
