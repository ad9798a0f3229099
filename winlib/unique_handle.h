// Move-only owners for Windows handles, built from small traits structs.
// A handle owner that can be copied closes twice: copying is deleted here.
#pragma once
#include <windows.h>
#include <utility>

template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() : m_h(Traits::Invalid()) {}
  explicit UniqueHandle(Handle h) : m_h(h) {}
  ~UniqueHandle() { Close(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Detach()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }

  bool IsValid() const { return Traits::IsValid(m_h); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return m_h; }

  // Takes ownership of h; the handle held before is closed.
  void Attach(Handle h) {
    Close();
    m_h = h;
  }
  // Gives up ownership without closing.
  Handle Detach() {
    Handle h = m_h;
    m_h = Traits::Invalid();
    return h;
  }
  void Close() {
    if (Traits::IsValid(m_h)) Traits::Close(m_h);
    m_h = Traits::Invalid();
  }

 private:
  Handle m_h;
};

// Kernel objects whose "no handle" value is null (events, threads, mutexes).
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

// Files opened with CreateFile, whose "no handle" value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

using ScopedHandle = UniqueHandle<KernelHandleTraits>;
using ScopedFile = UniqueHandle<FileHandleTraits>;
using ScopedFind = UniqueHandle<FindHandleTraits>;
using ScopedHKey = UniqueHandle<RegKeyTraits>;
