// Text in the system's ANSI code page. The program works with narrow text in
// that code page (UTF-8 where the manifest's request is honoured, a legacy
// code page such as 1252 on older systems). A text that does not convert
// exactly must never become '?': in a filter '?' is a wildcard, and in a
// name it reaches another file. These calls say when a conversion is exact.
#pragma once
#include <string>

// Whether every byte is 7-bit ASCII: the same in every code page.
bool IsAscii(const std::string& s);

// Converts wide text to the ANSI code page. False when some character has
// no exact form there (nothing is substituted, no best fit is taken).
bool WideToAnsiExact(const std::wstring& wide, std::string* out);
// Converts UTF-8 text (rule files are read as UTF-8) to the ANSI code page.
// False when the bytes are not valid UTF-8 or some character does not fit.
bool Utf8ToAnsiExact(const std::string& utf8, std::string* out);
// The text shown for a name that does not fit: its characters that fit as
// they are, the others as \u{XXXX}, so that a line names it without a '?'.
std::string AnsiShownName(const std::wstring& wide);

// How many characters the system counts in text of the ANSI code page (UTF-16
// units): a path limit such as MAX_PATH counts these, not bytes.
size_t AnsiCharCount(const std::string& text);
