#include "tests/service/FakeScm.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {
const wchar_t kManagerOwner[] = L"<SCM>";
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

const FakeStep& FakeService::Current() const {
  return script[queries == 0 ? 0 : std::min(queries, script.size()) - 1];
}

FakeService& FakeScm::Add(const std::wstring& name, std::vector<FakeStep> script) {
  FakeService& service = m_services[name];
  service.script = std::move(script);
  return service;
}

ULONGLONG FakeScm::Clock() const {
  return std::accumulate(sleeps.begin(), sleeps.end(), ULONGLONG{0});
}

std::vector<std::string> FakeScm::Filter(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& call : calls) {
    if (call.compare(0, prefix.size(), prefix) == 0) out.push_back(call);
  }
  return out;
}

SC_HANDLE FakeScm::NewHandle(const std::wstring& owner) {
  SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(m_nextHandle);
  m_nextHandle += 8;
  m_handles[handle] = owner;
  return handle;
}

FakeService* FakeScm::Lookup(SC_HANDLE handle, std::string* name) {
  auto it = m_handles.find(handle);
  if (it == m_handles.end() || it->second == kManagerOwner) {
    ++badCloses;  // counted as a fault of the caller, like a bad close
    *name = "??";
    return nullptr;
  }
  *name = Narrow(it->second);
  return &m_services.at(it->second);
}

DWORD FakeScm::OpenManager(LPCWSTR machineName, LPCWSTR databaseName,
                           DWORD desiredAccess, SC_HANDLE* manager) {
  calls.push_back("OpenManager");
  managerAccess = desiredAccess;
  managerNamesNull = machineName == nullptr && databaseName == nullptr;
  if (openManagerError != 0) {
    *manager = nullptr;
    return openManagerError;
  }
  *manager = NewHandle(kManagerOwner);
  return ERROR_SUCCESS;
}

DWORD FakeScm::OpenNamedService(SC_HANDLE manager, LPCWSTR serviceName,
                                DWORD desiredAccess, SC_HANDLE* service) {
  calls.push_back("Open " + Narrow(serviceName));
  serviceAccess.push_back(desiredAccess);
  *service = nullptr;
  auto owner = m_handles.find(manager);
  if (owner == m_handles.end() || owner->second != kManagerOwner) {
    return ERROR_INVALID_HANDLE;
  }
  if (serviceName[0] == L'\0') return ERROR_INVALID_NAME;
  auto it = m_services.find(serviceName);
  if (it == m_services.end()) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (it->second.openError != 0) return it->second.openError;
  *service = NewHandle(serviceName);
  return ERROR_SUCCESS;
}

void FakeScm::Close(SC_HANDLE handle) {
  auto it = m_handles.find(handle);
  if (it == m_handles.end()) {
    ++badCloses;
    calls.push_back("Close ??");
    return;
  }
  calls.push_back(it->second == kManagerOwner ? "Close SCM"
                                              : "Close " + Narrow(it->second));
  m_handles.erase(it);
}

DWORD FakeScm::QueryStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
  std::string name;
  FakeService* service = Lookup(handle, &name);
  calls.push_back("Query " + name);
  if (service == nullptr) return ERROR_INVALID_HANDLE;
  ++service->queries;
  const FakeStep& step = service->Current();
  if (step.queryError != 0) return step.queryError;
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = step.state;
  status->dwCheckPoint = step.checkPoint;
  status->dwWaitHint = step.waitHint;
  return ERROR_SUCCESS;
}

DWORD FakeScm::Start(SC_HANDLE handle, DWORD argc, LPCWSTR* argv) {
  std::string name;
  FakeService* service = Lookup(handle, &name);
  calls.push_back("Start " + name);
  std::vector<std::wstring> args;
  for (DWORD i = 0; i < argc; ++i) args.push_back(argv[i]);
  startArgs.push_back(args);
  if (service == nullptr) return ERROR_INVALID_HANDLE;
  return service->startError;
}

DWORD FakeScm::Control(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
  std::string name;
  FakeService* service = Lookup(handle, &name);
  calls.push_back("Control " + name + " " + std::to_string(control));
  if (service == nullptr) return ERROR_INVALID_HANDLE;
  *status = SERVICE_STATUS{};
  status->dwCurrentState = service->Current().state;
  return service->controlError;
}

DWORD FakeScm::EnumDependents(SC_HANDLE handle, DWORD serviceState,
                              ENUM_SERVICE_STATUSW* buffer, DWORD bufferSize,
                              DWORD* bytesNeeded, DWORD* servicesReturned) {
  std::string name;
  FakeService* service = Lookup(handle, &name);
  calls.push_back("Enum " + name);
  enumBufferSizes.push_back(bufferSize);
  *bytesNeeded = 0;
  *servicesReturned = 0;
  if (service == nullptr) return ERROR_INVALID_HANDLE;
  if (service->enumError != 0) return service->enumError;
  if (serviceState != SERVICE_ACTIVE) return ERROR_INVALID_PARAMETER;

  // Records first, then the strings, as the SCM lays them out.
  std::vector<const std::wstring*> active;
  size_t needed = 0;
  for (const std::wstring& dependent : service->dependents) {
    if (m_services.at(dependent).Current().state == SERVICE_STOPPED) continue;
    active.push_back(&dependent);
    needed += sizeof(ENUM_SERVICE_STATUSW) + 2 * (dependent.size() + 1) * sizeof(wchar_t);
  }
  if (needed > bufferSize) {
    *bytesNeeded = static_cast<DWORD>(needed);
    return ERROR_MORE_DATA;
  }
  BYTE* base = reinterpret_cast<BYTE*>(buffer);
  size_t strings = active.size() * sizeof(ENUM_SERVICE_STATUSW);
  for (size_t i = 0; i < active.size(); ++i) {
    const std::wstring& dependent = *active[i];
    const size_t bytes = (dependent.size() + 1) * sizeof(wchar_t);
    wchar_t* serviceName = reinterpret_cast<wchar_t*>(base + strings);
    std::memcpy(serviceName, dependent.c_str(), bytes);
    wchar_t* displayName = reinterpret_cast<wchar_t*>(base + strings + bytes);
    std::memcpy(displayName, dependent.c_str(), bytes);
    strings += 2 * bytes;
    buffer[i].lpServiceName = serviceName;
    buffer[i].lpDisplayName = displayName;
    buffer[i].ServiceStatus = SERVICE_STATUS{};
    buffer[i].ServiceStatus.dwCurrentState = m_services.at(dependent).Current().state;
  }
  *servicesReturned = static_cast<DWORD>(active.size());
  return ERROR_SUCCESS;
}
