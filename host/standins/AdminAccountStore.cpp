#include "host/standins/AdminAccountStore.h"

#include "win32/Owners.h"

namespace velmora_host {
namespace {

// Reads a REG_SZ value; a missing value reads as an empty string.
HRESULT ReadString(HKEY key, const wchar_t* name, std::wstring* value) {
  value->clear();
  DWORD type = 0;
  DWORD bytes = 0;
  LONG error = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

  // The stored string need not be terminated; leave room for one more unit.
  std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &bytes);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  buffer.resize(bytes / sizeof(wchar_t));
  const size_t end = buffer.find(L'\0');
  if (end != std::wstring::npos) buffer.resize(end);
  *value = std::move(buffer);
  return S_OK;
}

}  // namespace

HRESULT ReadAdminAccount(AdminAccount* account) {
  UniqueHKey key;
  const LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAdminAccountKey, 0, KEY_QUERY_VALUE,
                                   key.put());
  if (error == ERROR_FILE_NOT_FOUND) return kNoAdminAccount;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);

  AdminAccount read;
  HRESULT hr = ReadString(key.get(), kAdminUserNameValue, &read.userName);
  if (FAILED(hr)) return hr;
  if (read.userName.empty()) return kNoAdminAccount;

  hr = ReadString(key.get(), kAdminDomainValue, &read.domain);
  if (FAILED(hr)) return hr;
  if (read.domain.empty()) read.domain = kLocalDomain;

  hr = ReadString(key.get(), kAdminPasswordValue, &read.password);
  if (FAILED(hr)) return hr;

  *account = std::move(read);
  return S_OK;
}

}  // namespace velmora_host
