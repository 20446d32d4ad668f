#pragma once
// The narrow logging seam of the application side. Production forwards to the
// process-wide LoggerClient; tests record the exact texts and categories.
#include <windows.h>

#include <cstdarg>

#include "logging/LoggerClient.h"

class ProcessLog {
 public:
  virtual ~ProcessLog() = default;
  virtual bool IsCategoryEnabled(int categoryIndex) = 0;
  // Formats (msvcrt rules: %s is a wide string) and writes a message under a
  // built-in category; the sink formats it once, where it is sent.
  virtual void WriteV(int categoryIndex, const wchar_t* format, va_list args) = 0;
  // The same under the module's custom flag.
  virtual void WriteModuleV(const wchar_t* format, va_list args) = 0;

  // Writes the message if the category is enabled; the arguments are not
  // formatted otherwise.
  void Category(int categoryIndex, const wchar_t* format, ...);
  // Writes under the module's custom flag, without a test.
  void Module(const wchar_t* format, ...);
};

// The LoggerClient-backed log used by the production objects.
ProcessLog& DefaultProcessLog();

// Handle values are printed with %d; this keeps the conversion in one place.
inline int HandleForLog(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(handle));
}
