#include "logging/LoggerEntryPoints.h"

const char* const kLoggerEntryPointNames[kLoggerEntryPointCount] = {
#define VELMORA_LOGGER_NAME(name) #name,
    VELMORA_LOGGER_ENTRY_POINTS(VELMORA_LOGGER_NAME)
#undef VELMORA_LOGGER_NAME
};
