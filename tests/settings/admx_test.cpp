// The policy template shipped in policies/ against the program: every key and
// value name a policy writes is one the program reads, and every string and
// presentation the template names is in its en-US language file. (Its XML is
// checked for well-formedness by xmllint, see tests/CMakeLists.txt.)
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_groups.h"

namespace {

// The build folder's copy of policies/, next to the tests folder.
std::string PoliciesFile(const char* name) {
  char exe[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path = exe;
  for (int up = 0; up < 2; ++up) path = path.substr(0, path.find_last_of('\\'));
  return path + "\\policies\\" + name;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Tag {
  std::string name;
  std::map<std::string, std::string> attrs;
  bool closing = false;
};

// The start and end tags of a document, with their attributes; comments and
// the declaration are skipped. Enough for the template's plain XML.
std::vector<Tag> Tags(const std::string& xml) {
  std::vector<Tag> tags;
  size_t at = 0;
  while ((at = xml.find('<', at)) != std::string::npos) {
    if (xml.compare(at, 4, "<!--") == 0) {
      at = xml.find("-->", at);
      continue;
    }
    const size_t end = xml.find('>', at);
    if (end == std::string::npos) break;
    std::string body = xml.substr(at + 1, end - at - 1);
    at = end;
    if (body.empty() || body[0] == '?') continue;
    Tag tag;
    tag.closing = body[0] == '/';
    if (tag.closing) body.erase(0, 1);
    size_t i = body.find_first_of(" \t\r\n/");
    tag.name = body.substr(0, i);
    while (i != std::string::npos && i < body.size()) {
      const size_t eq = body.find('=', i);
      if (eq == std::string::npos) break;
      size_t nameStart = body.find_first_not_of(" \t\r\n", i);
      const std::string attr = body.substr(nameStart, eq - nameStart);
      const char quote = body[eq + 1];
      const size_t close = body.find(quote, eq + 2);
      tag.attrs[attr] = body.substr(eq + 2, close - eq - 2);
      i = close + 1;
    }
    tags.push_back(tag);
  }
  return tags;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "$(string.X)" -> X for the given kind.
std::string Reference(const std::string& value, const std::string& kind) {
  const std::string head = "$(" + kind + ".";
  if (value.compare(0, head.size(), head) != 0 || value.back() != ')') return std::string();
  return value.substr(head.size(), value.size() - head.size() - 1);
}

}  // namespace

TEST(PolicyTemplate, EveryPolicyKeyAndValueIsOneTheProgramReads) {
  const std::string admx = ReadAll(PoliciesFile("morvane.admx"));
  ASSERT_FALSE(admx.empty()) << PoliciesFile("morvane.admx");

  std::set<std::pair<std::string, std::string>> known;
  std::set<std::string> anyNameKeys;
  for (const PolicyValueName& v : KnownPolicyValues()) {
    if (v.name.empty())
      anyNameKeys.insert(Lower(v.key));
    else
      known.insert({Lower(v.key), v.name});
  }

  int policies = 0, values = 0;
  std::string policyKey;
  for (const Tag& tag : Tags(admx)) {
    if (tag.closing) continue;
    if (tag.name == "policy") {
      ++policies;
      ASSERT_EQ(tag.attrs.count("key"), 1u) << tag.attrs.at("name");
      policyKey = tag.attrs.at("key");
      EXPECT_EQ(tag.attrs.at("class"), "Machine") << "policies live below HKEY_LOCAL_MACHINE";
    }
    const auto key = tag.attrs.find("key");
    const std::string where = Lower(key != tag.attrs.end() ? key->second : policyKey);
    if (tag.name == "list") {
      EXPECT_EQ(anyNameKeys.count(where), 1u) << where;
      continue;
    }
    const auto value = tag.attrs.find("valueName");
    if (value == tag.attrs.end()) continue;
    ++values;
    EXPECT_EQ(known.count({where, value->second}), 1u) << where << " : " << value->second;
  }
  // Sweep at logoff, the schedule, three categories, 24 targets, Deep Sweep,
  // Shredder, the rule entries, hiding the panel, sweeping at start-up and
  // sweeping a browser when it closes, and the event log.
  EXPECT_EQ(policies, 36);
  EXPECT_GE(values, policies - 1);  // all but the rule entries' list name a value
}

TEST(PolicyTemplate, EveryStringAndPresentationIsInTheLanguageFile) {
  const std::vector<Tag> admx = Tags(ReadAll(PoliciesFile("morvane.admx")));
  const std::vector<Tag> adml = Tags(ReadAll(PoliciesFile("en-US\\morvane.adml")));
  ASSERT_FALSE(admx.empty());
  ASSERT_FALSE(adml.empty());

  std::set<std::string> strings, presentations, elementIds, refIds;
  for (const Tag& tag : adml) {
    if (tag.closing) continue;
    if (tag.name == "string") strings.insert(tag.attrs.at("id"));
    if (tag.name == "presentation") presentations.insert(tag.attrs.at("id"));
    const auto ref = tag.attrs.find("refId");
    if (ref != tag.attrs.end()) refIds.insert(ref->second);
  }
  for (const Tag& tag : admx) {
    if (tag.closing) continue;
    for (const auto& attr : tag.attrs) {
      const std::string s = Reference(attr.second, "string");
      if (!s.empty()) {
        EXPECT_EQ(strings.count(s), 1u) << s;
      }
      const std::string p = Reference(attr.second, "presentation");
      if (!p.empty()) {
        EXPECT_EQ(presentations.count(p), 1u) << p;
      }
    }
    if (tag.name == "decimal" || tag.name == "enum" || tag.name == "list" || tag.name == "text" ||
        tag.name == "boolean") {
      const auto id = tag.attrs.find("id");
      if (id != tag.attrs.end()) elementIds.insert(id->second);
    }
  }
  // Each element has its control in a presentation, and no control points nowhere.
  EXPECT_EQ(elementIds, refIds);
}
