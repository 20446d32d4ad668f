#include "control/RequestRouting.h"

#include <cwchar>
#include <memory>
#include <new>

#include "win32/Owners.h"

namespace {

constexpr wchar_t kDashServiceSwitch[] = L"-service";
constexpr wchar_t kSlashServiceSwitch[] = L"/service";
constexpr wchar_t kApplicationIdentityPrefix[] = L"Process_";
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

}  // namespace

bool HasServiceSwitch(const wchar_t* loweredCtrlArgs) {
  if (loweredCtrlArgs == nullptr) return false;
  return std::wcsstr(loweredCtrlArgs, kDashServiceSwitch) != nullptr ||
         std::wcsstr(loweredCtrlArgs, kSlashServiceSwitch) != nullptr;
}

bool IsApplicationIdentity(const wchar_t* instanceName) {
  return instanceName != nullptr &&
         std::wcsstr(instanceName, kApplicationIdentityPrefix) != nullptr;
}

HRESULT CheckExecutableExists(const wchar_t* szName) {
  const size_t prefixLength = std::wcslen(kLongPathPrefix);
  const size_t nameLength = szName != nullptr ? std::wcslen(szName) : 0;
  // No file has a longer path, and Wine's path conversion reads past its buffer on one.
  if (prefixLength + nameLength >= UNICODE_STRING_MAX_CHARS) return kExecutableNotFound;
  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[prefixLength + nameLength + 1]);
  if (!path) return E_OUTOFMEMORY;
  std::wmemcpy(path.get(), kLongPathPrefix, prefixLength);
  if (nameLength != 0) std::wmemcpy(path.get() + prefixLength, szName, nameLength);
  path[prefixLength + nameLength] = L'\0';

  WIN32_FIND_DATAW found{};
  const UniqueFindHandle search(FindFirstFileW(path.get(), &found));
  return search ? S_OK : kExecutableNotFound;
}
