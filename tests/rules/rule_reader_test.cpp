// The reader: the format's keys and what each becomes, the refusals with
// their reasons, and malformed files that must neither crash nor stop the
// rest of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/rules/rule_fixture.h"

namespace {

using ReaderTest = RuleTest;

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST_F(ReaderTest, KeysBecomeGroupsCategoriesAndChecks) {
  SetRuleVariableForTests("LocalAppData", {"C:\\Local"});
  SetRuleVariableForTests("ProgramFiles", {"C:\\Program Files", "C:\\Program Files (x86)"});
  const std::string text =
      "; a comment\r\n"
      "[Editor *]\r\nLangSecRef=3024\r\nDetect=HKCU\\Software\\Editor\r\nDefault=True\r\nWarning=Careful.\r\n"
      "FileKey7=%LocalAppData%\\Editor\\Cache|*.tmp;*.log|RECURSE\r\nFileKey2=%ProgramFiles%\\Editor|*.log\r\n"
      "RegKey1=HKCU\\Software\\Editor\\Recent|File1\r\n\r\n"
      "[Vivaldi Cache *]\nSection=Vivaldi Web "
      "Browser\nDetectFile=%LocalAppData%\\Vivaldi\nFileKey1=%LocalAppData%\\Vivaldi\\Cache|*\n"
      "[Game *]\nSection=Games\nFileKey1=%LocalAppData%\\Game|*.log\n"
      "[Win *]\nLangSecRef=3025\nFileKey1=%LocalAppData%\\Win|*.etl\n"
      "[Odd *]\nLangSecRef=4711\nFileKey1=%LocalAppData%\\Odd|*.etl\n";
  m_rules.LoadText(text, "mine.ini", false);
  const auto& e = m_rules.Entries();
  ASSERT_EQ(5u, e.size());
  EXPECT_EQ("Editor *", e[0].name);
  EXPECT_EQ("Utilities", e[0].group);
  EXPECT_EQ(SWEEP_CATEGORY_APPLICATIONS, e[0].category);
  EXPECT_EQ("mine.ini", e[0].source);
  EXPECT_FALSE(e[0].defaultOn) << "a community entry is off whatever Default says";
  EXPECT_EQ("Careful.", e[0].warning);
  EXPECT_TRUE(e[0].refused.empty()) << ::testing::PrintToString(Reasons(e[0]));
  ASSERT_TRUE(e[0].keys);
  ASSERT_EQ(2u, e[0].keys->files.size());
  EXPECT_EQ("C:\\Local\\Editor\\Cache", e[0].keys->files[0].folders.at(0).path);
  EXPECT_EQ((std::vector<std::string>{"*.tmp", "*.log"}), e[0].keys->files[0].patterns);
  EXPECT_EQ(RuleFileFlag::kRecurse, e[0].keys->files[0].flag);
  ASSERT_EQ(2u, e[0].keys->files[1].folders.size()) << "%ProgramFiles% names both program folders";
  EXPECT_EQ("C:\\Program Files (x86)\\Editor", e[0].keys->files[1].folders[1].path);
  ASSERT_EQ(1u, e[0].keys->regs.size());
  EXPECT_EQ("HKCU\\Software\\Editor\\Recent|File1", e[0].keys->regs[0].place.Text());
  EXPECT_EQ(SWEEP_CATEGORY_INTERNET, e[1].category);
  EXPECT_EQ("Vivaldi Web Browser", e[1].group);
  EXPECT_EQ(SWEEP_CATEGORY_APPLICATIONS, e[2].category);
  EXPECT_EQ("Games", e[2].group);
  EXPECT_EQ(SWEEP_CATEGORY_WINDOWS, e[3].category);
  EXPECT_EQ(SWEEP_CATEGORY_APPLICATIONS, e[4].category);
  ASSERT_EQ(1u, m_rules.Files().size());
  EXPECT_EQ(5u, m_rules.Files()[0].entries);
  EXPECT_TRUE(m_rules.Files()[0].skipped.empty());

  // Built-in entries carry their own default.
  m_rules.LoadText("[Own *]\nDefault=True\nFileKey1=%LocalAppData%\\Own|*.tmp\n", "Built-in", true);
  EXPECT_TRUE(m_rules.Entries().back().defaultOn);
  EXPECT_TRUE(m_rules.Entries().back().builtin);
}

TEST_F(ReaderTest, RefusedKeysNameTheirReasonAndTheRestOfTheEntryStays) {
  SetRuleVariableForTests("LocalAppData", {"C:\\Local"});
  SetRuleVariableForTests("Music", {});
  struct Case {
    const char* line;
    const char* reason;  // empty: taken
  } cases[] = {
      {"FileKey1=%LocalAppData%\\A\\..\\B|*", "a path holding '..'"},
      {"FileKey1=%LocalAppData%\\A|..\\*.*", "a file pattern holding '\\', '/' or ':'"},
      {"FileKey1=%LocalAppData%\\A|sub/x.txt", "a file pattern holding '\\', '/' or ':'"},
      {"FileKey1=%LocalAppData%\\A|c:x", "a file pattern holding '\\', '/' or ':'"},
      {"FileKey1=%LocalAppData%\\*\\*\\*\\*\\*\\*|*?*?*", "more than 10 wildcards in one path"},
      {"FileKey1=Relative\\Folder|*.tmp", "not an absolute folder on a drive"},
      {"FileKey1=\\\\server\\share\\x|*.tmp", "not an absolute folder on a drive"},
      {"FileKey1=%LocalAppData%\\A", "a FileKey without a file pattern"},
      {"FileKey1=%LocalAppData%\\A||RECURSE", "a FileKey without a file pattern"},
      {"FileKey1=%LocalAppData%\\A|*|WIPE", "an unknown FileKey flag (RECURSE or REMOVESELF are known)"},
      {"FileKey1=%UserName%\\A|*", "unknown variable %UserName%"},
      {"FileKey1=%Music%\\A|*", "variable %Music% is empty or not defined here"},
      {"FileKey1=%LocalAppData\\A|*", "a '%' without its closing '%'"},
      {"FileKey1=C:\\A:stream|*", "a ':' inside the path"},
      {"FileKey1=C:\\Temp|*|RECURSE", "RECURSE or REMOVESELF on a folder directly below a drive root"},
      {"RegKey1=HKCU\\Software", "a registry key fewer than three levels deep"},
      {"RegKey1=HKCU", "a registry key fewer than three levels deep"},
      {"RegKey1=HKCU\\Software|Value", "a registry key fewer than three levels deep"},
      {"RegKey1=HKCU\\Software\\*\\Cache", "a wildcard in the first three levels of a registry key"},
      {"RegKey1=HKXX\\Software\\Vendor", "an unknown registry hive 'HKXX'"},
      {"RegKey1=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"RegKey1=HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run|Morvane.exe",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"RegKey1=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"RegKey1=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders|Personal",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"RegKey1=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"RegKey1=HKCU\\SOFTWARE\\Calderix\\Morvane\\Rules",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"RegKey1=HKLM\\Software\\Wow6432Node\\Calderix",
       "a protected registry key (machine configuration, sign-in, policy, start-up, shell folders, class roots "
       "or Morvane's own)"},
      {"ExcludeKey1=DIR|C:\\Local\\A\\|*", "an ExcludeKey that is not FILE, PATH or REG"},
      {"ExcludeKey1=REG|HKCU\\Software\\Vendor\\App\\Keep|", "an ExcludeKey REG with an empty value name"},
      {"ExcludeKey1=REG|HKCU\\Software\\Vendor\\App\\Keep| ", "an ExcludeKey REG with an empty value name"},
      {"DetectOS=ten|", "a DetectOS that is not a version range"},
      {"SpecialDetect=DET_NETSCAPE", "an unknown SpecialDetect"},
      {"Colour=Blue", "an unknown key"},
      // Taken:
      {"FileKey1=%LocalAppData%\\Vendor\\*\\Cache|*.tmp|REMOVESELF", ""},
      {"RegKey1=HKCU\\Software\\Vendor", ""},
      {"RegKey1=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs", ""},
      {"RegKey1=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion|SomeValue", ""},
      {"RegKey1=HKCU\\Software\\Vendor\\Recent\\*\\File MRU", ""},
      {"ExcludeKey1=PATH|%LocalAppData%\\Vendor\\|*.db", ""},
  };
  for (const Case& c : cases) {
    const RuleEntry& e = Read(std::string("[Case ") + c.line + "]\nFileKey9=C:\\Local\\Good|*.tmp\n" + c.line + "\n");
    SCOPED_TRACE(c.line);
    if (c.reason[0] != '\0' && std::string(c.line).rfind("ExcludeKey", 0) == 0) {
      // What the entry keeps cannot be known: the whole entry is refused,
      // naming the ExcludeKey and its reason.
      EXPECT_TRUE(e.refusedWhole);
      ASSERT_EQ(1u, e.refused.size());
      EXPECT_NE(std::string::npos, e.refused[0].reason.find(c.reason)) << e.refused[0].reason;
      continue;
    }
    EXPECT_FALSE(e.refusedWhole);
    ASSERT_TRUE(e.keys);
    EXPECT_EQ(1u + (c.reason[0] == '\0' && std::string(c.line).rfind("FileKey", 0) == 0 ? 1u : 0u),
              e.keys->files.size());
    if (c.reason[0] == '\0') {
      EXPECT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    } else {
      ASSERT_EQ(1u, e.refused.size());
      EXPECT_EQ(c.reason, e.refused[0].reason);
    }
  }
}

TEST_F(ReaderTest, RootsAreNeverSweptWholeAndNamedFilesOnlyOneByOne) {
  struct Case {
    const char* line;
    const char* reason;
  } cases[] = {
      {"FileKey1=%WinDir%|*|RECURSE", "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%SystemDrive%|*.*|REMOVESELF",
       "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%UserProfile%|*|REMOVESELF",
       "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%Documents%|*.tmp|RECURSE",
       "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%AppData%|*|RECURSE", "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%UserProfile%\\*|*|RECURSE",
       "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%SystemDrive%\\*|*|RECURSE",
       "RECURSE or REMOVESELF on a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%SystemDrive%|*.log",
       "a wildcard file pattern directly in a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%WinDir%|*.log",
       "a wildcard file pattern directly in a drive, Windows, profile, AppData or user-data root"},
      {"FileKey1=%Documents%|notes.txt", "files directly in a system, profile, AppData or user-data root"},
      {"FileKey1=%WinDir%|explorer.exe", "a program or system file directly in a root folder"},
      {"FileKey1=%SystemDrive%|bootmgr", "a program or system file directly in a root folder"},
      {"FileKey1=%SystemDrive%|setup.log", ""},
      {"FileKey1=%WinDir%|SIGVERIF.TXT", ""},
      {"FileKey1=%LocalAppData%|IconCache.db", "files directly in a system, profile, AppData or user-data root"},
      {"FileKey1=%WinDir%\\System32|setup.log", "files directly in a system, profile, AppData or user-data root"},
      {"FileKey1=%SystemDrive%\\Tools*|*.log|RECURSE", "RECURSE or REMOVESELF on a folder directly below a drive root"},
  };
  for (const Case& c : cases) {
    const RuleEntry& e = Read(std::string("[Root ") + c.line + "]\n" + c.line + "\nRegKey1=HKCU\\Software\\Vendor\n");
    SCOPED_TRACE(c.line);
    ASSERT_TRUE(e.keys);
    if (c.reason[0] == '\0') {
      EXPECT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
      ASSERT_EQ(1u, e.keys->files.size());
      EXPECT_TRUE(e.keys->files[0].namedAtRoot);
    } else {
      ASSERT_EQ(1u, e.refused.size()) << ::testing::PrintToString(Reasons(e));
      EXPECT_EQ(c.reason, e.refused[0].reason);
      EXPECT_TRUE(e.keys->files.empty());
    }
  }
}

TEST_F(ReaderTest, WholeEntriesAreRefusedOnlyWhenNothingOfThemIsUsable) {
  m_rules.LoadText(
      "[]\nFileKey1=C:\\A\\B|*\n"
      "[Broken\nFileKey1=C:\\A\\B|*\n"
      "[No keys *]\nLangSecRef=3021\n"
      "[All refused *]\nFileKey1=C:\\A\\..\\B|*\nRegKey1=HKCU\\Software\n"
      "[Choice only *]\nDetectFile=C:\\Program Files\\Firefox\n"
      "[Twice *]\nFileKey1=C:\\A\\B|*.tmp\n"
      "[twice *]\nFileKey1=C:\\A\\C|*.tmp\n",
      "t.ini", false);
  const auto& e = m_rules.Entries();
  ASSERT_EQ(7u, e.size());
  const bool wholes[] = {true, true, true, true, false, false, true};
  for (size_t i = 0; i < e.size(); ++i) {
    SCOPED_TRACE(e[i].name);
    EXPECT_EQ(wholes[i], e[i].refusedWhole);
    EXPECT_EQ(wholes[i], e[i].keys == nullptr);
    if (wholes[i]) {
      EXPECT_FALSE(e[i].refused.empty());
    }
  }
  EXPECT_EQ("a second section of the same name (the first is kept)", e[6].refused.back().reason);
}

TEST_F(ReaderTest, MalformedFilesNeverStopTheRestOfTheFile) {
  const std::string tail = "\n[Last good *]\nFileKey1=C:\\Vendor\\Cache|*.tmp\n";
  std::string manyKeys = "[Many *]\n";
  for (int i = 1; i <= 10000; ++i)
    manyKeys += "FileKey" + std::to_string(i) + "=C:\\Vendor\\C" + std::to_string(i) + "|*.tmp\n";
  struct Case {
    const char* what;
    std::string text;
    size_t entries;
  } cases[] = {
      {"truncated lines", "[Cut *]\nFileKey1=C:\\Vendor\\Fo\nFileKey2=C:\\Ven" + tail, 2},
      {"a 1 MB line", "[Long *]\nFileKey1=C:\\" + std::string(1 << 20, 'x') + "|*\n" + tail, 2},
      {"keys without '='", "[NoEq *]\nFileKey1\nRegKey1 HKCU\\Software\\X\nFileKey2=C:\\Vendor\\A|*.tmp" + tail, 2},
      {"invalid UTF-8",
       "[Bad \xC3\x28 name]\nFileKey1=C:\\V\xFF\\A|*\n[Bad key *]\nFileKey1=C:\\V\xE2\x82\\A|*\n" + tail, 3},
      {"duplicate sections", "[Dup *]\nFileKey1=C:\\Vendor\\A|*.tmp\n[Dup *]\nFileKey1=C:\\Vendor\\B|*.tmp" + tail, 3},
      {"10,000 FileKeys", manyKeys + tail, 2},
      {"keys before any section", "FileKey1=C:\\Vendor\\A|*\nstray line\n" + tail, 1},
      {"a lone '['", "[" + tail, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RuleSet rules;
    rules.LoadText(c.text, "bad.ini", false);
    ASSERT_EQ(c.entries, rules.Entries().size());
    const RuleEntry& last = rules.Entries().back();
    EXPECT_EQ("Last good *", last.name);
    EXPECT_FALSE(last.refusedWhole);
    EXPECT_TRUE(last.refused.empty());
    for (const auto& e : rules.Entries())
      for (const auto& r : e.refused) {
        EXPECT_LE(r.key.size(), 90u);
        EXPECT_EQ(std::string::npos, r.reason.find('\n'));
      }
  }
  RuleSet many;
  many.LoadText(manyKeys, "many.ini", false);
  ASSERT_TRUE(many.Entries()[0].keys);
  EXPECT_EQ(10000u, many.Entries()[0].keys->files.size());
}

// Length limits count characters, as their reasons say, not UTF-8 bytes: 200
// Cyrillic characters take 400 bytes.
TEST_F(ReaderTest, LengthLimitsCountCharactersNotBytes) {
  std::string name, folder;
  for (int i = 0; i < 200; ++i) name += "\xD0\xB6";
  for (int i = 0; i < 1500; ++i) folder += "\xD0\xB6";
  RuleSet rules;
  rules.LoadText("[" + name + " *]\nFileKey1=C:\\Vendor\\" + folder + "|*.tmp\n", "long.ini", false);
  ASSERT_EQ(1u, rules.Entries().size());
  EXPECT_FALSE(rules.Entries()[0].refusedWhole);
  EXPECT_TRUE(rules.Entries()[0].refused.empty());
  EXPECT_EQ(name + " *", rules.Entries()[0].name);
}

TEST_F(ReaderTest, EncodingsAndLineEndsReadTheSame) {
  const std::string text = "[Enc *]\r\nFileKey1=C:\\Vendor\\Cache|*.tmp\r\nRegKey1=HKCU\\Software\\Vendor\r\n";
  std::string lf = text;
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  const std::string forms[] = {text, lf, "\xEF\xBB\xBF" + text, Utf16(text)};
  for (const auto& f : forms) {
    RuleSet rules;
    rules.LoadText(f, "enc.ini", false);
    ASSERT_EQ(1u, rules.Entries().size());
    const RuleEntry& e = rules.Entries()[0];
    EXPECT_EQ("Enc *", e.name);
    EXPECT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    ASSERT_TRUE(e.keys);
    EXPECT_EQ("C:\\Vendor\\Cache", e.keys->files.at(0).folders.at(0).path);
  }
}

TEST_F(ReaderTest, FilesThatAreNotRuleFilesAreSkippedWhole) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  const std::string missing = At("missing.ini");
  const std::string empty = Plant("empty.ini", "");
  const std::string bin = Plant("binary.ini", binary);
  const std::string prose = Plant("prose.ini", "Just some text\nwithout sections\n");
  const std::string good = Plant("good.ini", "[Good *]\nFileKey1=C:\\Vendor\\A|*.tmp\n");
  RuleSet rules;
  EXPECT_FALSE(rules.LoadFile(missing));
  EXPECT_FALSE(rules.LoadFile(empty));
  EXPECT_FALSE(rules.LoadFile(bin));
  EXPECT_FALSE(rules.LoadFile(prose));
  EXPECT_TRUE(rules.LoadFile(good));
  ASSERT_EQ(5u, rules.Files().size());
  for (size_t i = 0; i < 4; ++i) EXPECT_FALSE(rules.Files()[i].skipped.empty()) << rules.Files()[i].path;
  EXPECT_EQ(good, rules.Files()[4].path);
  ASSERT_EQ(1u, rules.Entries().size());
  EXPECT_EQ("good.ini", rules.Entries()[0].source);
}

}  // namespace
