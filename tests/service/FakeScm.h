#pragma once
// A scripted Service Control Manager for unit tests of the service
// operations. Each service answers its status queries from a script, one
// step per query, the last step repeating. Every call is logged, every sleep
// recorded (the virtual clock), every handle counted, and every call can be
// made to fail.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "service/ScmApi.h"

struct FakeStep {
  DWORD state;
  DWORD checkPoint = 0;
  DWORD waitHint = 0;
  DWORD queryError = 0;  // nonzero: this query fails with it
};

// A step whose query fails with `error`.
inline FakeStep QueryFails(DWORD error) { return FakeStep{0, 0, 0, error}; }

struct FakeService {
  std::vector<FakeStep> script;
  size_t queries = 0;
  std::vector<std::wstring> dependents;  // listed when active, in this order
  DWORD openError = 0;
  DWORD startError = 0;
  DWORD controlError = 0;
  DWORD enumError = 0;  // forced failure of the dependents enumeration

  // The state the SCM holds now: the step last answered, or the first.
  const FakeStep& Current() const;
};

class FakeScm : public ScmApi {
 public:
  // Adds a service; the script must not be empty.
  FakeService& Add(const std::wstring& name, std::vector<FakeStep> script);
  FakeService& Service(const std::wstring& name) { return m_services.at(name); }

  DWORD openManagerError = 0;

  // What the code under test did.
  std::vector<std::string> calls;  // "OpenManager", "Open A", "Query A",
                                   // "Start A", "Control A 1", "Enum A",
                                   // "Close A", "Close SCM"
  std::vector<DWORD> sleeps;
  std::vector<DWORD> enumBufferSizes;
  std::vector<std::vector<std::wstring>> startArgs;  // one entry per Start
  DWORD managerAccess = 0;
  bool managerNamesNull = false;
  std::vector<DWORD> serviceAccess;
  int badCloses = 0;

  size_t OpenHandles() const { return m_handles.size(); }
  ULONGLONG Clock() const;
  // The calls of one kind, e.g. Filter("Control").
  std::vector<std::string> Filter(const std::string& prefix) const;

  DWORD OpenManager(LPCWSTR machineName, LPCWSTR databaseName,
                    DWORD desiredAccess, SC_HANDLE* manager) override;
  DWORD OpenNamedService(SC_HANDLE manager, LPCWSTR serviceName,
                         DWORD desiredAccess, SC_HANDLE* service) override;
  void Close(SC_HANDLE handle) override;
  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override;
  DWORD Start(SC_HANDLE service, DWORD argc, LPCWSTR* argv) override;
  DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override;
  DWORD EnumDependents(SC_HANDLE service, DWORD serviceState,
                       ENUM_SERVICE_STATUSW* buffer, DWORD bufferSize,
                       DWORD* bytesNeeded, DWORD* servicesReturned) override;
  void SleepFor(DWORD milliseconds) override { sleeps.push_back(milliseconds); }

 private:
  SC_HANDLE NewHandle(const std::wstring& owner);
  // The service behind a handle, or null (and a logged fault) when the
  // handle is not an open service handle.
  FakeService* Lookup(SC_HANDLE handle, std::string* name);

  std::map<std::wstring, FakeService> m_services;
  std::map<SC_HANDLE, std::wstring> m_handles;  // open handle -> owner
  uintptr_t m_nextHandle = 0x1000;
};

std::string Narrow(const std::wstring& text);
