// Thread creation through the C runtime, so that the runtime's per-thread data
// is set up and torn down for every worker.
#include "winlib/thread.h"

#include <process.h>

namespace {
struct StartInfo {
  Thread::Proc proc;
  void* param;
};

unsigned __stdcall Trampoline(void* raw) {
  StartInfo info = *static_cast<StartInfo*>(raw);
  delete static_cast<StartInfo*>(raw);
  return info.proc(info.param);
}
}  // namespace

Thread* Thread::Begin(Proc proc, void* param, bool suspended) {
  auto* info = new StartInfo{proc, param};
  unsigned id = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, &Trampoline, info, suspended ? CREATE_SUSPENDED : 0, &id);
  if (h == 0) {
    delete info;
    return nullptr;
  }
  auto* t = new Thread;
  t->m_handle.Attach(reinterpret_cast<HANDLE>(h));
  t->m_id = id;
  return t;
}

DWORD Thread::Resume() {
  DWORD r = ::ResumeThread(m_handle.Get());
  if (r == static_cast<DWORD>(-1) && ::GetLastError() == ERROR_INVALID_HANDLE && Reacquire())
    r = ::ResumeThread(m_handle.Get());
  return r;
}

bool Thread::Reacquire() {
  HANDLE fresh = ::OpenThread(SYNCHRONIZE | THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION | THREAD_TERMINATE,
                              FALSE, m_id);
  if (fresh == nullptr) return false;
  m_handle.Detach();
  m_handle.Attach(fresh);
  return true;
}

bool Thread::Wait(DWORD timeoutMs) const {
  return ::WaitForSingleObject(m_handle.Get(), timeoutMs) == WAIT_OBJECT_0;
}
