#pragma once
// A static that lives as long as the process and is never destroyed.
//
// A static whose type has a destructor makes the C runtime register that
// destructor for the image's exit-time list, which runs when the image is
// detached: at process exit too, when ExitProcess has killed the other
// threads wherever they were and the DLLs loaded later are already detached.
// So every static that lives as long as the process is trivially
// destructible: a type with a destructor is built here once, on first use
// (a function-local static: safe from any thread), and never destroyed. The
// system reclaims it with the process.
#include <new>
#include <type_traits>
#include <utility>

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (static_cast<void*>(m_storage)) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T& operator*() { return *get(); }
  T* operator->() { return get(); }
  T* get() { return std::launder(reinterpret_cast<T*>(m_storage)); }

 private:
  alignas(T) unsigned char m_storage[sizeof(T)];
};
