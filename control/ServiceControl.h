#pragma once
// Controller of Windows services. Its results are the Win32 codes of the
// FsNtServiceControl operations (0 success), handed back unchanged as the
// interface method's HRESULT; only its own null checks answer E_INVALIDARG.
#include <windows.h>
#include <oleauto.h>

#include "control/ProcessControl.h"

class CServiceControl : public CProcessControl {
 public:
  explicit CServiceControl(const WorkObjects& works) : CProcessControl(works) {}
  // Hands back the service name as identity whenever the start returned a
  // Win32 code, failures included: the caller names the service by it later.
  HRESULT Start(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                BSTR* processIdentity);
  HRESULT Stop(LPWSTR instanceName);
  HRESULT Pause(LPWSTR instanceName);
  HRESULT Continue(LPWSTR instanceName);
  // Answers whether the status could be read; the status itself is dropped.
  HRESULT Status(LPWSTR instanceName);
};
