#pragma once
// Owns one piece of text that may hold a password and wipes it before its
// memory goes back to the allocator. A host process can be dumped after a
// crash or read by a debugger, and freed memory keeps its bytes until
// something happens to reuse it: oleaut32 even keeps freed BSTRs in a cache
// and hands the same blocks out again.
//
// The storage is always a BSTR, so that one owner serves every copy of a
// password the launch makes: the wide strings of the credentials record and
// of the account store's answer (COM hands them out as BSTRs), and the 8-bit
// text of the switch scan, kept in a byte-length BSTR (SysAllocStringByteLen).
// The wipe covers the length the BSTR records, SysStringByteLen, which is the
// whole text in either form; the terminator that follows is zero anyway.
#include <windows.h>
#include <oleauto.h>

#include <string_view>

class SecretText {
 public:
  SecretText() = default;
  // Takes ownership of |value| (may be null).
  explicit SecretText(BSTR value) : m_value(value) {}
  ~SecretText() { Reset(); }
  SecretText(SecretText&& other) noexcept : m_value(other.m_value) { other.m_value = nullptr; }
  SecretText& operator=(SecretText&& other) noexcept {
    if (this != &other) {
      Reset(other.m_value);
      other.m_value = nullptr;
    }
    return *this;
  }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  // Room for |chars| wide characters, terminated; empty if it cannot be had.
  static SecretText AllocWide(UINT chars) {
    return SecretText(SysAllocStringLen(nullptr, chars));
  }
  // Room for |bytes| 8-bit characters, terminated; empty if it cannot be had.
  static SecretText AllocBytes(UINT bytes) {
    return SecretText(SysAllocStringByteLen(nullptr, bytes));
  }

  BSTR Get() const { return m_value; }
  explicit operator bool() const { return m_value != nullptr; }
  // The text as 8-bit characters, for an owner made by AllocBytes.
  std::string_view Bytes() const {
    if (!m_value) return std::string_view();
    return std::string_view(reinterpret_cast<const char*>(m_value), SysStringByteLen(m_value));
  }
  // For an out-parameter: wipes and frees what is held, then hands out the
  // empty slot.
  BSTR* Put() {
    Reset();
    return &m_value;
  }
  void Reset(BSTR value = nullptr) {
    if (m_value) {
      // SecureZeroMemory, unlike memset, is not dropped as a dead store
      // before the free.
      SecureZeroMemory(m_value, SysStringByteLen(m_value));
      SysFreeString(m_value);
    }
    m_value = value;
  }

 private:
  BSTR m_value = nullptr;
};
