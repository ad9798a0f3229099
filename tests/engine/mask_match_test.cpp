// The one mask matcher: a table of the folder search's own rules, and
// generated masks and names checked against a plain dynamic-programming
// reading of the same rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/mask_match.h"

namespace {

TEST(MaskMatch, FollowsTheFolderSearchRules) {
  const struct {
    const char* name;
    const char* mask;
    bool match;
  } cases[] = {
      {"a.txt", "*", true},          {"a.txt", "*.*", true},       {"a", "*.*", true},
      {"a.txt", "", true},           {"A.TXT", "a.txt", true},     {"a.txt", "*.TXT", true},
      {"a.txt", "?.txt", true},      {"ab.txt", "?.txt", false},   {"~temp", "~*.*", true},
      {"~temp", "~*.*.*", true},     {"temp", "~*.*", false},      {"a.b", "a.*", true},
      {"ab", "a.*", false},          {"a", "a.*", true},           {"a.tmp.bak", "*.tmp", false},
      {"a.tmp.bak", "*.tmp*", true}, {"abcabd", "*abd", true},     {"abcab", "*abd", false},
      {"x.dat", "x.dat.", false},    {"keep.txt|", "keep.txt", false},
      {"\xc3\xa9t\xc3\xa9.txt", "*.txt", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.match, MaskMatches(std::string(c.name), std::string(c.mask))) << c.name << " ~ " << c.mask;
  }
}

TEST(MaskMatch, SegmentsMatchWholePathsOrWhatLiesBelow) {
  const struct {
    const char* pattern;
    const char* path;
    bool below, match;
  } cases[] = {
      {"C:\\a\\*\\c", "c:\\A\\b\\C", false, true},  {"C:\\a\\*\\c", "C:\\a\\b\\c\\d", false, false},
      {"C:\\a\\*\\c", "C:\\a\\b\\c\\d", true, true}, {"C:\\a\\b", "C:\\a\\bb", true, false},
      {"C:\\a\\b*", "C:\\a\\bb", false, true},       {"C:\\a", "C:\\", true, false},
      {"HKCU\\Software\\*", "HKCU\\Software\\*", false, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.match, SegmentsMatch(c.pattern, c.path, c.below)) << c.pattern << " ~ " << c.path;
}

// The rules read plainly: '*' any run, '?' any one, and a name without a
// dot may drop any number of trailing ".*" of the mask.
bool Reference(const std::string& n, const std::string& m) {
  if (m.empty() || m == "*" || m == "*.*") return true;
  std::vector<std::vector<char>> ok(n.size() + 1, std::vector<char>(m.size() + 1, 0));
  ok[n.size()][m.size()] = 1;
  for (size_t i = n.size() + 1; i-- > 0;)
    for (size_t j = m.size(); j-- > 0;) {
      if (m[j] == '*')
        ok[i][j] = ok[i][j + 1] || (i < n.size() && ok[i + 1][j]);
      else
        ok[i][j] = i < n.size() && (m[j] == '?' || m[j] == n[i]) && ok[i + 1][j + 1];
    }
  if (ok[0][0]) return true;
  if (n.find('.') != std::string::npos || m.size() < 2 || m.compare(m.size() - 2, 2, ".*") != 0) return false;
  return Reference(n, m.substr(0, m.size() - 2));
}

TEST(MaskMatch, GeneratedMasksAgreeWithThePlainReading) {
  std::mt19937 rng(31);
  const char names[] = "ab.";
  const char masks[] = "ab.*?";
  int disagreements = 0;
  for (int i = 0; i < 20000 && disagreements < 5; ++i) {
    std::string n, m;
    for (int k = rng() % 8; k > 0; --k) n += names[rng() % 3];
    for (int k = rng() % 7; k > 0; --k) m += masks[rng() % 5];
    if (MaskMatches(n, m) != Reference(n, m)) {
      ++disagreements;
      ADD_FAILURE() << "name '" << n << "' mask '" << m << "': reference says " << Reference(n, m);
    }
  }
}

}  // namespace
