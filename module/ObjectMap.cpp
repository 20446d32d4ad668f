#include "module/ObjectMap.h"

#include "control/SoftwareProcessControlManager.h"
#include "module/ClassFactory.h"
#include "module/ComObject.h"
#include "module/ModuleRecord.h"
#include "module/Registration.h"
#include "module/RegistryNames.h"

namespace {

constexpr UINT kClassDescriptionStringId = 101;

const ClassRegistration kControlObjectRegistration = {
    &CLSID_SoftwareProcessControlManagerObject,
    kControlObjectProgId,
    kControlObjectVersionIndependentProgId,
    kClassDescriptionStringId,
    kThreadingBoth,
};

HRESULT WINAPI UpdateControlObjectRegistry(BOOL registering) {
  return UpdateClassRegistration(kControlObjectRegistration, g_module.instance,
                                 registering != FALSE);
}

HRESULT WINAPI CreateControlObject(IUnknown* outer, REFIID iid, void** result) {
  return CreateComInstance<CSoftwareProcessControlManager>(outer, iid, result);
}

const wchar_t* WINAPI NoObjectDescription() { return nullptr; }
const void* WINAPI NoCategoryMap() { return nullptr; }
void WINAPI NoObjectMain(bool) {}

}  // namespace

ObjectMapEntry g_objectMap[] = {
    {&CLSID_SoftwareProcessControlManagerObject, &UpdateControlObjectRegistry,
     &CreateClassFactory, &CreateControlObject, nullptr, 0, &NoObjectDescription, &NoCategoryMap,
     &NoObjectMain},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};
