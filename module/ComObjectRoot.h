#pragma once
// Base of every object that the module creates for clients: a reference
// count that only interlocked operations change (objects live in the
// multithreaded apartment too) and a per-object critical section, created with
// the object and deleted with it.
#include <windows.h>

class ComObjectRoot {
 public:
  ComObjectRoot() : m_dwRef(0) { InitializeCriticalSection(&m_critsec); }
  ~ComObjectRoot() { DeleteCriticalSection(&m_critsec); }

  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;

  ULONG InternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_dwRef)); }
  ULONG InternalRelease() { return static_cast<ULONG>(InterlockedDecrement(&m_dwRef)); }

 protected:
  // While the object is torn down the wrappers park the count far below zero,
  // so that an AddRef/Release pair inside FinalRelease cannot reach zero again.
  void StabilizeForDestruction() { m_dwRef = -(LONG_MAX / 2); }

  volatile LONG m_dwRef;
  CRITICAL_SECTION m_critsec;
};
