// A worker thread owned by whoever started it: created running or suspended,
// resumed, waited on, and deleted by its owner (deleting does not end it).
#pragma once
#include <windows.h>
#include "winlib/unique_handle.h"

class Thread {
 public:
  using Proc = unsigned (*)(void* param);

  // Starts proc(param) on a new thread; null when the thread cannot be created.
  static Thread* Begin(Proc proc, void* param, bool suspended);

  ~Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Returns the previous suspend count, or (DWORD)-1 on failure. A handle
  // that no longer answers is replaced first (see Reacquire).
  DWORD Resume();
  // Replaces a handle that no longer answers (closed behind the owner's back)
  // with a fresh one opened by the thread's id, without closing the old value
  // (it may name another object by now). False when the thread is gone.
  bool Reacquire();
  // True when the thread has ended within the time-out.
  bool Wait(DWORD timeoutMs = INFINITE) const;
  HANDLE Handle() const { return m_handle.Get(); }
  DWORD Id() const { return m_id; }

 private:
  Thread() = default;
  ScopedHandle m_handle;
  DWORD m_id = 0;
};
