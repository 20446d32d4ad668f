// host_client: what a host does with Velmora, in one program.
//
//   host_client <executable> [<arguments> [<process-control switches>]]
//
// Creates the control object by its ProgID (by its class id when the ProgID
// is not registered), starts the executable as an application, reads its
// status from the host's realtime process table, stops it, and prints each
// result. Exit code 0 when the application started and ended by itself.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "Velmora.h"  // ISoftwareProcessControlManager, tagPlatformProcessStatus

namespace {

const wchar_t kProgId[] = L"Oxlume.SoftwareProcessControlManagerObject.1";

// A program enters itself in the realtime table once it runs; until then the
// table does not know its identity. Wait this long for it, in short steps.
const int kStatusTries = 50;
const DWORD kStatusStepMs = 100;

void Report(const char* step, HRESULT hr, const std::wstring& detail) {
  std::printf("%-7s 0x%08lX  %ls\n", step, static_cast<unsigned long>(hr), detail.c_str());
  std::fflush(stdout);
}

const wchar_t* StatusName(long status) {
  switch (status) {
    case PROCESS_STARTING: return L"PROCESS_STARTING";
    case PROCESS_STARTED: return L"PROCESS_STARTED";
    case PROCESS_STOPPING: return L"PROCESS_STOPPING";
    case PROCESS_STOPPED: return L"PROCESS_STOPPED";
    case PROCESS_FAILED: return L"PROCESS_FAILED";
    default: return L"another status";
  }
}

int Run(ISoftwareProcessControlManager* manager, int argc, wchar_t** argv) {
  // Writable copies: the module takes LPWSTR and lower-cases the switches in place.
  std::wstring executable = argv[1];
  std::wstring arguments = argc > 2 ? argv[2] : L"";
  std::wstring switches = argc > 3 ? argv[3] : L"";

  BSTR identity = nullptr;
  HRESULT hr = manager->StartSoftwareProcess(&executable[0], &arguments[0], &switches[0],
                                             &identity);
  Report("start", hr, L"identity " + std::wstring(identity ? identity : L"(none)"));
  if (FAILED(hr) || identity == nullptr) return 1;

  long status = -1;
  for (int i = 0; i < kStatusTries; ++i) {
    hr = manager->GetProcessStatus(identity, &status);
    if (SUCCEEDED(hr)) break;
    Sleep(kStatusStepMs);
  }
  Report("status", hr, std::to_wstring(status) + L" " + StatusName(status));

  // 0: wait in steps of the shutdown timeout the program entered in the table.
  long forced = 0;
  const HRESULT stopped = manager->StopSoftwareProcess(identity, 0, &forced);
  Report("stop", stopped, forced ? L"forced 1: terminated" : L"forced 0: ended by itself");
  SysFreeString(identity);
  return SUCCEEDED(hr) && stopped == S_OK && !forced ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: host_client <executable> [<arguments> [<switches>]]\n");
    return 2;
  }
  // The class is registered for both threading models; a host without a
  // message loop of its own belongs in the multithreaded apartment.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) return Report("com", hr, L"CoInitializeEx failed"), 1;

  CLSID clsid = CLSID_SoftwareProcessControlManagerObject;
  const HRESULT byName = CLSIDFromProgID(kProgId, &clsid);
  const std::wstring how = SUCCEEDED(byName) ? std::wstring(L"by ProgID ") + kProgId
                                             : std::wstring(L"by class id (ProgID not found)");
  ISoftwareProcessControlManager* manager = nullptr;
  hr = CoCreateInstance(clsid, /*pUnkOuter=*/nullptr, CLSCTX_INPROC_SERVER,
                        IID_ISoftwareProcessControlManager,
                        reinterpret_cast<void**>(&manager));
  Report("create", hr, how);

  int exitCode = 1;
  if (SUCCEEDED(hr)) {
    exitCode = Run(manager, argc, argv);
    manager->Release();
  }
  CoUninitialize();
  return exitCode;
}
