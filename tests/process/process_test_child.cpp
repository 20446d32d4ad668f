// A program that the application-side tests launch for real.
//   report <file> [args...]      writes what it was started with, then exits
//   cooperative <event> <delay>  enters the realtime table, exits 7 <delay> ms
//                                after the event is set
//   beating <event> <ms>         like cooperative, but keeps its heartbeat
//                                fresh for <ms> after the event before it exits
//   stubborn <event>             enters the table, creates its event, never ends
//   noevent <event>              enters the table with an event nobody creates
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "host/standins/ProcessTableClient.h"

namespace {

constexpr int kGracefulExitCode = 7;
constexpr long kTableShutdownTimeoutMs = 5000;

std::string Utf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0));
  return out;
}

int Report(const wchar_t* path) {
  STARTUPINFOW si = {};
  GetStartupInfoW(&si);
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
  const bool hasConsole = console != INVALID_HANDLE_VALUE;
  if (hasConsole) CloseHandle(console);

  std::wstring text;
  auto line = [&text](const wchar_t* key, const std::wstring& value) {
    text += key;
    text += L'=';
    text += value;
    text += L'\n';
  };
  line(L"cb", std::to_wstring(si.cb));
  line(L"desktop", si.lpDesktop ? si.lpDesktop : L"<null>");
  line(L"x", std::to_wstring(si.dwX));
  line(L"y", std::to_wstring(si.dwY));
  line(L"xsize", std::to_wstring(si.dwXSize));
  line(L"ysize", std::to_wstring(si.dwYSize));
  line(L"xchars", std::to_wstring(si.dwXCountChars));
  line(L"ychars", std::to_wstring(si.dwYCountChars));
  line(L"flags", std::to_wstring(si.dwFlags));
  line(L"show", std::to_wstring(si.wShowWindow));
  line(L"console", hasConsole ? L"1" : L"0");
  line(L"cmdline", GetCommandLineW());

  FILE* out = _wfopen(path, L"wb");
  if (!out) return 2;
  const std::string bytes = Utf8(text);
  fwrite(bytes.data(), 1, bytes.size(), out);
  fclose(out);
  return 0;
}

HANDLE CreateShutdownEvent(const wchar_t* name) {
  return CreateEventW(nullptr, TRUE, FALSE, name);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 1;
  const std::wstring mode = argv[1];
  if (mode == L"report") return Report(argv[2]);

  const DWORD pid = GetCurrentProcessId();
  const wchar_t* eventName = argv[2];
  HANDLE event = nullptr;
  if (mode != L"noevent") {
    event = CreateShutdownEvent(eventName);
    if (!event) return 3;
  }
  if (FAILED(velmora_host::EnterProcess(pid, eventName, kTableShutdownTimeoutMs))) return 4;

  if (mode == L"cooperative" || mode == L"beating") {
    WaitForSingleObject(event, INFINITE);
    const DWORD extra = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < extra) {
      if (mode == L"beating") velmora_host::ReportHeartbeat(pid);
      Sleep(50);
    }
    return kGracefulExitCode;
  }
  // stubborn and noevent: run until terminated.
  for (;;) Sleep(1000);
}
