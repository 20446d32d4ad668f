#pragma once
// The strings a request hands to the control object, made the way the
// module needs them.
#include <string>
#include <vector>

// A mutable, null-terminated copy: the interface takes LPWSTR, and the module
// lower-cases the process-control arguments in the caller's buffer.
std::vector<wchar_t> WritableCopy(const std::wstring& text);

// The module looks an executable up by "\\?\" + the name exactly as given, so
// a relative path or forward slashes would read as "not found". The client
// resolves the name against its own working directory first; the name as
// given when that fails.
std::wstring FullPath(const std::wstring& name);
