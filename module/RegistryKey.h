#pragma once
// The registry operations of class registration, on keys held by UniqueHKey.
// Results are Win32 codes, as the registry functions return them.
#include <windows.h>

#include "win32/Owners.h"

// Creates (or opens) subkey name of parent into *key, with that access.
LONG CreateKey(HKEY parent, const wchar_t* name, REGSAM access, UniqueHKey* key);
LONG OpenKey(HKEY parent, const wchar_t* name, REGSAM access, UniqueHKey* key);

// Writes a REG_SZ value; null name means the key's default value.
LONG SetStringValue(HKEY key, const wchar_t* valueName, const wchar_t* text);
// Creates (or opens) the subkey with full access, writes one REG_SZ value
// into it and closes it again.
LONG SetSubkeyString(HKEY key, const wchar_t* subkey, const wchar_t* text,
                     const wchar_t* valueName = nullptr);

// Deletes subkey name of parent with everything below it. The first error of
// opening, of deleting a lower key or of the final deletion is returned at once.
LONG RecurseDeleteKey(HKEY parent, const wchar_t* name);

// A Win32 error as an HRESULT: 0 and negative values pass unchanged.
HRESULT HResultFromRegistryError(LONG error);
