#include "engine/wildcard_path.h"

#include <algorithm>

#include "engine/mask_match.h"
#include "engine/path_text.h"
#include "winlib/trace.h"

namespace {

std::string Joined(const std::string& base, const std::string& name, const WildcardSource& source) {
  return base.empty() ? source.separatorAfterEmpty + name : base + "\\" + name;
}

}  // namespace

Expansion ExpandWildcardPath(const std::string& start, const std::vector<std::string>& segments,
                             size_t firstChecked, const WildcardSource& source, size_t limit) {
  Expansion out;
  std::vector<std::string> current{start};
  for (size_t i = 0; i < segments.size() && !current.empty(); ++i) {
    const std::string& seg = segments[i];
    std::vector<std::string> next;
    bool over = false;
    for (const auto& base : current) {
      if (HasWildcard(seg)) {
        source.list(base, seg, [&](const std::string& name) {
          next.push_back(Joined(base, name, source));
          over = next.size() > limit;
          return !over;
        });
      } else {
        std::string p = Joined(base, seg, source);
        if (i < firstChecked || source.keep(p)) next.push_back(std::move(p));
        over = next.size() > limit;
      }
      if (over) break;
    }
    if (over) {
      out.refused = "it reaches more than " + std::to_string(limit) + " places";
      Trace("Wildcard path %s\\%s: %s; refused whole.\n", start.c_str(), JoinPath(segments, segments.size()).c_str(),
            out.refused.c_str());
      return out;
    }
    current.swap(next);
  }
  out.places.swap(current);
  return out;
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

size_t CountWildcards(const std::string& s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return c == '*' || c == '?'; }));
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t cut = path.find_first_of("\\/", start);
    if (cut == std::string::npos) cut = path.size();
    if (cut > start) out.push_back(path.substr(start, cut - start));
    start = cut + 1;
  }
  return out;
}

std::string JoinPath(const std::vector<std::string>& segments, size_t n) {
  std::string out;
  for (size_t i = 0; i < n && i < segments.size(); ++i) {
    if (i > 0) out += '\\';
    out += segments[i];
  }
  return out;
}

