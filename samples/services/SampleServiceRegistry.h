#pragma once
// The sample service's registry key, HKLM\SOFTWARE\Velmora\Samples\<name>:
// test settings in, start records out.
#include <windows.h>

#include <string>

#include "win32/Owners.h"

class SampleServiceRegistry {
 public:
  static constexpr const wchar_t* kRoot = L"SOFTWARE\\Velmora\\Samples";

  explicit SampleServiceRegistry(const std::wstring& serviceName);

  std::wstring ReadString(const wchar_t* value) const;
  DWORD ReadDword(const wchar_t* value, DWORD fallback) const;
  // Writes LastStartArgCount, LastStartArgs and StartCount.
  void RecordStart(DWORD argc, LPWSTR* argv);

  // Deletes the key of a service.
  static void Remove(const std::wstring& serviceName);

 private:
  UniqueHKey m_key;
};
