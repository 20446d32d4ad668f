// Small move-only owners for the kernel objects, keys and strings the
// stand-ins hold, so every path releases what it acquired.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace velmora_host {

// Converts the calling thread's last error into an HRESULT. A zero last error
// still gives a failure, so a failed call can never read as success.
inline HRESULT HResultFromLastError() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Owns a kernel handle whose invalid value is null (events, mutexes,
// mappings, processes). Storing a handle leaves GetLastError untouched.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    const HANDLE old = std::exchange(handle_, handle);
    if (old) {
      const DWORD error = GetLastError();
      CloseHandle(old);
      SetLastError(error);
    }
  }

 private:
  HANDLE handle_ = nullptr;
};

class UniqueHKey {
 public:
  UniqueHKey() = default;
  ~UniqueHKey() { reset(); }
  UniqueHKey(UniqueHKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  UniqueHKey& operator=(UniqueHKey&& other) noexcept {
    if (this != &other) {
      reset();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  UniqueHKey(const UniqueHKey&) = delete;
  UniqueHKey& operator=(const UniqueHKey&) = delete;

  HKEY get() const { return key_; }
  // Releases the current key and hands out the slot for an out-parameter.
  HKEY* put() {
    reset();
    return &key_;
  }
  void reset() {
    if (key_) RegCloseKey(std::exchange(key_, nullptr));
  }

 private:
  HKEY key_ = nullptr;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR value) : value_(value) {}
  ~UniqueBstr() { SysFreeString(value_); }
  UniqueBstr(UniqueBstr&& other) noexcept : value_(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) {
      SysFreeString(value_);
      value_ = other.release();
    }
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  BSTR get() const { return value_; }
  BSTR* put() {
    SysFreeString(std::exchange(value_, nullptr));
    return &value_;
  }
  BSTR release() { return std::exchange(value_, nullptr); }

 private:
  BSTR value_ = nullptr;
};

}  // namespace velmora_host
