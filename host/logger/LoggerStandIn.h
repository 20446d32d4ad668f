#pragma once
// Shared pieces of the LoggerDLL.dll stand-in: client registry, enable
// settings and the log file.
#include <windows.h>

namespace standin {

// Built-in category flags are 1 << index; custom flags start above them.
constexpr int kCategoryCount = 11;
constexpr DWORD kFirstCustomFlag = 0x10000;

// Name of a built-in category (index 0..10) or nullptr.
const wchar_t* CategoryName(int index);
// Name of a built-in or registered flag into |name|; false when unknown.
bool FlagName(DWORD flag, wchar_t* name, size_t chars);
DWORD RegisterFlag(const wchar_t* name);

// Whether messages under the named flag are wanted (VELMORA_LOGGER_ENABLE).
bool IsNameEnabled(const wchar_t* name);

// Appends one line: time, process id, thread id, identity, flag name, text.
void AppendLine(int client, const wchar_t* flagName, const wchar_t* text);

// Client registry.
int RegisterClient();
void UnregisterClient(int client);
bool SetIdentity(int client, const wchar_t* name);
bool CopyIdentity(int client, wchar_t* name, size_t chars);
bool SetInstance(int client, const wchar_t* name);
bool CopyInstance(int client, wchar_t* name, size_t chars);

}  // namespace standin
