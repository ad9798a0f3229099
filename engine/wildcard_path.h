// The one wildcard expander, for folder paths and registry keys alike: a
// path of '\'-separated segments, some holding '*' or '?', expanded segment
// by segment to the places that exist. Both kinds share its limits: past
// kMaxExpandedPlaces at any step, the whole path is refused with a reason;
// it never falls back to the shorter list it had reached, since acting on
// that list would act on places one level too high.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/mask_match.h"  // SegmentsMatch

constexpr size_t kMaxExpandedPlaces = 4096;

// Where the expander looks. List calls take(name) for each child of base
// whose name matches mask and that may be passed through (a plain folder,
// never a link; a subkey), until take returns false. Keep says whether the
// fixed segment `name` below base is kept (it exists and may be passed
// through); checked says whether it must be asked at all (segments inside
// the part the system gave are taken as they are).
struct WildcardSource {
  std::function<void(const std::string& base, const std::string& mask,
                     const std::function<bool(const std::string& name)>& take)>
      list;
  std::function<bool(const std::string& path)> keep;
  std::string separatorAfterEmpty;  // what joins an empty base to its first segment ("" for keys)
};

struct Expansion {
  std::vector<std::string> places;  // empty when nothing exists, or when refused
  std::string refused;              // empty unless a limit was passed: why
};

// Expands segments below start ("C:" for a folder, "" for a key below its
// hive). Fixed segments at index < firstChecked are taken unchecked.
Expansion ExpandWildcardPath(const std::string& start, const std::vector<std::string>& segments,
                             size_t firstChecked, const WildcardSource& source,
                             size_t limit = kMaxExpandedPlaces);

bool HasWildcard(const std::string& s);
size_t CountWildcards(const std::string& s);
// The segments of a path split at '\' and '/', empty ones dropped.
std::vector<std::string> SplitPath(const std::string& path);
// The first n segments joined with '\'.
std::string JoinPath(const std::vector<std::string>& segments, size_t n);
