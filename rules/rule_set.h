// Targets as data: cleaning rules read from rule files in the community
// winapp2.ini format, and from Morvane's own built-in rules (builtin.ini,
// compiled in as a resource). A RuleSet holds every entry it was given, with
// what was refused while reading it; detection says whether an entry applies
// on this machine; SweepRuleEntries walks the enabled, applying entries of
// one category through the engine's primitives.
//
// This header is the contract between the reader (rule_set.cpp and friends)
// and its users (the "More Targets" page, the command line, the sweep).
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/sweep_worker.h"

// A key of an entry, or a whole file or entry, that was not taken, and why.
struct RuleRefusal {
  std::string key;     // "FileKey3", "ExcludeKey1", "[Entry name *]", a file's path...
  std::string reason;  // one short sentence, no line end
};

struct RuleEntryKeys;  // the parsed keys; private to the reader

// One section of a rule file.
struct RuleEntry {
  std::string name;     // section name without the brackets; the value name under "Rules"
  std::string group;    // the group's text for display (LangSecRef's meaning or Section)
  SweepCategory category = SWEEP_CATEGORY_APPLICATIONS;
  std::string source;   // "Built-in", or the rule file's name (no folder)
  bool builtin = false;
  bool defaultOn = false;  // community entries: always false
  std::string warning;     // empty: no warning
  std::vector<RuleRefusal> refused;  // keys refused while reading, with reasons
  bool refusedWhole = false;         // nothing of the entry is usable
  std::shared_ptr<const RuleEntryKeys> keys;
};

// Where a rule file came from, and whether it was taken.
struct RuleFileReport {
  std::string path;
  size_t entries = 0;     // sections read from it
  std::string skipped;    // empty when read; else why the whole file was skipped
};

class RuleSet {
 public:
  RuleSet();
  ~RuleSet();
  RuleSet(const RuleSet&) = delete;
  RuleSet& operator=(const RuleSet&) = delete;

  // The standard sources, in this order: the built-in rules, every
  // %APPDATA%\Morvane\Rules\*.ini, and winapp2.ini beside Morvane.exe.
  void LoadStandard();
  // One file (UTF-8 with or without BOM, UTF-16 LE with BOM; CRLF or LF).
  // False, with the file reported as skipped, when it cannot be read or is
  // not a rule file.
  bool LoadFile(const std::string& path);
  // Rule text already in memory; source names it in reports.
  void LoadText(const std::string& bytes, const std::string& source, bool builtin);

  const std::vector<RuleEntry>& Entries() const { return m_entries; }
  const std::vector<RuleFileReport>& Files() const { return m_files; }

  // Whether entry i applies on this machine (Detect, DetectFile, DetectOS,
  // SpecialDetect). Worked out once, then cached; DetectAll fills the cache.
  bool Applies(size_t i);
  void DetectAll();

 private:
  // LoadText on bytes the set may keep working in (no second copy of a large file).
  void LoadOwnedText(std::string bytes, const std::string& source, bool builtin);

  std::vector<RuleEntry> m_entries;
  std::vector<RuleFileReport> m_files;
  std::vector<signed char> m_applies;  // -1 unknown, 0 no, 1 yes
};

// The process-wide rule set, loaded once by the shell at start-up.
RuleSet& ProgramRules();

// Whether the user (or the machine, or the entry's default) has the entry on.
bool RuleEntryOn(const RuleEntry& entry);

// Sweeps the enabled, applying entries of category, after that category's
// built-in targets: an opening line per entry, then numbered lines; adds to
// the tally; obeys cancel between entries and preview.
void SweepRuleEntries(SweepWorker* worker, SweepCategory category, int* count, float* kb);
// The same for the entries of one group ("Google Chrome", "Firefox"), of any
// category, built-in and the user's own alike, on the Internet line: what a
// browser that has closed leaves.
void SweepRuleGroup(SweepWorker* worker, const std::string& group, int* count, float* kb);
