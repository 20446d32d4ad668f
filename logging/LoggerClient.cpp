// Placeholder: replaced by the real client.
#include "logging/LoggerClient.h"
DWORD ModuleTraceFlag = 0;
LoggerClient& LoggerClient::Instance() { static LoggerClient c; return c; }
bool LoggerClient::EnsureConnected() { return false; }
bool LoggerClient::SetIdentityName(const wchar_t*) { return false; }
DWORD LoggerClient::RegisterLogFlag(long, const wchar_t*) { return 0; }
DWORD LoggerClient::GetLogFlag(int) { return 0; }
bool LoggerClient::IsFlagEnabled(DWORD) { return false; }
bool LoggerClient::IsCategoryEnabled(int) { return false; }
void LoggerClient::LogError(const wchar_t*, ...) {}
void LoggerClient::LogWarning(const wchar_t*, ...) {}
void LoggerClient::LogInfo(const wchar_t*, ...) {}
void LoggerClient::LogTrace(const wchar_t*, ...) {}
void LoggerClient::LogCustom(DWORD, const wchar_t*, ...) {}
bool LoggerClient::Shutdown() { return true; }
void InitializeModuleLogging() {}
