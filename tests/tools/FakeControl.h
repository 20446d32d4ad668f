#pragma once
// A scripted stand-in for the control object: each method records what it
// was handed and answers what the test put in. Lives on the stack; reference
// counting is a no-op.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "Velmora.h"
#include "tools/velmoractl/ServiceStateReader.h"
#include "tools/velmoractl/StopOutcome.h"

class FakeControl : public ISoftwareProcessControlManager {
 public:
  // Scripted answers.
  HRESULT result = S_OK;
  const wchar_t* identity = nullptr;  // handed back by StartSoftwareProcess
  long forced = 0;                    // written by StopSoftwareProcess
  long status = 0;                    // written by GetProcessStatus
  bool writeStatus = true;

  // What the client passed.
  std::wstring lastMethod;
  std::wstring name, cmdArgs, ctrlArgs;
  long timeout = 0;
  bool forcedPointerGiven = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE StartSoftwareProcess(LPWSTR szName, LPWSTR szCmdLnArgs,
                                                 LPWSTR szProcessCtrlArgs,
                                                 BSTR* processIdentity) override {
    Record(L"Start", szName);
    cmdArgs = szCmdLnArgs;
    ctrlArgs = szProcessCtrlArgs;
    // Like the module: the switches come back lower-cased in the caller's buffer.
    for (wchar_t* c = szProcessCtrlArgs; *c; ++c) {
      if (*c >= L'A' && *c <= L'Z') *c = static_cast<wchar_t>(*c - L'A' + L'a');
    }
    *processIdentity = identity ? SysAllocString(identity) : nullptr;
    return result;
  }
  HRESULT STDMETHODCALLTYPE StopSoftwareProcess(LPWSTR instanceName, LONG lShutdownTimeout,
                                                LONG* plProcessForceTerminated) override {
    Record(L"Stop", instanceName);
    timeout = lShutdownTimeout;
    forcedPointerGiven = plProcessForceTerminated != nullptr;
    if (plProcessForceTerminated) *plProcessForceTerminated = forced;
    return result;
  }
  HRESULT STDMETHODCALLTYPE RestartSoftwareProcess(LPWSTR instanceName) override {
    Record(L"Restart", instanceName);
    return result;
  }
  HRESULT STDMETHODCALLTYPE PauseSoftwareProcess(LPWSTR instanceName) override {
    Record(L"Pause", instanceName);
    return result;
  }
  HRESULT STDMETHODCALLTYPE ContineSoftwareProcess(LPWSTR instanceName) override {
    Record(L"Continue", instanceName);
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetProcessStatus(LPWSTR instanceName, LONG* pStatus) override {
    Record(L"Status", instanceName);
    if (writeStatus) *pStatus = status;
    return result;
  }

 private:
  void Record(const wchar_t* method, const wchar_t* text) {
    lastMethod = method;
    name = text ? text : L"(null)";
  }
};

// A service manager with one service in a fixed state, or none at all.
class FakeServiceStates : public ServiceStateReader {
 public:
  std::wstring serviceName;
  DWORD state = SERVICE_RUNNING;
  int pendingReads = 0;  // the first reads answer pendingState instead
  DWORD pendingState = SERVICE_PAUSE_PENDING;
  int reads = 0;

  bool Read(const wchar_t* name, DWORD* stateOut, DWORD* error) override {
    ++reads;
    if (serviceName != name) {
      *error = ERROR_SERVICE_DOES_NOT_EXIST;
      return false;
    }
    *stateOut = reads <= pendingReads ? pendingState : state;
    return true;
  }
};

// The client's own looks at a program around its stop, scripted.
class FakeApplications : public ApplicationLookout {
 public:
  Presence before = Presence::kRunning;
  Presence after = Presence::kEnded;
  std::wstring lookedFor;

  Presence Before(const std::wstring& identity) override {
    lookedFor = identity;
    return before;
  }
  Presence After() override { return after; }
};
