#pragma once
// Work objects that record every operation the controllers call on them,
// handed to the controllers by RecordingScope. Each records the index of
// its creation, so a test sees which controller's work object was used:
// a control object creates, in order, the application controller's process
// and service objects (0 and 1), then the service controller's (2 and 3).
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "control/WorkObjects.h"

struct WorkCall {
  std::wstring operation;
  int owner;  // creation index of the work object that was called
  std::wstring name;
  std::wstring args;
  std::wstring ctrlArgs;
  long timeout = 0;
  const void* pointer = nullptr;
};

struct WorkJournal {
  std::vector<WorkCall> calls;
  int created = 0;
  int destroyed = 0;
  HRESULT processResult = S_OK;
  DWORD serviceResult = ERROR_SUCCESS;
  long statusWritten = 0;
};

// The journal of the running test; RecordingScope resets it.
WorkJournal& Journal();

// The work objects to make a control object or a controller with.
class RecordingScope : public WorkObjects {
 public:
  RecordingScope();
  RecordingScope(const RecordingScope&) = delete;
  RecordingScope& operator=(const RecordingScope&) = delete;
  ApplicationWork* NewApplicationWork() const override;
  ServiceWork* NewServiceWork() const override;
};

class RecordingProcessControl : public ApplicationWork {
 public:
  RecordingProcessControl();
  ~RecordingProcessControl() override;
  HRESULT StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs, LPWSTR szProcessCtrlArgs,
                       BSTR* processIdentity) override;
  HRESULT StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                      long* plProcessForceTerminated) override;
  HRESULT GetProcessStatus(LPWSTR instanceName, long* status) override;

 private:
  int m_index;
};

class RecordingServiceControl : public ServiceWork {
 public:
  RecordingServiceControl();
  ~RecordingServiceControl() override;
  DWORD QueryService(LPCWSTR serviceName, SERVICE_STATUS* status) override;
  DWORD StartService(LPCWSTR serviceName, LPCWSTR cmdLnArgs) override;
  DWORD StopService(LPCWSTR serviceName) override;
  DWORD PauseService(LPCWSTR serviceName) override;
  DWORD ContinueService(LPCWSTR serviceName) override;

 private:
  int m_index;
};
