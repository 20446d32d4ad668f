#pragma once
// An account to log on with: the one the "u" switch names for a launch, or
// the one the host's account store answers. Each string is wiped and freed
// with the record, on whichever path the launch leaves.
#include "process/SecretText.h"

struct ProcessCredentials {
  SecretText bstrDomain;
  SecretText bstrUserName;
  SecretText bstrPassword;
  // The "u" switch was given with fewer than three values.
  bool bIncomplete = false;

  bool IsComplete() const { return bstrDomain && bstrUserName && bstrPassword; }
  void Clear() {
    bstrDomain.Reset();
    bstrUserName.Reset();
    bstrPassword.Reset();
  }
};
