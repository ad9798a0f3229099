// The diagnostic trace: failures the user never sees. By default the lines go
// to the debugger channel (OutputDebugString), which shows nothing on screen;
// tests plug in a sink of their own to read them.
#pragma once

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Write(const char* line) = 0;
};

// Formats at most 511 characters (FormatLine rules) and hands them to the sink.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Replaces the sink; null restores the default. Returns the previous sink.
TraceSink* SetTraceSink(TraceSink* sink);
