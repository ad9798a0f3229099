#include "winlib/timed_lock.h"

#include "winlib/trace.h"

TimedLock::TimedLock() : m_mutex(::CreateMutexA(nullptr, FALSE, nullptr)) {}

TimedLock::~TimedLock() = default;

bool TimedLock::Lock() {
  DWORD r = ::WaitForSingleObject(m_mutex.Get(), kTimeoutMs);
  // An abandoned mutex is owned by the caller now; its guarded data is plain
  // integers and lists that stay consistent between single writes.
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void TimedLock::Unlock() { ::ReleaseMutex(m_mutex.Get()); }

void TimedLock::LockPatiently() {
  while (!Lock()) Trace("TimedLock: still waiting after %lu ms\n", (unsigned long)kTimeoutMs);
}

TimedLockGuard::TimedLockGuard(TimedLock& lock, Mode mode) : m_lock(lock), m_owns(false) {
  if (mode == kPatient) {
    m_lock.LockPatiently();
    m_owns = true;
  } else {
    m_owns = m_lock.Lock();
    if (!m_owns) Trace("TimedLock: gave up after %lu ms\n", (unsigned long)TimedLock::kTimeoutMs);
  }
}

TimedLockGuard::~TimedLockGuard() {
  if (m_owns) m_lock.Unlock();
}
