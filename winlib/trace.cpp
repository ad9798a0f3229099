#include "winlib/trace.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>

#include "winlib/format_line.h"

namespace {
std::atomic<TraceSink*> g_traceSink{nullptr};
}

TraceSink* SetTraceSink(TraceSink* sink) { return g_traceSink.exchange(sink); }

void Trace(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  VFormatLine(buf, sizeof buf, format, args);
  va_end(args);
  if (TraceSink* sink = g_traceSink.load())
    sink->Write(buf);
  else
    ::OutputDebugStringA(buf);
}
