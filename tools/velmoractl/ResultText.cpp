#include "tools/velmoractl/ResultText.h"

#include <windows.h>
#include <winerror.h>

#include <cwchar>

namespace {

struct CodeText {
  unsigned long code;
  const wchar_t* name;
  const wchar_t* meaning;   // when set, used instead of the system's text
  const wchar_t* fallback;  // when set, used where the system has no text
};

// S_FALSE has a meaning of its own here; the system's message 1 is the Win32
// "Incorrect function.", which would be wrong for an HRESULT.
constexpr CodeText kHResults[] = {
    {0x00000000UL, L"S_OK", nullptr, nullptr},
    {0x00000001UL, L"S_FALSE",
     L"Success with a qualification: the process was terminated, or was already gone.",
     nullptr},
    {0x8004040BUL, L"E_EXE_NOT_FOUND",
     L"The executable of the application does not exist; nothing was started.", nullptr},
    {0x80043404UL, L"E_LAUNCH_FAILED",
     L"The application could not be launched (logon, process creation or identity).",
     nullptr},
    {0x80004001UL, L"E_NOTIMPL", nullptr, L"Not implemented."},
    {0x80004002UL, L"E_NOINTERFACE", nullptr, L"No such interface supported."},
    {0x80004003UL, L"E_POINTER", nullptr, L"Invalid pointer."},
    {0x80004005UL, L"E_FAIL", nullptr, L"Unspecified error."},
    {0x8000FFFFUL, L"E_UNEXPECTED", nullptr, L"Catastrophic failure."},
    {0x80040154UL, L"REGDB_E_CLASSNOTREG", nullptr, L"Class not registered."},
    {0x800401F0UL, L"CO_E_NOTINITIALIZED", nullptr, L"CoInitialize has not been called."},
    {0x80070005UL, L"E_ACCESSDENIED", nullptr, nullptr},
    {0x80070006UL, L"E_HANDLE", nullptr, nullptr},
    {0x8007000EUL, L"E_OUTOFMEMORY", nullptr, nullptr},
    {0x80070057UL, L"E_INVALIDARG", nullptr, nullptr},
};

constexpr CodeText kWin32[] = {
    {0, L"ERROR_SUCCESS", nullptr, nullptr},
    {2, L"ERROR_FILE_NOT_FOUND", nullptr, nullptr},
    {5, L"ERROR_ACCESS_DENIED", nullptr, nullptr},
    {6, L"ERROR_INVALID_HANDLE", nullptr, nullptr},
    {87, L"ERROR_INVALID_PARAMETER", nullptr, nullptr},
    {123, L"ERROR_INVALID_NAME", nullptr, nullptr},
    {1051, L"ERROR_DEPENDENT_SERVICES_RUNNING", nullptr, nullptr},
    {1052, L"ERROR_INVALID_SERVICE_CONTROL", nullptr, nullptr},
    {1053, L"ERROR_SERVICE_REQUEST_TIMEOUT", nullptr, nullptr},
    {1054, L"ERROR_SERVICE_NO_THREAD", nullptr, nullptr},
    {1055, L"ERROR_SERVICE_DATABASE_LOCKED", nullptr, nullptr},
    {1056, L"ERROR_SERVICE_ALREADY_RUNNING", nullptr, nullptr},
    {1058, L"ERROR_SERVICE_DISABLED", nullptr, nullptr},
    {1059, L"ERROR_CIRCULAR_DEPENDENCY", nullptr, nullptr},
    {1060, L"ERROR_SERVICE_DOES_NOT_EXIST", nullptr, nullptr},
    {1061, L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL", nullptr, nullptr},
    {1062, L"ERROR_SERVICE_NOT_ACTIVE", nullptr, nullptr},
    {1064, L"ERROR_EXCEPTION_IN_SERVICE", nullptr, nullptr},
    // The service side answers 1066 for a service in a state the request
    // does not accept; the system's text speaks of a service-specific code.
    {1066, L"ERROR_SERVICE_SPECIFIC_ERROR",
     L"the service is not in a state that accepts this request", nullptr},
    {1067, L"ERROR_PROCESS_ABORTED", nullptr, nullptr},
    {1068, L"ERROR_SERVICE_DEPENDENCY_FAIL", nullptr, nullptr},
    {1069, L"ERROR_SERVICE_LOGON_FAILED", nullptr, nullptr},
    {1070, L"ERROR_SERVICE_START_HANG", nullptr, nullptr},
    {1072, L"ERROR_SERVICE_MARKED_FOR_DELETE", nullptr, nullptr},
};

template <size_t N>
const CodeText* Find(const CodeText (&table)[N], unsigned long code) {
  for (const CodeText& entry : table) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::wstring HexCode(unsigned long code) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", code);
  return text;
}

std::wstring Meaning(const CodeText* known, unsigned long code, ResultDomain domain,
                     const SystemMessageLookup& lookup) {
  if (known && known->meaning) return known->meaning;
  std::wstring text = lookup ? lookup(code) : std::wstring();
  // Not every system has texts for HRESULTs that wrap a Win32 code; the
  // Win32 code inside carries the same meaning.
  if (text.empty() && domain == ResultDomain::kHResult && HRESULT_FACILITY(code) == FACILITY_WIN32 &&
      lookup) {
    text = lookup(HRESULT_CODE(code));
  }
  if (text.empty() && known && known->fallback) return known->fallback;
  return text.empty() ? L"Unknown error." : text;
}

}  // namespace

ResultDomain DomainOf(bool applicationRoute, long code) {
  if (applicationRoute || code < 0) return ResultDomain::kHResult;
  return ResultDomain::kWin32;
}

bool IsSuccess(long code, ResultDomain domain) {
  return domain == ResultDomain::kHResult ? code >= 0 : code == 0;
}

std::wstring FormatResult(long code, ResultDomain domain, const SystemMessageLookup& lookup) {
  const unsigned long bits = static_cast<unsigned long>(code);
  const CodeText* known =
      domain == ResultDomain::kHResult ? Find(kHResults, bits) : Find(kWin32, bits);
  std::wstring line = domain == ResultDomain::kHResult ? HexCode(bits) : std::to_wstring(bits);
  if (known) {
    line += L' ';
    line += known->name;
  }
  line += L" (";
  line += Meaning(known, bits, domain, lookup);
  line += L')';
  return line;
}

std::wstring SystemMessage(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      /*lpSource=*/nullptr, code, /*dwLanguageId=*/0, reinterpret_cast<wchar_t*>(&buffer),
      /*nSize=*/0, /*Arguments=*/nullptr);
  if (length == 0 || !buffer) return std::wstring();
  std::wstring text(buffer, length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return text;
}
