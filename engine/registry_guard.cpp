// The registry half of what a sweep keeps: the protected places (keys that
// hold the machine's configuration, sign-in and policy, the start-up and
// shell-folder keys, the class roots and Morvane's own) and the places the
// running rule entry keeps. Both are judged on the segments a path names
// below its hive, with every spelling of a hive (HKCR, HKU\<sid>, HKCC) and
// both registry views brought to one form, and on the name the registry
// itself gives a key that opens.
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/nt_calls.h"
#include "engine/path_text.h"
#include "engine/registry_guard.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "engine/wildcard_path.h"
#include "winlib/reg_tree.h"
#include "winlib/trace.h"

namespace {

enum class Hive { kMachine, kUser, kEither };

// What a protected key keeps: the key with everything below it (its values
// too), or only the key itself as a whole (what lies below it may go).
enum class Keeps { kSubtree, kSelf };

struct ProtectedKey {
  Hive hive;
  Keeps keeps;
  const char* path;
  const char* why;
};

const char kConfig[] = "it holds the machine's configuration";
const char kSignIn[] = "it holds the sign-in settings";
const char kPolicy[] = "it is a policy key";
const char kStartUp[] = "it holds what starts with Windows";
const char kShellFolders[] = "it says where the user's folders are";
const char kClasses[] = "it holds every class of its kind";
const char kOwn[] = "it holds Morvane's own settings";

const ProtectedKey kProtectedKeys[] = {
    {Hive::kMachine, Keeps::kSubtree, "SYSTEM", kConfig},
    {Hive::kMachine, Keeps::kSubtree, "SAM", kConfig},
    {Hive::kMachine, Keeps::kSubtree, "SECURITY", kConfig},
    {Hive::kMachine, Keeps::kSubtree, "BCD00000000", kConfig},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", kSignIn},
    {Hive::kEither, Keeps::kSubtree, "Software\\Policies", kPolicy},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies", kPolicy},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kStartUp},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", kStartUp},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", kStartUp},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices", kStartUp},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", kStartUp},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", kStartUp},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
     kShellFolders},
    {Hive::kEither, Keeps::kSubtree, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
     kShellFolders},
    {Hive::kEither, Keeps::kSubtree, "Software\\Calderix\\Morvane", kOwn},
    {Hive::kEither, Keeps::kSelf, "Software\\Classes", kClasses},
    {Hive::kEither, Keeps::kSelf, "Software\\Classes\\CLSID", kClasses},
    {Hive::kEither, Keeps::kSelf, "Software\\Classes\\Interface", kClasses},
    {Hive::kEither, Keeps::kSelf, "Software\\Classes\\TypeLib", kClasses},
    {Hive::kEither, Keeps::kSelf, "Software\\Classes\\AppID", kClasses},
};

struct KeyPlace {
  Hive hive = Hive::kEither;
  std::vector<std::string> segs;
};

// One form for every spelling: the segments below HKLM or below the user's
// own key, without the 32-bit view's "Wow6432Node".
KeyPlace Normalised(Hive hive, std::vector<std::string> segs) {
  KeyPlace p;
  p.hive = hive;
  if (segs.size() >= 2 && SameNoCase(segs[0], "Software") && SameNoCase(segs[1], "Wow6432Node"))
    segs.erase(segs.begin() + 1);
  if (segs.size() >= 3 && SameNoCase(segs[0], "Software") && SameNoCase(segs[1], "Classes") &&
      SameNoCase(segs[2], "Wow6432Node"))
    segs.erase(segs.begin() + 2);
  p.segs = std::move(segs);
  return p;
}

std::vector<std::string> Split(const std::string& path) { return SplitPath(path); }

std::vector<std::string> Prefixed(const char* prefix, const std::vector<std::string>& rest) {
  std::vector<std::string> segs = Split(prefix);
  segs.insert(segs.end(), rest.begin(), rest.end());
  return segs;
}

// Below HKU: "<sid>\..." is a user's own key, "<sid>_Classes\..." that
// user's classes.
KeyPlace UnderUsers(std::vector<std::string> segs) {
  if (segs.empty()) return KeyPlace{Hive::kUser, {}};
  const std::string sid = segs[0];
  segs.erase(segs.begin());
  const std::string tail = "_Classes";
  if (sid.size() > tail.size() && SameNoCase(sid.substr(sid.size() - tail.size()), tail))
    return Normalised(Hive::kUser, Prefixed("Software\\Classes", segs));
  return Normalised(Hive::kUser, segs);
}

KeyPlace FromRoot(HKEY root, const std::string& path) {
  std::vector<std::string> segs = Split(path);
  if (root == HKEY_LOCAL_MACHINE) return Normalised(Hive::kMachine, segs);
  if (root == HKEY_CURRENT_USER) return Normalised(Hive::kUser, segs);
  if (root == HKEY_CLASSES_ROOT) return Normalised(Hive::kEither, Prefixed("Software\\Classes", segs));
  if (root == HKEY_CURRENT_CONFIG)
    return Normalised(Hive::kMachine, Prefixed("SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current", segs));
  if (root == HKEY_USERS) return UnderUsers(segs);
  return Normalised(Hive::kMachine, Prefixed("SYSTEM", segs));  // an unknown root: judged as the machine's own
}

// "\REGISTRY\MACHINE\..." or "\REGISTRY\USER\<sid>\...". False for any other form.
bool FromRegistryName(const std::wstring& name, KeyPlace* out) {
  const std::vector<std::string> segs = Split(nt::Narrow(name));
  if (segs.size() < 2 || !SameNoCase(segs[0], "REGISTRY")) return false;
  const std::vector<std::string> rest(segs.begin() + 2, segs.end());
  if (SameNoCase(segs[1], "MACHINE")) {
    *out = Normalised(Hive::kMachine, rest);
    return true;
  }
  if (SameNoCase(segs[1], "USER")) {
    *out = UnderUsers(rest);
    return true;
  }
  return false;
}

bool HiveFits(Hive rule, Hive place) { return rule == Hive::kEither || place == Hive::kEither || rule == place; }

// A segment of the place (a pattern's may hold wildcards) against a
// protected key's fixed segment.
bool SegmentFits(const std::string& placeSeg, const std::string& fixed) {
  if (placeSeg.find_first_of("*?") != std::string::npos)
    return MatchesFileMask(FoldCase(fixed), FoldCase(placeSeg));
  return SameNoCase(placeSeg, fixed);
}

// The protected keys' segments, split once.
const std::vector<std::vector<std::string>>& ProtectedSegments() {
  static const std::vector<std::vector<std::string>> segs = [] {
    std::vector<std::vector<std::string>> out;
    for (const ProtectedKey& k : kProtectedKeys) out.push_back(Split(k.path));
    return out;
  }();
  return segs;
}

const char* Judge(const KeyPlace& place, bool wholeKey) {
  // Every key named "Policies", whoever's.
  for (const std::string& s : place.segs)
    if (SameNoCase(s, "Policies")) return kPolicy;
  for (size_t at = 0; at < sizeof kProtectedKeys / sizeof kProtectedKeys[0]; ++at) {
    const ProtectedKey& k = kProtectedKeys[at];
    if (!HiveFits(k.hive, place.hive)) continue;
    const std::vector<std::string>& prot = ProtectedSegments()[at];
    const size_t n = std::min(prot.size(), place.segs.size());
    bool fits = true;
    for (size_t i = 0; i < n && fits; ++i) fits = SegmentFits(place.segs[i], prot[i]);
    if (!fits) continue;
    if (place.segs.size() < prot.size()) {
      if (wholeKey) return k.why;  // would take the protected key with it
      continue;
    }
    if (place.segs.size() == prot.size() || k.keeps == Keeps::kSubtree) return k.why;
  }
  return nullptr;
}

bool IsPredefined(HKEY root) {
  return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE || root == HKEY_CLASSES_ROOT ||
         root == HKEY_USERS || root == HKEY_CURRENT_CONFIG;
}

// The forms a key is judged in: as written, and as the registry names it.
// An open handle is named as it is; without one the key is opened here.
std::vector<KeyPlace> FormsOf(HKEY root, const std::string& path, HKEY key) {
  std::vector<KeyPlace> forms;
  if (IsPredefined(root)) forms.push_back(FromRoot(root, path));
  HKEY opened = nullptr;
  if (key == nullptr && IsPredefined(root) &&
      ::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS)
    key = opened;
  KeyPlace actual;
  if (key != nullptr && FromRegistryName(nt::KeyName(key), &actual)) forms.push_back(actual);
  if (opened != nullptr) ::RegCloseKey(opened);
  return forms;
}

thread_local const RegistryKeptScope* t_keptScope = nullptr;

// Keys a wildcard exclusion is expanded to at most; past that the text form
// alone stands for the rest.
constexpr size_t kMaxKeptKeys = 4096;

// The keys below at that the kept place's segments from i on name, each as
// the registry names it. A link the exclusion spells, or one its wildcard
// picks, names what it reaches: keeping more is the safe side.
void ExpandKept(HKEY at, const std::vector<std::string>& segs, size_t i, std::vector<KeyPlace>& out,
                size_t& budget) {
  if (budget == 0) return;
  if (i == segs.size()) {
    KeyPlace actual;
    if (FromRegistryName(nt::KeyName(at), &actual)) out.push_back(actual);
    --budget;
    return;
  }
  std::vector<std::string> names;
  if (segs[i].find_first_of("*?") == std::string::npos)
    names.push_back(segs[i]);
  else
    for (std::string& n : SubKeyNames(at))
      if (SegmentFits(segs[i], n)) names.push_back(std::move(n));
  for (const std::string& n : names) {
    HKEY next = nullptr;
    if (::RegOpenKeyExA(at, n.c_str(), 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &next) != ERROR_SUCCESS) continue;
    ExpandKept(next, segs, i + 1, out, budget);
    ::RegCloseKey(next);
  }
}

// A kept place as written and, when it names keys that open, as the
// registry names each of them (a wildcard expanded to the keys there are).
std::vector<KeyPlace> KeptFormsNow(const RegistryKeptPlace& k) {
  if (!IsPredefined(k.root)) return {};
  if (k.path.find_first_of("*?") == std::string::npos) return FormsOf(k.root, k.path, nullptr);
  std::vector<KeyPlace> forms{FromRoot(k.root, k.path)};
  size_t budget = kMaxKeptKeys;
  ExpandKept(k.root, Split(k.path), 0, forms, budget);
  return forms;
}

// Each scope's kept places in their forms, worked out once when the scope
// opens: judging a key then costs no registry call per exclusion.
// Made by the first scope and deleted with the last (a plain pointer: see
// outcome_ledger.cpp on thread-locals with destructors).
using KeptFormsMap = std::map<const RegistryKeptScope*, std::vector<std::vector<KeyPlace>>>;
thread_local KeptFormsMap* t_keptForms = nullptr;

const std::vector<KeyPlace>& KeptForms(size_t index) {
  static const std::vector<KeyPlace> none;
  if (t_keptForms == nullptr) return none;
  const auto it = t_keptForms->find(t_keptScope);
  if (it == t_keptForms->end() || index >= it->second.size()) return none;
  return it->second[index];
}

// The kept place's segments (with wildcards) against the first of the
// key's; n of them.
bool LeadFits(const KeyPlace& kept, const KeyPlace& place, size_t n) {
  if (!HiveFits(kept.hive, place.hive) || kept.segs.size() < n || place.segs.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (!SegmentFits(kept.segs[i], place.segs[i])) return false;
  return true;
}

RegistryKeeping KeepingOf(const std::vector<KeyPlace>& forms) {
  RegistryKeeping found = RegistryKeeping::kNone;
  if (t_keptScope == nullptr) return found;
  const std::vector<RegistryKeptPlace>& places = t_keptScope->Places();
  for (size_t at = 0; at < places.size(); ++at) {
    const RegistryKeptPlace& k = places[at];
    for (const KeyPlace& kept : KeptForms(at)) {
      for (const KeyPlace& place : forms) {
        const size_t n = place.segs.size();
        if (!k.hasValue && kept.segs.size() <= n && LeadFits(kept, place, kept.segs.size()))
          return RegistryKeeping::kWhole;
        const bool inside = kept.segs.size() > n || (k.hasValue && kept.segs.size() == n);
        if (inside && LeadFits(kept, place, n)) found = RegistryKeeping::kPart;
      }
    }
  }
  return found;
}

}  // namespace

const char* RegistryPatternRefusal(HKEY root, const std::string& pattern, bool wholeKey) {
  return Judge(FromRoot(root, pattern), wholeKey);
}

const char* RegistryRefusal(HKEY root, const std::string& path, bool wholeKey) {
  if (path.find('\0') != std::string::npos) return "it holds a NUL character";
  if (const char* why = Judge(FromRoot(root, path), wholeKey)) return why;
  // What the key is, whatever name reached it: the registry's own name of it.
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return nullptr;
  const std::wstring name = nt::KeyName(h);
  ::RegCloseKey(h);
  KeyPlace actual;
  if (name.empty() || !FromRegistryName(name, &actual)) return "its place in the registry cannot be read";
  return Judge(actual, wholeKey);
}

void LogRegistryRefusal(const std::string& shown, const char* why) {
  Trace("   Refused to change %s: %s.\n", shown.c_str(), why);
  LogFormat(0, "  Skipped %s: %s.\n", shown.c_str(), why);
}

RegistryKeptScope::RegistryKeptScope(std::vector<RegistryKeptPlace> kept)
    : m_kept(std::move(kept)), m_previous(t_keptScope) {
  if (t_keptForms == nullptr) t_keptForms = new KeptFormsMap;
  std::vector<std::vector<KeyPlace>>& forms = (*t_keptForms)[this];
  for (const RegistryKeptPlace& k : m_kept) forms.push_back(KeptFormsNow(k));
  t_keptScope = this;
}

RegistryKeptScope::~RegistryKeptScope() {
  t_keptScope = m_previous;
  if (t_keptForms == nullptr) return;
  t_keptForms->erase(this);
  if (t_keptForms->empty()) {
    delete t_keptForms;
    t_keptForms = nullptr;
  }
}

RegistryKeeping RegistryKeyKept(HKEY root, const std::string& path, HKEY key) {
  if (t_keptScope == nullptr || t_keptScope->Places().empty()) return RegistryKeeping::kNone;
  return KeepingOf(FormsOf(root, path, key));
}

bool RegistryValueKept(HKEY root, const std::string& path, const std::string& value, HKEY key) {
  if (t_keptScope == nullptr || t_keptScope->Places().empty()) return false;
  const std::vector<KeyPlace> forms = FormsOf(root, path, key);
  if (KeepingOf(forms) == RegistryKeeping::kWhole) return true;
  const std::vector<RegistryKeptPlace>& places = t_keptScope->Places();
  for (size_t at = 0; at < places.size(); ++at) {
    const RegistryKeptPlace& k = places[at];
    if (!k.hasValue || !SameNoCase(k.value, value)) continue;
    for (const KeyPlace& kept : KeptForms(at))
      for (const KeyPlace& place : forms)
        if (kept.segs.size() == place.segs.size() && LeadFits(kept, place, place.segs.size())) return true;
  }
  return false;
}

const char* RegistryHandleRefusal(HKEY root, const std::string& path, HKEY key, bool wholeKey) {
  if (path.find('\0') != std::string::npos) return "it holds a NUL character";
  if (IsPredefined(root))
    if (const char* why = Judge(FromRoot(root, path), wholeKey)) return why;
  KeyPlace actual;
  if (key == nullptr || !FromRegistryName(nt::KeyName(key), &actual)) return "its place in the registry cannot be read";
  return Judge(actual, wholeKey);
}
