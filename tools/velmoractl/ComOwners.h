#pragma once
// Small move-only owners for the COM resources the client holds: an interface
// pointer, a BSTR, and the apartment of the calling thread.
#include <windows.h>
#include <oleauto.h>

#include <utility>

template <typename T>
class UniqueComPtr {
 public:
  UniqueComPtr() = default;
  ~UniqueComPtr() { reset(); }
  UniqueComPtr(const UniqueComPtr&) = delete;
  UniqueComPtr& operator=(const UniqueComPtr&) = delete;
  UniqueComPtr(UniqueComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  UniqueComPtr& operator=(UniqueComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }

  void reset() {
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }
  // Releases what is held and hands out the slot for an out-parameter.
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  ~UniqueBstr() { reset(); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  void reset() {
    if (bstr_) SysFreeString(std::exchange(bstr_, nullptr));
  }
  BSTR* put() {
    reset();
    return &bstr_;
  }
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_ = nullptr;
};

// Joins the calling thread to an apartment for the owner's lifetime.
class ScopedCoInit {
 public:
  explicit ScopedCoInit(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {}
  ~ScopedCoInit() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ScopedCoInit(const ScopedCoInit&) = delete;
  ScopedCoInit& operator=(const ScopedCoInit&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};
