#pragma once
// Installs the sample service (bin/sample_service.exe) in the Wine prefix's
// real SCM for one test, drives its registry settings, reads what it
// recorded, and removes it all again. Tests that use it hold the service_db
// resource lock.
#include <windows.h>

#include <string>
#include <vector>

class SampleServiceHarness {
 public:
  static constexpr const wchar_t* kName = L"VelmoraSampleSvc";

  // Removes a leftover of an earlier run, then installs a stopped service.
  // Returns the Win32 code of the installation.
  DWORD Install();
  // Stops the service if it runs, deletes it and its registry key.
  void Remove();

  void SetString(const wchar_t* value, const wchar_t* text);
  void SetDword(const wchar_t* value, DWORD data);
  DWORD ReadDword(const wchar_t* value, DWORD fallback = 0xFFFFFFFF) const;
  std::vector<std::wstring> ReadMultiString(const wchar_t* value) const;

  // The SCM's current state of the service, 0 when it cannot be read.
  DWORD State() const;
  // Waits (real time, bounded) until the service is in `state`.
  bool WaitForState(DWORD state, DWORD timeoutMs) const;

 private:
  std::wstring KeyPath() const;
};
