// One entry's keys, checked and turned into what the cleaner uses.
#include "rules/rule_entry_builder.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "engine/removal_guard.h"
#include "rules/rule_text.h"
#include "winlib/ansi_text.h"

namespace {

constexpr size_t kMaxValueLength = 4096;
constexpr size_t kMaxWildcards = 10;

class EntryBuilder {
 public:
  EntryBuilder(RuleEntry& entry, const RawRuleKeys& raw) : m_entry(entry), m_raw(raw) {}

  void Build() {
    auto keys = std::make_shared<RuleEntryKeys>();
    m_keys = keys.get();
    size_t cleaningKeys = 0;
    for (const auto& kv : m_raw) {
      const std::string& key = kv.first;
      const std::string& text = kv.second;
      size_t digits = key.size();
      while (digits > 0 && std::isdigit(static_cast<unsigned char>(key[digits - 1]))) --digits;
      const std::string base = LowerAscii(key.substr(0, digits));
      const bool numbered = digits < key.size();
      // Any key that reads as an ExcludeKey is one: a misspelt number must
      // not leave the entry sweeping what the key was to keep.
      if (ReadsAsExcludeKey(key) && !IsNumberedExcludeKey(key)) {
        Refuse(key, "a key that reads as an ExcludeKey but is not ExcludeKey and a number");
        NoteExcludeRefused();
        continue;
      }
      // So is an unknown key that holds an exclusion ("ExludeKey1=FILE|...").
      if (!ReadsAsKnownKey(key) && ReadsAsExclusion(text)) {
        Refuse(key, "an unknown key that holds an exclusion");
        NoteExcludeRefused();
        continue;
      }
      if (!ValidUtf8(text)) {
        Refuse(key, "text that is not valid UTF-8");
        if (base == "excludekey") NoteExcludeRefused();
        continue;
      }
      if (Utf8Length(text) > kMaxValueLength) {
        Refuse(key, "a value longer than 4096 characters");
        if (base == "filekey" || base == "regkey") ++cleaningKeys;
        if (base == "excludekey") NoteExcludeRefused();
        continue;
      }
      // The engine works in the system's code page: a text that does not
      // fit it exactly would reach other names. An entry whose exclusion
      // cannot be taken is not swept at all.
      std::string converted;
      if (!Utf8ToAnsiExact(text, &converted)) {
        if (base == "excludekey") {
          RefuseWhole(key + ": text that does not fit the system's code page");
          break;
        }
        Refuse(key, "text that does not fit the system's code page");
        if (base == "filekey" || base == "regkey") ++cleaningKeys;
        continue;
      }
      const std::string& value = converted;
      if (base == "filekey") {
        ++cleaningKeys;
        FileKey(key, value);
      } else if (base == "regkey") {
        ++cleaningKeys;
        RegKeyLine(key, value);
      } else if (base == "excludekey") {
        ExcludeKey(key, value);
      } else if (base == "detect") {
        Detect(key, value);
      } else if (base == "detectfile") {
        DetectFile(key, value);
      } else if (numbered) {
        Refuse(key, "an unknown key");
      } else if (base == "langsecref") {
        LangSecRef(key, value);
      } else if (base == "section") {
        Section(value);
      } else if (base == "detectos") {
        DetectOs(key, value);
      } else if (base == "specialdetect") {
        SpecialDetect(key, value);
      } else if (base == "default") {
        Default(key, value);
      } else if (base == "warning") {
        m_entry.warning = value;
      } else {
        Refuse(key, "an unknown key");
      }
    }
    const size_t taken = keys->files.size() + keys->regs.size();
    if (m_tooLarge) {
      RefuseWhole("its paths take more memory than Morvane keeps for one file");
    } else if (!m_excludeWhy.empty()) {
      // What the entry was told to keep cannot be known: nothing of it may go.
      RefuseWhole(m_excludeWhy + ", so what the entry keeps cannot be known");
    } else if (cleaningKeys > 0 && taken == 0) {
      // The first key's reason says why, since nothing else of the entry is kept.
      std::string why = "every FileKey and RegKey of it was refused";
      for (const auto& r : m_entry.refused)
        if (r.key.rfind("FileKey", 0) == 0 || r.key.rfind("RegKey", 0) == 0) {
          why += " (" + r.key + ": " + r.reason + ")";
          break;
        }
      RefuseWhole(why);
    } else if (cleaningKeys == 0 && !keys->hasDetection) {
      RefuseWhole("no FileKey, RegKey or detection");
    }
    if (m_entry.refusedWhole) return;
    keys->detect.shrink_to_fit();
    keys->detectFiles.shrink_to_fit();
    keys->files.shrink_to_fit();
    keys->regs.shrink_to_fit();
    keys->excludes.shrink_to_fit();
    m_entry.keys = std::move(keys);
  }

 private:
  void Refuse(const std::string& key, const std::string& reason) {
    m_entry.refused.push_back(RuleRefusal{Printable(key, 40), reason});
  }
  void RefuseWhole(const std::string& reason) {
    m_entry.refused.push_back(RuleRefusal{"[" + Printable(m_entry.name) + "]", reason});
    m_entry.refusedWhole = true;
  }
  // The first ExcludeKey refused names the whole entry's refusal.
  void NoteExcludeRefused() {
    if (!m_excludeWhy.empty() || m_entry.refused.empty()) return;
    const RuleRefusal& r = m_entry.refused.back();
    m_excludeWhy = r.key + " was refused (" + r.reason + ")";
  }

  // Expands and checks one path; false (refused) on the first problem.
  bool Folders(const std::string& key, const std::string& text, std::vector<RuleFolder>* out) {
    std::vector<std::string> paths;
    std::vector<size_t> roots;
    std::string why;
    if (!ExpandRuleVariables(Trim(text), &paths, &roots, &why)) {
      Refuse(key, why);
      return false;
    }
    for (size_t i = 0; i < paths.size(); ++i) {
      RuleFolder f;
      f.path = paths[i];
      if (!NormaliseRuleFolder(&f.path, &why)) {
        Refuse(key, why);
        return false;
      }
      if (CountWildcards(f.path) > kMaxWildcards) {
        Refuse(key, "more than 10 wildcards in one path");
        return false;
      }
      m_pathBytes += f.path.size() + sizeof f;
      if (m_pathBytes > kMaxRuleBytesPerFile) {
        Refuse(key, "the entry's paths take more memory than Morvane keeps for one file");
        m_tooLarge = true;
        return false;
      }
      f.rootLength = roots[i] > 3 ? roots[i] : 3;
      if (f.rootLength > f.path.size()) f.rootLength = f.path.size();
      out->push_back(f);
    }
    return true;
  }

  bool Patterns(const std::string& key, const std::string& text, std::vector<std::string>* out) {
    for (const auto& raw : SplitRuleText(text, ';')) {
      const std::string p = Trim(raw);
      if (p.empty()) continue;
      if (p.find_first_of("\\/:") != std::string::npos) {
        Refuse(key, "a file pattern holding '\\', '/' or ':'");
        return false;
      }
      if (p.find_first_not_of('.') == std::string::npos) {
        Refuse(key, "a file pattern of dots only");
        return false;
      }
      for (char c : p) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '"' || c == '|') {
          Refuse(key, "a file pattern holding a character no file name holds");
          return false;
        }
      }
      out->push_back(p);
    }
    if (out->empty()) {
      Refuse(key, "a FileKey without a file pattern");
      return false;
    }
    return true;
  }

  // The reader's words for the guard's refusal of a FileKey's folder: the
  // roots in the words users know, the newer places with the guard's reason.
  static std::string FolderRefusalText(RuleFileFlag flag, bool wildcardFiles, const std::string& why) {
    const bool root = why.find("store of keys") == std::string::npos && why.find("temporary") == std::string::npos;
    if (!root) return (flag != RuleFileFlag::kNone ? "RECURSE or REMOVESELF where " : "files where ") + why;
    if (flag != RuleFileFlag::kNone) return "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root";
    if (wildcardFiles) return "a wildcard file pattern directly in a drive, Windows, profile, AppData or user-data root";
    return "files directly in a system, profile, AppData or user-data root";
  }

  void FileKey(const std::string& key, const std::string& value) {
    const std::vector<std::string> parts = SplitRuleText(value, '|');
    if (parts.size() < 2 || Trim(parts[1]).empty()) {
      Refuse(key, "a FileKey without a file pattern");
      return;
    }
    if (parts.size() > 3) {
      Refuse(key, "a FileKey with more than three fields");
      return;
    }
    RuleFileKey fk;
    fk.key = key;
    if (parts.size() == 3) {
      const std::string flag = LowerAscii(Trim(parts[2]));
      if (flag == "recurse") {
        fk.flag = RuleFileFlag::kRecurse;
      } else if (flag == "removeself") {
        fk.flag = RuleFileFlag::kRemoveSelf;
      } else if (!flag.empty()) {
        Refuse(key, "an unknown FileKey flag (RECURSE or REMOVESELF are known)");
        return;
      }
    }
    if (!Patterns(key, parts[1], &fk.patterns) || !Folders(key, parts[0], &fk.folders)) return;
    size_t patternWildcards = 0;
    bool anyWildcard = false;
    for (const auto& p : fk.patterns) {
      patternWildcards = std::max(patternWildcards, CountWildcards(p));
      anyWildcard = anyWildcard || HasWildcard(p);
    }
    const FolderUse use = fk.flag == RuleFileFlag::kRemoveSelf ? FolderUse::kRemoveSelf
                          : fk.flag == RuleFileFlag::kRecurse  ? FolderUse::kTree
                                                               : FolderUse::kFilesIn;
    for (const auto& f : fk.folders) {
      if (CountWildcards(f.path) + patternWildcards > kMaxWildcards) {
        Refuse(key, "more than 10 wildcards in one path");
        return;
      }
      const char* why = FolderPatternRefusal(f.path, use);
      if (why == nullptr && fk.flag != RuleFileFlag::kNone && IsDriveTopFolder(f.path)) {
        Refuse(key, "RECURSE or REMOVESELF on a folder directly below a drive root");
        return;
      }
      if (why == nullptr) continue;
      // Files named exactly may still go one by one from a drive root or
      // the Windows folder; nothing else is taken from a protected folder.
      if (fk.flag != RuleFileFlag::kNone || anyWildcard || HasWildcard(f.path) || !NamedFilesMayGoIn(f.path)) {
        Refuse(key, FolderRefusalText(fk.flag, anyWildcard, why));
        return;
      }
      for (const auto& p : fk.patterns) {
        if (ProgramOrSystemFile(p)) {
          Refuse(key, "a program or system file directly in a root folder");
          return;
        }
      }
      fk.namedAtRoot = true;
    }
    m_keys->files.push_back(std::move(fk));
  }

  void RegKeyLine(const std::string& key, const std::string& value) {
    RuleRegKey rk;
    rk.key = key;
    std::string why;
    if (!ParseRuleRegPath(Trim(value), true, &rk.place, &why)) {
      Refuse(key, why);
      return;
    }
    if (const char* refusal = RuleRegRefusal(rk.place)) {
      Refuse(key, refusal);
      return;
    }
    m_keys->regs.push_back(std::move(rk));
  }

  void ExcludeKey(const std::string& key, const std::string& value) {
    const size_t before = m_entry.refused.size();
    TakeExclude(key, value);
    if (m_entry.refused.size() != before) NoteExcludeRefused();
  }

  // "FILE|folder\|patterns", "FILE|folder\name", "PATH|folder\|patterns",
  // "PATH|folder" (all it holds), "REG|key" or "REG|key|value". Anything
  // else refuses the key, and with it the entry: what it keeps is unknown.
  void TakeExclude(const std::string& key, const std::string& value) {
    const std::vector<std::string> parts = SplitRuleText(value, '|');
    const std::string kind = LowerAscii(Trim(parts[0]));
    if (parts.size() > 3) {
      Refuse(key, "an ExcludeKey with more than three fields");
      return;
    }
    const std::string rest = parts.size() < 2 ? std::string() : value.substr(value.find('|') + 1);
    RuleExclude ex;
    std::string why;
    if (kind == "reg") {
      ex.kind = RuleExcludeKind::kReg;
      if (!ParseRuleRegPath(Trim(rest), true, &ex.place, &why)) {
        Refuse(key, why);
        return;
      }
      // "REG|key|" reads as the key's (Default) value alone, where the
      // writer most likely meant the whole key: what is kept cannot be told.
      if (ex.place.hasValue && Trim(ex.place.value).empty()) {
        Refuse(key, "an ExcludeKey REG with an empty value name");
        return;
      }
      m_keys->excludes.push_back(std::move(ex));
      return;
    }
    if (kind != "file" && kind != "path") {
      Refuse(key, "an ExcludeKey that is not FILE, PATH or REG");
      return;
    }
    ex.kind = kind == "file" ? RuleExcludeKind::kFile : RuleExcludeKind::kPath;
    std::string folder = parts.size() > 1 ? parts[1] : std::string(), patterns;
    if (parts.size() == 3) {
      patterns = parts[2];
    } else if (ex.kind == RuleExcludeKind::kFile) {
      // "FILE|folder\name": the last segment is the file.
      const size_t slash = folder.find_last_of("\\/");
      if (slash == std::string::npos || slash + 1 == folder.size()) {
        Refuse(key, "an ExcludeKey FILE without a file name");
        return;
      }
      patterns = folder.substr(slash + 1);
      folder = folder.substr(0, slash);
    }
    if (Trim(patterns).empty()) patterns = "*";
    if (!Patterns(key, patterns, &ex.patterns) || !Folders(key, folder, &ex.folders)) return;
    // The bounds of a FileKey: a pattern the matcher walks for every name met.
    size_t patternWildcards = 0;
    for (const auto& p : ex.patterns) patternWildcards = std::max(patternWildcards, CountWildcards(p));
    for (const auto& f : ex.folders) {
      if (CountWildcards(f.path) + patternWildcards > kMaxWildcards) {
        Refuse(key, "more than 10 wildcards in one path");
        return;
      }
    }
    m_keys->excludes.push_back(std::move(ex));
  }

  void Detect(const std::string& key, const std::string& value) {
    m_keys->hasDetection = true;
    RuleRegPath place;
    std::string why;
    if (!ParseRuleRegPath(Trim(value), false, &place, &why)) {
      Refuse(key, why);
      return;
    }
    if (place.path.empty()) {
      Refuse(key, "a Detect naming a whole hive");
      return;
    }
    m_keys->detect.push_back(std::move(place));
  }

  void DetectFile(const std::string& key, const std::string& value) {
    m_keys->hasDetection = true;
    Folders(key, value, &m_keys->detectFiles);
  }

  void SpecialDetect(const std::string& key, const std::string& value) {
    m_keys->hasDetection = true;
    static const struct {
      const char* name;
      const char* folder;
    } kSpecial[] = {
        {"det_chrome", "%LocalAppData%\\Google\\Chrome\\User Data"},
        {"det_mozilla", "%AppData%\\Mozilla\\Firefox"},
        {"det_thunderbird", "%AppData%\\Thunderbird"},
        {"det_opera", "%AppData%\\Opera Software"},
    };
    for (const auto& s : kSpecial) {
      if (LowerAscii(Trim(value)) == s.name) {
        Folders(key, s.folder, &m_keys->detectFiles);
        return;
      }
    }
    Refuse(key, "an unknown SpecialDetect");
  }

  void DetectOs(const std::string& key, const std::string& value) {
    const std::string v = Trim(value);
    const size_t bar = v.find('|');
    unsigned lo = 0, hi = ~0u;
    bool ok = true;
    if (bar == std::string::npos) {
      ok = ParseRuleOsVersion(v, &lo);
      hi = lo;
    } else {
      const std::string a = Trim(v.substr(0, bar)), b = Trim(v.substr(bar + 1));
      ok = !(a.empty() && b.empty()) && (a.empty() || ParseRuleOsVersion(a, &lo)) &&
           (b.empty() || ParseRuleOsVersion(b, &hi));
    }
    if (!ok || lo > hi) {
      Refuse(key, "a DetectOS that is not a version range");
      return;
    }
    m_keys->hasOsRange = true;
    m_keys->osMin = lo;
    m_keys->osMax = hi;
  }

  void LangSecRef(const std::string& key, const std::string& value) {
    const std::string v = Trim(value);
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || end == nullptr || *end != '\0') {
      Refuse(key, "a LangSecRef that is not a number");
      return;
    }
    const LangSecGroup g = GroupOfLangSecRef(n);
    SetGroup(g.group != nullptr ? g.group : "Group " + v, g.category);
  }

  void Section(const std::string& value) {
    const std::string v = Trim(value);
    SetGroup(v, NamesBrowser(v) ? SWEEP_CATEGORY_INTERNET : SWEEP_CATEGORY_APPLICATIONS);
  }

  void SetGroup(const std::string& group, SweepCategory category) {
    m_entry.group = group;
    m_entry.category = category;
  }

  void Default(const std::string& key, const std::string& value) {
    if (!m_entry.builtin) return;  // a community entry is off until the user turns it on
    const std::string v = LowerAscii(Trim(value));
    if (v == "true") {
      m_entry.defaultOn = true;
    } else if (v == "false") {
      m_entry.defaultOn = false;
    } else {
      Refuse(key, "a Default that is neither True nor False");
    }
  }

  RuleEntry& m_entry;
  const RawRuleKeys& m_raw;
  RuleEntryKeys* m_keys = nullptr;
  std::string m_excludeWhy;  // empty while every ExcludeKey was taken
  size_t m_pathBytes = 0;
  bool m_tooLarge = false;
};

}  // namespace

void BuildRuleEntry(RuleEntry& entry, const RawRuleKeys& raw) { EntryBuilder(entry, raw).Build(); }
