#pragma once
// Helpers for tests that run against the stand-in LoggerDLL.dll.
//
//   logger_test::ScopedInstallPath path(logger_test::BinDir());   // HKLM "InstallPath"
//   logger_test::ScopedLogFile log;            // sets VELMORA_LOGGER_FILE to a temp file
//   logger_test::ScopedEnvironment on(L"VELMORA_LOGGER_ENABLE", L"all");
//   ... run the code under test ...
//   for (const logger_test::LogLine& line : log.Lines()) ...  line.flag, line.text
//   logger_test::LoggerCallCount("REGISTERLOGGERCLIENT");
//
// Tests that write "InstallPath" need the ctest property
// RESOURCE_LOCK logger_registry; the previous key and value come back when the
// ScopedInstallPath goes out of scope. The stand-in reads the environment on
// every call, so settings made in the test process apply at once.
#include <windows.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "harness/ScopedInstallPath.h"
#include "host/logger/LoggerTestHooks.h"

namespace logger_test {

// Folder of the running test executable, with a trailing backslash; the
// default LoggerDLL.dll and Velmora.dll live there.
inline std::wstring BinDir() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length < MAX_PATH ? length : 0);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// Folder of a stand-in variant: nologstart, traceonly, nohandle, noregister,
// partial, plain or split (tests/logging/CMakeLists.txt).
inline std::wstring VariantDir(const wchar_t* name) {
  return BinDir() + L"logger-variants\\" + name + L"\\";
}

// Sets (or, with Removed(), deletes) the logging library's "InstallPath" and
// puts back what was there before (harness/, shared with the benchmark).
using velmora_harness::ScopedInstallPath;

// Sets an environment variable of the process (nullptr removes it) and puts
// back the earlier value.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const wchar_t* value) : m_name(name) {
    const DWORD chars = GetEnvironmentVariableW(name, nullptr, 0);
    if (chars) {
      m_old.resize(chars);
      m_old.resize(GetEnvironmentVariableW(name, &m_old[0], chars));
      m_had = true;
    }
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring m_name;
  std::wstring m_old;
  bool m_had = false;
};

// One line of the stand-in's log file.
struct LogLine {
  std::wstring time, pid, tid, identity, flag, text;
};

inline std::vector<LogLine> ReadLogLines(const std::wstring& path) {
  std::vector<LogLine> lines;
  std::ifstream in(path.c_str(), std::ios::binary);  // mingw accepts wide paths
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const int chars = MultiByteToWideChar(CP_UTF8, 0, raw.data(), static_cast<int>(raw.size()),
                                          nullptr, 0);
    std::wstring wide(chars, L'\0');
    if (chars)
      MultiByteToWideChar(CP_UTF8, 0, raw.data(), static_cast<int>(raw.size()), &wide[0], chars);
    std::wstring* fields[] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    LogLine line;
    fields[0] = &line.time, fields[1] = &line.pid, fields[2] = &line.tid;
    fields[3] = &line.identity, fields[4] = &line.flag, fields[5] = &line.text;
    size_t start = 0;
    for (int i = 0; i < 6; ++i) {
      const size_t tab = i < 5 ? wide.find(L'\t', start) : std::wstring::npos;
      *fields[i] = wide.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start);
      if (tab == std::wstring::npos) break;
      start = tab + 1;
    }
    lines.push_back(line);
  }
  return lines;
}

// A fresh log file in the temp folder, named through VELMORA_LOGGER_FILE for
// the scope's lifetime and deleted afterwards.
class ScopedLogFile {
 public:
  ScopedLogFile() {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    wchar_t name[MAX_PATH] = {};
    GetTempFileNameW(dir, L"vlg", 0, name);
    m_path = name;
    m_env.reset(new ScopedEnvironment(L"VELMORA_LOGGER_FILE", m_path.c_str()));
  }
  ~ScopedLogFile() {
    m_env.reset();
    DeleteFileW(m_path.c_str());
  }
  ScopedLogFile(const ScopedLogFile&) = delete;
  ScopedLogFile& operator=(const ScopedLogFile&) = delete;
  const std::wstring& path() const { return m_path; }
  std::vector<LogLine> Lines() const { return ReadLogLines(m_path); }

 private:
  std::wstring m_path;
  std::unique_ptr<ScopedEnvironment> m_env;
};

// Calls so far of one entry point of the LoggerDLL.dll loaded in this
// process; -1 when none is loaded.
inline LONG LoggerCallCount(const char* entryPoint) {
  HMODULE logger = GetModuleHandleW(L"LoggerDLL.dll");
  if (!logger) return -1;
  auto count = reinterpret_cast<VelmoraTestCallCountFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(logger, "VelmoraTestCallCount")));
  return count ? count(entryPoint) : -1;
}

// Identity names the loaded LoggerDLL.dll accepted, oldest first.
inline std::vector<std::wstring> LoggerIdentityHistory() {
  std::vector<std::wstring> names;
  HMODULE logger = GetModuleHandleW(L"LoggerDLL.dll");
  if (!logger) return names;
  auto at = reinterpret_cast<VelmoraTestIdentityAtFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(logger, "VelmoraTestIdentityAt")));
  wchar_t name[MAX_PATH + 32];
  for (int i = 0; at && at(i, nullptr, name, MAX_PATH + 32); ++i) names.push_back(name);
  return names;
}

}  // namespace logger_test
