// The request is the stop of an identity the realtime table does not know:
// two logging statements (a Trace category test and a message under the
// module's own flag) and one table call. Without the library every logging
// operation looks for it again, by design: "InstallPath" is read and
// LoadLibraryW fails, three times per request (the category's flag, the
// category test, the message).
//
// Round trips to wineserver dominate both sides: about two with the library
// present (the realtime table's lock), about a dozen without it (three
// registry calls and a failed library load per look). Under Wine a round
// trip takes one of a few speeds, 30 to 90 us on this machine, and which one
// holds lasts for a whole process or for part of one. Fresh processes, each
// measuring one side after the other, made the two sides' times come from
// different speeds, and a ratio of them moved from 0.05x to 0.32x between
// runs. So each process measures both sides in turns, many times: a block of
// requests without the library, then a block with it (then the other way
// round), and the ratio is the median of the per-pair ratios. To start a
// block without the library, the process unloads Velmora.dll, whose
// teardown unloads the library too, and loads it again: this process loads
// the module itself, never through COM, so nothing else holds it.
#include "bench/LoggingTime.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "Velmora.h"
#include "bench/BenchSupport.h"
#include "bench/Statistics.h"
#include "harness/ScopedInstallPath.h"
#include "win32/ComPtr.h"
#include "win32/Owners.h"

namespace velmora_bench {
namespace {

constexpr wchar_t kChildSwitch[] = L"--logging-child";
constexpr int kWarmUpRequests = 20;
// A block's time: its median request. Tails come from the other programs on
// the machine; the median of a block is the block's own speed.
constexpr double kBlockQuantile = 0.5;
// The library must not make requests slower than its absence does.
constexpr double kLoggingLimit = 1.10;

using velmora_harness::ScopedInstallPath;

// One block: "InstallPath" at `directory`, Velmora.dll loaded afresh, one
// control object, `requests` requests after a warm-up. The block's time in
// µs, or a negative value when the module could not be used; `loaded` says
// whether the library was loaded at the end of the block.
double Block(const std::wstring& directory, int requests, bool* loaded) {
  ScopedInstallPath path(directory);
  UniqueModule module(LoadLibraryW((BinDir() + L"Velmora.dll").c_str()));
  if (!module) return -1;
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.get(), "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  if (!getClassObject ||
      FAILED(getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                            factory.put_void())))
    return -1;
  ComPtr<ISoftwareProcessControlManager> manager;
  factory->CreateInstance(nullptr, IID_ISoftwareProcessControlManager, manager.put_void());
  factory.reset();
  if (!manager) return -1;
  Control control(std::move(manager));
  for (int i = 0; i < kWarmUpRequests; ++i) control.Stop(L"Process_0", 100, nullptr);
  std::vector<double> times;
  for (int i = 0; i < requests; ++i) {
    const double begin = NowMs();
    control.Stop(L"Process_0", 100, nullptr);
    times.push_back((NowMs() - begin) * 1000.0);
  }
  *loaded = GetModuleHandleW(L"LoggerDLL.dll") != nullptr;
  return Quantile(times, kBlockQuantile);
}

// Child mode: `pairs` pairs of blocks, without and with the library in turns
// first; one line per pair into `outPath`: the time with the library, the
// time without it, and whether the library was loaded exactly in the blocks
// that had it and unloaded with the module.
int LoggingChild(int pairs, int requests, const wchar_t* outPath, const wchar_t* libraryDir,
                 const wchar_t* emptyDir) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  FILE* out = _wfopen(outPath, L"w");
  if (!out) return 3;
  for (int i = 0; i < pairs; ++i) {
    double present = -1, absent = -1;
    bool presentLoaded = false, absentLoaded = true;
    for (int side = 0; side < 2; ++side) {
      if ((side + i) % 2 == 0)
        absent = Block(emptyDir, requests, &absentLoaded);
      else
        present = Block(libraryDir, requests, &presentLoaded);
    }
    const bool expected = presentLoaded && !absentLoaded && !GetModuleHandleW(L"LoggerDLL.dll");
    std::fprintf(out, "%f %f %d\n", present, absent, expected ? 1 : 0);
  }
  std::fclose(out);
  CoUninitialize();
  return 0;
}

struct Outcome {
  std::vector<double> present, absent;
  int failed = 0;
  int unexpected = 0;
};

// Runs this program in logging-child mode and adds its pairs to `outcome`.
void RunLoggingChild(const LoggingTimeSettings& settings, const std::wstring& emptyDir,
                     Outcome* outcome) {
  wchar_t temp[MAX_PATH] = {}, out[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetTempFileNameW(temp, L"vbl", 0, out);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  // Without its trailing backslash, which would escape the closing quote.
  std::wstring libraryDir = BinDir();
  libraryDir.pop_back();
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + kChildSwitch + L" " +
                         std::to_wstring(settings.pairs) + L" " +
                         std::to_wstring(settings.requests) + L" \"" + out + L"\" \"" +
                         libraryDir + L"\" \"" + emptyDir + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  int pairs = 0;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    WaitForSingleObject(process.get(), 10 * 60 * 1000);
    if (FILE* in = _wfopen(out, L"r")) {
      double present = 0, absent = 0;
      int expected = 0;
      while (std::fscanf(in, "%lf %lf %d", &present, &absent, &expected) == 3) {
        ++pairs;
        if (present <= 0 || absent <= 0) {
          ++outcome->failed;
          continue;
        }
        if (!expected) ++outcome->unexpected;
        outcome->present.push_back(present);
        outcome->absent.push_back(absent);
      }
      std::fclose(in);
    }
  }
  DeleteFileW(out);
  if (pairs < settings.pairs) outcome->failed += settings.pairs - pairs;
}

}  // namespace

Row LoggingTime(const LoggingTimeSettings& settings) {
  wchar_t temp[MAX_PATH] = {}, empty[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetTempFileNameW(temp, L"vbe", 0, empty);
  DeleteFileW(empty);
  CreateDirectoryW(empty, nullptr);
  Outcome outcome;
  {
    ScopedInstallPath restore(BinDir());  // puts the value back however a child ends
    for (int i = 0; i < settings.processes; ++i) RunLoggingChild(settings, empty, &outcome);
  }
  RemoveDirectoryW(empty);
  const Pairs pairs{"logging time (us)", outcome.present, outcome.absent};
  Row row = PairedRow("Request time, logging library present vs absent", pairs, kLoggingLimit,
                      "us");
  if (outcome.unexpected) {
    row.ratio += " (library load state unexpected in " + std::to_string(outcome.unexpected) + ")";
    row.held = Held(false);
  }
  if (outcome.failed) {
    row.ratio += " (" + std::to_string(outcome.failed) + " pairs failed)";
    row.held = Held(false);
  }
  return row;
}

bool RunAsLoggingChild(int argc, wchar_t** argv, int* exitCode) {
  if (argc != 7 || std::wcscmp(argv[1], kChildSwitch) != 0) return false;
  *exitCode = LoggingChild(_wtoi(argv[2]), _wtoi(argv[3]), argv[4], argv[5], argv[6]);
  return true;
}

}  // namespace velmora_bench
