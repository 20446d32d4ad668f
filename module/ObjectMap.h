#pragma once
// The table of classes the module serves. Each entry carries what the module
// needs to register a class and to hand out its class object; the table ends
// with an entry whose class id pointer is null.
#include <windows.h>
#include <unknwn.h>

// Creates a control object, plain when outer is null, else aggregated.
using InstanceCreatorFn = HRESULT(WINAPI*)(IUnknown* outer, REFIID iid, void** result);
// Creates the class object that serves instances through the given creator.
using ClassObjectCreatorFn = HRESULT(WINAPI*)(InstanceCreatorFn instanceCreator, REFIID iid,
                                              void** result);
using UpdateRegistryFn = HRESULT(WINAPI*)(BOOL registering);
using ObjectDescriptionFn = const wchar_t*(WINAPI*)();
using CategoryMapFn = const void*(WINAPI*)();
using ObjectMainFn = void(WINAPI*)(bool starting);

struct ObjectMapEntry {
  const CLSID* clsid;
  UpdateRegistryFn updateRegistry;
  ClassObjectCreatorFn createClassObject;
  InstanceCreatorFn createInstance;
  IUnknown* classObject;  // cached on the first request, held until module term
  DWORD registrationCookie;
  ObjectDescriptionFn getObjectDescription;
  CategoryMapFn getCategoryMap;
  ObjectMainFn objectMain;
};

// The module's map: the control object's entry and the terminator.
extern ObjectMapEntry g_objectMap[];
