// Enable settings and the log file of the stand-in logging library.
//
// VELMORA_LOGGER_ENABLE: comma-separated flag names whose messages are
//   written, e.g. "Error,Warning,Info,Trace,CorvaneTrace"; "all" for every
//   flag; read on every query. Unset: "Error,Warning,Info".
// VELMORA_LOGGER_FILE: the log file; unset: "LoggerDLL.log" beside the DLL.
// Each message is one UTF-8 line of tab-separated fields:
//   2026-12-07 22:05:27.123<TAB>pid<TAB>tid<TAB>identity<TAB>flag name<TAB>text
// Tabs and line breaks inside the text become spaces.
#include <cwchar>
#include <string>

#include "host/logger/LoggerStandIn.h"
#ifdef VELMORA_LOGGER_SPLIT
#include "host/logger/LoggerSplitHelper.h"
#endif
#include "win32/Owners.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace standin {
namespace {

constexpr wchar_t kEnableVariable[] = L"VELMORA_LOGGER_ENABLE";
constexpr wchar_t kFileVariable[] = L"VELMORA_LOGGER_FILE";
constexpr wchar_t kDefaultEnabled[] = L"Error,Warning,Info";
constexpr wchar_t kDefaultFileName[] = L"LoggerDLL.log";
// Serialises appends across threads and processes, so lines never interleave.
constexpr wchar_t kAppendMutex[] = L"Local\\VelmoraLoggerDLL.Append";

std::wstring Environment(const wchar_t* name) {
  DWORD chars = GetEnvironmentVariableW(name, nullptr, 0);
  if (chars == 0) return std::wstring();
  std::wstring value(chars, L'\0');
  chars = GetEnvironmentVariableW(name, &value[0], chars);
  value.resize(chars);
  return value;
}

bool HasEnvironment(const wchar_t* name) {
  return GetEnvironmentVariableW(name, nullptr, 0) != 0 ||
         GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

std::wstring Trim(const std::wstring& s) {
  const size_t first = s.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  return s.substr(first, s.find_last_not_of(L" \t") - first + 1);
}

std::wstring LogFilePath() {
  std::wstring path = Environment(kFileVariable);
  if (!path.empty()) return path;
  wchar_t module[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase),
                                          module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return kDefaultFileName;
  path.assign(module, length);
  const size_t slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return path + kDefaultFileName;
}

#ifdef VELMORA_LOGGER_SPLIT
// The "split" test variant takes the encoding from the DLL it imports.
int Utf8(const wchar_t* text, int chars, char* out, int bytes) {
  return VelmoraSplitToUtf8(text, chars, out, bytes);
}
#else
int Utf8(const wchar_t* text, int chars, char* out, int bytes) {
  return WideCharToMultiByte(CP_UTF8, 0, text, chars, out, bytes, nullptr, nullptr);
}
#endif

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int chars = static_cast<int>(text.size());
  const int bytes = Utf8(text.data(), chars, nullptr, 0);
  std::string out(bytes > 0 ? bytes : 0, '\0');
  if (bytes > 0) out.resize(Utf8(text.data(), chars, &out[0], bytes));
  return out;
}

}  // namespace

bool IsNameEnabled(const wchar_t* name) {
  if (!name || !*name) return false;
  std::wstring list = HasEnvironment(kEnableVariable) ? Environment(kEnableVariable)
                                                      : std::wstring(kDefaultEnabled);
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(L',', start);
    if (comma == std::wstring::npos) comma = list.size();
    const std::wstring item = Trim(list.substr(start, comma - start));
    if (_wcsicmp(item.c_str(), L"all") == 0 || _wcsicmp(item.c_str(), name) == 0) return true;
    start = comma + 1;
  }
  return false;
}

void AppendLine(int client, const wchar_t* flagName, const wchar_t* text) {
  wchar_t identity[MAX_PATH + 32] = {};
  if (!CopyIdentity(client, identity, MAX_PATH + 32)) wcscpy(identity, L"?");

  SYSTEMTIME now = {};
  GetLocalTime(&now);
  wchar_t head[96];
  _snwprintf(head, 96, L"%04u-%02u-%02u %02u:%02u:%02u.%03u\t%lu\t%lu\t", now.wYear,
             now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
             GetCurrentProcessId(), GetCurrentThreadId());
  head[95] = L'\0';

  std::wstring line(head);
  line += identity;
  line += L'\t';
  line += flagName;
  line += L'\t';
  for (const wchar_t* p = text ? text : L""; *p; ++p)
    line += (*p == L'\r' || *p == L'\n' || *p == L'\t') ? L' ' : *p;
  line += L"\r\n";
  const std::string bytes = ToUtf8(line);

  UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kAppendMutex));
  const bool locked = mutex && WaitForSingleObject(mutex.get(), INFINITE) != WAIT_FAILED;
  {
    UniqueFileHandle file(CreateFileW(LogFilePath().c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
  }
  if (locked) ReleaseMutex(mutex.get());
}

}  // namespace standin
