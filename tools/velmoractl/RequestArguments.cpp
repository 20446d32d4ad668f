#include "tools/velmoractl/RequestArguments.h"

#include <windows.h>

std::vector<wchar_t> WritableCopy(const std::wstring& text) {
  std::vector<wchar_t> buffer(text.begin(), text.end());
  buffer.push_back(L'\0');
  return buffer;
}

std::wstring FullPath(const std::wstring& name) {
  const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(name.c_str(), needed, &full[0], nullptr);
  if (written == 0 || written >= needed) return name;
  full.resize(written);
  return full;
}
