#pragma once
// An account to log on with: the one the "u" switch names for a launch, or
// the one the host's account store answers. Each string is wiped and freed
// with the record, on whichever path the launch leaves.
#include "win32/Owners.h"

struct ProcessCredentials {
  UniqueSecretBstr bstrDomain;
  UniqueSecretBstr bstrUserName;
  UniqueSecretBstr bstrPassword;
  // The "u" switch was given with fewer than three values.
  bool bIncomplete = false;

  bool IsComplete() const { return bstrDomain && bstrUserName && bstrPassword; }
  void Clear() {
    bstrDomain.reset();
    bstrUserName.reset();
    bstrPassword.reset();
  }
};
