// What the reader keeps of an entry's keys once they are checked, and the
// helpers the reader, detection and the cleaner share: rule variables, folder
// wildcards (expanded to the folders that exist, never through a link) and
// registry places. Private to rules/ and its tests.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/path_text.h"
#include "engine/wildcard_path.h"
#include "rules/rule_set.h"

// A folder a key names, after its variables were expanded. Wildcards may
// remain in segments; links are checked from rootLength on (the part the
// variable gave is the system's own).
struct RuleFolder {
  std::string path;       // "C:\Users\u\AppData\Local\Vendor\*\Cache"
  size_t rootLength = 3;  // length of the part that came from a variable, or "C:\"
};

// A registry place: a hive and a key below it, optionally one value.
struct RuleRegPath {
  HKEY root = nullptr;
  std::string rootName;  // "HKCU", as lines show it
  std::string path;      // below the hive; '*' segments expand to the subkeys that exist
  bool hasValue = false;
  std::string value;
  std::string Text() const;  // "HKCU\path" or "HKCU\path|value"
};

enum class RuleFileFlag { kNone, kRecurse, kRemoveSelf };

struct RuleFileKey {
  std::string key;                    // "FileKey3"
  std::vector<RuleFolder> folders;    // two for %ProgramFiles%
  std::vector<std::string> patterns;  // file masks, never empty
  RuleFileFlag flag = RuleFileFlag::kNone;
  // Named files directly in a folder where the guard lets named files go
  // (NamedFilesMayGoIn): removed one by one, never by a walk.
  bool namedAtRoot = false;
};

struct RuleRegKey {
  std::string key;  // "RegKey2"
  RuleRegPath place;
};

enum class RuleExcludeKind { kFile, kPath, kReg };

struct RuleExclude {
  RuleExcludeKind kind = RuleExcludeKind::kFile;
  std::vector<RuleFolder> folders;    // FILE, PATH
  std::vector<std::string> patterns;  // FILE, PATH
  RuleRegPath place;                  // REG
};

struct RuleEntryKeys {
  bool hasDetection = false;  // any Detect, DetectFile or SpecialDetect was given, taken or not
  std::vector<RuleRegPath> detect;
  std::vector<RuleFolder> detectFiles;  // the last segment names a file or a folder
  bool hasOsRange = false;
  unsigned osMin = 0, osMax = ~0u;  // major * 100 + minor
  std::vector<RuleFileKey> files;
  std::vector<RuleRegKey> regs;
  std::vector<RuleExclude> excludes;
};

// The Windows version as major * 100 + minor (10.0 -> 1000).
unsigned RuleOsVersion();
// Parses "6.1" or "10" into major * 100 + minor; false when it is no version.
bool ParseRuleOsVersion(const std::string& text, unsigned* out);

// The values of a rule variable, named without the '%' and in any case
// ("LocalAppData"): one folder for most, two for %ProgramFiles% and
// %CommonProgramFiles% (64-bit and 32-bit, once when they are the same).
// Empty when the variable is unknown or the system has no such folder.
std::vector<std::string> RuleVariableValues(const std::string& name);
// Whether the name is one of the variables the reader knows.
bool IsRuleVariable(const std::string& name);
// For tests: the variable takes these values (an empty list: defined but
// empty) until ResetRuleVariablesForTests.
void SetRuleVariableForTests(const std::string& name, const std::vector<std::string>& values);
void ResetRuleVariablesForTests();
// For tests: the version RuleOsVersion reports (0: the system's own).
void SetRuleOsVersionForTests(unsigned version);

// Expands the variables of text into one path per combination of values.
// False, with why, when a variable is unknown, undefined or empty, or a '%'
// is left unclosed. rootLengths[i]: the length of the leading part of out[i]
// that a variable gave (0 when text starts with no variable).
bool ExpandRuleVariables(const std::string& text, std::vector<std::string>* out, std::vector<size_t>* rootLengths,
                         std::string* why);

// Folder checks: a canonical absolute folder (separators made '\', doubled
// ones and a trailing one dropped) or the reason it is refused (relative,
// "..", a ':' past the drive, a NUL, too long).
bool NormaliseRuleFolder(std::string* folder, std::string* why);
// A folder directly below a drive root ("C:\Temp").
bool IsDriveTopFolder(const std::string& canonicalFolder);

std::vector<std::string> SplitRuleText(const std::string& s, char sep);

// The folders that exist and match folder's wildcards; every segment past
// rootLength that is a link (junction, symbolic link) is never passed
// through. Past kMaxExpandedPlaces, nothing: refused says why.
// links: the folder links met at a fixed segment past the system's part
// (never passed through; the caller counts them as left).
std::vector<std::string> ExpandRuleFolder(const RuleFolder& folder, std::string* refused = nullptr,
                                          std::vector<std::string>* links = nullptr);
// While it lives, the file attributes asked for on this thread are kept:
// detecting thousands of entries asks for the same folders again and again,
// and a folder missing for one entry is missing for the next. Not for sweeps.
class RuleAttributeCache {
 public:
  RuleAttributeCache();
  ~RuleAttributeCache();
  RuleAttributeCache(const RuleAttributeCache&) = delete;
  RuleAttributeCache& operator=(const RuleAttributeCache&) = delete;

 private:
  std::unordered_map<std::string, DWORD> m_attributes;
  std::unordered_map<std::string, DWORD>* m_previous;
};

// Whether a file or folder matching path's wildcards exists (DetectFile).
bool RuleFileExists(const RuleFolder& path);

// Registry: parses "HKCU\key" or "HKCU\key|value" (allowValue). False, with why.
bool ParseRuleRegPath(const std::string& text, bool allowValue, RuleRegPath* out, std::string* why);
// Null when a key may be removed (whole: the key and its subtree; else one of
// its values), otherwise why not: too shallow, a wildcard in its first
// levels, or the removal guard's registry half refuses what it may name.
const char* RuleRegRefusal(const RuleRegPath& place);
// The places a rule's registry path reaches: its '*' segments expanded to
// the subkeys that exist, and for HKLM\Software also the 32-bit view
// (Software\Wow6432Node). Without wildcards the place itself and its 32-bit
// twin when that exists. Past kMaxExpandedPlaces, nothing: refused says why.
std::vector<RuleRegPath> ExpandRuleRegPath(const RuleRegPath& place, std::string* refused = nullptr);
// The key is there, whether or not it opens for reading.
// view: KEY_WOW64_64KEY (the program's own, on 64-bit Windows) or KEY_WOW64_32KEY.
bool RuleRegKeyExists(HKEY root, const std::string& path, REGSAM view = KEY_WOW64_64KEY);
// A key on the way to root\path (the key itself too when lastToo) is a
// registry link: what lies past it is outside what the path names.
bool RuleRegPathThroughLink(HKEY root, const std::string& path, bool lastToo);

// Parses rule text into entries (appended to out) and returns how many
// sections it held. Never throws on malformed text.
size_t ParseRuleText(const std::string& utf8, const std::string& source, bool builtin, std::vector<RuleEntry>* out);
// Turns a file's bytes into UTF-8 text in place: UTF-8 with or without a
// BOM, UTF-16 LE with a BOM. False, with why, when it is not rule text at all.
bool DecodeRuleBytes(std::string* bytes, std::string* why);

// Sweeps one entry now, on or off, applying or not: its opening line, then
// its FileKeys and RegKeys.
void SweepRuleEntry(const RuleEntry& entry, int statusId, int* count, float* kb);
// SweepRuleEntries over a set of the caller's.
void SweepRuleEntriesOf(RuleSet& rules, SweepWorker* worker, SweepCategory category, int* count, float* kb);
// SweepRuleGroup over a set of the caller's.
void SweepRuleGroupOf(RuleSet& rules, SweepWorker* worker, const std::string& group, int* count, float* kb);
