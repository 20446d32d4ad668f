#pragma once
// The account that the "u" switch names for one launch. The strings are
// owned and freed with the record.
#include <windows.h>
#include <oleauto.h>

struct ProcessCredentials {
  BSTR bstrDomain = nullptr;
  BSTR bstrUserName = nullptr;
  BSTR bstrPassword = nullptr;
  // The "u" switch was given with fewer than three values.
  bool bIncomplete = false;

  ProcessCredentials() = default;
  ~ProcessCredentials() { Clear(); }
  ProcessCredentials(const ProcessCredentials&) = delete;
  ProcessCredentials& operator=(const ProcessCredentials&) = delete;

  bool IsComplete() const { return bstrDomain && bstrUserName && bstrPassword; }
  void Clear() {
    SysFreeString(bstrDomain);
    SysFreeString(bstrUserName);
    SysFreeString(bstrPassword);
    bstrDomain = bstrUserName = bstrPassword = nullptr;
  }
};
