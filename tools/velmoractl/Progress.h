#pragma once
// A progress line on stderr while a request blocks the client's main thread:
// a service start or stop polls every 2 s until the state settles, and an
// application stop waits as long as the program's heartbeat stays fresh.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// "2.004 s": milliseconds as the client prints a duration.
std::wstring FormatSeconds(ULONGLONG milliseconds);

// "waiting 6.5 s  service START_PENDING" (detail appended when not empty).
std::wstring FormatProgressLine(DWORD elapsedMs, const std::wstring& detail);

class ProgressReporter {
 public:
  using DetailFn = std::function<std::wstring()>;
  using WriteFn = std::function<void(const std::wstring&)>;

  // Starts a thread that, after kFirstLineDelayMs and then every kTickMs,
  // rewrites one line through write() with the elapsed time and detail().
  ProgressReporter(DetailFn detail, WriteFn write);
  // Stops the thread and ends the line if one was written.
  ~ProgressReporter();
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  static constexpr DWORD kFirstLineDelayMs = 1000;
  static constexpr DWORD kTickMs = 500;

 private:
  void Run();

  DetailFn detail_;
  WriteFn write_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};
