// The interactive desktop grant on a scripted window station and desktop,
// with the real ACL arithmetic; and one smoke test against the real calls.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "process/DesktopAccess.h"
#include "tests/process/ProcessFakes.h"

using namespace process_test;

namespace {

std::vector<BYTE> MakeSid(BYTE authority, std::vector<DWORD> subs) {
  SID_IDENTIFIER_AUTHORITY id = {{0, 0, 0, 0, 0, authority}};
  std::vector<BYTE> sid(GetSidLengthRequired(static_cast<UCHAR>(subs.size())));
  InitializeSid(sid.data(), &id, static_cast<BYTE>(subs.size()));
  for (size_t i = 0; i < subs.size(); ++i)
    *GetSidSubAuthority(sid.data(), static_cast<DWORD>(i)) = subs[i];
  return sid;
}

struct Ace {
  BYTE type;
  DWORD mask;
  std::vector<BYTE> sid;
};

std::vector<Ace> ReadDacl(PSECURITY_DESCRIPTOR sd, bool* present) {
  BOOL isPresent = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  std::vector<Ace> aces;
  GetSecurityDescriptorDacl(sd, &isPresent, &acl, &defaulted);
  *present = isPresent && acl;
  if (!*present) return aces;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    GetAce(acl, i, &raw);
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    PSID sid = &ace->SidStart;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    aces.push_back({ace->Header.AceType, ace->Mask,
                    std::vector<BYTE>(bytes, bytes + GetLengthSid(sid))});
  }
  return aces;
}

const HWINSTA kPreviousStation = reinterpret_cast<HWINSTA>(0x50);
const HWINSTA kWinsta0 = reinterpret_cast<HWINSTA>(0x60);
const HDESK kDesktop = reinterpret_cast<HDESK>(0x70);

class FakeDesktopApi : public RealDesktopApi {
 public:
  // kFull: as many entries for logon sessions as the largest ACL holds.
  enum class Dacl { kEntries, kAbsent, kNull, kFull };

  FakeDesktopApi() {
    everyone = MakeSid(1, {0});
    partial = MakeSid(5, {5, 0, 1});
    logon = MakeSid(5, {5, 0, 999});
    laterLogon = MakeSid(5, {5, 0, 5});
    SetDesktopDacl(Dacl::kEntries, 3);
  }

  // The desktop's descriptor as GetUserObjectSecurity hands it out.
  void SetDesktopDacl(Dacl kind, int entries) {
    oldAces.clear();
    SECURITY_DESCRIPTOR absolute;
    InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
    std::vector<BYTE> acl(kind == Dacl::kFull ? 0xFFFC : 512);
    if (kind == Dacl::kFull) {
      InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()),
                    ACL_REVISION);
      for (DWORD session = 1;; ++session) {
        const std::vector<BYTE> sid = MakeSid(5, {5, 0, session});
        if (!AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION,
                                 GENERIC_ALL, const_cast<BYTE*>(sid.data())))
          break;
        oldAces.push_back({ACCESS_ALLOWED_ACE_TYPE, GENERIC_ALL, sid});
      }
      SetSecurityDescriptorDacl(&absolute, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
    } else if (kind == Dacl::kEntries) {
      InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()),
                    ACL_REVISION);
      for (int i = 0; i < entries; ++i) {
        DWORD mask = 0x100u + static_cast<DWORD>(i);
        AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, mask,
                            everyone.data());
        oldAces.push_back({ACCESS_ALLOWED_ACE_TYPE, mask, everyone});
      }
      SetSecurityDescriptorDacl(&absolute, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
    } else if (kind == Dacl::kNull) {
      SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE);
    }
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    descriptor.assign(size, 0);
    MakeSelfRelativeSD(&absolute, descriptor.data(), &size);
  }

  bool Fail(const char* step) {
    if (failStep != step) return false;
    events.push_back(std::string("fail:") + step);
    if (failError != 0) lastError = failError;
    return true;
  }

  HWINSTA OpenWindowStation(LPCWSTR name, BOOL inherit, ACCESS_MASK access) override {
    events.push_back("OpenWindowStation");
    stationName = name;
    stationAccess = access;
    stationInherit = inherit;
    if (Fail("OpenWindowStation")) return nullptr;
    stationOpen = true;
    return kWinsta0;
  }
  HWINSTA GetProcessWindowStation() override { return current; }
  BOOL SetProcessWindowStation(HWINSTA station) override {
    events.push_back(station == kWinsta0 ? "SetStation:winsta0" : "SetStation:previous");
    if (Fail("SetProcessWindowStation")) return FALSE;
    current = station;
    return TRUE;
  }
  BOOL CloseWindowStation(HWINSTA station) override {
    events.push_back("CloseWindowStation");
    stationOpen = false;
    closedWhileCurrent = current == station;
    if (failClose) {
      SetLastError(ERROR_BUSY);
      lastError = ERROR_BUSY;
      return FALSE;
    }
    return TRUE;
  }
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* buffer,
                           DWORD length, DWORD* returned) override {
    tokenSeen = token;
    if (kind != TokenGroups || Fail("GetTokenInformation")) return FALSE;
    std::vector<std::pair<std::vector<BYTE>*, DWORD>> groups = {
        {&everyone, SE_GROUP_ENABLED}, {&partial, 0x40000000u}};
    if (!noLogonSid) {
      groups.push_back({&logon, SE_GROUP_LOGON_ID | SE_GROUP_ENABLED | SE_GROUP_MANDATORY});
      groups.push_back({&laterLogon, SE_GROUP_LOGON_ID});
    }
    const DWORD size = static_cast<DWORD>(offsetof(TOKEN_GROUPS, Groups) +
                                          groups.size() * sizeof(SID_AND_ATTRIBUTES));
    *returned = size;
    if (length < size) {
      lastError = ERROR_INSUFFICIENT_BUFFER;
      return FALSE;
    }
    auto* out = static_cast<TOKEN_GROUPS*>(buffer);
    out->GroupCount = static_cast<DWORD>(groups.size());
    for (size_t i = 0; i < groups.size(); ++i) {
      out->Groups[i].Sid = groups[i].first->data();
      out->Groups[i].Attributes = groups[i].second;
    }
    return TRUE;
  }
  HDESK OpenDesktop(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK access) override {
    events.push_back("OpenDesktop");
    desktopName = name;
    desktopFlags = flags;
    desktopAccess = access;
    desktopInherit = inherit;
    stationAtDesktopOpen = current;
    if (Fail("OpenDesktop")) return nullptr;
    desktopOpen = true;
    return kDesktop;
  }
  BOOL CloseDesktop(HDESK) override {
    events.push_back("CloseDesktop");
    desktopOpen = false;
    return TRUE;
  }
  BOOL GetUserObjectSecurity(HANDLE, SECURITY_INFORMATION* requested,
                             PSECURITY_DESCRIPTOR sd, DWORD length, DWORD* needed) override {
    requestedInfo = *requested;
    if (Fail("GetUserObjectSecurity")) return FALSE;
    *needed = static_cast<DWORD>(descriptor.size());
    if (length < descriptor.size()) {
      lastError = ERROR_INSUFFICIENT_BUFFER;
      return FALSE;
    }
    std::memcpy(sd, descriptor.data(), descriptor.size());
    return TRUE;
  }
  BOOL SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                             PSECURITY_DESCRIPTOR sd) override {
    events.push_back("SetUserObjectSecurity");
    ++writes;
    writtenInfo = *requested;
    written = ReadDacl(sd, &writtenPresent);
    return TRUE;
  }
#define VELMORA_FAILABLE(step, call) \
  if (Fail(step)) return FALSE;      \
  return call
  BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* dacl,
                                 BOOL* defaulted) override {
    VELMORA_FAILABLE("GetSecurityDescriptorDacl",
                     RealDesktopApi::GetSecurityDescriptorDacl(sd, present, dacl, defaulted));
  }
  BOOL GetAclInformation(PACL acl, ACL_SIZE_INFORMATION* info) override {
    VELMORA_FAILABLE("GetAclInformation", RealDesktopApi::GetAclInformation(acl, info));
  }
  BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) override {
    newAclSize = length;
    VELMORA_FAILABLE("InitializeAcl", RealDesktopApi::InitializeAcl(acl, length, revision));
  }
  BOOL GetAce(PACL acl, DWORD index, void** ace) override {
    VELMORA_FAILABLE("GetAce", RealDesktopApi::GetAce(acl, index, ace));
  }
  BOOL AddAce(PACL acl, DWORD revision, DWORD start, void* ace, DWORD length) override {
    VELMORA_FAILABLE("AddAce", RealDesktopApi::AddAce(acl, revision, start, ace, length));
  }
  BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) override {
    VELMORA_FAILABLE("AddAccessAllowedAce",
                     RealDesktopApi::AddAccessAllowedAce(acl, revision, mask, sid));
  }
  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) override {
    VELMORA_FAILABLE("InitializeSecurityDescriptor",
                     RealDesktopApi::InitializeSecurityDescriptor(sd, revision));
  }
  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl,
                                 BOOL defaulted) override {
    VELMORA_FAILABLE("SetSecurityDescriptorDacl",
                     RealDesktopApi::SetSecurityDescriptorDacl(sd, present, dacl, defaulted));
  }
#undef VELMORA_FAILABLE
  void* Allocate(size_t bytes) override {
    const std::string step = "Allocate#" + std::to_string(allocations);
    ++allocations;
    if (Fail(step.c_str())) return nullptr;
    void* block = RealDesktopApi::Allocate(bytes);
    blocks[block] = step;
    return block;
  }
  void Free(void* block) override {
    events.push_back("Free:" + blocks[block]);
    blocks.erase(block);
    RealDesktopApi::Free(block);
  }
  DWORD GetLastError() override { return lastError; }

  std::vector<BYTE> everyone, partial, logon, laterLogon, descriptor;
  std::vector<Ace> oldAces, written;
  bool writtenPresent = false;
  int writes = 0;
  std::string failStep;
  DWORD failError = 0;  // the last error a failing step leaves, if not 0
  bool failClose = false;
  bool noLogonSid = false;
  std::vector<std::string> events;
  std::map<void*, std::string> blocks;
  int allocations = 0;
  HWINSTA current = kPreviousStation;
  HWINSTA stationAtDesktopOpen = nullptr;
  bool stationOpen = false, desktopOpen = false, closedWhileCurrent = false;
  std::wstring stationName, desktopName;
  ACCESS_MASK stationAccess = 0, desktopAccess = 0;
  BOOL stationInherit = TRUE, desktopInherit = TRUE;
  DWORD desktopFlags = 99, newAclSize = 0;
  SECURITY_INFORMATION requestedInfo = 0, writtenInfo = 0;
  HANDLE tokenSeen = nullptr;
  DWORD lastError = 0;
};

const HANDLE kToken = reinterpret_cast<HANDLE>(0x99);

class DesktopGrantTest : public ::testing::Test {
 protected:
  void Grant() { GrantDesktopAccess(api, log, kToken, GENERIC_ALL); }
  void ExpectEverythingReleased() {
    EXPECT_TRUE(api.blocks.empty());
    EXPECT_FALSE(api.desktopOpen);
    EXPECT_FALSE(api.stationOpen);
    EXPECT_EQ(api.current, kPreviousStation);
    EXPECT_FALSE(api.closedWhileCurrent);
  }
  FakeDesktopApi api;
  FakeLog log;
};

TEST_F(DesktopGrantTest, AppendsOneEntryForTheLogonSidAfterTheOldOnes) {
  Grant();
  EXPECT_EQ(api.stationName, L"winsta0");
  EXPECT_EQ(api.stationAccess, static_cast<ACCESS_MASK>(READ_CONTROL));
  EXPECT_FALSE(api.stationInherit);
  EXPECT_EQ(api.desktopName, L"default");
  EXPECT_EQ(api.desktopAccess, 0x60081u);
  EXPECT_EQ(api.desktopFlags, 0u);
  EXPECT_FALSE(api.desktopInherit);
  EXPECT_EQ(api.stationAtDesktopOpen, kWinsta0);
  EXPECT_EQ(api.requestedInfo, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
  EXPECT_EQ(api.writtenInfo, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
  EXPECT_EQ(api.tokenSeen, kToken);

  ASSERT_EQ(api.writes, 1);
  ASSERT_TRUE(api.writtenPresent);
  ASSERT_EQ(api.written.size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(api.written[i].mask, api.oldAces[i].mask);
    EXPECT_EQ(api.written[i].sid, api.oldAces[i].sid);
  }
  EXPECT_EQ(api.written[3].type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(api.written[3].mask, 0x10000000u);
  EXPECT_EQ(api.written[3].sid, api.logon);  // the first full match
  EXPECT_TRUE(log.lines.empty());
  ExpectEverythingReleased();
}

TEST_F(DesktopGrantTest, NewDaclSizeIsOldBytesInUsePlusSidPlusEight) {
  api.SetDesktopDacl(FakeDesktopApi::Dacl::kEntries, 2);
  Grant();
  // An 8-byte header plus two entries of 8 + 12 bytes each.
  EXPECT_EQ(api.newAclSize, 8u + 2 * 20u + api.logon.size() + 8u);
}

TEST_F(DesktopGrantTest, AbsentOrNullDaclEndsWithExactlyTheNewEntry) {
  for (auto kind : {FakeDesktopApi::Dacl::kAbsent, FakeDesktopApi::Dacl::kNull}) {
    FakeDesktopApi fresh;
    fresh.SetDesktopDacl(kind, 0);
    GrantDesktopAccess(fresh, log, kToken, GENERIC_ALL);
    ASSERT_EQ(fresh.writes, 1);
    ASSERT_EQ(fresh.written.size(), 1u);
    EXPECT_EQ(fresh.written[0].mask, 0x10000000u);
    EXPECT_EQ(fresh.written[0].sid, fresh.logon);
    EXPECT_EQ(fresh.newAclSize, 8u + fresh.logon.size() + 8u);
  }
}

TEST_F(DesktopGrantTest, ReleaseOrder) {
  Grant();
  const std::vector<std::string> tail = {
      "SetUserObjectSecurity", "Free:Allocate#3", "Free:Allocate#2", "Free:Allocate#1",
      "CloseDesktop",          "Free:Allocate#0", "SetStation:previous",
      "CloseWindowStation"};
  ASSERT_GE(api.events.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(api.events.end() - tail.size(), api.events.end()), tail);
}

TEST_F(DesktopGrantTest, EveryFailingStepChangesNothingAndReleasesEverything) {
  for (const char* step :
       {"OpenWindowStation", "SetProcessWindowStation", "GetTokenInformation", "Allocate#0",
        "OpenDesktop", "GetUserObjectSecurity", "Allocate#1", "GetSecurityDescriptorDacl",
        "GetAclInformation", "Allocate#2", "InitializeAcl", "GetAce", "AddAce",
        "AddAccessAllowedAce", "Allocate#3", "InitializeSecurityDescriptor",
        "SetSecurityDescriptorDacl", "no logon SID"}) {
    FakeDesktopApi fresh;
    fresh.failStep = step;
    fresh.noLogonSid = std::string(step) == "no logon SID";
    GrantDesktopAccess(fresh, log, kToken, GENERIC_ALL);
    EXPECT_EQ(fresh.writes, 0) << step;
    EXPECT_TRUE(fresh.blocks.empty()) << step;
    EXPECT_FALSE(fresh.desktopOpen) << step;
    EXPECT_FALSE(fresh.stationOpen) << step;
    EXPECT_EQ(fresh.current, kPreviousStation) << step;
    EXPECT_FALSE(fresh.closedWhileCurrent) << step;
  }
  EXPECT_TRUE(log.lines.empty());
}

// After a few thousand grants the list cannot take another entry: the grant
// changes nothing, as for any failing step, but says so at Warning. Seen
// from the computed size, and from the ACL calls that refuse for want of room.
TEST_F(DesktopGrantTest, FullAccessListIsReportedAndLeftAlone) {
  api.SetDesktopDacl(FakeDesktopApi::Dacl::kFull, 0);
  const std::wstring full =
      L"Desktop access was not granted because the access list of winsta0\\default is "
      L"full: " + std::to_wstring(api.oldAces.size()) + L" entries.";
  ASSERT_GT(api.oldAces.size(), 2000u);
  api.newAclSize = 0;
  Grant();
  EXPECT_EQ(api.writes, 0);
  EXPECT_EQ(api.newAclSize, 0u) << "the size is judged before anything is built";
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].kind, kLogWarning);
  EXPECT_EQ(log.lines[0].text, full);
  ExpectEverythingReleased();

  log.enabled = false;
  Grant();
  EXPECT_EQ(log.lines.size(), 1u) << "a Warning like the module's others: tested first";
  log.enabled = true;

  struct Refusal { const char* step; DWORD error; };
  for (const Refusal& refusal : {Refusal{"AddAce", ERROR_ALLOTTED_SPACE_EXCEEDED},
                                 Refusal{"AddAccessAllowedAce", ERROR_ALLOTTED_SPACE_EXCEEDED}}) {
    FakeDesktopApi fresh;
    fresh.failStep = refusal.step;
    fresh.failError = refusal.error;
    FakeLog freshLog;
    GrantDesktopAccess(fresh, freshLog, kToken, GENERIC_ALL);
    EXPECT_EQ(fresh.writes, 0) << refusal.step;
    EXPECT_TRUE(fresh.blocks.empty()) << refusal.step;
    ASSERT_EQ(freshLog.lines.size(), 1u) << refusal.step;
    EXPECT_EQ(freshLog.lines[0].text,
              L"Desktop access was not granted because the access list of winsta0\\default "
              L"is full: 3 entries.")
        << refusal.step;
  }
}

TEST_F(DesktopGrantTest, FailedCloseOfTheWindowStationIsLoggedAfterTheRestore) {
  api.failClose = true;
  Grant();
  EXPECT_EQ(api.current, kPreviousStation);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].kind, kLogWarning);
  EXPECT_EQ(log.lines[0].text, L"CloseWindowStation failed with error 170");
}

TEST(DesktopGrantRealTest, RealCallsLeaveTheWindowStationAsItWas) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  const HWINSTA before = GetProcessWindowStation();
  GrantDesktopAccess(token, GENERIC_ALL);
  GrantDesktopAccess(token, GENERIC_ALL);
  EXPECT_EQ(GetProcessWindowStation(), before);
  // The token stays the caller's.
  DWORD size = 0;
  GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
  EXPECT_GT(size, 0u);
  EXPECT_TRUE(CloseHandle(token));
}

}  // namespace
