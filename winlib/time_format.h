// Time formatting with English month names, whatever the user's locale.
#pragma once
#include <windows.h>
#include <string>

// Understands %H %M %S %d %m %Y %y %b %B %a %% (as strftime in the "C" locale);
// any other character is copied.
std::string FormatTime(const char* format, const SYSTEMTIME& when);

// FormatTime with the current local time.
std::string FormatLocalTime(const char* format);

// The sweep log's time stamp: " @ %H:%M - %b %d %Y\n".
extern const char kStampFormat[];
