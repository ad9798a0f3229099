// Win32 event owners.
#pragma once
#include <windows.h>
#include "winlib/unique_handle.h"

class Event {
 public:
  // Auto-reset unless told otherwise; initially not signalled.
  explicit Event(bool manualReset = false, bool initialState = false)
      : m_h(::CreateEventA(nullptr, manualReset, initialState, nullptr)) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool Set() { return ::SetEvent(m_h.Get()) != FALSE; }
  bool Reset() { return ::ResetEvent(m_h.Get()) != FALSE; }
  bool Wait(DWORD timeoutMs = INFINITE) { return ::WaitForSingleObject(m_h.Get(), timeoutMs) == WAIT_OBJECT_0; }
  HANDLE Handle() const { return m_h.Get(); }

 private:
  ScopedHandle m_h;
};
