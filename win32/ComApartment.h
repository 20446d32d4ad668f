#pragma once
// Joins the calling thread to a COM apartment for one scope, and leaves it
// again when the join succeeded.
#include <objbase.h>

class ComApartment {
 public:
  explicit ComApartment(DWORD model) : m_hr(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  HRESULT result() const { return m_hr; }
  bool ok() const { return SUCCEEDED(m_hr); }

 private:
  HRESULT m_hr;
};
