#include "process/DesktopAccess.h"

#include "process/ProcessLog.h"
#include "win32/LockGuard.h"
#include "win32/NoDestructor.h"
#include "win32/UniqueAny.h"

namespace {

constexpr wchar_t kWindowStationName[] = L"winsta0";
constexpr wchar_t kDesktopName[] = L"default";
// Both bits of SE_GROUP_LOGON_ID mark the logon SID among the token groups.
constexpr DWORD kLogonIdMask = SE_GROUP_LOGON_ID;
// Header and access mask of one access-allowed entry; its SID follows them.
constexpr DWORD kAllowedAceOverhead = 8;
constexpr DWORD kEmptyAclBytes = 8;
// An ACL records its size in 16 bits. Grants are never taken back, so after
// a few thousand launches under other accounts the desktop's list is full.
constexpr DWORD kMaxAclBytes = 0xFFFF;

// The window-station switch is process-wide, so overlapping grants would
// restore each other's window station. One lock for the whole operation.
SRWLOCK g_desktopGrantLock = SRWLOCK_INIT;

// What the grant acquires, each given back through the seam that gave it: a
// buffer, the process's window station before the switch (giving it back
// switches the process back) and the desktop.
using Block = UniqueAny<CloseThrough<DesktopApi, void*, &DesktopApi::Free>>;
using WindowStationSwitch =
    UniqueAny<CloseThrough<DesktopApi, HWINSTA, &DesktopApi::SetProcessWindowStation>>;
using Desktop = UniqueAny<CloseThrough<DesktopApi, HDESK, &DesktopApi::CloseDesktop>>;

// "winsta0", closed last of all; a close that fails is worth a warning.
class WindowStationClose {
 public:
  using Type = HWINSTA;
  WindowStationClose(DesktopApi& api, ProcessLog& log) : m_api(&api), m_log(&log) {}
  static HWINSTA Invalid() { return nullptr; }
  void Close(HWINSTA station) const {
    if (!m_api->CloseWindowStation(station)) {
      m_log->Category(kLogWarning, L"CloseWindowStation failed with error %d",
                      static_cast<int>(m_api->GetLastError()));
    }
  }

 private:
  DesktopApi* m_api;
  ProcessLog* m_log;
};
using WindowStation = UniqueAny<WindowStationClose>;

bool Allocate(DesktopApi& api, size_t bytes, Block* block) {
  block->reset(api.Allocate(bytes));
  return static_cast<bool>(*block);
}

// Reads a size-queried item: the first call with no buffer reports the size.
bool ReadTokenGroups(DesktopApi& api, HANDLE token, Block& groups) {
  DWORD needed = 0;
  api.GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
  if (needed == 0 || !Allocate(api, needed, &groups)) return false;
  return api.GetTokenInformation(token, TokenGroups, groups.get(), needed, &needed) !=
         FALSE;
}

PSID FindLogonSid(const TOKEN_GROUPS* groups) {
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if ((groups->Groups[i].Attributes & kLogonIdMask) == kLogonIdMask) {
      return groups->Groups[i].Sid;
    }
  }
  return nullptr;
}

// A full list makes every later grant do nothing; the module says so, since
// the launch itself still succeeds and nothing else would tell.
void LogAccessListFull(ProcessLog& log, DWORD entries) {
  log.Category(kLogWarning,
               L"Desktop access was not granted because the access list of "
               L"winsta0\\default is full: %d entries.",
               static_cast<int>(entries));
}

// Whether a failed AddAce or AddAccessAllowedAce failed for want of room.
bool RefusedForRoom(DesktopApi& api) {
  return api.GetLastError() == ERROR_ALLOTTED_SPACE_EXCEEDED;
}

bool ReadDesktopSecurity(DesktopApi& api, HDESK desktop, Block& descriptor,
                         DWORD* size) {
  SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  api.GetUserObjectSecurity(desktop, &requested, nullptr, 0, &needed);
  if (needed == 0 || !Allocate(api, needed, &descriptor)) return false;
  *size = needed;
  return api.GetUserObjectSecurity(desktop, &requested, descriptor.get(), needed,
                                   &needed) != FALSE;
}

}  // namespace

void GrantDesktopAccess(DesktopApi& api, ProcessLog& log, HANDLE token,
                        DWORD accessMask) {
  LockGuard serialised(g_desktopGrantLock);

  // Declared in acquisition order: they are released in reverse, which puts
  // the window station back before "winsta0" is closed.
  WindowStation winsta0(WindowStationClose(api, log),
                        api.OpenWindowStation(kWindowStationName, FALSE, READ_CONTROL));
  if (!winsta0) return;

  // The desktop name below resolves in the process's window station.
  const HWINSTA previous = api.GetProcessWindowStation();
  if (!api.SetProcessWindowStation(winsta0.get())) return;
  WindowStationSwitch stationSwitch(api, previous);

  Block groups(api);
  if (!ReadTokenGroups(api, token, groups)) return;
  PSID logonSid = FindLogonSid(static_cast<const TOKEN_GROUPS*>(groups.get()));
  if (!logonSid) return;

  Desktop desktop(api, api.OpenDesktop(kDesktopName, 0, FALSE, kDesktopGrantAccess));
  if (!desktop) return;

  Block oldDescriptor(api);
  DWORD oldDescriptorSize = 0;
  if (!ReadDesktopSecurity(api, desktop.get(), oldDescriptor, &oldDescriptorSize)) return;

  BOOL daclPresent = FALSE;
  BOOL daclDefaulted = FALSE;
  PACL oldDacl = nullptr;
  if (!api.GetSecurityDescriptorDacl(oldDescriptor.get(), &daclPresent, &oldDacl,
                                     &daclDefaulted)) {
    return;
  }
  const bool copyOld = daclPresent && oldDacl;

  // An absent or null DACL measures as an empty ACL header.
  ACL_SIZE_INFORMATION sizeInfo = {};
  sizeInfo.AceCount = 0;
  sizeInfo.AclBytesInUse = kEmptyAclBytes;
  sizeInfo.AclBytesFree = 0;
  if (copyOld && !api.GetAclInformation(oldDacl, &sizeInfo)) return;

  const DWORD newDaclSize =
      sizeInfo.AclBytesInUse + api.GetLengthSid(logonSid) + kAllowedAceOverhead;
  if (newDaclSize > kMaxAclBytes) {
    LogAccessListFull(log, sizeInfo.AceCount);
    return;
  }
  Block newDacl(api);
  if (!Allocate(api, newDaclSize, &newDacl)) return;
  PACL acl = static_cast<PACL>(newDacl.get());
  // The size was checked above: a refusal here is not the list being full.
  if (!api.InitializeAcl(acl, newDaclSize, ACL_REVISION)) return;

  if (copyOld) {
    for (DWORD i = 0; i < sizeInfo.AceCount; ++i) {
      void* ace = nullptr;
      if (!api.GetAce(oldDacl, i, &ace)) return;
      const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
      if (!api.AddAce(acl, ACL_REVISION, MAXDWORD, ace, header->AceSize)) {
        if (RefusedForRoom(api)) {
          LogAccessListFull(log, sizeInfo.AceCount);
        }
        return;
      }
    }
  }
  if (!api.AddAccessAllowedAce(acl, ACL_REVISION, accessMask, logonSid)) {
    if (RefusedForRoom(api)) {
      LogAccessListFull(log, sizeInfo.AceCount);
    }
    return;
  }

  // An absolute descriptor needs at least its minimum length, whatever the
  // size of the self-relative one that was read.
  DWORD newDescriptorSize = oldDescriptorSize;
  if (newDescriptorSize < SECURITY_DESCRIPTOR_MIN_LENGTH) {
    newDescriptorSize = SECURITY_DESCRIPTOR_MIN_LENGTH;
  }
  Block newDescriptor(api);
  if (!Allocate(api, newDescriptorSize, &newDescriptor)) return;
  if (!api.InitializeSecurityDescriptor(newDescriptor.get(),
                                        SECURITY_DESCRIPTOR_REVISION)) {
    return;
  }
  if (!api.SetSecurityDescriptorDacl(newDescriptor.get(), TRUE, acl, FALSE)) return;

  SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
  api.SetUserObjectSecurity(desktop.get(), &requested, newDescriptor.get());
}

void GrantDesktopAccess(HANDLE token, DWORD accessMask) {
  static NoDestructor<RealDesktopApi> api;
  GrantDesktopAccess(*api, DefaultProcessLog(), token, accessMask);
}
