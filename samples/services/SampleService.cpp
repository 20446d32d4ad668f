// A sample Windows service (own process) for tests and demonstrations.
//
//   sample_service.exe                          run under the SCM
//   sample_service.exe install <name> [<dependsOn>]   register it (demand start)
//   sample_service.exe uninstall <name>         delete it
//
// It accepts stop, pause and continue, reporting each pending state with
// checkpoints and wait hints. Its settings and records live under
// HKLM\SOFTWARE\Velmora\Samples\<name>:
//   in:  "StartBehaviour" (REG_SZ)  "" normal, "hang" stays START_PENDING
//                                   (accepting stop) for "HangMs" ms,
//                                   "die" stops with an error during start
//        "StartDelayMs"   (DWORD)   start-up time, with a new checkpoint every
//                                   kCheckPointStep ms
//        "HangMs"         (DWORD)   default kDefaultHangMs
//   out: "LastStartArgCount" (DWORD)     argc that ServiceMain received
//        "LastStartArgs"     (REG_MULTI_SZ) its arguments after the name
//        "StartCount"        (DWORD)     starts since installation
#include <windows.h>

#include <deque>
#include <string>

#include "samples/services/SampleServiceRegistry.h"
#include "win32/LockGuard.h"
#include "win32/NoDestructor.h"
#include "win32/Owners.h"

namespace {

constexpr DWORD kCheckPointStep = 250;
constexpr DWORD kDefaultHangMs = 120000;
constexpr DWORD kTransitionMs = 200;  // time spent in PAUSE/CONTINUE/STOP_PENDING
constexpr DWORD kDieExitCode = 1;     // service-specific code of a failed start

class SampleService {
 public:
  void Run(DWORD argc, LPWSTR* argv) {
    m_name = argc > 0 && argv[0] != nullptr ? argv[0] : L"";
    m_event.reset(
        ::CreateEventW(nullptr, /*bManualReset=*/FALSE, /*bInitialState=*/FALSE, nullptr));
    m_handle = ::RegisterServiceCtrlHandlerExW(m_name.c_str(), &SampleService::Handler, this);
    if (m_handle == nullptr || !m_event) return;

    SampleServiceRegistry registry(m_name);
    registry.RecordStart(argc, argv);
    const std::wstring behaviour = registry.ReadString(L"StartBehaviour");

    Report(SERVICE_START_PENDING, 3000);
    if (behaviour == L"die") {
      ::Sleep(kTransitionMs);
      Report(SERVICE_STOPPED, 0, ERROR_SERVICE_SPECIFIC_ERROR, kDieExitCode);
      return;
    }
    if (behaviour == L"hang") {
      // Stuck in start-up without progress, yet stoppable so tests can clean up.
      Report(SERVICE_START_PENDING, 1000, NO_ERROR, 0, SERVICE_ACCEPT_STOP);
      ::WaitForSingleObject(m_event.get(), registry.ReadDword(L"HangMs", kDefaultHangMs));
      Report(SERVICE_STOP_PENDING, 1000);
      Report(SERVICE_STOPPED);
      return;
    }
    for (DWORD spent = 0, delay = registry.ReadDword(L"StartDelayMs", 0); spent < delay;
         spent += kCheckPointStep) {
      ::Sleep(kCheckPointStep);
      Report(SERVICE_START_PENDING, 3000);
    }
    Report(SERVICE_RUNNING);
    Loop();
  }

 private:
  void Loop() {
    for (;;) {
      ::WaitForSingleObject(m_event.get(), INFINITE);
      for (DWORD control; Next(&control);) {
        switch (control) {
          case SERVICE_CONTROL_PAUSE:
            Transition(SERVICE_PAUSE_PENDING, SERVICE_PAUSED);
            break;
          case SERVICE_CONTROL_CONTINUE:
            Transition(SERVICE_CONTINUE_PENDING, SERVICE_RUNNING);
            break;
          case SERVICE_CONTROL_STOP:
            Report(SERVICE_STOP_PENDING, 2000);
            ::Sleep(kTransitionMs);
            Report(SERVICE_STOP_PENDING, 2000);
            Report(SERVICE_STOPPED);
            return;
        }
      }
    }
  }

  void Transition(DWORD pending, DWORD settled) {
    Report(pending, 1000);
    ::Sleep(kTransitionMs);
    Report(settled);
  }

  bool Next(DWORD* control) {
    LockGuard lock(m_lock);
    if (m_controls.empty()) return false;
    *control = m_controls.front();
    m_controls.pop_front();
    return true;
  }

  static DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID context) {
    auto* self = static_cast<SampleService*>(context);
    switch (control) {
      case SERVICE_CONTROL_STOP:
      case SERVICE_CONTROL_PAUSE:
      case SERVICE_CONTROL_CONTINUE: {
        LockGuard lock(self->m_lock);
        self->m_controls.push_back(control);
        ::SetEvent(self->m_event.get());
        return NO_ERROR;
      }
      case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
      default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
  }

  // Pending states carry a new checkpoint each time; settled ones carry 0.
  void Report(DWORD state, DWORD waitHint = 0, DWORD exitCode = NO_ERROR,
              DWORD specificExitCode = 0, DWORD accepted = kNotGiven) {
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                         state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        accepted != kNotGiven ? accepted
        : (state == SERVICE_RUNNING || state == SERVICE_PAUSED)
            ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE
            : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = specificExitCode;
    status.dwCheckPoint = pending ? ++m_checkPoint : 0;
    status.dwWaitHint = waitHint;
    if (!pending) m_checkPoint = 0;
    ::SetServiceStatus(m_handle, &status);
  }

  static constexpr DWORD kNotGiven = 0xFFFFFFFF;

  std::wstring m_name;
  SERVICE_STATUS_HANDLE m_handle = nullptr;
  UniqueHandle m_event;
  DWORD m_checkPoint = 0;
  SRWLOCK m_lock = SRWLOCK_INIT;
  std::deque<DWORD> m_controls;
};

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  // Lives as long as the service's process: built once, never destroyed.
  static NoDestructor<SampleService> service;
  service->Run(argc, argv);
}

int Install(const wchar_t* name, const wchar_t* dependsOn) {
  wchar_t path[MAX_PATH];
  if (::GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return 1;
  const std::wstring command = L"\"" + std::wstring(path) + L"\"";
  // A double-null-terminated list of one name.
  std::wstring dependencies;
  if (dependsOn != nullptr) dependencies = std::wstring(dependsOn) + L'\0';
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return static_cast<int>(::GetLastError());
  UniqueScHandle service(::CreateServiceW(
      manager.get(), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(),
      /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr,
      dependsOn != nullptr ? dependencies.c_str() : nullptr,
      /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr));
  return static_cast<int>(service ? NO_ERROR : ::GetLastError());
}

int Uninstall(const wchar_t* name) {
  DWORD error = NO_ERROR;
  {
    UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return static_cast<int>(::GetLastError());
    UniqueScHandle service(::OpenServiceW(manager.get(), name, SERVICE_ALL_ACCESS));
    if (!service || !::DeleteService(service.get())) error = ::GetLastError();
  }
  SampleServiceRegistry::Remove(name);
  return static_cast<int>(error);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"install") {
    return Install(argv[2], argc >= 4 ? argv[3] : nullptr);
  }
  if (argc >= 3 && std::wstring(argv[1]) == L"uninstall") return Uninstall(argv[2]);

  // An own-process service may leave the name empty; the SCM hands the real
  // one to ServiceMain as its first argument.
  wchar_t emptyName[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{emptyName, &ServiceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) return static_cast<int>(::GetLastError());
  return 0;
}
