// The JSON report's lines: whatever a name holds (control characters, bytes
// that are not UTF-8, any script, any length), each record is one line of
// valid JSON in valid UTF-8. The end-to-end check with a real parser on the
// demo traces is tests/report/json_report_test.sh.
#include "shell/json_report.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/sweep_worker.h"
#include "rules/rule_set.h"

namespace {

OutcomeRecord Item(const std::string& item, Outcome outcome = Outcome::kRemoved, const std::string& reason = "") {
  OutcomeRecord r;
  r.category = SWEEP_CATEGORY_WINDOWS;
  r.entry = "Temporary Files";
  r.item = item;
  r.kb = 1.5;
  r.outcome = outcome;
  r.reason = reason;
  return r;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    unsigned cp = 0;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
    else return false;
    for (size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size()) return false;
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

// What a JSON line may never hold raw: a control character (a line break
// would split the object in two).
bool HasRawControl(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return c != 0x7F;  // DEL is allowed unescaped
  return false;
}

}  // namespace

TEST(JsonReport, EveryNameComesOutAsOneLineOfValidJson) {
  const std::string deep = "C:\\" + std::string(33000, 'x') + "\\end.tmp";
  const struct {
    const char* what;
    std::string item;
    std::string expected;  // as it must appear inside the line
  } cases[] = {
      {"plain", "C:\\Temp\\a.tmp", "\"item\":\"C:\\\\Temp\\\\a.tmp\""},
      {"quote", "C:\\Temp\\say \"hi\".tmp", "say \\\"hi\\\".tmp"},
      {"line break", "C:\\Temp\\two\nlines\r.tmp", "two\\nlines\\r.tmp"},
      {"tab and bell", std::string("C:\\T\\a\tb\x07.tmp"), "a\\tb\\u0007.tmp"},
      {"NUL inside", std::string("C:\\T\\a\0b", 8), "a\\u0000b"},
      {"escape char", "C:\\T\\\x1b[31m", "\\u001b[31m"},
      {"Chinese", "C:\\T\\\xe4\xb8\xad\xe6\x96\x87.txt", "\xe4\xb8\xad\xe6\x96\x87.txt"},
      {"emoji", "C:\\T\\\xf0\x9f\x98\x80.txt", "\xf0\x9f\x98\x80.txt"},
      {"Cyrillic", "C:\\T\\\xd0\xb6.txt", "\xd0\xb6.txt"},
      {"stray byte", "C:\\T\\bad\xff.txt", "bad\xef\xbf\xbd.txt"},                 // U+FFFD
      {"cut sequence", "C:\\T\\cut\xe4\xb8.txt", "cut\xef\xbf\xbd"},               // a sequence cut short
      {"lone surrogate", "C:\\T\\s\xed\xa0\x80.txt", "s\xef\xbf\xbd"},            // CESU-style surrogate
      {"overlong slash", "C:\\T\\o\xc0\xaf.txt", "o\xef\xbf\xbd"},
      {"very long", deep, "\\\\end.tmp\""},
  };
  for (const auto& c : cases) {
    const std::string line = JsonRecordLine(Item(c.item));
    SCOPED_TRACE(c.what);
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_FALSE(HasRawControl(line));
    EXPECT_TRUE(IsValidUtf8(line));
    EXPECT_NE(line.find(c.expected), std::string::npos) << line.substr(0, 300);
    EXPECT_EQ(line.rfind("{\"type\":\"item\",\"category\":\"Windows\",\"entry\":\"Temporary Files\",\"item\":", 0), 0u)
        << "fields keep their order";
  }
  EXPECT_GT(JsonRecordLine(Item(deep)).size(), deep.size());  // nothing cut
}

TEST(JsonReport, OutcomesReasonsAndSizes) {
  const struct {
    Outcome outcome;
    const char* reason;
    const char* expected;
  } cases[] = {
      {Outcome::kRemoved, "", "\"kb\":1.5,\"outcome\":\"removed\",\"reason\":\"\"}"},
      {Outcome::kScheduled, "", "\"outcome\":\"scheduled\""},
      {Outcome::kHeld, "another program holds it", "\"outcome\":\"held\",\"reason\":\"another program holds it\"}"},
      {Outcome::kRefused, "it leads out of the folder being swept", "\"outcome\":\"refused\""},
      {Outcome::kFailed, "the system refused it (error 5)", "\"outcome\":\"failed\""},
      {Outcome::kNotScheduled, "x", "\"outcome\":\"not scheduled\""},
      {Outcome::kGuarded, "a protected place", "\"outcome\":\"guarded\""},
  };
  for (const auto& c : cases) EXPECT_NE(JsonRecordLine(Item("C:\\a", c.outcome, c.reason)).find(c.expected), std::string::npos);
  OutcomeRecord none = Item("HKEY_CURRENT_USER\\Software\\V\\MRU|a");
  none.category = -1;
  none.kb = 1.0 / 3.0;
  EXPECT_NE(JsonRecordLine(none).find("\"category\":null"), std::string::npos);
  EXPECT_NE(JsonRecordLine(none).find("\"kb\":0.333,"), std::string::npos);
}

// A database a browser held or that was refused is a line of its own kind,
// with the browser named; rows removed from it are items like any other.
TEST(JsonReport, BrowserDatabasesLeftAreNamedWithTheirBrowser) {
  OutcomeRecord held = Item("C:\\p\\Default\\Network\\Cookies", Outcome::kHeld, "held by a running browser");
  held.category = SWEEP_CATEGORY_INTERNET;
  held.entry = "Google Chrome cookies (friendly sites kept)";
  std::string browser;
  ASSERT_TRUE(IsDatabaseRecord(held, &browser));
  EXPECT_EQ(browser, "Chrome");
  EXPECT_EQ(JsonRecordLine(held),
            "{\"type\":\"database\",\"browser\":\"Chrome\",\"entry\":\"Google Chrome cookies (friendly sites kept)\","
            "\"file\":\"C:\\\\p\\\\Default\\\\Network\\\\Cookies\",\"outcome\":\"held\",\"reason\":\"held by a running "
            "browser\"}");
  OutcomeRecord row = held;
  row.outcome = Outcome::kRemoved;
  row.reason.clear();
  EXPECT_FALSE(IsDatabaseRecord(row, nullptr));
  OutcomeRecord other = held;
  other.entry = "Temporary Files";
  EXPECT_FALSE(IsDatabaseRecord(other, nullptr));
}

TEST(JsonReport, RefusedRulesAndTotals) {
  RuleSet rules;
  rules.LoadText("[Runs *]\nLangSecRef=3021\nFileKey1=C:\\Local\\Good|*.tmp\nColour=Blue\n", "Built-in", true);
  rules.LoadText("[Off *]\nLangSecRef=3021\nFileKey1=C:\\Local\\Good|*.tmp\nColour=Red\n", "mine.ini", false);
  const std::vector<std::string> lines = JsonRuleLines(rules);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "{\"type\":\"rule\",\"source\":\"Built-in\",\"entry\":\"Runs *\",\"key\":\"Colour\",\"whole\":false,"
            "\"reason\":\"an unknown key\"}");

  JsonTotals totals;
  totals.items = 42;
  totals.kb = 12.3456;
  totals.notRemoved = 2;
  totals.exitCode = 1;
  totals.seconds = 0.5;
  const std::string line = JsonTotalsLine(totals);
  EXPECT_EQ(line.rfind("{\"type\":\"totals\",\"format\":1,\"version\":\"", 0), 0u) << line;
  EXPECT_NE(line.find("\"preview\":false,\"items\":42,\"kb\":12.346,\"not_removed\":2,\"exit_code\":1,"
                      "\"duration_seconds\":0.5}"),
            std::string::npos)
      << line;
}
