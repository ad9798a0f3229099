// Registry places named by rules: parsing "HKxx\key|value", the keys no rule
// may remove (hive roots, shallow keys, the Run and shell-folder keys,
// Morvane's own), and '*' segments expanded to the subkeys that exist.
#include <windows.h>

#include <cstring>

#include "engine/dir_walker.h"
#include "engine/nt_calls.h"
#include "rules/rule_keys.h"

namespace {

struct Hive {
  const char* shortName;
  const char* longName;
  HKEY root;
};

const Hive kHives[] = {
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

// Keys whose loss breaks the machine or the user's start-up, or Morvane
// itself; compared below the hive (below the user's SID under HKU).
const char* const kProtectedKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
    "Software\\Calderix\\Morvane",
};

// Levels a removable key needs, the hive counting as one.
constexpr size_t kMinLevels = 3;

std::vector<std::string> Split(const std::string& s) { return SplitRuleText(s, '\\'); }

bool SameName(const std::string& a, const std::string& b) { return SameNoCase(a, b); }

// A segment of a rule (with wildcards) against a fixed name.
bool SegmentMatches(const std::string& ruleSegment, const std::string& name) {
  if (HasWildcard(ruleSegment)) return MatchesFileMask(nt::Widen(name), nt::Widen(ruleSegment));
  return SameName(ruleSegment, name);
}

std::string Join(const std::vector<std::string>& segs, size_t from = 0) {
  std::string out;
  for (size_t i = from; i < segs.size(); ++i) {
    if (i > from) out += '\\';
    out += segs[i];
  }
  return out;
}

// The segments the protected list is compared with.
std::vector<std::string> ComparableSegments(const RuleRegPath& place) {
  std::vector<std::string> segs = place.path.empty() ? std::vector<std::string>() : Split(place.path);
  if (place.root == HKEY_USERS && !segs.empty()) segs.erase(segs.begin());
  if (segs.size() >= 2 && SameName(segs[0], "Software") && SameName(segs[1], "Wow6432Node"))
    segs.erase(segs.begin() + 1);
  return segs;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& path) {
  std::vector<std::string> out;
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &h) != ERROR_SUCCESS)
    return out;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    if (::RegEnumKeyExA(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, cch);
  }
  ::RegCloseKey(h);
  return out;
}

void ExpandInto(const RuleRegPath& place, std::vector<RuleRegPath>& out) {
  const std::vector<std::string> segs = place.path.empty() ? std::vector<std::string>() : Split(place.path);
  std::vector<std::string> current{std::string()};
  for (const auto& seg : segs) {
    std::vector<std::string> next;
    for (const auto& base : current) {
      if (HasWildcard(seg)) {
        for (const auto& name : SubKeys(place.root, base))
          if (SegmentMatches(seg, name)) next.push_back(base.empty() ? name : base + "\\" + name);
      } else {
        next.push_back(base.empty() ? seg : base + "\\" + seg);
      }
    }
    current.swap(next);
    if (current.empty() || current.size() > 4096) break;
  }
  for (const auto& path : current) {
    if (!RuleRegKeyExists(place.root, path)) continue;
    RuleRegPath found = place;
    found.path = path;
    out.push_back(found);
  }
}

}  // namespace

std::string RuleRegPath::Text() const {
  std::string t = rootName;
  if (!path.empty()) t += "\\" + path;
  if (hasValue) t += "|" + value;
  return t;
}

bool ParseRuleRegPath(const std::string& text, bool allowValue, RuleRegPath* out, std::string* why) {
  if (text.find('\0') != std::string::npos) {
    *why = "a NUL character in the key";
    return false;
  }
  std::string keyPart = text;
  RuleRegPath place;
  if (const size_t bar = text.find('|'); bar != std::string::npos) {
    if (!allowValue) {
      *why = "a value name where only a key is taken";
      return false;
    }
    keyPart = text.substr(0, bar);
    place.hasValue = true;
    place.value = text.substr(bar + 1);
    if (place.value.find('|') != std::string::npos) {
      *why = "more than one '|' in a registry key";
      return false;
    }
  }
  const size_t slash = keyPart.find('\\');
  const std::string hive = keyPart.substr(0, slash);
  for (const Hive& h : kHives) {
    if (SameName(hive, h.shortName) || SameName(hive, h.longName)) {
      place.root = h.root;
      place.rootName = h.shortName;
    }
  }
  if (place.root == nullptr) {
    *why = "an unknown registry hive '" + hive.substr(0, 40) + "'";
    return false;
  }
  std::string path = slash == std::string::npos ? std::string() : keyPart.substr(slash + 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.find("\\\\") != std::string::npos || (!path.empty() && path[0] == '\\')) {
    *why = "an empty key name inside the registry path";
    return false;
  }
  if (path.size() > 1024) {
    *why = "a registry path longer than 1024 characters";
    return false;
  }
  place.path = path;
  *out = place;
  return true;
}

const char* RuleRegRefusal(const RuleRegPath& place) {
  const std::vector<std::string> all = place.path.empty() ? std::vector<std::string>() : Split(place.path);
  const size_t extra = place.root == HKEY_USERS ? 1 : 0;  // the user's SID
  if (1 + all.size() < kMinLevels + extra) return "a registry key fewer than three levels deep";
  for (size_t i = 0; i + 1 < kMinLevels + extra && i < all.size(); ++i)
    if (HasWildcard(all[i])) return "a wildcard in the first three levels of a registry key";
  const std::vector<std::string> segs = ComparableSegments(place);
  if (place.root == HKEY_CURRENT_USER || place.root == HKEY_LOCAL_MACHINE || place.root == HKEY_USERS) {
    for (const char* p : kProtectedKeys) {
      const std::vector<std::string> prot = Split(p);
      const size_t n = segs.size() < prot.size() ? segs.size() : prot.size();
      bool same = true;
      for (size_t i = 0; i < n && same; ++i) same = SegmentMatches(segs[i], prot[i]);
      if (!same) continue;
      // A whole key takes everything below it; a value goes alone.
      if (!place.hasValue || segs.size() >= prot.size())
        return "a protected registry key (start-up, shell folders or Morvane's own)";
    }
  }
  return nullptr;
}

bool RuleRegKeyExists(HKEY root, const std::string& path, REGSAM view) {
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(h);
  return true;
}

std::vector<RuleRegPath> ExpandRuleRegPath(const RuleRegPath& place) {
  std::vector<RuleRegPath> out;
  ExpandInto(place, out);
  // The 32-bit programs' view of the machine's software key.
  const std::vector<std::string> segs = place.path.empty() ? std::vector<std::string>() : Split(place.path);
  if (place.root == HKEY_LOCAL_MACHINE && segs.size() >= 2 && SameName(segs[0], "Software") &&
      !SameName(segs[1], "Wow6432Node")) {
    RuleRegPath twin = place;
    twin.path = segs[0] + "\\Wow6432Node\\" + Join(segs, 1);
    ExpandInto(twin, out);
  }
  return out;
}
