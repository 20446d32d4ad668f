#pragma once
// Writing the client's text to its standard handles.
#include <windows.h>

#include <string>

// Writes wide text to a standard handle: WriteConsoleW on a console, UTF-8
// bytes through WriteFile on a pipe or a file.
void WriteText(HANDLE handle, const std::wstring& text);

// True when the handle is a character device a person watches (a console, or
// a terminal as Wine presents it). Progress goes only there: pipes and files
// get the machine-readable lines and nothing else.
bool IsTerminal(HANDLE handle);
