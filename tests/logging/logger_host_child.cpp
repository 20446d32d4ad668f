// A host program for the logging tests, built into a folder of its own
// (bin/logger-host/) that holds no LoggerDLL.dll, so that where the module
// finds the library depends only on the host's choices:
//
//   logger_host_child.exe <result file> request [<dll folder>]
//     one status request and one stop of an identity nobody started, through
//     the registered control object; with a folder, SetDllDirectoryW(folder)
//     first. Exits 0.
//   logger_host_child.exe <result file> exit
//     four MTA threads make those requests without pause; once each has made
//     some, the program calls ExitProcess(7) while they still run.
//
// The result file gets one "<label> <value>" line per answer, the paths of the
// LoggerDLL.dll and of the LoggerSplitHelper.dll that the split variant of it
// imports ("none" for one not loaded), how often the module registered with
// the library and, before an exit, the tick count at ExitProcess; it is
// complete before the program ends.
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Velmora.h"
#include "tests/logging/LoggerTestEnv.h"

namespace {

constexpr int kExitThreads = 4;
constexpr LONG kRequestsBeforeExit = 40;
constexpr UINT kExitCode = 7;
// An identity of the application side that no realtime table holds.
constexpr wchar_t kUnknownIdentity[] = L"Process_4000000000";

struct Answers {
  HRESULT status = E_UNEXPECTED;
  HRESULT stop = E_UNEXPECTED;
};

Answers Request(ISoftwareProcessControlManager* manager) {
  Answers answers;
  std::wstring identity(kUnknownIdentity);
  long status = 0;
  answers.status = manager->GetProcessStatus(&identity[0], &status);
  long forced = 0;
  answers.stop = manager->StopSoftwareProcess(&identity[0], 100, &forced);
  return answers;
}

// The file of a DLL loaded in this process; "none" when it is not loaded.
std::wstring LoadedFile(const wchar_t* name) {
  HMODULE module = GetModuleHandleW(name);
  if (!module) return L"none";
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

// |exiting|: the program calls ExitProcess next; "exit_tick" says when.
bool WriteResults(const wchar_t* file, HRESULT created, const Answers& answers,
                  bool exiting = false) {
  FILE* out = _wfopen(file, L"w");
  if (!out) return false;
  std::fprintf(out, "created 0x%08lx\nstatus 0x%08lx\nstop 0x%08lx\n",
               static_cast<unsigned long>(created), static_cast<unsigned long>(answers.status),
               static_cast<unsigned long>(answers.stop));
  std::fprintf(out, "logger %ls\nhelper %ls\nregistrations %ld\n",
               LoadedFile(L"LoggerDLL.dll").c_str(), LoadedFile(L"LoggerSplitHelper.dll").c_str(),
               logger_test::LoggerCallCount("REGISTERLOGGERCLIENT"));
  if (exiting) std::fprintf(out, "exit_tick %llu\n", GetTickCount64());
  return std::fclose(out) == 0;
}

ISoftwareProcessControlManager* CreateControl(HRESULT* created) {
  ISoftwareProcessControlManager* manager = nullptr;
  *created = CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr,
                              CLSCTX_INPROC_SERVER, IID_ISoftwareProcessControlManager,
                              reinterpret_cast<void**>(&manager));
  return manager;
}

int RunRequest(const wchar_t* resultFile, const wchar_t* dllFolder) {
  if (dllFolder && !SetDllDirectoryW(dllFolder)) return 3;
  HRESULT created = E_UNEXPECTED;
  ISoftwareProcessControlManager* manager = CreateControl(&created);
  Answers answers;
  if (manager) answers = Request(manager);
  return WriteResults(resultFile, created, answers) ? 0 : 2;
}

// Never returns: the process ends with kExitCode while the threads run.
int RunExit(const wchar_t* resultFile) {
  HRESULT created = E_UNEXPECTED;
  ISoftwareProcessControlManager* manager = CreateControl(&created);
  if (!manager) return WriteResults(resultFile, created, Answers()) ? 4 : 2;
  const Answers first = Request(manager);
  std::atomic<LONG> requests{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kExitThreads; ++i)
    threads.emplace_back([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (;;) {
        Request(manager);
        requests.fetch_add(1);
      }
    });
  while (requests.load() < kRequestsBeforeExit) Sleep(1);
  if (!WriteResults(resultFile, created, first, /*exiting=*/true)) return 2;
  ExitProcess(kExitCode);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
  const std::wstring mode(argv[2]);
  if (mode == L"request") return RunRequest(argv[1], argc > 3 ? argv[3] : nullptr);
  if (mode == L"exit") return RunExit(argv[1]);
  return 2;
}
