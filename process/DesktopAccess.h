#pragma once
// Grants a logon session access to the interactive desktop "default" of the
// window station "winsta0", so that a process started under another account
// can use it. The entry is appended to the desktop's DACL and stays there.
#include <windows.h>

class ProcessLog;

// The window-station, desktop, token, ACL and security-descriptor calls of
// the grant. Every method binds the real call; tests derive and override what
// they script (window stations and desktops cannot be driven for real under
// every host), keeping the real ACL arithmetic where they want it.
class DesktopApi {
 public:
  virtual ~DesktopApi() = default;
  virtual HWINSTA OpenWindowStation(LPCWSTR name, BOOL inherit, ACCESS_MASK access);
  virtual HWINSTA GetProcessWindowStation();
  virtual BOOL SetProcessWindowStation(HWINSTA station);
  virtual BOOL CloseWindowStation(HWINSTA station);
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind,
                                   void* buffer, DWORD length, DWORD* returned);
  virtual HDESK OpenDesktop(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK access);
  virtual BOOL CloseDesktop(HDESK desktop);
  virtual BOOL GetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                     PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                     DWORD* needed);
  virtual BOOL SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                     PSECURITY_DESCRIPTOR descriptor);
  virtual BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                         PACL* dacl, BOOL* defaulted);
  virtual BOOL GetAclInformation(PACL acl, ACL_SIZE_INFORMATION* info);
  virtual DWORD GetLengthSid(PSID sid);
  virtual BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
  virtual BOOL GetAce(PACL acl, DWORD index, void** ace);
  virtual BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, void* ace, DWORD length);
  virtual BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid);
  virtual BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
  virtual BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                         PACL dacl, BOOL defaulted);
  virtual void* Allocate(size_t bytes);
  virtual void Free(void* block);
  virtual DWORD GetLastError();
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
