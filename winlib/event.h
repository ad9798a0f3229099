// Win32 event owners. An event the system could not make is traced; its
// owner asks IsValid() and works without it rather than wait on nothing.
#pragma once
#include <windows.h>
#include "winlib/trace.h"
#include "winlib/unique_handle.h"

class Event {
 public:
  // Auto-reset unless told otherwise; initially not signalled.
  explicit Event(bool manualReset = false, bool initialState = false)
      : Event(::CreateEventA(nullptr, manualReset, initialState, nullptr)) {}
  // For tests: adopts h (null plays a CreateEventA that failed).
  explicit Event(HANDLE h) : m_h(h) {
    if (!m_h.IsValid()) Trace("Cannot create an event (error %lu)\n", (unsigned long)::GetLastError());
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool IsValid() const { return m_h.IsValid(); }
  bool Set() { return ::SetEvent(m_h.Get()) != FALSE; }
  bool Reset() { return ::ResetEvent(m_h.Get()) != FALSE; }
  bool Wait(DWORD timeoutMs = INFINITE) { return ::WaitForSingleObject(m_h.Get(), timeoutMs) == WAIT_OBJECT_0; }
  HANDLE Handle() const { return m_h.Get(); }

 private:
  ScopedHandle m_h;
};
