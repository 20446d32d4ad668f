#pragma once
// Owner of an open registry key, closed when the owner goes out of scope.
// Results are Win32 codes, as the registry functions return them.
#include <windows.h>

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { Close(); }
  RegistryKey(RegistryKey&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY get() const { return m_key; }
  explicit operator bool() const { return m_key != nullptr; }

  LONG Create(HKEY parent, const wchar_t* name, REGSAM access);
  LONG Open(HKEY parent, const wchar_t* name, REGSAM access);
  void Close();

  // Writes a REG_SZ value; null name means the key's default value.
  LONG SetString(const wchar_t* valueName, const wchar_t* text);
  // Creates (or opens) the subkey with full access, writes one REG_SZ value
  // into it and closes it again.
  LONG SetSubkeyString(const wchar_t* subkey, const wchar_t* text,
                       const wchar_t* valueName = nullptr);

 private:
  HKEY m_key = nullptr;
};

// Deletes subkey name of parent with everything below it. The first error of
// opening, of deleting a lower key or of the final deletion is returned at once.
LONG RecurseDeleteKey(HKEY parent, const wchar_t* name);

// A Win32 error as an HRESULT: 0 and negative values pass unchanged.
HRESULT HResultFromRegistryError(LONG error);
