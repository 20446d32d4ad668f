// Where the stand-in account store keeps the host's operating-system
// administrator account: three string values under one HKLM key.
#pragma once

#include <windows.h>

#include <string>

namespace velmora_host {

constexpr wchar_t kAdminAccountKey[] = L"SOFTWARE\\Velmora\\HostStandins\\AdminAccount";
constexpr wchar_t kAdminDomainValue[] = L"Domain";
constexpr wchar_t kAdminUserNameValue[] = L"UserName";
constexpr wchar_t kAdminPasswordValue[] = L"Password";

// The domain used when the key names none: the local machine.
constexpr wchar_t kLocalDomain[] = L".";

// What reading gives when no account is configured.
const HRESULT kNoAdminAccount = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

struct AdminAccount {
  std::wstring domain;
  std::wstring userName;
  std::wstring password;
};

// Reads the configured account. An account is configured when the key holds
// a non-empty "UserName"; a missing "Domain" means the local machine and a
// missing "Password" an empty one. Without one: kNoAdminAccount. A value of
// the wrong type: HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
HRESULT ReadAdminAccount(AdminAccount* account);

}  // namespace velmora_host
