// Registry places named by rules: parsing "HKxx\key|value", the shapes no
// rule may remove (hive roots, shallow keys; which keys are protected is the
// removal guard's to say), and '*' segments expanded to the subkeys that
// exist through the shared expander.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "engine/dir_walker.h"
#include "engine/nt_calls.h"
#include "engine/removal_guard.h"
#include "rules/rule_keys.h"
#include "winlib/reg_tree.h"

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

// The subkeys of root\path a wildcard may pick: never a link, which leads
// outside the key the rule names.
std::vector<std::string> SubKeys(HKEY root, const std::string& path) {
  std::vector<std::string> out;
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &h) != ERROR_SUCCESS)
    return out;
  for (std::string& name : SubKeyNames(h)) {
    HKEY child = nullptr;
    if (::RegOpenKeyExA(h, name.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &child) == ERROR_SUCCESS) {
      const bool link = IsRegistryLink(child);
      ::RegCloseKey(child);
      if (link) continue;
    }
    out.push_back(std::move(name));
  }
  ::RegCloseKey(h);
  return out;
}

// Expands place into out; false, with why, past the expander's limit.
bool ExpandInto(const RuleRegPath& place, std::vector<RuleRegPath>& out, std::string* refused) {
  WildcardSource src;
  src.list = [&](const std::string& base, const std::string& mask,
                 const std::function<bool(const std::string&)>& take) {
    for (const auto& name : SubKeys(place.root, base))
      if (SegmentMatches(mask, name) && !take(name)) break;
  };
  // Fixed segments are joined unchecked: the key is asked for once at the end.
  src.keep = [](const std::string&) { return true; };
  const std::vector<std::string> segs = place.path.empty() ? std::vector<std::string>() : Split(place.path);
  const Expansion found = ExpandWildcardPath(std::string(), segs, segs.size(), src);
  if (!found.refused.empty()) {
    if (refused != nullptr) *refused = found.refused;
    return false;
  }
  for (const auto& path : found.places) {
    if (!RuleRegKeyExists(place.root, path)) continue;
    RuleRegPath one = place;
    one.path = path;
    out.push_back(one);
  }
  return true;
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
  if (RegistryPatternRefusal(place.root, place.path, !place.hasValue) != nullptr)
    return "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
           "or Morvane's own)";
  return nullptr;
}

bool RuleRegKeyExists(HKEY root, const std::string& path, REGSAM view) {
  HKEY h = nullptr;
  const LONG rc = ::RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ | view, &h);
  if (rc == ERROR_SUCCESS) ::RegCloseKey(h);
  // A key that is there but will not open for reading (an access list) is
  // there all the same: its removal is tried, and recorded when refused.
  return rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND;
}

std::vector<RuleRegPath> ExpandRuleRegPath(const RuleRegPath& place, std::string* refused) {
  std::vector<RuleRegPath> out;
  if (!ExpandInto(place, out, refused)) return {};
  // The 32-bit programs' view of the machine's software key.
  const std::vector<std::string> segs = place.path.empty() ? std::vector<std::string>() : Split(place.path);
  if (place.root == HKEY_LOCAL_MACHINE && segs.size() >= 2 && SameName(segs[0], "Software") &&
      !SameName(segs[1], "Wow6432Node")) {
    RuleRegPath twin = place;
    twin.path = segs[0] + "\\Wow6432Node\\" + Join(segs, 1);
    if (!ExpandInto(twin, out, refused)) return {};
  }
  return out;
}

bool RuleRegPathThroughLink(HKEY root, const std::string& path, bool lastToo) {
  HKEY key = nullptr;
  const LONG rc = OpenKeyNoLink(root, path, KEY_QUERY_VALUE, &key);
  if (rc == kLinkOnTheWay) return true;
  const bool link = rc == ERROR_SUCCESS && lastToo && IsRegistryLink(key);
  if (key != nullptr) ::RegCloseKey(key);
  return link;
}
