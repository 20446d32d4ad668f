// The doctor's check of the service manager: opened through the very session
// that every service request of the module opens, with the rights it asks for.
#include "tools/velmoractl/DoctorChecks.h"

#include "service/ScmApi.h"
#include "service/ScmSession.h"
#include "tools/velmoractl/ResultText.h"

void CheckServiceManager(CheckResults* results) {
  constexpr wchar_t kName[] = L"service manager";
  ScmSession session(SystemScmApi());
  const DWORD error = session.OpenManager();
  if (error == ERROR_SUCCESS) {
    results->push_back(Ok(kName, L"opened with full access (SC_MANAGER_ALL_ACCESS)"));
    return;
  }
  results->push_back(Fail(
      kName,
      L"cannot open it with full access: " +
          FormatResult(static_cast<long>(error), ResultDomain::kWin32, SystemMessage),
      L"run the host under an account that may administer services; until then every service "
      L"request answers this code"));
}
