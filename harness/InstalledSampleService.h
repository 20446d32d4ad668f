// The sample service (sample_service.exe, beside the running program)
// installed in the service manager under a name of its own, as the stress
// tests and the benchmark's soak drive it, and its state as the service
// manager reports it.
#pragma once

#include <windows.h>

#include <string>

namespace velmora_harness {

// The service manager's state of a service; 0 when it cannot be read.
DWORD ServiceState(const std::wstring& name);
// Polls every 50 ms until the service is in `state`; false after timeoutMs.
bool AwaitServiceState(const std::wstring& name, DWORD state, DWORD timeoutMs);

// Removes any service of that name first, and again when destroyed (stopped
// first if it runs), with its registry switches.
class InstalledSampleService {
 public:
  explicit InstalledSampleService(const std::wstring& name);
  ~InstalledSampleService();
  InstalledSampleService(const InstalledSampleService&) = delete;
  InstalledSampleService& operator=(const InstalledSampleService&) = delete;

  const std::wstring& name() const { return m_name; }

  // Installs it, demand-start, in a process of its own; the Win32 result.
  DWORD Install();
  // The sample's "StartBehaviour" switch (samples/services).
  void SetStartBehaviour(const wchar_t* behaviour);

  DWORD State() const { return ServiceState(m_name); }
  bool AwaitState(DWORD state, DWORD timeoutMs) const {
    return AwaitServiceState(m_name, state, timeoutMs);
  }

 private:
  std::wstring KeyPath() const;
  void Remove();

  std::wstring m_name;
};

}  // namespace velmora_harness
