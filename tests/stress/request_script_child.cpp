// A fixed script of requests through a fresh control object, run in a process
// of its own so that the logging library is looked for anew:
//
//   request_script_child.exe <result file> <service name>
//
// Writes one "<label> <value>" line per answer (values in hex) and whether
// LoggerDLL.dll ended up loaded. The fault tests run it with the library
// present and with it missing and compare the two transcripts.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/stress/StressSupport.h"

using namespace stress;

namespace {

class Transcript {
 public:
  explicit Transcript(const wchar_t* path) : m_file(_wfopen(path, L"w")) {}
  ~Transcript() {
    if (m_file) std::fclose(m_file);
  }
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;
  bool ok() const { return m_file != nullptr; }
  void Put(const char* label, long value) {
    std::fprintf(m_file, "%s 0x%08lx\n", label, static_cast<unsigned long>(value));
  }

 private:
  FILE* m_file;
};

// Start, status, the requests that do nothing for an application, a stop
// and a second stop.
void ApplicationScript(Control& control, Transcript& out, const wchar_t* program,
                       const wchar_t* args, long stopTimeoutMs, const char* prefix) {
  const std::string p(prefix);
  std::wstring identity;
  out.Put((p + "start").c_str(), control.Start(BinDir() + program, args, L"", &identity));
  const DWORD pid = PidOf(identity);
  out.Put((p + "identity_well_formed").c_str(),
          pid != 0 && identity == L"Process_" + std::to_wstring(pid));
  if (pid == 0) return;
  // Holding the process keeps its id from being handed out again meanwhile.
  const HANDLE keep = OpenProcess(SYNCHRONIZE, FALSE, pid);
  HRESULT unexpected = S_OK;
  long status = -1;
  out.Put((p + "entered").c_str(), control.AwaitEntered(identity, 20000, &unexpected, &status));
  out.Put((p + "status_before_entry").c_str(), unexpected);
  out.Put((p + "status").c_str(), status);
  out.Put((p + "pause").c_str(), control.Pause(identity));
  out.Put((p + "continue").c_str(), control.Continue(identity));
  long forced = -1;
  out.Put((p + "stop").c_str(), control.Stop(identity, stopTimeoutMs, &forced));
  out.Put((p + "stop_forced").c_str(), forced);
  forced = -1;
  out.Put((p + "second_stop").c_str(), control.Stop(identity, 100, &forced));
  out.Put((p + "second_stop_forced").c_str(), forced);
  velmora_host::RemoveProcess(pid);
  if (keep) CloseHandle(keep);
}

void ServiceScript(Control& control, Transcript& out, const std::wstring& name) {
  long tolerated = 0;
  std::wstring identity;
  out.Put("svc_start", ServiceRequestOnWine(name, SERVICE_RUNNING, [&] {
            return control.Start(name, L"", L"-service", &identity);
          }, &tolerated));
  out.Put("svc_identity_is_name", identity == name);
  long status = 77;
  out.Put("svc_status",
          ServiceRequestOnWine(name, 0, [&] { return control.Status(name, &status); }, &tolerated));
  out.Put("svc_status_untouched", status);
  out.Put("svc_pause", ServiceRequestOnWine(name, SERVICE_PAUSED,
                                            [&] { return control.Pause(name); }, &tolerated));
  AwaitServiceState(name, SERVICE_PAUSED, 10000);
  out.Put("svc_continue", ServiceRequestOnWine(name, SERVICE_RUNNING,
                                               [&] { return control.Continue(name); }, &tolerated));
  AwaitServiceState(name, SERVICE_RUNNING, 10000);
  out.Put("svc_stop", ServiceRequestOnWine(name, SERVICE_STOPPED,
                                           [&] { return control.Stop(name, 0, nullptr); },
                                           &tolerated));
  out.Put("svc_second_stop", ServiceRequestOnWine(name, SERVICE_STOPPED,
                                                  [&] { return control.Stop(name, 0, nullptr); },
                                                  &tolerated));
  out.Put("svc_unknown_start", ServiceRequestOnWine(L"VelmoraNoSuchService", 0, [&] {
            return control.Start(L"VelmoraNoSuchService", L"", L"/service", &identity);
          }, &tolerated));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  Transcript out(argv[1]);
  if (!out.ok()) return 3;
  Mta mta;
  Control control;
  out.Put("created", control.created());
  if (!control.ok()) return 4;

  std::wstring identity;
  out.Put("missing_exe", control.Start(BinDir() + L"no_such_program.exe", L"", L"", &identity));
  ApplicationScript(control, out, L"cooperative_app.exe", L"--shutdown-timeout 3000", 3000,
                    "coop_");
  ApplicationScript(control, out, L"stubborn_app.exe", L"--stale --shutdown-timeout 3000", 100,
                    "stale_");
  long status = 77;
  out.Put("unknown_status", control.Status(L"Process_0", &status));
  out.Put("unknown_status_untouched", status);
  long forced = -1;
  out.Put("unknown_stop", control.Stop(L"Process_0", 100, &forced));
  out.Put("restart", control.Restart(L"anything"));
  ServiceScript(control, out, argv[2]);
  control.Reset();
  out.Put("logger_loaded", GetModuleHandleW(L"LoggerDLL.dll") != nullptr);
  return 0;
}
