#pragma once
// How the client names a result: its code, a symbolic name where one is known,
// and a sentence of meaning, in the error domain that the request's route
// returns. The application route answers HRESULTs, the service route raw
// Win32 codes; the same number means different things in the two.
#include <functional>
#include <string>

enum class ResultDomain { kHResult, kWin32 };

// The module's own failures of an application start; the system has no text
// for them.
constexpr long kExeNotFound = static_cast<long>(0x8004040BL);
constexpr long kLaunchFailed = static_cast<long>(0x80043404L);

// Looks up the system's text for a message number; empty when it has none.
using SystemMessageLookup = std::function<std::wstring(unsigned long code)>;

// The route's domain. Identities that contain "Process_" and starts without a
// service switch go to the application side; everything else to the service
// side, except that a negative code there can only be an HRESULT of the
// controller itself (E_INVALIDARG for a null name).
ResultDomain DomainOf(bool applicationRoute, long code);

// Whether the result counts as success: SUCCEEDED for HRESULTs (S_FALSE, a
// forced or needless stop, still leaves the process stopped), 0 for Win32.
bool IsSuccess(long code, ResultDomain domain);

// "0x8004040B E_EXE_NOT_FOUND (The executable ... does not exist.)" for an
// HRESULT, "1060 ERROR_SERVICE_DOES_NOT_EXIST (The specified ...)" for a
// Win32 code. The name is left out when none is known; the meaning falls back
// to "Unknown error." when neither the client nor the system has a text.
std::wstring FormatResult(long code, ResultDomain domain, const SystemMessageLookup& lookup);

// FormatMessageW from the system's message table, trailing line breaks and
// blanks removed.
std::wstring SystemMessage(unsigned long code);
