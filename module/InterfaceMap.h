#pragma once
// Table-driven QueryInterface. An object lists the interfaces it answers, each
// with the offset of that interface's vtable pointer inside the object; the
// first entry also serves as the object's IUnknown.
#include <windows.h>
#include <unknwn.h>

#include <cstddef>

struct InterfaceMapEntry {
  const IID* iid;          // null ends the table
  std::ptrdiff_t offset;   // of the interface inside the object
};

// Offset of base class Base inside Derived, computed on a dummy non-null
// address because a cast of null would stay null.
template <class Derived, class Base>
std::ptrdiff_t OffsetOfBase() {
  constexpr std::ptrdiff_t kProbe = 0x1000;
  Derived* derived = reinterpret_cast<Derived*>(kProbe);
  return reinterpret_cast<std::ptrdiff_t>(static_cast<Base*>(derived)) - kProbe;
}

// IID_IUnknown gives the first entry; other ids are looked up in the table.
// On success the returned interface has been AddRef'd through itself.
// Null result pointer: E_POINTER. Unknown id: E_NOINTERFACE and *result null.
HRESULT InternalQueryInterface(void* object, const InterfaceMapEntry* map, REFIID iid,
                               void** result);
