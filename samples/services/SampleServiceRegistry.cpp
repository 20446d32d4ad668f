#include "samples/services/SampleServiceRegistry.h"

#include <vector>

namespace {
std::wstring KeyPath(const std::wstring& serviceName) {
  return std::wstring(SampleServiceRegistry::kRoot) + L"\\" + serviceName;
}
}  // namespace

SampleServiceRegistry::SampleServiceRegistry(const std::wstring& serviceName) {
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath(serviceName).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, m_key.put(),
                        nullptr) != ERROR_SUCCESS) {
    m_key.release();  // nothing was opened
  }
}

std::wstring SampleServiceRegistry::ReadString(const wchar_t* value) const {
  wchar_t buffer[256] = {};
  DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
  if (!m_key ||
      ::RegGetValueW(m_key.get(), nullptr, value, RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
          ERROR_SUCCESS) {
    return std::wstring();
  }
  return buffer;
}

DWORD SampleServiceRegistry::ReadDword(const wchar_t* value, DWORD fallback) const {
  DWORD data = 0;
  DWORD bytes = sizeof(data);
  if (!m_key ||
      ::RegGetValueW(m_key.get(), nullptr, value, RRF_RT_REG_DWORD, nullptr, &data, &bytes) !=
          ERROR_SUCCESS) {
    return fallback;
  }
  return data;
}

void SampleServiceRegistry::RecordStart(DWORD argc, LPWSTR* argv) {
  if (!m_key) return;
  std::vector<wchar_t> multi;
  for (DWORD i = 1; i < argc; ++i) {
    for (const wchar_t* c = argv[i]; *c != L'\0'; ++c) multi.push_back(*c);
    multi.push_back(L'\0');
  }
  multi.push_back(L'\0');
  if (multi.size() == 1) multi.push_back(L'\0');  // an empty list is two NULs
  ::RegSetValueExW(m_key.get(), L"LastStartArgs", 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(multi.data()),
                   static_cast<DWORD>(multi.size() * sizeof(wchar_t)));
  ::RegSetValueExW(m_key.get(), L"LastStartArgCount", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&argc), sizeof(argc));
  const DWORD starts = ReadDword(L"StartCount", 0) + 1;
  ::RegSetValueExW(m_key.get(), L"StartCount", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&starts), sizeof(starts));
}

void SampleServiceRegistry::Remove(const std::wstring& serviceName) {
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyPath(serviceName).c_str());
}
