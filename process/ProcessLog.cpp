#include "process/ProcessLog.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

// Messages are at most 8192 characters once formatted.
constexpr size_t kMaxMessageChars = 8192;

void FormatInto(wchar_t (&buffer)[kMaxMessageChars + 1], const wchar_t* format,
                va_list args) {
  // _vsnwprintf leaves the buffer unterminated when it truncates.
  _vsnwprintf(buffer, kMaxMessageChars, format, args);
  buffer[kMaxMessageChars] = L'\0';
}

class LoggerClientLog final : public ProcessLog {
 public:
  bool IsCategoryEnabled(int categoryIndex) override {
    return LoggerClient::Instance().IsCategoryEnabled(categoryIndex);
  }
  void Write(int categoryIndex, const wchar_t* text) override {
    LoggerClient& client = LoggerClient::Instance();
    switch (categoryIndex) {
      case kLogError: client.LogError(L"%s", text); break;
      case kLogWarning: client.LogWarning(L"%s", text); break;
      case kLogInfo: client.LogInfo(L"%s", text); break;
      default: client.LogTrace(L"%s", text); break;
    }
  }
  void WriteModule(const wchar_t* text) override {
    LoggerClient::Instance().LogCustom(ModuleTraceFlag, L"%s", text);
  }
};

}  // namespace

void ProcessLog::Category(int categoryIndex, const wchar_t* format, ...) {
  if (!IsCategoryEnabled(categoryIndex)) return;
  wchar_t text[kMaxMessageChars + 1];
  va_list args;
  va_start(args, format);
  FormatInto(text, format, args);
  va_end(args);
  Write(categoryIndex, text);
}

void ProcessLog::Module(const wchar_t* format, ...) {
  wchar_t text[kMaxMessageChars + 1];
  va_list args;
  va_start(args, format);
  FormatInto(text, format, args);
  va_end(args);
  WriteModule(text);
}

ProcessLog& DefaultProcessLog() {
  static LoggerClientLog log;
  return log;
}
