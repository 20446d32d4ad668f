#pragma once
// The two registry views of 64-bit Windows, as the doctor reads them. A host
// process sees the view of its own bitness: a 32-bit host reads
// HKCR\CLSID through WOW6432Node, a 64-bit host the native keys. The doctor
// names the view explicitly in every read, so that it reads the same keys
// whichever of the two builds of velmoractl runs it.
#include <windows.h>

#include <string>

#include "win32/Owners.h"

struct RegistryView {
  int bits;      // 32 or 64: the bitness of the hosts that read this view
  REGSAM flag;   // KEY_WOW64_32KEY or KEY_WOW64_64KEY
  WORD machine;  // the PE machine of the DLLs such a host loads
};

// The view of this build's bitness: what a host of the same bitness reads.
RegistryView OwnView();
// The view of the other bitness.
RegistryView OtherView();
// False on 32-bit Windows, where only the 32-bit view exists.
bool OtherViewExists();

// "the 64-bit view"
std::wstring ViewName(const RegistryView& view);

// The regsvr32 that registers a DLL in this view:
// "%SystemRoot%\System32\regsvr32.exe" or "%SystemRoot%\SysWOW64\regsvr32.exe".
std::wstring Regsvr32For(const RegistryView& view);

// Opens root\path for reading in the view; the Win32 result.
LONG OpenKeyInView(HKEY root, const std::wstring& path, const RegistryView& view,
                   UniqueHKey* key);

// Reads a REG_SZ or REG_EXPAND_SZ value (expanded) of an open key; a null
// name reads the default value. The Win32 result.
LONG ReadString(HKEY key, const wchar_t* name, std::wstring* text);

// What HKCR\CLSID\{clsid} holds in one view.
struct ClassRegistrationInfo {
  LONG classKey = ERROR_FILE_NOT_FOUND;    // opening the class id key
  LONG serverKey = ERROR_FILE_NOT_FOUND;   // opening InprocServer32 below it
  LONG serverValue = ERROR_FILE_NOT_FOUND; // reading its default value
  std::wstring server;                     // as COM would use it: quotes removed
  LONG threadingValue = ERROR_FILE_NOT_FOUND;
  std::wstring threadingModel;

  bool registered() const { return classKey == ERROR_SUCCESS; }
  bool hasServer() const { return serverValue == ERROR_SUCCESS && !server.empty(); }
};

ClassRegistrationInfo ReadClassRegistration(const CLSID& clsid, const RegistryView& view);

// "{69767865-33E1-11D3-87E7-00A0C982C01C}"
std::wstring GuidText(const GUID& guid);

// The path under which a process of this build reaches the file that a host
// of the view's bitness loads from `path`. They differ only for the system
// folder, which Windows redirects for 32-bit processes: a 64-bit process
// finds a 32-bit host's System32 in SysWOW64, and a 32-bit process finds a
// 64-bit host's System32 through Sysnative.
std::wstring FileAsHostSeesIt(const std::wstring& path, const RegistryView& view);
