// FormatLine: bounded printf-style formatting for log and trace lines.
#pragma once
#include <cstdarg>
#include <cstddef>

// Formats into buf (size bytes). The result is always zero-terminated when
// size > 0 and the length of the text in buf is returned. When the text does
// not fit, buf receives "Error: Buffer is not enough. Format: <format>\n"
// instead, or, when even that does not fit, as much of
// "Error: Buffer is not enough.\n" as fits.
int FormatLine(char* buf, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int VFormatLine(char* buf, size_t size, const char* format, va_list args);
