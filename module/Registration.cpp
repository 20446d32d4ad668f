#include "module/Registration.h"

#include <objbase.h>

#include "module/RegistryKey.h"
#include "module/RegistryNames.h"

namespace {

constexpr int kDescriptionChars = 256;
constexpr DWORD kModulePathChars = 260;
constexpr wchar_t kAutomationProxyServer[] = L"AUTPRX32.DLL";

// Owner of a string from StringFromCLSID.
class CoTaskString {
 public:
  CoTaskString() = default;
  ~CoTaskString() { CoTaskMemFree(m_text); }
  CoTaskString(const CoTaskString&) = delete;
  CoTaskString& operator=(const CoTaskString&) = delete;
  LPOLESTR* put() { return &m_text; }
  const wchar_t* get() const { return m_text; }

 private:
  LPOLESTR m_text = nullptr;
};

// ProgID key with the description, and its "CLSID" subkey with the class id.
LONG RegisterProgId(const wchar_t* progId, const wchar_t* clsid, const wchar_t* description) {
  RegistryKey key;
  const LONG error = key.Create(HKEY_CLASSES_ROOT, progId, KEY_SET_VALUE);
  if (error != ERROR_SUCCESS) return error;
  key.SetString(nullptr, description);
  key.SetSubkeyString(kClsidKey, clsid);
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
  CoTaskString clsid;
  const HRESULT converted = StringFromCLSID(*registration.clsid, clsid.put());
  if (FAILED(converted)) return converted;

  LONG error = RegisterProgId(registration.progId, clsid.get(), description);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);
  error = RegisterProgId(registration.versionIndependentProgId, clsid.get(), description);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);

  RegistryKey clsidRoot;
  error = clsidRoot.Open(HKEY_CLASSES_ROOT, kClsidKey, KEY_READ | KEY_WRITE);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);
  RegistryKey classKey;
  error = classKey.Create(clsidRoot.get(), clsid.get(), KEY_READ | KEY_WRITE);
  if (error != ERROR_SUCCESS) return HResultFromRegistryError(error);

  classKey.SetString(nullptr, description);
  classKey.SetSubkeyString(kProgIdKey, registration.progId);
  classKey.SetSubkeyString(kVersionIndependentProgIdKey, registration.versionIndependentProgId);
  const wchar_t* server =
      (registration.flags & kServerIsAutomationProxy) ? kAutomationProxyServer : modulePath;
  classKey.SetSubkeyString(kInprocServerKey, server);
  if (const wchar_t* model = ThreadingModelName(registration.flags))
    classKey.SetSubkeyString(kInprocServerKey, model, kThreadingModelValue);
  return S_OK;
}

void DeleteProgId(const wchar_t* progId) {
  if (progId == nullptr || lstrcmpiW(progId, L"") == 0) return;
  RecurseDeleteKey(HKEY_CLASSES_ROOT, progId);
}

HRESULT Unregister(const ClassRegistration& registration) {
  DeleteProgId(registration.progId);
  DeleteProgId(registration.versionIndependentProgId);

  CoTaskString clsid;
  if (FAILED(StringFromCLSID(*registration.clsid, clsid.put()))) return S_OK;
  RegistryKey clsidRoot;
  if (clsidRoot.Open(HKEY_CLASSES_ROOT, kClsidKey, KEY_READ | KEY_WRITE) == ERROR_SUCCESS)
    RecurseDeleteKey(clsidRoot.get(), clsid.get());
  return S_OK;
}

}  // namespace

HRESULT UpdateClassRegistration(const ClassRegistration& registration, HINSTANCE module,
                                bool registering) {
  return registering ? Register(registration, module) : Unregister(registration);
}
