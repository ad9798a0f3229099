// The rule-file reader: text to sections, each section's keys handed to the
// entry builder. A malformed section never stops the rest of the file, and a
// file past the bounds below is read no further.
#include <windows.h>

#include <memory>
#include <unordered_set>

#include "rules/rule_entry_builder.h"
#include "rules/rule_keys.h"
#include "rules/rule_text.h"
#include "winlib/ansi_text.h"

namespace {

constexpr size_t kMaxNameLength = 255;
// Far above any real rule file (the largest community file has about 4,100
// sections and 430 keys in the largest one).
constexpr size_t kMaxKeysPerSection = 10000;

// About what an entry holds in memory, for the bound above.
size_t KeptBytes(const RuleEntry& e) {
  size_t n = sizeof(RuleEntry) + e.name.size() + e.group.size() + e.warning.size();
  for (const auto& r : e.refused) n += sizeof r + r.key.size() + r.reason.size();
  if (const RuleEntryKeys* k = e.keys.get()) {
    n += sizeof *k;
    const auto folders = [&](const std::vector<RuleFolder>& fs) {
      for (const auto& f : fs) n += sizeof f + f.path.size();
    };
    const auto texts = [&](const std::vector<std::string>& ts) {
      for (const auto& t : ts) n += sizeof t + t.size();
    };
    for (const auto& d : k->detect) n += sizeof d + d.path.size() + d.value.size();
    folders(k->detectFiles);
    for (const auto& f : k->files) {
      n += sizeof f;
      folders(f.folders);
      texts(f.patterns);
    }
    for (const auto& r : k->regs) n += sizeof r + r.place.path.size() + r.place.value.size();
    for (const auto& x : k->excludes) {
      n += sizeof x + x.place.path.size();
      folders(x.folders);
      texts(x.patterns);
    }
  }
  return n;
}

std::wstring FoldedName(const std::string& name) { return FoldCase(name); }

struct PendingEntry {
  RuleEntry entry;
  RawRuleKeys raw;
  bool second = false;  // a second section of a name already held
  std::string held;     // that name, as the entry that holds it spells it
};

// A line the entry builder would take for an exclusion, or refuse as one.
bool LineMeansExclusion(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return ReadsAsExcludeKey(line) || HoldsExclusion(line);
  const std::string key = Trim(line.substr(0, eq));
  return ReadsAsExcludeKey(key) || (!ReadsAsKnownKey(key) && ReadsAsExclusion(Trim(line.substr(eq + 1))));
}

// A second section of a name is not read, but an exclusion in it was meant
// for the entry of that name: what that entry keeps cannot be known.
void RefuseEntryNamed(const std::string& name, std::vector<RuleEntry>* out) {
  const std::wstring folded = FoldedName(name);
  for (RuleEntry& e : *out) {
    if (e.refusedWhole || FoldedName(e.name) != folded) continue;
    e.keys.reset();
    e.refused.clear();
    e.refused.push_back(RuleRefusal{"[" + Printable(e.name) + "]",
                                    "a second section of its name holds an exclusion, so what the entry keeps "
                                    "cannot be known"});
    e.refusedWhole = true;
  }
}

}  // namespace

size_t ParseRuleText(const std::string& utf8, const std::string& source, bool builtin, std::vector<RuleEntry>* out) {
  std::unordered_set<std::wstring> names;
  for (const auto& e : *out) names.insert(FoldedName(e.name));
  size_t sections = 0;
  std::unique_ptr<PendingEntry> pending;
  size_t kept = 0;
  bool full = false;  // the file passed a bound: the rest of it is not read
  auto finish = [&] {
    if (!pending) return;
    RuleEntry& e = pending->entry;
    if (!e.refusedWhole && pending->raw.size() > kMaxKeysPerSection) {
      e.refused.clear();
      e.refused.push_back(RuleRefusal{"[" + Printable(e.name) + "]", "more than 10000 keys in one section"});
      e.refusedWhole = true;
    }
    if (!e.refusedWhole) BuildRuleEntry(e, pending->raw);
    RawRuleKeys().swap(pending->raw);
    if (e.refusedWhole) {
      // A refused section keeps its name and why, nothing else.
      RuleRefusal why = e.refused.back();
      std::vector<RuleRefusal>{std::move(why)}.swap(e.refused);
      e.keys.reset();
      std::string().swap(e.warning);
    }
    kept += KeptBytes(e);
    if (kept > kMaxRuleBytesPerFile) {
      full = true;
      out->push_back(RuleEntry{});
      RuleEntry& stop = out->back();
      stop.name = "(rest of " + source + ")";
      stop.source = source;
      stop.builtin = builtin;
      stop.refusedWhole = true;
      stop.refused.push_back(RuleRefusal{"[" + stop.name + "]", "the file holds more rules than Morvane keeps from one file; the rest of it was not read"});
    } else {
      out->push_back(std::move(e));
    }
    pending.reset();
  };
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    const std::string line = Trim(utf8.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      finish();
      if (full) break;
      ++sections;
      pending.reset(new PendingEntry);
      RuleEntry& e = pending->entry;
      e.source = source;
      e.builtin = builtin;
      e.group = "Applications";
      const bool closed = line.back() == ']';
      e.name = closed ? line.substr(1, line.size() - 2) : line.substr(1);
      const auto whole = [&](const char* reason) {
        e.refused.push_back(RuleRefusal{"[" + Printable(e.name) + "]", reason});
        e.refusedWhole = true;
      };
      if (!closed) {
        whole("a section header without its closing ']'");
      } else if (e.name.empty()) {
        whole("an empty section name");
      } else if (!ValidUtf8(e.name)) {
        whole("a section name that is not valid UTF-8");
      } else if (Utf8Length(e.name) > kMaxNameLength) {
        whole("a section name longer than 255 characters");
      } else if (Printable(e.name, e.name.size()) != e.name) {
        whole("a section name holding control characters");
      } else if (!names.insert(FoldedName(e.name)).second) {
        whole("a second section of the same name (the first is kept)");
        pending->second = true;
        if (!Utf8ToAnsiExact(e.name, &pending->held)) pending->held = e.name;
      } else if (std::string name; Utf8ToAnsiExact(e.name, &name)) {
        e.name = name;  // its on/off value is named in the system's code page
      } else {
        whole("a section name that does not fit the system's code page");
      }
      if (e.refusedWhole) e.name = Printable(e.name);
      continue;
    }
    if (!pending) continue;  // text before the first section belongs to no entry
    if (pending->second) {
      if (LineMeansExclusion(line)) {
        RefuseEntryNamed(pending->held, out);
        pending->second = false;
      }
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      RuleEntry& e = pending->entry;
      if (e.refusedWhole) continue;
      // A key whose '=' is missing or misspelt would leave the entry doing
      // something other than its author wrote (an exclusion dropped while
      // its FileKey sweeps): the entry is refused whole.
      if (ReadsAsKnownKey(line) || HoldsExclusion(line)) {
        e.refused.clear();
        e.refused.push_back(RuleRefusal{"[" + Printable(e.name) + "]",
                                        Printable(line, 40) + " reads as a key but has no '=', so what the entry does cannot be known"});
        e.refusedWhole = true;
        continue;
      }
      if (e.refused.size() < kMaxKeysPerSection) {
        e.refused.push_back(RuleRefusal{Printable(line, 40), "a line without '='"});
      } else {
        e.refused.clear();
        e.refused.push_back(RuleRefusal{"[" + Printable(e.name) + "]", "more than 10000 lines without '='"});
        e.refusedWhole = true;
      }
      continue;
    }
    if (pending->entry.refusedWhole) continue;  // nothing of it is kept
    // Past the bound the section is refused whole: its keys are not kept.
    if (pending->raw.size() <= kMaxKeysPerSection)
      pending->raw.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
  }
  finish();
  return sections;
}
