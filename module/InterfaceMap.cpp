#include "module/InterfaceMap.h"

namespace {

IUnknown* InterfaceAt(void* object, const InterfaceMapEntry& entry) {
  return reinterpret_cast<IUnknown*>(static_cast<char*>(object) + entry.offset);
}

}  // namespace

HRESULT InternalQueryInterface(void* object, const InterfaceMapEntry* map, REFIID iid,
                               void** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (object == nullptr || map == nullptr || map->iid == nullptr) return E_NOINTERFACE;

  const InterfaceMapEntry* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    found = map;
  } else {
    for (const InterfaceMapEntry* entry = map; entry->iid != nullptr; ++entry) {
      if (IsEqualIID(iid, *entry->iid)) {
        found = entry;
        break;
      }
    }
  }
  if (found == nullptr) return E_NOINTERFACE;

  IUnknown* unknown = InterfaceAt(object, *found);
  unknown->AddRef();
  *result = unknown;
  return S_OK;
}
