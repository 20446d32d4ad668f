#include "module/Registration.h"

#include <objbase.h>

#include "module/RegistryKey.h"
#include "module/RegistryNames.h"

namespace {

constexpr int kDescriptionChars = 256;
constexpr DWORD kModulePathChars = 260;
constexpr wchar_t kAutomationProxyServer[] = L"AUTPRX32.DLL";

// ProgID key with the description, and its "CLSID" subkey with the class id.
LONG RegisterProgId(const wchar_t* progId, const wchar_t* clsid, const wchar_t* description) {
  UniqueHKey key;
  const LONG error = CreateKey(HKEY_CLASSES_ROOT, progId, KEY_SET_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  SetStringValue(key.get(), nullptr, description);
  SetSubkeyString(key.get(), kClsidKey, clsid);
  return ERROR_SUCCESS;
}

const wchar_t* ThreadingModelName(DWORD flags) {
  if (flags & kThreadingBoth) return kThreadingBothName;
  if (flags & kThreadingApartment) return kThreadingApartmentName;
  return nullptr;
}

HRESULT Register(const ClassRegistration& registration, HINSTANCE module) {
  wchar_t description[kDescriptionChars] = L"";
  LoadStringW(module, registration.descriptionStringId, description, kDescriptionChars);
  wchar_t modulePath[kModulePathChars] = L"";
  GetModuleFileNameW(module, modulePath, kModulePathChars);
  UniqueCoTaskString clsid;
  const HRESULT converted = StringFromCLSID(*registration.clsid, clsid.put());
  if (FAILED(converted)) return converted;

  LONG error = RegisterProgId(registration.progId, clsid.get(), description);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);
  error = RegisterProgId(registration.versionIndependentProgId, clsid.get(), description);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);

  UniqueHKey clsidRoot;
  error = OpenKey(HKEY_CLASSES_ROOT, kClsidKey, KEY_READ | KEY_WRITE, &clsidRoot);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);
  UniqueHKey classKey;
  error = CreateKey(clsidRoot.get(), clsid.get(), KEY_READ | KEY_WRITE, &classKey);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);

  SetStringValue(classKey.get(), nullptr, description);
  SetSubkeyString(classKey.get(), kProgIdKey, registration.progId);
  SetSubkeyString(classKey.get(), kVersionIndependentProgIdKey,
                  registration.versionIndependentProgId);
  const wchar_t* server =
      (registration.flags & kServerIsAutomationProxy) ? kAutomationProxyServer : modulePath;
  SetSubkeyString(classKey.get(), kInprocServerKey, server);
  if (const wchar_t* model = ThreadingModelName(registration.flags))
    SetSubkeyString(classKey.get(), kInprocServerKey, model, kThreadingModelValue);
  return S_OK;
}

void DeleteProgId(const wchar_t* progId) {
  if (progId == nullptr || lstrcmpiW(progId, L"") == 0) return;
  RecurseDeleteKey(HKEY_CLASSES_ROOT, progId);
}

HRESULT Unregister(const ClassRegistration& registration) {
  DeleteProgId(registration.progId);
  DeleteProgId(registration.versionIndependentProgId);

  UniqueCoTaskString clsid;
  if (FAILED(StringFromCLSID(*registration.clsid, clsid.put()))) return S_OK;
  UniqueHKey clsidRoot;
  if (OpenKey(HKEY_CLASSES_ROOT, kClsidKey, KEY_READ | KEY_WRITE, &clsidRoot) == ERROR_SUCCESS)
    RecurseDeleteKey(clsidRoot.get(), clsid.get());
  return S_OK;
}

}  // namespace

HRESULT UpdateClassRegistration(const ClassRegistration& registration, HINSTANCE module,
                                bool registering) {
  return registering ? Register(registration, module) : Unregister(registration);
}
