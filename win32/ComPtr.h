#pragma once
// Owner of one reference to a COM object: released when the owner goes.
#include <unknwn.h>

#include <utility>

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds.
  explicit ComPtr(T* object) : m_ptr(object) {}
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : m_ptr(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      m_ptr = other.release();
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }

  // Releases what is held and hands out the slot for an out-parameter.
  T** put() {
    reset();
    return &m_ptr;
  }
  // The same slot, for the void** of QueryInterface and CoCreateInstance.
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Hands the reference over to the caller.
  T* release() { return std::exchange(m_ptr, nullptr); }
  void reset() {
    if (T* object = release()) object->Release();
  }

 private:
  T* m_ptr = nullptr;
};
