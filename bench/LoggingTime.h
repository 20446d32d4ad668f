// What a missing logging library costs a request: the same request with the
// library present and with it absent, measured in turns within one process.
#pragma once

#include "bench/Table.h"

namespace velmora_bench {

struct LoggingTimeSettings {
  int processes;  // each a fresh process of its own
  int pairs;      // per process: blocks without and with the library, in turns
  int requests;   // per block
};

Row LoggingTime(const LoggingTimeSettings& settings);

// The child side of LoggingTime: velmora_bench.exe --logging-child <arguments>.
// True when `argv` asks for it; `exitCode` is then the process's.
bool RunAsLoggingChild(int argc, wchar_t** argv, int* exitCode);

}  // namespace velmora_bench
