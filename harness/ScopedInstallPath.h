// The logging library's "InstallPath" set (or, with Removed(), its key
// deleted) for a scope, and what was there before put back after: the key's
// absence, the value's absence, or the value with its type.
//
// Shared by the tests and the benchmark. Tests that use it need the ctest
// property RESOURCE_LOCK logger_registry. Header-only.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "logging/LoggerLibraryPath.h"
#include "win32/Owners.h"

namespace velmora_harness {

class ScopedInstallPath {
 public:
  explicit ScopedInstallPath(const std::wstring& directory) {
    Save();
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLoggerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key.get(), kLoggerInstallPathValue, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(directory.c_str()),
                     static_cast<DWORD>((directory.size() + 1) * sizeof(wchar_t)));
    }
  }
  static ScopedInstallPath Removed() { return ScopedInstallPath(); }
  ScopedInstallPath(ScopedInstallPath&& other) noexcept
      : m_keyExisted(other.m_keyExisted), m_valueExisted(other.m_valueExisted),
        m_type(other.m_type), m_data(std::move(other.m_data)) {
    other.m_restore = false;
  }
  ScopedInstallPath& operator=(ScopedInstallPath&&) = delete;
  ~ScopedInstallPath() {
    if (m_restore) Restore();
  }

 private:
  ScopedInstallPath() {
    Save();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLoggerKey);
  }

  void Save() {
    UniqueHKey key;
    m_keyExisted =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLoggerKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    if (!m_keyExisted) return;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), kLoggerInstallPathValue, nullptr, &m_type, nullptr,
                         &bytes) == ERROR_SUCCESS) {
      m_data.resize(bytes);
      m_valueExisted = RegQueryValueExW(key.get(), kLoggerInstallPathValue, nullptr, &m_type,
                                        bytes ? m_data.data() : nullptr,
                                        &bytes) == ERROR_SUCCESS;
    }
  }

  void Restore() {
    if (!m_keyExisted) {
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLoggerKey);
      return;
    }
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLoggerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
      return;
    if (m_valueExisted)
      RegSetValueExW(key.get(), kLoggerInstallPathValue, 0, m_type, m_data.data(),
                     static_cast<DWORD>(m_data.size()));
    else
      RegDeleteValueW(key.get(), kLoggerInstallPathValue);
  }

  bool m_keyExisted = false;
  bool m_valueExisted = false;
  DWORD m_type = REG_SZ;
  std::vector<BYTE> m_data;
  bool m_restore = true;
};

}  // namespace velmora_harness
