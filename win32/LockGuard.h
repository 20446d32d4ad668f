#pragma once
// Holds a lock for one scope: a critical section, or a slim reader/writer
// lock taken exclusively, here or already by the caller. Functions that must
// run under a lock can ask for the guard as a parameter: holding one is the
// proof.
#include <windows.h>

#include <mutex>

inline void AcquireLock(CRITICAL_SECTION& lock) { EnterCriticalSection(&lock); }
inline void ReleaseLock(CRITICAL_SECTION& lock) { LeaveCriticalSection(&lock); }
inline void AcquireLock(SRWLOCK& lock) { AcquireSRWLockExclusive(&lock); }
inline void ReleaseLock(SRWLOCK& lock) { ReleaseSRWLockExclusive(&lock); }

template <typename Lock>
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : m_lock(lock) { AcquireLock(m_lock); }
  // Takes over a lock the caller already holds, for example one it got with
  // TryAcquireSRWLockExclusive or TryEnterCriticalSection.
  LockGuard(Lock& lock, std::adopt_lock_t) : m_lock(lock) {}
  ~LockGuard() { ReleaseLock(m_lock); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& m_lock;
};
