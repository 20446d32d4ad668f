// Writes and removes the in-process server entries of the stand-in classes.
#pragma once

#include <windows.h>

namespace velmora_host {

struct ClassRegistration {
  const CLSID* clsid;
  const wchar_t* description;
};

// HKCR\CLSID\{clsid} = description, with InprocServer32 = `modulePath` and
// ThreadingModel "Both". Stops at the first failure.
HRESULT RegisterInprocClass(const ClassRegistration& entry, const wchar_t* modulePath);

// Deletes HKCR\CLSID\{clsid} with everything below it; a missing key is fine.
HRESULT UnregisterInprocClass(const ClassRegistration& entry);

}  // namespace velmora_host
