#pragma once
// Move-only owner of an SCM handle that closes it through the seam that
// opened it.
#include <utility>

#include "service/ScmApi.h"

class ScHandle {
 public:
  explicit ScHandle(ScmApi& scm) : m_scm(&scm) {}
  ~ScHandle() { Reset(); }
  ScHandle(ScHandle&& other) noexcept
      : m_scm(other.m_scm), m_handle(std::exchange(other.m_handle, nullptr)) {}
  ScHandle& operator=(ScHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_scm = other.m_scm;
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;

  SC_HANDLE Get() const { return m_handle; }
  // Closes what is held and hands out the slot for an out-parameter.
  SC_HANDLE* Put() {
    Reset();
    return &m_handle;
  }
  void Reset() {
    if (m_handle != nullptr) m_scm->Close(std::exchange(m_handle, nullptr));
  }

 private:
  ScmApi* m_scm;
  SC_HANDLE m_handle = nullptr;
};
