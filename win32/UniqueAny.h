#pragma once
// One move-only owner for every kind of resource the project holds: a value
// (a handle, a key, a string, a pointer), the value that means "nothing held",
// and how to give it back. Aliases for each kind live in win32/Owners.h;
// what the owner releases is released on every path because the owner goes
// out of scope, not because each branch remembers.
//
// Traits give the kind:
//   using Type = ...;             the value held
//   static Type Invalid();        the value of an empty owner
//   void Close(Type value);       gives a held value back (static, or through
//                                 state the traits carry)
// CloseWith and CloseThrough below make the traits of the usual kinds.
//
// Closing keeps the calling thread's last error: code that stores or drops a
// handle between a failed call and its GetLastError reads the failure, not
// whatever the close left behind.
#include <windows.h>

#include <utility>

// The empty value of most kinds: a null handle or pointer.
struct NullIsInvalid {
  template <typename T>
  static T Value() {
    return nullptr;
  }
};

// The empty value of the kernel handles that report failure with
// INVALID_HANDLE_VALUE (files, searches, snapshots).
struct InvalidHandleValueIsInvalid {
  template <typename T>
  static T Value() {
    return INVALID_HANDLE_VALUE;
  }
};

// Traits of a kind closed by one function. The function is taken as a
// pointer of its own type, calling convention included: a __stdcall API
// called through a __cdecl pointer corrupts the stack on 32-bit Windows.
template <typename T, auto CloseFunction, typename InvalidPolicy = NullIsInvalid>
struct CloseWith {
  using Type = T;
  static Type Invalid() { return InvalidPolicy::template Value<T>(); }
  static void Close(Type value) { CloseFunction(value); }
};

// Traits of a kind that an interface handed out and takes back (a seam of the
// operating system, which tests replace): the owner keeps the interface, so a
// fake sees every close. Made from the interface, so `Owner owner(api);`.
template <typename Api, typename T, auto CloseMember, typename InvalidPolicy = NullIsInvalid>
class CloseThrough {
 public:
  using Type = T;
  CloseThrough(Api& api) : m_api(&api) {}  // NOLINT: implicit, an owner is made from its api
  static Type Invalid() { return InvalidPolicy::template Value<T>(); }
  void Close(Type value) const { (m_api->*CloseMember)(value); }

 private:
  Api* m_api;
};

template <typename Traits>
class UniqueAny : private Traits {
 public:
  using Type = typename Traits::Type;

  // Owners of kinds whose traits carry no state.
  UniqueAny() noexcept : m_value(Traits::Invalid()) {}
  explicit UniqueAny(Type value) noexcept : m_value(value) {}
  // Owners of kinds closed through the state of their traits (an interface).
  explicit UniqueAny(const Traits& traits, Type value = Traits::Invalid()) noexcept
      : Traits(traits), m_value(value) {}

  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& other) noexcept : Traits(other), m_value(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      static_cast<Traits&>(*this) = static_cast<const Traits&>(other);
    }
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Type get() const { return m_value; }
  explicit operator bool() const { return m_value != Traits::Invalid(); }

  // Gives back what is held and hands out the empty slot for an out-parameter.
  Type* put() {
    reset();
    return &m_value;
  }
  // Hands the value over to the caller, who now gives it back.
  Type release() { return std::exchange(m_value, Traits::Invalid()); }
  // Gives back what is held, then holds value.
  void reset(Type value = Traits::Invalid()) noexcept {
    const Type old = std::exchange(m_value, value);
    if (old == Traits::Invalid()) return;
    const DWORD error = ::GetLastError();
    Traits::Close(old);
    ::SetLastError(error);
  }

 private:
  Type m_value;
};
