// The process-control switch parser of the launch.
#include <string>

#include "process/FsNtProcessControl.h"
#include "process/ProcessLog.h"

namespace {

wchar_t kInteractiveDesktop[] = L"WinSta0\\Default";

// Default window placement of a launched application.
constexpr DWORD kDefaultX = 800;
constexpr DWORD kDefaultY = 40;
constexpr DWORD kDefaultXSize = 240;
constexpr DWORD kDefaultYSize = 100;
constexpr DWORD kDefaultXCountChars = 10;
constexpr DWORD kDefaultYCountChars = 40;

constexpr int kCredentialValues = 3;

std::string ToAnsi(LPCWSTR text) {
  if (!text || !*text) return std::string();
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], bytes, nullptr, nullptr);
  result.resize(static_cast<size_t>(bytes - 1));
  return result;
}

// A newly allocated wide copy of an 8-bit value; null if it cannot be made.
BSTR ToBstr(const std::string& value) {
  if (value.empty()) return SysAllocStringLen(nullptr, 0);
  int chars = MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()),
                                  nullptr, 0);
  if (chars <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(chars));
  if (!result) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()), result,
                      chars);
  return result;
}

// Reads the three values after a "u" switch whose name ends at nameEnd (a
// space or the end). Values are separated by single spaces: two spaces in a
// row make an empty value. Fewer than three values mark the record incomplete.
void ReadCredentials(const std::string& args, size_t nameEnd,
                     ProcessCredentials* credentials) {
  std::string values[kCredentialValues];
  size_t pos = nameEnd;
  for (std::string& value : values) {
    if (pos >= args.size()) {
      credentials->bIncomplete = true;
      return;
    }
    const size_t start = pos + 1;
    size_t end = args.find(' ', start);
    if (end == std::string::npos) end = args.size();
    value = args.substr(start, end - start);
    pos = end;
  }
  credentials->Clear();
  credentials->bstrDomain = ToBstr(values[0]);
  credentials->bstrUserName = ToBstr(values[1]);
  credentials->bstrPassword = ToBstr(values[2]);
  if (!credentials->IsComplete()) credentials->bIncomplete = true;
}

}  // namespace

void FsNtProcessControl::InitializeProcess(LPCWSTR szProcessCtrlArgs,
                                           STARTUPINFOW* startupInfo,
                                           ProcessCredentials* credentials,
                                           DWORD* creationFlags) {
  const std::string args = ToAnsi(szProcessCtrlArgs);

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

  size_t cursor = 0;
  for (;;) {
    const size_t switchChar = args.find_first_of("-/", cursor);
    if (switchChar == std::string::npos) break;
    size_t nameEnd = args.find(' ', switchChar + 1);
    if (nameEnd == std::string::npos) nameEnd = args.size();
    const std::string name = args.substr(switchChar + 1, nameEnd - switchChar - 1);
    // The scan goes on right after the switch name, also after "u": a switch
    // character inside its values starts a new switch there.
    cursor = nameEnd;

    if (name == "u") {
      ReadCredentials(args, nameEnd, credentials);
    } else if (name == "con") {
      startupInfo->lpDesktop = kInteractiveDesktop;
      *creationFlags |= CREATE_NEW_CONSOLE;
      startupInfo->dwFlags |= STARTF_USESIZE | STARTF_USEPOSITION;
    } else if (name == "hiddencon") {
      *creationFlags |= CREATE_NO_WINDOW;
      m_log.Category(kLogTrace,
                     L"FsNtProcessControl::InitializeProcess - set flag to CREATE_NO_WINDOW");
    } else if (name == "win") {
      startupInfo->lpDesktop = kInteractiveDesktop;
      *creationFlags |= CREATE_NEW_CONSOLE;
      startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
      startupInfo->wShowWindow = SW_SHOW;
    }
  }
}
