// The rule cleaner: walks the enabled, applying entries of a category through
// the engine's primitives. Files go through DirWalker (removal guard, links
// never followed, preview, Deep Sweep, Shredder, numbered lines); registry
// changes through the sweep's registry primitives. ExcludeKeys spare what
// they name from the entry's own removals.
#include <windows.h>

#include "engine/dir_walker.h"
#include "engine/entry_selection.h"
#include "engine/file_removal.h"
#include "engine/mask_match.h"
#include "engine/outcome_ledger.h"
#include "engine/nt_calls.h"
#include "engine/outcome_ledger.h"
#include "engine/removal_guard.h"
#include "engine/reg_primitives.h"
#include "engine/registry_guard.h"
#include "engine/sweep_log.h"
#include "rules/builtin_notes.h"
#include "rules/rule_keys.h"
#include "settings/reg_key.h"
#include "winlib/file_status.h"
#include "winlib/trace.h"

// rules/rule_paths.cpp: an exclusion's folders, reached through links too;
// a place whose kind cannot be read refuses the expansion (refused set).
std::vector<std::string> ExpandRuleKeptFolder(const RuleFolder& folder, std::string* refused);

namespace {

struct CategoryLines {
  int statusId;
  int cancelBit;
};

CategoryLines LinesOf(SweepCategory category) {
  switch (category) {
    case SWEEP_CATEGORY_WINDOWS:
      return {IDC_STATUS_WINDOWS, SWEEP_WINDOWS};
    case SWEEP_CATEGORY_INTERNET:
      return {IDC_STATUS_INTERNET, SWEEP_INTERNET};
    default:
      return {IDC_STATUS_APPLICATIONS, SWEEP_APPLICATIONS};
  }
}

const char kLinkOnTheWay[] = "a key on its way is a link";

bool MatchesAny(const std::vector<std::string>& patterns, const std::string& name) {
  for (const auto& p : patterns)
    if (MaskMatches(name, p)) return true;
  return false;
}

// The entry's registry exclusions, for the registry guard to judge.
std::vector<RegistryKeptPlace> KeptPlaces(const RuleEntryKeys& keys) {
  std::vector<RegistryKeptPlace> kept;
  for (const auto& ex : keys.excludes) {
    if (ex.kind != RuleExcludeKind::kReg) continue;
    RegistryKeptPlace k;
    k.root = ex.place.root;
    k.path = ex.place.path;
    k.hasValue = ex.place.hasValue;
    k.value = ex.place.value;
    kept.push_back(k);
  }
  return kept;
}

std::string ShownData(std::string shown) {
  if (shown.size() > 120) shown = shown.substr(0, 120) + "...";
  return shown;
}

class EntrySweep {
 public:
  EntrySweep(const RuleEntry& entry, int statusId, int* count, float* kb)
      : m_entry(entry), m_keys(*entry.keys), m_statusId(statusId), m_count(count), m_kb(kb) {}

  void Run() {
    LogFormat(0, "Start clean up %s (%s rules).\n", m_entry.name.c_str(), m_entry.source.c_str());
    SweepFiles();
    SweepRegistry();
  }

  // The entry's file exclusions, where they exist now, for the guard to
  // keep by identity. False (with a line) when one cannot be expanded:
  // what the entry keeps is then unknown and none of its files go.
  bool KeptByEntry(std::vector<KeptFiles>* kept) {
    for (const auto& ex : m_keys.excludes) {
      if (ex.kind == RuleExcludeKind::kReg) continue;
      for (const auto& folder : ex.folders) {
        std::string refused;
        const std::vector<std::string> found = ExpandRuleKeptFolder(folder, &refused);
        if (!refused.empty()) {
          // The entry set out to sweep its FileKeys: that they stay is counted.
          Left(folder.path, "what the entry keeps cannot be known: " + refused);
          return false;
        }
        for (const auto& f : found) kept->push_back(KeptFiles{f, ex.patterns, ex.kind == RuleExcludeKind::kPath});
        // A PATH that names a file was meant to keep that file.
        if (found.empty() && ex.kind == RuleExcludeKind::kPath && !HasWildcard(folder.path)) {
          const DWORD a = ::GetFileAttributesW(nt::LongPathForm(folder.path).c_str());
          if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY))
            kept->push_back(KeptFiles{FolderOf(folder.path), {LeafOf(folder.path)}, false});
        }
      }
    }
    return true;
  }

  void SweepFiles() {
    if (m_keys.files.empty()) return;
    std::vector<KeptFiles> kept;
    if (!KeptByEntry(&kept)) return;
    const KeptFilesScope scope(kept);
    for (const auto& fk : m_keys.files) {
      for (const auto& folder : fk.folders) {
        std::string refused;
        std::vector<std::string> links;
        const std::vector<std::string> found = ExpandRuleFolder(folder, &refused, &links);
        if (!refused.empty()) Skipped(folder.path, refused.c_str());
        for (const auto& link : links) {
          // Never passed through; what the entry set out to sweep there stays.
          LogFormat(0, "  Skipped %s: a folder on its way is a link.\n", link.c_str());
          RecordOutcome(Outcome::kRefused, link, 0.0, "a folder on its way is a link");
        }
        for (const auto& f : found) SweepFolder(fk, folder, f);
      }
    }
  }

  void SweepRegistry() {
    // What the entry keeps in the registry is the guard's to judge, by
    // identity, for every key and value below.
    RegistryKeptScope kept(KeptPlaces(m_keys));
    for (const auto& rk : m_keys.regs) {
      std::string refused;
      const std::vector<RuleRegPath> found = ExpandRuleRegPath(rk.place, &refused);
      if (!refused.empty()) Skipped(rk.place.Text(), refused.c_str());
      for (const auto& place : found) {
        if (place.hasValue)
          DeleteValue(place);
        else
          DeleteKey(place);
      }
    }
  }

 private:
  // A place the entry names but may not touch: one line, nothing counted.
  void Skipped(const std::string& what, const char* why) {
    Trace("Rule %s: refused %s: %s.\n", m_entry.name.c_str(), what.c_str(), why);
    LogFormat(0, "  Skipped %s: %s.\n", what.c_str(), why);
    RecordOutcome(RefusedOutcome(why), what, 0.0, why);
  }
  // A place the entry set out to clean but may not: left, and counted as
  // not removed.
  void Left(const std::string& what, const std::string& why) {
    Trace("Rule %s: left %s: %s.\n", m_entry.name.c_str(), what.c_str(), why.c_str());
    LogFormat(0, "  Skipped %s: %s.\n", what.c_str(), why.c_str());
    RecordOutcome(Outcome::kRefused, what, 0.0, why.c_str());
  }
  void LeftPastLink(const std::string& what) { Left(what, kLinkOnTheWay); }

  void SweepFolder(const RuleFileKey& fk, const RuleFolder& named, const std::string& folder) {
    // Expanded wildcards are judged again: the text could not say where they lead.
    const FolderUse use = fk.flag == RuleFileFlag::kRemoveSelf ? FolderUse::kRemoveSelf
                          : fk.flag == RuleFileFlag::kRecurse  ? FolderUse::kTree
                                                               : FolderUse::kFilesIn;
    if (fk.flag != RuleFileFlag::kNone && IsDriveTopFolder(folder)) {
      Trace("Rule %s: %s refused for %s: a folder below a drive root.\n", m_entry.name.c_str(), fk.key.c_str(),
            folder.c_str());
      return;
    }
    if (fk.namedAtRoot) {
      if (!NamedFilesMayGoIn(folder)) return;
      for (const auto& name : fk.patterns)
        RemoveNamedFile(folder + (folder.back() == '\\' ? "" : "\\") + name);
      return;
    }
    if (const char* why = FolderPatternRefusal(folder, use)) {
      Skipped(folder, why);
      return;
    }
    // Opened segment by segment from the part the system gave: a folder
    // swapped for a link since the expansion is never passed through.
    DirWalker walker(folder + "\\*.*", DeepSweepOn(), GuardScope::kReference, named.rootLength);
    const bool recurse = fk.flag != RuleFileFlag::kNone;
    const bool removeSelf = fk.flag == RuleFileFlag::kRemoveSelf;
    const bool empty = walker.RemoveChosen(
        // What the entry keeps is judged by the guard, by identity (KeptFilesScope).
        [&](const std::string&, const std::string& name) { return MatchesAny(fk.patterns, name); },
        recurse, removeSelf, m_statusId, m_count, m_kb);
    // The guard keeps the temporary folders, whatever they are called.
    if (removeSelf) walker.SettleOwnFolder(empty, m_statusId, m_count);
  }

  // A file named in the Windows folder or at a drive root: that folder is
  // never walked, the one file is removed alone.
  void RemoveNamedFile(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(nt::LongPathForm(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) return;
    const float sizeKB = FileSizeKB(path);
    try {
      RemoveFileInGuardedFolder(path);  // records what became of it, and names a file that stays
    } catch (const FileException&) {
      return;
    }
    LogItemOf(m_count, m_statusId, "   ", path, sizeKB, "Remove file: %s, size %.3f(KB).\n", path.c_str(),
              static_cast<double>(sizeKB));
    if (m_kb != nullptr) *m_kb += sizeKB;
  }

  // The guard's judgement of a registry change the entry is about to make:
  // the text as the rule reached it, then the key it really is.
  bool RegistryAllowed(const RuleRegPath& place, bool wholeKey) {
    const char* why = RuleRegRefusal(place);
    if (why == nullptr) why = RegistryRefusal(place.root, place.path, wholeKey);
    if (why == nullptr) return true;
    Skipped(place.Text(), why);
    return false;
  }

  void DeleteValue(const RuleRegPath& place) {
    if (RegistryValueKept(place.root, place.path, place.value) || !RegistryAllowed(place, false)) return;
    if (RuleRegPathThroughLink(place.root, place.path, true)) {
      LeftPastLink(place.Text());
      return;
    }
    // Opened again without following a link: one swapped in since the
    // check above is never passed through.
    TargetKey key(place.path, place.root);
    if (!key.IsOpen()) {
      // A key that is there but cannot be opened is not an absent one.
      if (!key.m_bLink && RuleRegKeyExists(place.root, place.path)) Unopened(place);
      return;
    }
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key.IsOpen(), place.value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return;
    std::string shown;
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < 4096) {
      std::string data(size, '\0');
      if (::RegQueryValueExA(key.IsOpen(), place.value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]),
                             &size) == ERROR_SUCCESS)
        shown = data.c_str();
    }
    // Logged and counted once the registry has answered; a refusal is
    // recorded and named by the primitive.
    const RegChange change = SweepDeleteValue(key, place.value.c_str());
    if (ChangeMade(change))
      LogItemOf(m_count, m_statusId, "  ", RegItemText(place.root, place.path, place.value.c_str()), 0.0,
                "Delete Value: %s=%s.\n", place.Text().c_str(), ShownData(shown).c_str());
  }

  // The key is walked by the registry primitive: links removed as links,
  // each key judged, what the entry keeps left in place, and each item that
  // went logged here.
  void DeleteKey(const RuleRegPath& place) {
    const RegistryKeeping keep = RegistryKeyKept(place.root, place.path);
    if (keep == RegistryKeeping::kWhole || !RuleRegKeyExists(place.root, place.path)) return;
    if (!RegistryAllowed(place, keep == RegistryKeeping::kNone)) return;
    // The key itself may be a link (it goes as one); a link before it leads
    // elsewhere.
    if (RuleRegPathThroughLink(place.root, place.path, false)) {
      LeftPastLink(place.Text());
      return;
    }
    SweepDeleteKey(place.root, place.path.c_str(), [&](const RegRemoved& r) {
      RuleRegPath item = place;
      item.path = r.path;
      item.hasValue = r.isValue;
      item.value = r.value;
      if (r.isValue)
        LogItemOf(m_count, m_statusId, "  ", RegItemText(place.root, r.path, r.value.c_str()), 0.0,
                  "Delete Value: %s=%s.\n", item.Text().c_str(), ShownData(r.data).c_str());
      else
        LogItemOf(m_count, m_statusId, "  ", RegItemText(place.root, r.path, nullptr), 0.0, "Delete Key: %s.\n",
                  item.Text().c_str());
    });
  }

  // A key that exists but cannot be opened: what it holds stays.
  void Unopened(const RuleRegPath& place) {
    HKEY h = nullptr;
    LONG rc = ::RegOpenKeyExA(place.root, place.path.c_str(), 0, KEY_READ, &h);
    if (rc == ERROR_SUCCESS) {
      ::RegCloseKey(h);
      rc = ERROR_ACCESS_DENIED;
    }
    RecordLeft(OutcomeOfError(static_cast<unsigned long>(rc)), RegItemText(place.root, place.path, nullptr),
               ErrorReason(static_cast<unsigned long>(rc)));
  }

  const RuleEntry& m_entry;
  const RuleEntryKeys& m_keys;
  int m_statusId;
  int* m_count;
  float* m_kb;
};

}  // namespace

void SweepRuleEntry(const RuleEntry& entry, int statusId, int* count, float* kb) {
  if (entry.refusedWhole || entry.keys == nullptr) return;
  EntrySweep(entry, statusId, count, kb).Run();
}

namespace {

// The enabled, applying entries that `wanted` picks, on one category's line.
template <class Wanted>
void SweepPickedEntries(RuleSet& rules, SweepWorker* worker, SweepCategory lineOf, Wanted wanted, int* count,
                        float* kb) {
  const CategoryLines lines = LinesOf(lineOf);
  const std::vector<RuleEntry>& entries = rules.Entries();
  BuiltinNotes notes;
  for (size_t i = 0; i < entries.size(); ++i) {
    const RuleEntry& e = entries[i];
    if (!wanted(e) || e.refusedWhole || e.keys == nullptr) continue;
    // An entry that only stands for a choice is cleaned elsewhere.
    if (e.keys->files.empty() && e.keys->regs.empty()) continue;
    if (!RuleEntryOn(e) || !rules.Applies(i) || !EntryChosen(lineOf, e.name)) continue;
    if (worker != nullptr && worker->IsCancelled(lines.cancelBit | SWEEP_ALL)) return;
    EntryScope scope(lineOf, e.name);
    if (!notes.BeforeEntry(e, lines.statusId)) continue;
    SweepRuleEntry(e, lines.statusId, count, kb);
  }
}

}  // namespace

void SweepRuleEntriesOf(RuleSet& rules, SweepWorker* worker, SweepCategory category, int* count, float* kb) {
  SweepPickedEntries(rules, worker, category, [category](const RuleEntry& e) { return e.category == category; },
                     count, kb);
}

void SweepRuleGroupOf(RuleSet& rules, SweepWorker* worker, const std::string& group, int* count, float* kb) {
  SweepPickedEntries(rules, worker, SWEEP_CATEGORY_INTERNET,
                     [&group](const RuleEntry& e) { return _stricmp(e.group.c_str(), group.c_str()) == 0; }, count,
                     kb);
}

void SweepRuleEntries(SweepWorker* worker, SweepCategory category, int* count, float* kb) {
  SweepRuleEntriesOf(ProgramRules(), worker, category, count, kb);
}

void SweepRuleGroup(SweepWorker* worker, const std::string& group, int* count, float* kb) {
  SweepRuleGroupOf(ProgramRules(), worker, group, count, kb);
}
