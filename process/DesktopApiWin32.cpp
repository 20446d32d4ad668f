// Binds DesktopApi to the real operating-system calls.
#include "process/DesktopAccess.h"

#include <new>

HWINSTA RealDesktopApi::OpenWindowStation(LPCWSTR name, BOOL inherit, ACCESS_MASK access) {
  return ::OpenWindowStationW(name, inherit, access);
}
HWINSTA RealDesktopApi::GetProcessWindowStation() { return ::GetProcessWindowStation(); }
BOOL RealDesktopApi::SetProcessWindowStation(HWINSTA station) {
  return ::SetProcessWindowStation(station);
}
BOOL RealDesktopApi::CloseWindowStation(HWINSTA station) { return ::CloseWindowStation(station); }
BOOL RealDesktopApi::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind,
                                     void* buffer, DWORD length, DWORD* returned) {
  return ::GetTokenInformation(token, kind, buffer, length, returned);
}
HDESK RealDesktopApi::OpenDesktop(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK access) {
  return ::OpenDesktopW(name, flags, inherit, access);
}
BOOL RealDesktopApi::CloseDesktop(HDESK desktop) { return ::CloseDesktop(desktop); }
BOOL RealDesktopApi::GetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                       PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                       DWORD* needed) {
  return ::GetUserObjectSecurity(object, requested, descriptor, length, needed);
}
BOOL RealDesktopApi::SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                       PSECURITY_DESCRIPTOR descriptor) {
  return ::SetUserObjectSecurity(object, requested, descriptor);
}
BOOL RealDesktopApi::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                           PACL* dacl, BOOL* defaulted) {
  return ::GetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
}
BOOL RealDesktopApi::GetAclInformation(PACL acl, ACL_SIZE_INFORMATION* info) {
  return ::GetAclInformation(acl, info, sizeof(*info), AclSizeInformation);
}
DWORD RealDesktopApi::GetLengthSid(PSID sid) { return ::GetLengthSid(sid); }
BOOL RealDesktopApi::InitializeAcl(PACL acl, DWORD length, DWORD revision) {
  return ::InitializeAcl(acl, length, revision);
}
BOOL RealDesktopApi::GetAce(PACL acl, DWORD index, void** ace) {
  return ::GetAce(acl, index, ace);
}
BOOL RealDesktopApi::AddAce(PACL acl, DWORD revision, DWORD startIndex, void* ace,
                        DWORD length) {
  return ::AddAce(acl, revision, startIndex, ace, length);
}
BOOL RealDesktopApi::AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
  return ::AddAccessAllowedAce(acl, revision, mask, sid);
}
BOOL RealDesktopApi::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                              DWORD revision) {
  return ::InitializeSecurityDescriptor(descriptor, revision);
}
BOOL RealDesktopApi::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                           PACL dacl, BOOL defaulted) {
  return ::SetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
}
void* RealDesktopApi::Allocate(size_t bytes) { return ::operator new(bytes, std::nothrow); }
void RealDesktopApi::Free(void* block) { ::operator delete(block); }
DWORD RealDesktopApi::GetLastError() { return ::GetLastError(); }
