#pragma once
// Class registration: writes or removes the ProgID, version-independent
// ProgID and class id keys of one class under HKEY_CLASSES_ROOT.
#include <windows.h>

// Threading flags of a class registration.
enum ThreadingFlags : DWORD {
  kThreadingApartment = 0x1,
  kThreadingBoth = 0x2,
  kServerIsAutomationProxy = 0x4,  // InprocServer32 names the automation proxy
};

struct ClassRegistration {
  const CLSID* clsid;
  const wchar_t* progId;
  const wchar_t* versionIndependentProgId;
  UINT descriptionStringId;  // module string resource written as description
  DWORD flags;               // ThreadingFlags
};

// Registering: returns S_OK, or, as an HRESULT, the error of creating a ProgID
// key, of opening "CLSID" or of creating the class id key; failures to write
// single subkeys and values are not reported. Keys written before a failure
// stay. Unregistering removes the three keys with everything below them,
// ignores every error and returns S_OK.
HRESULT UpdateClassRegistration(const ClassRegistration& registration, HINSTANCE module,
                                bool registering);
