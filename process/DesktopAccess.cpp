#include "process/DesktopAccess.h"

#include "process/ProcessLog.h"

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

class GrantLockGuard {
 public:
  GrantLockGuard() { AcquireSRWLockExclusive(&g_desktopGrantLock); }
  ~GrantLockGuard() { ReleaseSRWLockExclusive(&g_desktopGrantLock); }
};

// A buffer from DesktopApi::Allocate.
class Block {
 public:
  explicit Block(DesktopApi& api) : m_api(api) {}
  ~Block() { if (m_data) m_api.Free(m_data); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  bool Allocate(size_t bytes) { m_data = m_api.Allocate(bytes); return m_data != nullptr; }
  void* Get() const { return m_data; }

 private:
  DesktopApi& m_api;
  void* m_data = nullptr;
};

// "winsta0": restored away from and then closed, last of all.
class WindowStation {
 public:
  WindowStation(DesktopApi& api, ProcessLog& log) : m_api(api), m_log(log) {}
  ~WindowStation() {
    if (!m_handle) return;
    if (!m_api.CloseWindowStation(m_handle)) {
      m_log.Category(kLogWarning, L"CloseWindowStation failed with error %d",
                     static_cast<int>(m_api.GetLastError()));
    }
  }
  WindowStation(const WindowStation&) = delete;
  WindowStation& operator=(const WindowStation&) = delete;
  HWINSTA* Put() { return &m_handle; }
  HWINSTA Get() const { return m_handle; }

 private:
  DesktopApi& m_api;
  ProcessLog& m_log;
  HWINSTA m_handle = nullptr;
};

// Puts the process's previous window station back once the work is done.
class WindowStationSwitch {
 public:
  explicit WindowStationSwitch(DesktopApi& api) : m_api(api) {}
  ~WindowStationSwitch() { if (m_switched) m_api.SetProcessWindowStation(m_previous); }
  WindowStationSwitch(const WindowStationSwitch&) = delete;
  WindowStationSwitch& operator=(const WindowStationSwitch&) = delete;
  bool SwitchTo(HWINSTA station) {
    m_previous = m_api.GetProcessWindowStation();
    m_switched = m_api.SetProcessWindowStation(station) != FALSE;
    return m_switched;
  }

 private:
  DesktopApi& m_api;
  HWINSTA m_previous = nullptr;
  bool m_switched = false;
};

class Desktop {
 public:
  explicit Desktop(DesktopApi& api) : m_api(api) {}
  ~Desktop() { if (m_handle) m_api.CloseDesktop(m_handle); }
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  HDESK* Put() { return &m_handle; }
  HDESK Get() const { return m_handle; }

 private:
  DesktopApi& m_api;
  HDESK m_handle = nullptr;
};

// Reads a size-queried item: the first call with no buffer reports the size.
bool ReadTokenGroups(DesktopApi& api, HANDLE token, Block& groups) {
  DWORD needed = 0;
  api.GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
  if (needed == 0 || !groups.Allocate(needed)) return false;
  return api.GetTokenInformation(token, TokenGroups, groups.Get(), needed, &needed) !=
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

// Whether a failed InitializeAcl or AddAce failed for want of room: the size
// is the only parameter of InitializeAcl that can be wrong here.
bool RefusedForSize(DesktopApi& api, DWORD sizeError) { return api.GetLastError() == sizeError; }

bool ReadDesktopSecurity(DesktopApi& api, HDESK desktop, Block& descriptor,
                         DWORD* size) {
  SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  api.GetUserObjectSecurity(desktop, &requested, nullptr, 0, &needed);
  if (needed == 0 || !descriptor.Allocate(needed)) return false;
  *size = needed;
  return api.GetUserObjectSecurity(desktop, &requested, descriptor.Get(), needed,
                                   &needed) != FALSE;
}

}  // namespace

void GrantDesktopAccess(DesktopApi& api, ProcessLog& log, HANDLE token,
                        DWORD accessMask) {
  GrantLockGuard serialised;

  // Declared in acquisition order: they are released in reverse, which puts
  // the window station back before "winsta0" is closed.
  WindowStation winsta0(api, log);
  *winsta0.Put() = api.OpenWindowStation(kWindowStationName, FALSE, READ_CONTROL);
  if (!winsta0.Get()) return;

  // The desktop name below resolves in the process's window station.
  WindowStationSwitch stationSwitch(api);
  if (!stationSwitch.SwitchTo(winsta0.Get())) return;

  Block groups(api);
  if (!ReadTokenGroups(api, token, groups)) return;
  PSID logonSid = FindLogonSid(static_cast<const TOKEN_GROUPS*>(groups.Get()));
  if (!logonSid) return;

  Desktop desktop(api);
  *desktop.Put() = api.OpenDesktop(kDesktopName, 0, FALSE, kDesktopGrantAccess);
  if (!desktop.Get()) return;

  Block oldDescriptor(api);
  DWORD oldDescriptorSize = 0;
  if (!ReadDesktopSecurity(api, desktop.Get(), oldDescriptor, &oldDescriptorSize)) return;

  BOOL daclPresent = FALSE;
  BOOL daclDefaulted = FALSE;
  PACL oldDacl = nullptr;
  if (!api.GetSecurityDescriptorDacl(oldDescriptor.Get(), &daclPresent, &oldDacl,
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
  if (!newDacl.Allocate(newDaclSize)) return;
  PACL acl = static_cast<PACL>(newDacl.Get());
  if (!api.InitializeAcl(acl, newDaclSize, ACL_REVISION)) {
    if (RefusedForSize(api, ERROR_INVALID_PARAMETER)) LogAccessListFull(log, sizeInfo.AceCount);
    return;
  }

  if (copyOld) {
    for (DWORD i = 0; i < sizeInfo.AceCount; ++i) {
      void* ace = nullptr;
      if (!api.GetAce(oldDacl, i, &ace)) return;
      const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
      if (!api.AddAce(acl, ACL_REVISION, MAXDWORD, ace, header->AceSize)) {
        if (RefusedForSize(api, ERROR_ALLOTTED_SPACE_EXCEEDED)) {
          LogAccessListFull(log, sizeInfo.AceCount);
        }
        return;
      }
    }
  }
  if (!api.AddAccessAllowedAce(acl, ACL_REVISION, accessMask, logonSid)) {
    if (RefusedForSize(api, ERROR_ALLOTTED_SPACE_EXCEEDED)) {
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
  if (!newDescriptor.Allocate(newDescriptorSize)) return;
  if (!api.InitializeSecurityDescriptor(newDescriptor.Get(),
                                        SECURITY_DESCRIPTOR_REVISION)) {
    return;
  }
  if (!api.SetSecurityDescriptorDacl(newDescriptor.Get(), TRUE, acl, FALSE)) return;

  SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
  api.SetUserObjectSecurity(desktop.Get(), &requested, newDescriptor.Get());
}

void GrantDesktopAccess(HANDLE token, DWORD accessMask) {
  static DesktopApi api;
  GrantDesktopAccess(api, DefaultProcessLog(), token, accessMask);
}
