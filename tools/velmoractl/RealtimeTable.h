#pragma once
// The host's realtime process table as the module reads it: the same class,
// created the same way (in-process, for IProcessRealtimeClerk), asked the
// same questions. The client reads it to find the program behind an identity
// and to follow a program through the shutdown contract.
#include <windows.h>

#include <string>

#include "Velmora.h"
#include "win32/ComPtr.h"

// One instance per thread, used inside that thread's COM apartment.
class RealtimeTable {
 public:
  // Creates the table's object; its result is what the module's creation of
  // the same object would give.
  HRESULT Create();
  bool created() const { return static_cast<bool>(clerk_); }

  // GetProcessIdByName: the process id the table holds for the identity.
  HRESULT ProcessIdOf(const std::wstring& identity, DWORD* processId) const;
  // GetProcessIdEventName: the name of the program's shutdown event.
  HRESULT EventNameOf(DWORD processId, std::wstring* name) const;
  // GetShutdownTimeout, preset to the stopper's default as the stopper
  // presets it: what the stopper takes as the program's timeout.
  HRESULT ShutdownTimeoutOf(DWORD processId, long* timeoutMs) const;
  // GetProcessRealtimeInfoByProcessId: the age of the last heartbeat, on the
  // tick clock the table records it in, as the stopper computes it.
  HRESULT HeartbeatAgeOf(DWORD processId, DWORD* ageMs) const;

 private:
  ComPtr<IProcessRealtimeClerk> clerk_;
};
