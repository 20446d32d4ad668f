#include "harness/InstalledSampleService.h"

#include <cwchar>

#include "win32/Owners.h"

namespace velmora_harness {
namespace {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length < MAX_PATH ? length : 0);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

}  // namespace

DWORD ServiceState(const std::wstring& name) {
  UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  const bool read = service && QueryServiceStatus(service.get(), &status);
  return read ? status.dwCurrentState : 0;
}

bool AwaitServiceState(const std::wstring& name, DWORD state, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 50) {
    if (ServiceState(name) == state) return true;
    if (waited >= timeoutMs) return false;
    Sleep(50);
  }
}

InstalledSampleService::InstalledSampleService(const std::wstring& name) : m_name(name) {
  Remove();
}

InstalledSampleService::~InstalledSampleService() { Remove(); }

DWORD InstalledSampleService::Install() {
  UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return GetLastError();
  const std::wstring command = L"\"" + ProgramFolder() + L"sample_service.exe\"";
  UniqueScHandle service(CreateServiceW(
      manager.get(), m_name.c_str(), m_name.c_str(), SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(),
      nullptr, nullptr, nullptr, nullptr, nullptr));
  return service ? ERROR_SUCCESS : GetLastError();
}

void InstalledSampleService::SetStartBehaviour(const wchar_t* behaviour) {
  const std::wstring key = KeyPath();
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"StartBehaviour", REG_SZ, behaviour,
                  static_cast<DWORD>((std::wcslen(behaviour) + 1) * sizeof(wchar_t)));
}

std::wstring InstalledSampleService::KeyPath() const {
  return L"SOFTWARE\\Velmora\\Samples\\" + m_name;
}

void InstalledSampleService::Remove() {
  {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueScHandle service;
    if (manager) service.reset(OpenServiceW(manager.get(), m_name.c_str(), SERVICE_ALL_ACCESS));
    if (service) {
      SERVICE_STATUS status = {};
      if (QueryServiceStatus(service.get(), &status) &&
          status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        AwaitState(SERVICE_STOPPED, 15000);
      }
      DeleteService(service.get());
    }
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
}

}  // namespace velmora_harness
