#pragma once
// The opening and closing that every service operation shares: the local
// SCM with full access, then the named service with full access. The
// destructor closes the service handle and then the SCM handle, on every path.
#include "service/ScmApi.h"

class ScmSession {
 public:
  explicit ScmSession(ScmApi& scm) : m_scm(scm), m_manager(scm), m_service(scm) {}

  // OpenSCManagerW(local machine, active database, SC_MANAGER_ALL_ACCESS).
  DWORD OpenManager() {
    return m_scm.OpenManager(/*machineName=*/nullptr, /*databaseName=*/nullptr,
                             SC_MANAGER_ALL_ACCESS, m_manager.put());
  }

  // OpenServiceW(SERVICE_ALL_ACCESS) on the open SCM. On failure the SCM
  // handle is closed at once: nothing more can be done with it.
  DWORD OpenNamedService(LPCWSTR serviceName) {
    const DWORD error = m_scm.OpenNamedService(m_manager.get(), serviceName,
                                               SERVICE_ALL_ACCESS, m_service.put());
    if (error != ERROR_SUCCESS) m_manager.reset();
    return error;
  }

  SC_HANDLE Service() const { return m_service.get(); }
  ScmApi& Api() const { return m_scm; }

 private:
  ScmApi& m_scm;
  // Members are destroyed in reverse order: the service handle goes first.
  ScHandle m_manager;
  ScHandle m_service;
};
