#pragma once
// The owner of each kind of resource the project holds, one alias a kind
// (win32/UniqueAny.h). Kinds that a seam of the operating system hands out
// are closed through that seam and have their aliases beside it.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "win32/UniqueAny.h"

// Kernel handles. Most report failure with null (events, mutexes, mappings,
// processes, threads, tokens); files, searches and snapshots with
// INVALID_HANDLE_VALUE.
using UniqueHandle = UniqueAny<CloseWith<HANDLE, &::CloseHandle>>;
using UniqueFileHandle = UniqueAny<CloseWith<HANDLE, &::CloseHandle, InvalidHandleValueIsInvalid>>;
using UniqueFindHandle = UniqueAny<CloseWith<HANDLE, &::FindClose, InvalidHandleValueIsInvalid>>;

// The service manager's handles, of the manager and of a service alike.
using UniqueScHandle = UniqueAny<CloseWith<SC_HANDLE, &::CloseServiceHandle>>;

using UniqueHKey = UniqueAny<CloseWith<HKEY, &::RegCloseKey>>;

using UniqueWindowStation = UniqueAny<CloseWith<HWINSTA, &::CloseWindowStation>>;
using UniqueDesktop = UniqueAny<CloseWith<HDESK, &::CloseDesktop>>;
// The window station the process had before it switched to another one for a
// while (a desktop name resolves in the process's window station): giving it
// back switches the process back to it.
using UniqueWindowStationSwitch = UniqueAny<CloseWith<HWINSTA, &::SetProcessWindowStation>>;

using UniqueModule = UniqueAny<CloseWith<HMODULE, &::FreeLibrary>>;

// Strings that COM hands out.
using UniqueBstr = UniqueAny<CloseWith<BSTR, &::SysFreeString>>;
using UniqueCoTaskString = UniqueAny<CloseWith<LPOLESTR, &::CoTaskMemFree>>;

// Overwrites the text of a BSTR: the length it records, SysStringByteLen,
// covers the whole text whether it holds wide or 8-bit characters, and the
// terminator after it is zero anyway. SecureZeroMemory, unlike memset, is not
// dropped as a dead store before the free.
inline void WipeBstr(BSTR text) {
  if (text) SecureZeroMemory(text, SysStringByteLen(text));
}

inline void WipeAndFreeBstr(BSTR text) {
  WipeBstr(text);
  SysFreeString(text);
}

// A BSTR that may hold a password, wiped before its memory goes back to the
// allocator. A host process can be dumped after a crash or read by a
// debugger, and freed memory keeps its bytes until something reuses it:
// oleaut32 even keeps freed BSTRs in a cache and hands the same blocks out
// again.
using UniqueSecretBstr = UniqueAny<CloseWith<BSTR, &WipeAndFreeBstr>>;
