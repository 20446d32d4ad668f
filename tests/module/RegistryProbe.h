#pragma once
// Reads back what registration left under HKEY_CLASSES_ROOT.
#include <windows.h>

#include <string>

struct RegistryString {
  bool present = false;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  std::wstring text;
};

inline bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline RegistryString ReadString(const std::wstring& path, const wchar_t* valueName = nullptr) {
  RegistryString result;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return result;
  wchar_t buffer[1024] = L"";
  DWORD bytes = sizeof(buffer);
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) ==
      ERROR_SUCCESS) {
    result.present = true;
    result.type = type;
    result.bytes = bytes;
    result.text = buffer;
  }
  RegCloseKey(key);
  return result;
}

inline DWORD SubkeyCount(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD count = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return count;
}

inline void CreateSubkeyWithValue(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  const wchar_t text[] = L"left by someone else";
  RegSetValueExW(key, L"Extra", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
  RegCloseKey(key);
}
