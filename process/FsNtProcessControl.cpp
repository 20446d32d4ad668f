// Placeholder until the application operations land.
#include "process/FsNtProcessControl.h"
FsNtProcessControl::FsNtProcessControl() = default;
FsNtProcessControl::~FsNtProcessControl() = default;
HRESULT FsNtProcessControl::StartProcess(LPWSTR, LPWSTR, LPWSTR, BSTR*) { return E_NOTIMPL; }
HRESULT FsNtProcessControl::StopProcess(LPWSTR, long, long*) { return E_NOTIMPL; }
HRESULT FsNtProcessControl::GetProcessStatus(LPWSTR, long*) { return E_NOTIMPL; }
