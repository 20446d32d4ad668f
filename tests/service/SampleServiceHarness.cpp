#include "tests/service/SampleServiceHarness.h"

#include "win32/Owners.h"

namespace {

std::wstring SampleExePath() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length);
  dir.resize(dir.find_last_of(L'\\') + 1);
  return dir + L"sample_service.exe";
}

}  // namespace

std::wstring SampleServiceHarness::KeyPath() const {
  return std::wstring(L"SOFTWARE\\Velmora\\Samples\\") + kName;
}

DWORD SampleServiceHarness::Install() {
  Remove();
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return ::GetLastError();
  const std::wstring command = L"\"" + SampleExePath() + L"\"";
  UniqueScHandle service(::CreateServiceW(manager.get(), kName, kName, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                              nullptr, nullptr, nullptr));
  return service ? ERROR_SUCCESS : ::GetLastError();
}

void SampleServiceHarness::Remove() {
  {
    UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueScHandle service(manager ? ::OpenServiceW(manager.get(), kName, SERVICE_ALL_ACCESS)
                                    : nullptr);
    if (service) {
      SERVICE_STATUS status{};
      if (::QueryServiceStatus(service.get(), &status) &&
          status.dwCurrentState != SERVICE_STOPPED) {
        ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        WaitForState(SERVICE_STOPPED, 15000);
      }
      ::DeleteService(service.get());
    }
  }
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
}

void SampleServiceHarness::SetString(const wchar_t* value, const wchar_t* text) {
  ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), value, REG_SZ, text,
                    static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

void SampleServiceHarness::SetDword(const wchar_t* value, DWORD data) {
  ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), value, REG_DWORD, &data,
                    sizeof(data));
}

DWORD SampleServiceHarness::ReadDword(const wchar_t* value, DWORD fallback) const {
  DWORD data = 0;
  DWORD bytes = sizeof(data);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), value, RRF_RT_REG_DWORD,
                     nullptr, &data, &bytes) != ERROR_SUCCESS) {
    return fallback;
  }
  return data;
}

std::vector<std::wstring> SampleServiceHarness::ReadMultiString(const wchar_t* value) const {
  std::vector<std::wstring> out;
  wchar_t buffer[1024] = {};
  DWORD bytes = sizeof(buffer) - 2 * sizeof(wchar_t);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), value, RRF_RT_REG_MULTI_SZ,
                     nullptr, buffer, &bytes) != ERROR_SUCCESS) {
    out.push_back(L"<missing>");
    return out;
  }
  for (const wchar_t* p = buffer; *p != L'\0'; p += wcslen(p) + 1) out.push_back(p);
  return out;
}

DWORD SampleServiceHarness::State() const {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  UniqueScHandle service(::OpenServiceW(manager.get(), kName, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (!service || !::QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool SampleServiceHarness::WaitForState(DWORD state, DWORD timeoutMs) const {
  for (DWORD waited = 0; waited <= timeoutMs; waited += 100) {
    if (State() == state) return true;
    ::Sleep(100);
  }
  return false;
}
