#include "process/ProcessLog.h"

#include "win32/NoDestructor.h"

namespace {

class LoggerClientLog final : public ProcessLog {
 public:
  bool IsCategoryEnabled(int categoryIndex) override {
    return LoggerClient::Instance().IsCategoryEnabled(categoryIndex);
  }
  void WriteV(int categoryIndex, const wchar_t* format, va_list args) override {
    LoggerClient::Instance().LogCategoryV(categoryIndex, format, args);
  }
  void WriteModuleV(const wchar_t* format, va_list args) override {
    LoggerClient::Instance().LogCustomV(ModuleTraceFlag, format, args);
  }
};

}  // namespace

void ProcessLog::Category(int categoryIndex, const wchar_t* format, ...) {
  if (!IsCategoryEnabled(categoryIndex)) return;
  va_list args;
  va_start(args, format);
  WriteV(categoryIndex, format, args);
  va_end(args);
}

void ProcessLog::Module(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteModuleV(format, args);
  va_end(args);
}

ProcessLog& DefaultProcessLog() {
  static NoDestructor<LoggerClientLog> log;
  return *log;
}
