#include "winlib/format_line.h"

#include <cstdio>
#include <cstring>
#include <algorithm>

namespace {
const char kShortError[] = "Error: Buffer is not enough.\n";

// True when snprintf's result fitted with its terminating zero.
bool Fits(int result, size_t size) { return result >= 0 && static_cast<size_t>(result) < size; }
}  // namespace

int VFormatLine(char* buf, size_t size, const char* format, va_list args) {
  if (buf == nullptr || size == 0) return 0;
  int r = std::vsnprintf(buf, size, format, args);
  if (Fits(r, size)) return r;
  r = std::snprintf(buf, size, "Error: Buffer is not enough. Format: %s\n", format);
  if (Fits(r, size)) return r;
  size_t n = std::min(size - 1, sizeof kShortError - 1);
  std::memcpy(buf, kShortError, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

int FormatLine(char* buf, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int r = VFormatLine(buf, size, format, args);
  va_end(args);
  return r;
}
