// Binds DesktopApi to the real operating-system calls.
#include "process/DesktopAccess.h"

#include <new>

HWINSTA DesktopApi::OpenWindowStation(LPCWSTR name, BOOL inherit, ACCESS_MASK access) {
  return ::OpenWindowStationW(name, inherit, access);
}
HWINSTA DesktopApi::GetProcessWindowStation() { return ::GetProcessWindowStation(); }
BOOL DesktopApi::SetProcessWindowStation(HWINSTA station) {
  return ::SetProcessWindowStation(station);
}
BOOL DesktopApi::CloseWindowStation(HWINSTA station) { return ::CloseWindowStation(station); }
BOOL DesktopApi::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind,
                                     void* buffer, DWORD length, DWORD* returned) {
  return ::GetTokenInformation(token, kind, buffer, length, returned);
}
HDESK DesktopApi::OpenDesktop(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK access) {
  return ::OpenDesktopW(name, flags, inherit, access);
}
BOOL DesktopApi::CloseDesktop(HDESK desktop) { return ::CloseDesktop(desktop); }
BOOL DesktopApi::GetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                       PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                       DWORD* needed) {
  return ::GetUserObjectSecurity(object, requested, descriptor, length, needed);
}
BOOL DesktopApi::SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                                       PSECURITY_DESCRIPTOR descriptor) {
  return ::SetUserObjectSecurity(object, requested, descriptor);
}
BOOL DesktopApi::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                           PACL* dacl, BOOL* defaulted) {
  return ::GetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
}
BOOL DesktopApi::GetAclInformation(PACL acl, ACL_SIZE_INFORMATION* info) {
  return ::GetAclInformation(acl, info, sizeof(*info), AclSizeInformation);
}
DWORD DesktopApi::GetLengthSid(PSID sid) { return ::GetLengthSid(sid); }
BOOL DesktopApi::InitializeAcl(PACL acl, DWORD length, DWORD revision) {
  return ::InitializeAcl(acl, length, revision);
}
BOOL DesktopApi::GetAce(PACL acl, DWORD index, void** ace) {
  return ::GetAce(acl, index, ace);
}
BOOL DesktopApi::AddAce(PACL acl, DWORD revision, DWORD startIndex, void* ace,
                        DWORD length) {
  return ::AddAce(acl, revision, startIndex, ace, length);
}
BOOL DesktopApi::AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
  return ::AddAccessAllowedAce(acl, revision, mask, sid);
}
BOOL DesktopApi::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                              DWORD revision) {
  return ::InitializeSecurityDescriptor(descriptor, revision);
}
BOOL DesktopApi::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                           PACL dacl, BOOL defaulted) {
  return ::SetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
}
void* DesktopApi::Allocate(size_t bytes) { return ::operator new(bytes, std::nothrow); }
void DesktopApi::Free(void* block) { ::operator delete(block); }
DWORD DesktopApi::GetLastError() { return ::GetLastError(); }
