#include "module/RegistryKey.h"

#include <cwchar>

namespace {

// Longest key name the recursive deletion reads back, in characters.
constexpr DWORD kKeyNameBuffer = 256;

}  // namespace

LONG CreateKey(HKEY parent, const wchar_t* name, REGSAM access, UniqueHKey* key) {
  return RegCreateKeyExW(parent, name, /*Reserved=*/0, /*lpClass=*/nullptr,
                         REG_OPTION_NON_VOLATILE, access, /*lpSecurityAttributes=*/nullptr,
                         key->put(), /*lpdwDisposition=*/nullptr);
}

LONG OpenKey(HKEY parent, const wchar_t* name, REGSAM access, UniqueHKey* key) {
  return RegOpenKeyExW(parent, name, /*ulOptions=*/0, access, key->put());
}

LONG SetStringValue(HKEY key, const wchar_t* valueName, const wchar_t* text) {
  // REG_SZ sizes count the terminating null: (characters + 1) * 2 bytes.
  const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, valueName, /*Reserved=*/0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text), bytes);
}

LONG SetSubkeyString(HKEY key, const wchar_t* subkey, const wchar_t* text,
                     const wchar_t* valueName) {
  UniqueHKey child;
  const LONG error = CreateKey(key, subkey, KEY_ALL_ACCESS, &child);
  if (error != ERROR_SUCCESS) return error;
  return SetStringValue(child.get(), valueName, text);
}

LONG RecurseDeleteKey(HKEY parent, const wchar_t* name) {
  UniqueHKey key;
  LONG error = OpenKey(parent, name, KEY_READ | KEY_WRITE, &key);
  if (error != ERROR_SUCCESS) return error;

  // Always read index 0: each deletion shifts the remaining subkeys down.
  wchar_t child[kKeyNameBuffer];
  DWORD length = kKeyNameBuffer;
  while (RegEnumKeyExW(key.get(), /*dwIndex=*/0, child, &length, /*lpReserved=*/nullptr,
                       /*lpClass=*/nullptr, /*lpcchClass=*/nullptr,
                       /*lpftLastWriteTime=*/nullptr) == ERROR_SUCCESS) {
    error = RecurseDeleteKey(key.get(), child);
    if (error != ERROR_SUCCESS) return error;
    length = kKeyNameBuffer;
  }
  key.reset();
  return RegDeleteKeyW(parent, name);
}

HRESULT HResultFromRegistryError(LONG error) {
  if (error <= 0) return static_cast<HRESULT>(error);
  return static_cast<HRESULT>((static_cast<unsigned long>(error) & 0x0000FFFFUL) | 0x80070000UL);
}
