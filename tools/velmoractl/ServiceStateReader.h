#pragma once
// The client's own look at a service's current state. The module's status
// request answers only whether the state could be read, so the client asks the
// service manager itself for what it prints and for its progress display.
#include <windows.h>

class ServiceStateReader {
 public:
  virtual ~ServiceStateReader() = default;
  // True with *state set to a SERVICE_* state, or false with *error set to the
  // Win32 code of the failing call (never 0).
  virtual bool Read(const wchar_t* serviceName, DWORD* state, DWORD* error) = 0;
};

// Reads through OpenSCManagerW / OpenServiceW / QueryServiceStatus on the
// local machine, with query rights only. Safe to call from any thread.
class ScmServiceStateReader : public ServiceStateReader {
 public:
  bool Read(const wchar_t* serviceName, DWORD* state, DWORD* error) override;
};
