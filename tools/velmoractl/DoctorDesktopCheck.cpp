// The doctor's check of the interactive desktop's access list. Every launch
// under another account adds an entry for its logon session to the DACL of
// winsta0\default, and nothing takes them away: the entries go only with the
// window station. An ACL records its size in 16 bits, so the list holds about
// 2,300 of them; from then on every grant does nothing and the programs so
// launched cannot use the desktop, which the module reports only in its log.
#include "tools/velmoractl/DoctorChecks.h"

#include <windows.h>

#include <string>
#include <vector>

#include "tools/velmoractl/ResultText.h"
#include "win32/LastError.h"
#include "win32/Owners.h"

namespace {

constexpr wchar_t kName[] = L"desktop access list";
constexpr wchar_t kWindowStationName[] = L"winsta0";
constexpr wchar_t kDesktopName[] = L"default";
constexpr DWORD kMaxAclBytes = 0xFFFF;
// One grant's entry: header and mask (8 bytes) and a logon SID
// (S-1-5-5-x-y, 20 bytes).
constexpr DWORD kGrantEntryBytes = 28;
// Warn well before the list is full, a busy host launches hundreds a day:
// once less room is left than a list of 2,000 grant entries would leave.
// Counting bytes, not entries: other software's entries may be larger.
constexpr DWORD kWarnEntries = 2000;
constexpr DWORD kWarnRoomBytes =
    kMaxAclBytes - (static_cast<DWORD>(sizeof(ACL)) + kWarnEntries * kGrantEntryBytes);

// What the grant would find in the desktop's descriptor.
struct DesktopAcl {
  DWORD error = ERROR_SUCCESS;  // reading it failed with this
  bool present = false;         // a DACL, not absent or null
  ACL_SIZE_INFORMATION size = {};
};

DesktopAcl ReadDesktopAcl() {
  DesktopAcl result;
  UniqueWindowStation station(OpenWindowStationW(kWindowStationName, FALSE, READ_CONTROL));
  if (!station) {
    result.error = LastErrorOrFailure();
    return result;
  }
  // The desktop's name resolves in the process's window station, so the read
  // runs with "winsta0" as that, as the module's grant does, and restores it.
  const HWINSTA previous = GetProcessWindowStation();
  if (!SetProcessWindowStation(station.get())) {
    result.error = LastErrorOrFailure();
    return result;
  }
  UniqueWindowStationSwitch inStation(previous);
  UniqueDesktop desktop(OpenDesktopW(kDesktopName, 0, FALSE, READ_CONTROL));
  if (!desktop) {
    result.error = LastErrorOrFailure();
    return result;
  }

  SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetUserObjectSecurity(desktop.get(), &requested, nullptr, 0, &needed);
  std::vector<BYTE> descriptor(needed != 0 ? needed : 1);
  if (!GetUserObjectSecurity(desktop.get(), &requested, descriptor.data(),
                             static_cast<DWORD>(descriptor.size()), &needed)) {
    result.error = LastErrorOrFailure();
    return result;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted)) {
    result.error = LastErrorOrFailure();
    return result;
  }
  result.present = present && dacl != nullptr;
  if (result.present &&
      !GetAclInformation(dacl, &result.size, sizeof(result.size), AclSizeInformation)) {
    result.error = LastErrorOrFailure();
  }
  return result;
}

}  // namespace

void CheckDesktopAccessList(CheckResults* results) {
  const std::wstring where = std::wstring(kWindowStationName) + L"\\" + kDesktopName;
  const DesktopAcl acl = ReadDesktopAcl();
  if (acl.error != ERROR_SUCCESS) {
    results->push_back(Warn(
        kName,
        L"cannot read the access list of " + where + L": " +
            FormatResult(static_cast<long>(acl.error), ResultDomain::kWin32, SystemMessage),
        L"run the doctor under the host's account in the host's session; the module's "
        L"desktop grant for launches under other accounts needs the same access"));
    return;
  }
  if (!acl.present) {
    // Wine's descriptors have none; on Windows a null DACL grants everyone.
    results->push_back(Ok(kName, where + L" has no access list (no DACL): 0 entries"));
    return;
  }
  const DWORD entries = acl.size.AceCount;
  const DWORD used = acl.size.AclBytesInUse;
  const DWORD roomBytes = used < kMaxAclBytes ? kMaxAclBytes - used : 0;
  const std::wstring found = where + L": " + std::to_wstring(entries) + L" entries, " +
                             std::to_wstring(used) + L" of " + std::to_wstring(kMaxAclBytes) +
                             L" bytes, room for about " +
                             std::to_wstring(roomBytes / kGrantEntryBytes) + L" more grants";
  if (roomBytes >= kWarnRoomBytes) {
    results->push_back(Ok(kName, found));
    return;
  }
  const wchar_t* restart =
      L"restart the host's session (log it off and on, or restart the machine for a "
      L"service host): the entries go only with the window station";
  if (roomBytes < kGrantEntryBytes) {
    results->push_back(Fail(
        kName, found + L": it is full, so programs launched under other accounts cannot use "
                       L"the desktop",
        restart));
    return;
  }
  results->push_back(Warn(
      kName, found + L"; once it is full, programs launched under other accounts cannot use "
                     L"the desktop",
      restart));
}
