// TimedLock: a mutex whose lock gives up after 500 ms. The thread that holds it
// may take it again (Win32 mutexes count recursive acquisitions). When the
// system cannot make the mutex, a critical section polled for the same 500 ms
// stands in, so the data stays guarded and no wait fails for ever.
#pragma once
#include <windows.h>
#include "winlib/unique_handle.h"

class TimedLock {
 public:
  static constexpr DWORD kTimeoutMs = 500;

  TimedLock();
  // For tests: adopts mutex (null plays a CreateMutexA that failed).
  explicit TimedLock(HANDLE mutex);
  TimedLock(const TimedLock&) = delete;
  TimedLock& operator=(const TimedLock&) = delete;

  // Waits at most 500 ms; true when the lock is now held by this thread.
  virtual bool Lock();
  virtual void Unlock();
  virtual ~TimedLock();

  // Keeps trying until the lock is held. For holders that must not skip their
  // work (the sweep worker, the totals): each try still gives up after 500 ms,
  // and every give-up is traced, so a stuck holder shows up in the trace. A
  // wait that fails outright (the handle is unusable) would fail the same way
  // for ever: then it stops, traced, and returns false without the lock.
  bool LockPatiently();

  // True when the stand-in is used (the mutex could not be made).
  bool UsesStandIn() const { return !m_mutex.IsValid(); }

 private:
  enum class Wait { kHeld, kTimedOut, kFailed };
  Wait TryLock();

  ScopedHandle m_mutex;
  CRITICAL_SECTION m_standIn;
};

// Scoped hold of a TimedLock. Owns() tells whether the 500 ms wait succeeded;
// a guard that does not own the lock releases nothing.
class TimedLockGuard {
 public:
  enum Mode { kTry, kPatient };
  explicit TimedLockGuard(TimedLock& lock, Mode mode = kTry);
  ~TimedLockGuard();
  TimedLockGuard(const TimedLockGuard&) = delete;
  TimedLockGuard& operator=(const TimedLockGuard&) = delete;
  bool Owns() const { return m_owns; }

 private:
  TimedLock& m_lock;
  bool m_owns;
};
