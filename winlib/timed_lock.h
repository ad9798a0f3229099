// TimedLock: a mutex whose lock gives up after 500 ms. The thread that holds it
// may take it again (Win32 mutexes count recursive acquisitions).
#pragma once
#include <windows.h>
#include "winlib/unique_handle.h"

class TimedLock {
 public:
  static constexpr DWORD kTimeoutMs = 500;

  TimedLock();
  TimedLock(const TimedLock&) = delete;
  TimedLock& operator=(const TimedLock&) = delete;

  // Waits at most 500 ms; true when the mutex is now held by this thread.
  virtual bool Lock();
  virtual void Unlock();
  virtual ~TimedLock();

  // Keeps trying until the mutex is held. For holders that must not skip their
  // work (the sweep worker, the totals): each try still gives up after 500 ms,
  // and every give-up is traced, so a stuck holder shows up in the trace.
  void LockPatiently();

 private:
  ScopedHandle m_mutex;
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
