// Module-wide state of HostStandins.dll: its instance handle and the count
// of live objects, class factories and LockServer calls that keeps it loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace velmora_host {

void LockModule();
void UnlockModule();
bool ModuleInUse();

HMODULE ServerModuleHandle();
void SetServerModuleHandle(HMODULE module);

// Creates a new object of one class and queries it for `iid`.
using CreateObjectFn = HRESULT (*)(REFIID iid, void** object);

// Hands out a new class factory for `create` (referenced once) in `*factory`.
HRESULT CreateClassFactory(CreateObjectFn create, REFIID iid, void** factory);

}  // namespace velmora_host
