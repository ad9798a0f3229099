#include "winlib/timed_lock.h"

#include "winlib/trace.h"

TimedLock::TimedLock() : TimedLock(::CreateMutexA(nullptr, FALSE, nullptr)) {}

TimedLock::TimedLock(HANDLE mutex) : m_mutex(mutex) {
  ::InitializeCriticalSection(&m_standIn);
  if (!m_mutex.IsValid())
    Trace("TimedLock: cannot create the mutex (error %lu); a critical section stands in\n",
          (unsigned long)::GetLastError());
}

TimedLock::~TimedLock() { ::DeleteCriticalSection(&m_standIn); }

TimedLock::Wait TimedLock::TryLock() {
  if (!m_mutex.IsValid()) {
    // Polled, as a critical section has no timed wait.
    const DWORD start = ::GetTickCount();
    for (;;) {
      if (::TryEnterCriticalSection(&m_standIn)) return Wait::kHeld;
      if (::GetTickCount() - start >= kTimeoutMs) return Wait::kTimedOut;
      ::Sleep(1);
    }
  }
  const DWORD r = ::WaitForSingleObject(m_mutex.Get(), kTimeoutMs);
  // An abandoned mutex is owned by the caller now; its guarded data is plain
  // integers and lists that stay consistent between single writes.
  if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return Wait::kHeld;
  if (r != WAIT_FAILED) return Wait::kTimedOut;
  Trace("TimedLock: wait failed (error %lu)\n", (unsigned long)::GetLastError());
  return Wait::kFailed;
}

bool TimedLock::Lock() { return TryLock() == Wait::kHeld; }

void TimedLock::Unlock() {
  if (m_mutex.IsValid())
    ::ReleaseMutex(m_mutex.Get());
  else
    ::LeaveCriticalSection(&m_standIn);
}

bool TimedLock::LockPatiently() {
  for (;;) {
    switch (TryLock()) {
      case Wait::kHeld:
        return true;
      case Wait::kFailed:
        Trace("TimedLock: giving up, the lock cannot be waited for\n");
        return false;
      case Wait::kTimedOut:
        Trace("TimedLock: still waiting after %lu ms\n", (unsigned long)kTimeoutMs);
        break;
    }
  }
}

TimedLockGuard::TimedLockGuard(TimedLock& lock, Mode mode) : m_lock(lock), m_owns(false) {
  if (mode == kPatient) {
    m_owns = m_lock.LockPatiently();
  } else {
    m_owns = m_lock.Lock();
    if (!m_owns) Trace("TimedLock: gave up after %lu ms\n", (unsigned long)TimedLock::kTimeoutMs);
  }
}

TimedLockGuard::~TimedLockGuard() {
  if (m_owns) m_lock.Unlock();
}
