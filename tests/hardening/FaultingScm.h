#pragma once
// Wraps the scripted fake SCM and makes the N-th call of one kind fail with a
// given error instead of reaching the fake. A failed open hands out no
// handle, exactly as the real calls do, so the fake's handle count still
// tells whether the code under test released everything it acquired.
#include <windows.h>

#include <map>
#include <string>

#include "service/ScmApi.h"
#include "tests/service/FakeScm.h"

namespace hardening {

enum class ScmCall { kOpenManager, kOpenService, kQuery, kStart, kControl, kEnum };

inline const char* ScmCallName(ScmCall call) {
  switch (call) {
    case ScmCall::kOpenManager: return "OpenManager";
    case ScmCall::kOpenService: return "OpenService";
    case ScmCall::kQuery: return "Query";
    case ScmCall::kStart: return "Start";
    case ScmCall::kControl: return "Control";
    case ScmCall::kEnum: return "Enum";
  }
  return "?";
}

class FaultingScm : public ScmApi {
 public:
  explicit FaultingScm(FakeScm& inner) : m_inner(inner) {}

  // Fails call number `ordinal` (1-based) of `kind` with `error`; 0 fails none.
  void FailNth(ScmCall kind, int ordinal, DWORD error) {
    m_kind = kind;
    m_ordinal = ordinal;
    m_error = error;
  }
  int Count(ScmCall kind) const {
    auto it = m_counts.find(kind);
    return it == m_counts.end() ? 0 : it->second;
  }
  // The service the failed call was about ("" for the SCM itself or when
  // nothing failed).
  const std::wstring& FailedTarget() const { return m_failedTarget; }
  bool Failed() const { return m_failed; }

  DWORD OpenManager(LPCWSTR machine, LPCWSTR database, DWORD access,
                    SC_HANDLE* manager) override {
    if (Trip(ScmCall::kOpenManager, L"")) {
      *manager = nullptr;
      return m_error;
    }
    return m_inner.OpenManager(machine, database, access, manager);
  }
  DWORD OpenNamedService(SC_HANDLE manager, LPCWSTR name, DWORD access,
                         SC_HANDLE* service) override {
    if (Trip(ScmCall::kOpenService, name)) {
      *service = nullptr;
      return m_error;
    }
    const DWORD error = m_inner.OpenNamedService(manager, name, access, service);
    if (error == ERROR_SUCCESS) m_names[*service] = name;
    return error;
  }
  void Close(SC_HANDLE handle) override { m_inner.Close(handle); }
  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
    if (Trip(ScmCall::kQuery, NameOf(service))) return m_error;
    return m_inner.QueryStatus(service, status);
  }
  DWORD Start(SC_HANDLE service, DWORD argc, LPCWSTR* argv) override {
    if (Trip(ScmCall::kStart, NameOf(service))) return m_error;
    return m_inner.Start(service, argc, argv);
  }
  DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override {
    if (Trip(ScmCall::kControl, NameOf(service))) return m_error;
    return m_inner.Control(service, control, status);
  }
  DWORD EnumDependents(SC_HANDLE service, DWORD state, ENUM_SERVICE_STATUSW* buffer,
                       DWORD size, DWORD* needed, DWORD* returned) override {
    if (Trip(ScmCall::kEnum, NameOf(service))) {
      *needed = 0;
      *returned = 0;
      return m_error;
    }
    return m_inner.EnumDependents(service, state, buffer, size, needed, returned);
  }
  void SleepFor(DWORD milliseconds) override { m_inner.SleepFor(milliseconds); }

 private:
  bool Trip(ScmCall kind, const std::wstring& target) {
    const int n = ++m_counts[kind];
    if (kind != m_kind || n != m_ordinal) return false;
    m_failed = true;
    m_failedTarget = target;
    return true;
  }
  std::wstring NameOf(SC_HANDLE service) const {
    auto it = m_names.find(service);
    return it == m_names.end() ? L"?" : it->second;
  }

  FakeScm& m_inner;
  ScmCall m_kind = ScmCall::kOpenManager;
  int m_ordinal = 0;
  DWORD m_error = 0;
  bool m_failed = false;
  std::wstring m_failedTarget;
  std::map<ScmCall, int> m_counts;
  std::map<SC_HANDLE, std::wstring> m_names;
};

}  // namespace hardening
