// Placeholder until the service operations land: every operation answers
// ERROR_CALL_NOT_IMPLEMENTED.
#include "service/FsNtServiceControl.h"
FsNtServiceControl::FsNtServiceControl() = default;
FsNtServiceControl::~FsNtServiceControl() = default;
DWORD FsNtServiceControl::QueryService(LPCWSTR, SERVICE_STATUS*) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD FsNtServiceControl::StartService(LPCWSTR, LPCWSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD FsNtServiceControl::StopService(LPCWSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD FsNtServiceControl::PauseService(LPCWSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD FsNtServiceControl::ContinueService(LPCWSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
