// The process-control switch parser of the launch.
#include <cwchar>
#include <string_view>

#include "process/FsNtProcessControl.h"
#include "process/ProcessLog.h"
#include "process/SwitchScan.h"
#include "win32/Owners.h"

namespace {

wchar_t kInteractiveDesktop[] = L"WinSta0\\Default";

// Default window placement of a launched application.
constexpr DWORD kDefaultX = 800;
constexpr DWORD kDefaultY = 40;
constexpr DWORD kDefaultXSize = 240;
constexpr DWORD kDefaultYSize = 100;
constexpr DWORD kDefaultXCountChars = 10;
constexpr DWORD kDefaultYCountChars = 40;

// The switch text in the system code page, for the scan, in a byte-length
// BSTR. It may hold a password, so it lives only in a wiped owner; empty if
// it cannot be made.
UniqueSecretBstr ToAnsi(LPCWSTR text) {
  if (!text || !*text) return UniqueSecretBstr();
  const int chars = static_cast<int>(std::wcslen(text));
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, chars, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return UniqueSecretBstr();
  UniqueSecretBstr result(SysAllocStringByteLen(nullptr, static_cast<UINT>(bytes)));
  if (!result) return result;
  WideCharToMultiByte(CP_ACP, 0, text, chars, reinterpret_cast<char*>(result.get()), bytes,
                      nullptr, nullptr);
  return result;
}

// The 8-bit text of a byte-length BSTR, as long as it records.
std::string_view BytesOf(BSTR text) {
  if (!text) return std::string_view();
  return std::string_view(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

// A newly allocated wide copy of an 8-bit value; empty if it cannot be made.
UniqueSecretBstr ToBstr(std::string_view value) {
  if (value.empty()) return UniqueSecretBstr(SysAllocStringLen(nullptr, 0));
  const int chars = MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()),
                                        nullptr, 0);
  if (chars <= 0) return UniqueSecretBstr();
  UniqueSecretBstr result(SysAllocStringLen(nullptr, static_cast<UINT>(chars)));
  if (!result) return result;
  MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()), result.get(),
                      chars);
  return result;
}

}  // namespace

void FsNtProcessControl::InitializeProcess(LPCWSTR szProcessCtrlArgs,
                                           STARTUPINFOW* startupInfo,
                                           ProcessCredentials* credentials,
                                           DWORD* creationFlags) {
  const UniqueSecretBstr args = ToAnsi(szProcessCtrlArgs);
  // Switches that cannot be read may have named an account: the launch must
  // not go on under another one.
  const bool unreadable = !args && szProcessCtrlArgs && *szProcessCtrlArgs;

  *startupInfo = STARTUPINFOW{};
  // The record size field describes the platform's own structure: 68 bytes
  // in the 32-bit product.
  startupInfo->cb = sizeof(STARTUPINFOW);
  startupInfo->dwX = kDefaultX;
  startupInfo->dwY = kDefaultY;
  startupInfo->dwXSize = kDefaultXSize;
  startupInfo->dwYSize = kDefaultYSize;
  startupInfo->dwXCountChars = kDefaultXCountChars;
  startupInfo->dwYCountChars = kDefaultYCountChars;

  *creationFlags = CREATE_SUSPENDED;

  const SwitchScanResult scan = ScanSwitches(BytesOf(args.get()));

  if (scan.bConsole) {
    startupInfo->lpDesktop = kInteractiveDesktop;
    *creationFlags |= CREATE_NEW_CONSOLE;
    startupInfo->dwFlags |= STARTF_USESIZE | STARTF_USEPOSITION;
  }
  if (scan.bHiddenConsole) *creationFlags |= CREATE_NO_WINDOW;
  for (int i = 0; i < scan.hiddenConsoleCount; ++i) {
    m_log.Category(kLogTrace,
                   L"FsNtProcessControl::InitializeProcess - set flag to CREATE_NO_WINDOW");
  }
  if (scan.bWindow) {
    startupInfo->lpDesktop = kInteractiveDesktop;
    *creationFlags |= CREATE_NEW_CONSOLE;
    startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
    startupInfo->wShowWindow = SW_SHOW;
  }

  // Each complete "u" replaces the account of the one before; a value that
  // cannot be converted leaves the record incomplete, as does a short "u".
  for (const SwitchCredentialValues& values : scan.credentials) {
    credentials->Clear();
    credentials->bstrDomain = ToBstr(values.domain);
    credentials->bstrUserName = ToBstr(values.userName);
    credentials->bstrPassword = ToBstr(values.password);
    if (!credentials->IsComplete()) credentials->bIncomplete = true;
  }
  if (scan.bCredentialsIncomplete || unreadable) credentials->bIncomplete = true;
}
