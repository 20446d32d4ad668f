#include "tools/velmoractl/RegistryView.h"

#include <objbase.h>

#include <vector>

#include "module/RegistryNames.h"

namespace {

constexpr int kGuidChars = 39;  // "{...}" and its terminator

RegistryView View(int bits) {
  return bits == 64 ? RegistryView{64, KEY_WOW64_64KEY, IMAGE_FILE_MACHINE_AMD64}
                    : RegistryView{32, KEY_WOW64_32KEY, IMAGE_FILE_MACHINE_I386};
}

constexpr int kOwnBits = sizeof(void*) == 8 ? 64 : 32;

bool IsWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring SystemFolder(UINT(WINAPI* get)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = L"";
  const UINT length = get(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty() || path.size() <= folder.size() || path[folder.size()] != L'\\') return false;
  return CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                              static_cast<int>(folder.size()), /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

std::wstring Unquoted(std::wstring text) {
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
    text = text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

RegistryView OwnView() { return View(kOwnBits); }
RegistryView OtherView() { return View(kOwnBits == 64 ? 32 : 64); }
bool OtherViewExists() { return kOwnBits == 64 || IsWow64(); }

std::wstring ViewName(const RegistryView& view) {
  return L"the " + std::to_wstring(view.bits) + L"-bit view";
}

std::wstring Regsvr32For(const RegistryView& view) {
  const bool wow = view.bits == 32 && OtherViewExists();
  return wow ? L"%SystemRoot%\\SysWOW64\\regsvr32.exe" : L"%SystemRoot%\\System32\\regsvr32.exe";
}

LONG OpenKeyInView(HKEY root, const std::wstring& path, const RegistryView& view,
                   UniqueHKey* key) {
  return RegOpenKeyExW(root, path.c_str(), /*ulOptions=*/0, KEY_READ | view.flag, key->put());
}

// RRF_RT_REG_SZ alone takes REG_EXPAND_SZ too and expands it, as COM does;
// asking for RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND is an invalid parameter.
LONG ReadString(HKEY key, const wchar_t* name, std::wstring* text) {
  DWORD bytes = 0;
  LONG error = RegGetValueW(key, /*lpSubKey=*/nullptr, name, RRF_RT_REG_SZ, /*pdwType=*/nullptr,
                            /*pvData=*/nullptr, &bytes);
  if (error != ERROR_SUCCESS) return error;
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  error = RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes);
  if (error != ERROR_SUCCESS) return error;
  buffer.back() = L'\0';
  *text = buffer.data();
  return ERROR_SUCCESS;
}

ClassRegistrationInfo ReadClassRegistration(const CLSID& clsid, const RegistryView& view) {
  ClassRegistrationInfo info;
  UniqueHKey classKey;
  info.classKey = OpenKeyInView(HKEY_CLASSES_ROOT,
                                std::wstring(kClsidKey) + L"\\" + GuidText(clsid), view,
                                &classKey);
  if (info.classKey != ERROR_SUCCESS) return info;
  UniqueHKey serverKey;
  info.serverKey = RegOpenKeyExW(classKey.get(), kInprocServerKey, 0, KEY_READ | view.flag,
                                 serverKey.put());
  if (info.serverKey != ERROR_SUCCESS) return info;
  info.serverValue = ReadString(serverKey.get(), nullptr, &info.server);
  info.server = Unquoted(info.server);
  info.threadingValue = ReadString(serverKey.get(), kThreadingModelValue, &info.threadingModel);
  return info;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[kGuidChars] = L"";
  StringFromGUID2(guid, text, kGuidChars);
  return text;
}

std::wstring FileAsHostSeesIt(const std::wstring& path, const RegistryView& view) {
  if (view.bits == kOwnBits) return path;
  const std::wstring system = SystemFolder(GetSystemDirectoryW);
  if (!StartsWithFolder(path, system)) return path;
  const std::wstring rest = path.substr(system.size());
  if (view.bits == 32) {
    const std::wstring wow = SystemFolder(GetSystemWow64DirectoryW);
    return wow.empty() ? path : wow + rest;
  }
  const std::wstring windows = SystemFolder(GetWindowsDirectoryW);
  return windows.empty() ? path : windows + L"\\Sysnative" + rest;
}
