#include "RecordingWorkObjects.h"

namespace {

WorkJournal g_journal;

std::wstring Text(const wchar_t* text) { return text != nullptr ? text : L"<null>"; }

}  // namespace

WorkJournal& Journal() { return g_journal; }

RecordingScope::RecordingScope() { g_journal = WorkJournal(); }

ApplicationWork* RecordingScope::NewApplicationWork() const {
  return new RecordingProcessControl();
}

ServiceWork* RecordingScope::NewServiceWork() const { return new RecordingServiceControl(); }

RecordingProcessControl::RecordingProcessControl() : m_index(g_journal.created++) {}
RecordingProcessControl::~RecordingProcessControl() { ++g_journal.destroyed; }

HRESULT RecordingProcessControl::StartProcess(LPWSTR szName, LPWSTR szCmdLnArgs,
                                              LPWSTR szProcessCtrlArgs, BSTR* processIdentity) {
  g_journal.calls.push_back(
      {L"StartProcess", m_index, Text(szName), Text(szCmdLnArgs), Text(szProcessCtrlArgs), 0,
       processIdentity});
  if (processIdentity != nullptr) *processIdentity = SysAllocString(L"Process_4242");
  return g_journal.processResult;
}

HRESULT RecordingProcessControl::StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                                             long* plProcessForceTerminated) {
  g_journal.calls.push_back({L"StopProcess", m_index, Text(instanceName), L"", L"",
                             lShutdownTimeout, plProcessForceTerminated});
  return g_journal.processResult;
}

HRESULT RecordingProcessControl::GetProcessStatus(LPWSTR instanceName, long* status) {
  g_journal.calls.push_back(
      {L"GetProcessStatus", m_index, Text(instanceName), L"", L"", 0, status});
  if (status != nullptr) *status = g_journal.statusWritten;
  return g_journal.processResult;
}

RecordingServiceControl::RecordingServiceControl() : m_index(g_journal.created++) {}
RecordingServiceControl::~RecordingServiceControl() { ++g_journal.destroyed; }

DWORD RecordingServiceControl::QueryService(LPCWSTR serviceName, SERVICE_STATUS* status) {
  g_journal.calls.push_back({L"QueryService", m_index, Text(serviceName), L"", L"", 0, status});
  if (status != nullptr) status->dwCurrentState = SERVICE_RUNNING;
  return g_journal.serviceResult;
}

DWORD RecordingServiceControl::StartService(LPCWSTR serviceName, LPCWSTR cmdLnArgs) {
  g_journal.calls.push_back(
      {L"StartService", m_index, Text(serviceName), Text(cmdLnArgs), L"", 0, nullptr});
  return g_journal.serviceResult;
}

DWORD RecordingServiceControl::StopService(LPCWSTR serviceName) {
  g_journal.calls.push_back({L"StopService", m_index, Text(serviceName), L"", L"", 0, nullptr});
  return g_journal.serviceResult;
}

DWORD RecordingServiceControl::PauseService(LPCWSTR serviceName) {
  g_journal.calls.push_back({L"PauseService", m_index, Text(serviceName), L"", L"", 0, nullptr});
  return g_journal.serviceResult;
}

DWORD RecordingServiceControl::ContinueService(LPCWSTR serviceName) {
  g_journal.calls.push_back(
      {L"ContinueService", m_index, Text(serviceName), L"", L"", 0, nullptr});
  return g_journal.serviceResult;
}
