// Rule text: the checks and forms the reader applies to a rule file's
// text before any key is judged (UTF-8 validity and length, trimming, the
// printable form of a name for a report, the encodings a file may come in,
// and whether a section names a browser). Private to rules/.
#pragma once
#include <string>

#include "rules/rule_set.h"

// Spaces and tabs gone from both ends, and a trailing '\r'.
std::string Trim(const std::string& s);
// Characters, not bytes, of valid UTF-8 text.
size_t Utf8Length(const std::string& s);
// Well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool ValidUtf8(const std::string& s);
// Printable for a report: invalid bytes and control characters become '?';
// at most limit bytes.
std::string Printable(const std::string& s, size_t limit = 80);
// The section's name holds a browser's name as a whole word.
bool NamesBrowser(const std::string& section);

// Any key name that reads as an ExcludeKey once spaces, '_' and '-' are
// dropped and case ignored ("ExcludeKey 1", "exclude_key2", "ExcludeKeyA").
bool ReadsAsExcludeKey(const std::string& key);
// A line that, read without its unseen characters, starts as a key name.
bool ReadsAsKnownKey(const std::string& line);
// A value that reads as an exclusion ("FILE|", "PATH|" or "REG|" first, in
// any case): under a key name no reader knows, a misspelt ExcludeKey.
bool ReadsAsExclusion(const std::string& value);
// A line that holds an exclusion anywhere ("ExludeKey1 FILE|..."): a line
// without '=' that does is a misspelt ExcludeKey too.
bool HoldsExclusion(const std::string& line);
// "ExcludeKey" and a number without a leading zero, in any case.
bool IsNumberedExcludeKey(const std::string& key);
// A file name with a program's or the system's extension, or none.
bool ProgramOrSystemFile(const std::string& name);
// The group a LangSecRef number stands for; group null: "Group <n>", in
// the Applications line.
struct LangSecGroup {
  const char* group;
  SweepCategory category;
};
LangSecGroup GroupOfLangSecRef(long n);
