#include "winlib/ansi_text.h"

#include <windows.h>

#include <cstdio>

bool IsAscii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool WideToAnsiExact(const std::wstring& wide, std::string* out) {
  out->clear();
  if (wide.empty()) return true;
  const unsigned cp = ::GetACP();
  const int length = static_cast<int>(wide.size());
  if (cp == CP_UTF8) {
    // Only a lone surrogate has no UTF-8 form.
    const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0, nullptr,
                                        nullptr);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, &(*out)[0], n, nullptr, nullptr);
    return true;
  }
  BOOL usedDefault = FALSE;
  const int n = ::WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr,
                                      &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out->resize(static_cast<size_t>(n));
  ::WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide.data(), length, &(*out)[0], n, nullptr, &usedDefault);
  if (usedDefault) {
    out->clear();
    return false;
  }
  return true;
}

bool Utf8ToAnsiExact(const std::string& utf8, std::string* out) {
  if (IsAscii(utf8) || ::GetACP() == CP_UTF8) {
    // Still checked: bytes that are not UTF-8 are not text we can name.
    if (!IsAscii(utf8) &&
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0) <= 0)
      return false;
    *out = utf8;
    return true;
  }
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return WideToAnsiExact(wide, out);
}

std::string AnsiShownName(const std::wstring& wide) {
  std::string shown;
  for (wchar_t c : wide) {
    std::string one;
    if (c < 0x80) {
      shown += static_cast<char>(c);
    } else if (WideToAnsiExact(std::wstring(1, c), &one)) {
      shown += one;
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u{%04X}", static_cast<unsigned>(c));
      shown += escaped;
    }
  }
  return shown;
}

size_t AnsiCharCount(const std::string& text) {
  if (text.empty()) return 0;
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  return n > 0 ? static_cast<size_t>(n) : text.size();
}
