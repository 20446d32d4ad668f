#pragma once
// Runs velmoractl.exe (beside the test executable) as a child process and
// captures its exit code, stdout and stderr through pipes.
#include <windows.h>

#include <string>

struct ClientRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;
  std::string err;
};

// The folder of the running test executable, with a trailing backslash.
std::wstring BinFolder();

// Runs "velmoractl.exe <arguments>" in the bin folder. An application that the
// client launches may inherit the client's standard handles and keep the pipes
// open, so the output is read once the client itself has exited, not at EOF.
ClientRun RunClient(const std::wstring& arguments);

// Ends the process named by "Process_<pid>" if it still runs; for clean-up
// after a failed expectation.
void TerminateIdentity(const std::string& identity);

// The value of the first "key: value" line, or "" when there is none.
std::string Field(const std::string& output, const std::string& key);

// True when every line is "key: value" with a lower-case key.
bool AllLinesAreFields(const std::string& output);
