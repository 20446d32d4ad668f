#include "tests/tools/ClientProcess.h"

#include <cstdlib>
#include <vector>

#include "win32/Owners.h"

namespace {

constexpr DWORD kPipeBytes = 1 << 20;
constexpr DWORD kClientTimeoutMs = 120000;

std::string Drain(HANDLE pipe) {
  std::string text;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) break;
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!ReadFile(pipe, chunk.data(), available, &read, nullptr) || read == 0) break;
    text.append(chunk.data(), read);
  }
  return text;
}

}  // namespace

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

ClientRun RunClient(const std::wstring& arguments) {
  ClientRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  UniqueHandle outRead, outWrite, errRead, errWrite, nul;
  if (!CreatePipe(outRead.put(), outWrite.put(), &inherit, kPipeBytes) ||
      !CreatePipe(errRead.put(), errWrite.put(), &inherit, kPipeBytes)) {
    return run;
  }
  SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);
  *nul.put() = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);

  const std::wstring folder = BinFolder();
  std::wstring commandLine = L"\"" + folder + L"velmoractl.exe\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, /*bInheritHandles=*/TRUE, 0,
                      nullptr, folder.c_str(), &startup, &process)) {
    return run;
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, kClientTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 0xFFFF);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);
  run.out = Drain(outRead.get());
  run.err = Drain(errRead.get());
  return run;
}

void TerminateIdentity(const std::string& identity) {
  const std::string prefix = "Process_";
  if (identity.compare(0, prefix.size(), prefix) != 0) return;
  const DWORD pid = strtoul(identity.c_str() + prefix.size(), nullptr, 10);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}

std::string Field(const std::string& output, const std::string& key) {
  const std::string head = key + ": ";
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    if (output.compare(start, head.size(), head) == 0) {
      return output.substr(start + head.size(), end - start - head.size());
    }
    start = end + 1;
  }
  return std::string();
}

bool AllLinesAreFields(const std::string& output) {
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) return false;  // every line ends with a line feed
    const std::string line = output.substr(start, end - start);
    const size_t colon = line.find(": ");
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
      const char c = line[i];
      if (!((c >= 'a' && c <= 'z') || c == '-')) return false;
    }
    start = end + 1;
  }
  return true;
}
