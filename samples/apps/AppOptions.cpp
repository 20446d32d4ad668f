#include "samples/apps/AppOptions.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>

#include "host/standins/ProcessTable.h"
#include "host/standins/ProcessTableClient.h"

namespace velmora_samples {
namespace {

// What --stale backdates the heartbeat by: well past the age at which a
// stopper gives up on a process.
constexpr DWORD kStaleHeartbeatAgeMs = 60000;

bool ParseNumber(const wchar_t* text, long long minimum, long long* value) {
  if (!text || !*text) return false;
  wchar_t* end = nullptr;
  const long long parsed = std::wcstoll(text, &end, 10);
  if (*end != L'\0' || parsed < minimum || parsed > 0x7FFFFFFF) return false;
  *value = parsed;
  return true;
}

}  // namespace

bool ParseAppOptions(int argc, wchar_t** argv, AppOptions* options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const wchar_t* next = i + 1 < argc ? argv[i + 1] : nullptr;
    long long number = 0;
    if (arg == L"--shutdown-timeout" && ParseNumber(next, -0x80000000LL, &number)) {
      options->shutdownTimeoutMs = static_cast<long>(number);
      ++i;
    } else if (arg == L"--linger" && ParseNumber(next, 0, &number)) {
      options->lingerMs = static_cast<DWORD>(number);
      ++i;
    } else if (arg == L"--log" && next) {
      options->logPath = next;
      ++i;
    } else if (arg == L"--stale") {
      options->stale = true;
    } else if (arg == L"--beat") {
      options->keepBeating = true;
    } else {
      std::fwprintf(stderr, L"unexpected argument: %ls\n", arg.c_str());
      return false;
    }
  }
  return true;
}

std::wstring ShutdownEventName(DWORD processId) {
  return velmora_host::kShutdownEventPrefix + std::to_wstring(processId);
}

AppLog::AppLog(const std::wstring& path) {
  if (!path.empty()) file_.reset(_wfopen(path.c_str(), L"a"));
}

void AppLog::Line(const wchar_t* format, ...) {
  if (!file_) return;
  va_list args;
  va_start(args, format);
  std::vfwprintf(file_.get(), format, args);
  va_end(args);
  std::fputwc(L'\n', file_.get());
  std::fflush(file_.get());
}

int EnterRealtimeTable(const AppOptions& options, AppLog& log,
                       UniqueHandle* shutdownEvent) {
  const DWORD pid = GetCurrentProcessId();
  const std::wstring eventName = ShutdownEventName(pid);
  // The event must exist while the process runs: a stopper that cannot find
  // it takes the process as already gone.
  shutdownEvent->reset(CreateEventW(
      nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, eventName.c_str()));
  if (!*shutdownEvent) {
    log.Line(L"CreateEvent %ls failed: %lu", eventName.c_str(), GetLastError());
    return kExitEventFailed;
  }
  const HRESULT hr = velmora_host::EnterProcess(pid, eventName.c_str(), options.shutdownTimeoutMs);
  if (FAILED(hr)) {
    log.Line(L"EnterProcess failed: 0x%08lx", static_cast<unsigned long>(hr));
    return kExitTableFailed;
  }
  log.Line(L"entered pid=%lu event=%ls timeout=%ld", pid, eventName.c_str(),
           options.shutdownTimeoutMs);
  if (options.stale) velmora_host::SetHeartbeatTime(pid, GetTickCount() - kStaleHeartbeatAgeMs);
  return kExitOk;
}

}  // namespace velmora_samples
