#include "tools/velmoractl/Progress.h"

#include <chrono>
#include <cwchar>

std::wstring FormatSeconds(ULONGLONG milliseconds) {
  wchar_t text[48];
  swprintf(text, 48, L"%llu.%03llu s", milliseconds / 1000, milliseconds % 1000);
  return text;
}

std::wstring FormatProgressLine(DWORD elapsedMs, const std::wstring& detail) {
  wchar_t text[64];
  swprintf(text, 64, L"waiting %lu.%lu s", static_cast<unsigned long>(elapsedMs / 1000),
           static_cast<unsigned long>(elapsedMs % 1000 / 100));
  std::wstring line = text;
  if (!detail.empty()) line += L"  " + detail;
  return line;
}

ProgressReporter::ProgressReporter(DetailFn detail, WriteFn write)
    : detail_(std::move(detail)), write_(std::move(write)), thread_([this] { Run(); }) {}

ProgressReporter::~ProgressReporter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ProgressReporter::Run() {
  const auto start = std::chrono::steady_clock::now();
  auto next = start + std::chrono::milliseconds(kFirstLineDelayMs);
  size_t lastWidth = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_until(lock, next, [this] { return done_; })) {
    lock.unlock();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::wstring line = FormatProgressLine(static_cast<DWORD>(elapsed.count()), detail_());
    const size_t width = line.size();
    // Pad over the rest of a longer previous line, then return to its start.
    if (width < lastWidth) line.append(lastWidth - width, L' ');
    write_(L"\r" + line);
    lastWidth = width;
    next += std::chrono::milliseconds(kTickMs);
    lock.lock();
  }
  if (lastWidth > 0) write_(L"\n");
}
