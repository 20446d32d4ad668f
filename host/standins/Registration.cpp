#include "host/standins/Registration.h"

#include <cwchar>

#include "win32/Owners.h"

namespace velmora_host {
namespace {

constexpr wchar_t kThreadingModel[] = L"Both";
constexpr int kGuidChars = 39;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and its terminator

HRESULT ClassKeyPath(const CLSID& clsid, wchar_t (&path)[64]) {
  wchar_t guid[kGuidChars];
  if (StringFromGUID2(clsid, guid, kGuidChars) == 0) return E_UNEXPECTED;
  std::swprintf(path, 64, L"CLSID\\%ls", guid);
  return S_OK;
}

HRESULT SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
  const DWORD bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
  const LONG error =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  return HRESULT_FROM_WIN32(error);
}

HRESULT CreateKey(HKEY parent, const wchar_t* path, UniqueHKey* key) {
  const LONG error = RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, key->put(), nullptr);
  return HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT RegisterInprocClass(const ClassRegistration& entry, const wchar_t* modulePath) {
  wchar_t path[64];
  HRESULT hr = ClassKeyPath(*entry.clsid, path);
  if (FAILED(hr)) return hr;

  UniqueHKey classKey;
  hr = CreateKey(HKEY_CLASSES_ROOT, path, &classKey);
  if (FAILED(hr)) return hr;
  hr = SetString(classKey.get(), nullptr, entry.description);
  if (FAILED(hr)) return hr;

  UniqueHKey serverKey;
  hr = CreateKey(classKey.get(), L"InprocServer32", &serverKey);
  if (FAILED(hr)) return hr;
  hr = SetString(serverKey.get(), nullptr, modulePath);
  if (FAILED(hr)) return hr;
  return SetString(serverKey.get(), L"ThreadingModel", kThreadingModel);
}

HRESULT UnregisterInprocClass(const ClassRegistration& entry) {
  wchar_t path[64];
  const HRESULT hr = ClassKeyPath(*entry.clsid, path);
  if (FAILED(hr)) return hr;
  const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, path);
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(error);
}

}  // namespace velmora_host
