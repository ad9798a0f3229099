// Folder and file references that applications keep as registry text values,
// read the one careful way: a bounded buffer, the terminator dropped, and a
// text with a NUL inside it refused (it would name a different place once cut).
#pragma once
#include <string>

class RegKey;

// The value's buffer, as the applications' own paths are limited to it.
constexpr unsigned long kPathValueBytes = 1024;

// Reads valueName (null or "" for the unnamed default value) of key as text.
// False, with text emptied, when the value cannot be read, does not fit in
// kPathValueBytes, is empty, or holds a NUL before its last character.
bool ReadPathText(RegKey& key, const char* valueName, std::string& text);
