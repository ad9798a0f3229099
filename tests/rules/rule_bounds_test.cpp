// Rules that reach past what they name: a wildcard over more keys than the
// expander takes, ExcludeKeys that cannot be read, variables that multiply
// a key's paths, the other registry view, the temporary folder under another
// spelling, credential stores, system keys, and a folder swapped for a link
// between the expansion and the walk. Every sweep is judged by before/after
// pictures of the scratch folder and keys.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/removal_guard.h"
#include "tests/rules/rule_fixture.h"

namespace {

class RuleBoundsTest : public RuleTest {
 protected:
  void SetUp() override { SetRuleVariableForTests("LocalAppData", {Root()}); }

  static bool KeyExists(HKEY root, const std::string& path) {
    HKEY h = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    ::RegCloseKey(h);
    return true;
  }
  static DWORD SubKeyCount(HKEY root, const std::string& path) {
    HKEY h = nullptr;
    DWORD n = 0;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
    ::RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    ::RegCloseKey(h);
    return n;
  }
  static bool MakeKey(HKEY root, const std::string& path) {
    HKEY h = nullptr;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
      return false;
    ::RegCloseKey(h);
    return true;
  }
};

// A '*' over more subkeys than the expander takes refuses the key; it never
// acts on the shorter list it had reached (the parents of what was named).
TEST_F(RuleBoundsTest, RegistryWildcardPastTheLimitRemovesNothing) {
  HKEY big = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\RuleBig\\Big", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &big, nullptr));
  const int kKeys = 4100;
  for (int i = 0; i < kKeys; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "K%04d", i);
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(big, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    ::RegCloseKey(k);
  }
  ::RegCloseKey(big);
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\RuleBig\\Big\\K0001\\Bar"));
  // The control: three subkeys, where only the Bar keys go.
  for (const char* k : {"Software\\RuleBig\\Small\\A\\Bar", "Software\\RuleBig\\Small\\B\\Bar",
                        "Software\\RuleBig\\Small\\C"})
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, k));

  const RuleEntry& e = Read(
      "[Big wildcard *]\nRegKey1=HKCU\\Software\\RuleBig\\Big\\*\\Bar\nRegKey2=HKCU\\Software\\RuleBig\\Small\\*\\Bar\n");
  ASSERT_FALSE(e.refusedWhole);
  Sweep(e);
  EXPECT_EQ(static_cast<DWORD>(kKeys), SubKeyCount(HKEY_CURRENT_USER, "Software\\RuleBig\\Big"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\RuleBig\\Big\\K0001\\Bar"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\RuleBig\\Small\\A\\Bar"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\RuleBig\\Small\\B\\Bar"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\RuleBig\\Small\\A"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\RuleBig\\Small\\C"));
}

// What an ExcludeKey keeps cannot be known when it cannot be read: the whole
// entry stays unswept.
TEST_F(RuleBoundsTest, AnEntryWithAnExcludeKeyThatCannotBeReadSweepsNothing) {
  const char* const excludes[] = {
      "ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt;\xE9t\xE9.txt",   // Windows-1252, not UTF-8
      "ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt;..\\other.txt",  // a pattern reaching out
      "ExcludeKey1=PATH|%LocalAppData%\\ex\\..\\ex\\|keep.txt",        // '..' in the folder
      "ExcludeKey1=FILE|%Nowhere%\\ex\\|keep.txt",                     // an unknown variable
  };
  int n = 0;
  for (const char* ex : excludes) {
    SCOPED_TRACE(ex);
    Plant("ex\\drop.txt");
    Plant("ex\\keep.txt");
    const RuleEntry& e =
        Read("[Exclude " + std::to_string(n++) + " *]\nFileKey1=%LocalAppData%\\ex|*.txt\n" + std::string(ex) + "\n");
    EXPECT_TRUE(e.refusedWhole);
    ASSERT_EQ(1u, e.refused.size()) << ::testing::PrintToString(Reasons(e));
    EXPECT_NE(std::string::npos, e.refused[0].reason.find("ExcludeKey1")) << e.refused[0].reason;
    const SnapshotMap before = Picture();
    EXPECT_EQ(0, Sweep(e));
    EXPECT_TRUE(Removed(before).empty());
    EXPECT_TRUE(FileExists(At("ex\\keep.txt")));
  }
}

// Each variable of two values doubles a key's paths: past 64 the key is
// refused, and an entry made only of such keys is refused whole, keeping
// nothing but its name and why.
TEST_F(RuleBoundsTest, VariablesThatMultiplyPathsAreBoundedAndRefusedSectionsKeepOnlyWhy) {
  SetRuleVariableForTests("ProgramFiles", {Root() + "\\pf64", Root() + "\\pf32"});
  // Expanded before the path is checked: a variable past the first one
  // gives a ':' inside the path, but only once the paths were made.
  std::string seven, twelve;
  for (int i = 0; i < 7; ++i) seven += "%ProgramFiles%\\";
  for (int i = 0; i < 12; ++i) twelve += "%ProgramFiles%\\";
  const RuleEntry& ok = Read("[Two *]\nFileKey1=%ProgramFiles%\\x|*.tmp\n");
  ASSERT_TRUE(ok.keys);
  EXPECT_EQ(2u, ok.keys->files.at(0).folders.size());
  const RuleEntry& over = Read("[Seven *]\nFileKey1=" + seven + "x|*.tmp\nFileKey2=" + twelve + "x|*.tmp\n");
  EXPECT_TRUE(over.refusedWhole);
  EXPECT_EQ(nullptr, over.keys);
  ASSERT_EQ(1u, over.refused.size()) << ::testing::PrintToString(Reasons(over));
  EXPECT_EQ("[Seven *]", over.refused[0].key);
  // The last refusal of an entry that keeps other keys still names the key.
  const RuleEntry& mixed = Read("[Mixed *]\nFileKey1=%LocalAppData%\\m|*.tmp\nFileKey2=" + seven + "x|*.tmp\n");
  ASSERT_FALSE(mixed.refusedWhole);
  ASSERT_EQ(1u, mixed.refused.size());
  EXPECT_EQ("FileKey2", mixed.refused[0].key);
  EXPECT_EQ("its variables give more than 64 paths", mixed.refused[0].reason);
}

// An exclusion holds in both registry views: the 32-bit twin of a swept key
// keeps what the 64-bit spelling excludes, and the other way round.
TEST_F(RuleBoundsTest, RegistryExclusionsHoldInBothViews) {
  for (const char* k : {"Software\\V\\App\\Keep", "Software\\V\\App\\Drop", "Software\\Wow6432Node\\V\\App\\Keep",
                        "Software\\Wow6432Node\\V\\App\\Drop", "Software\\W\\App\\Keep",
                        "Software\\Wow6432Node\\W\\App\\Keep", "Software\\Wow6432Node\\W\\App\\Drop"})
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, k));
  const RuleEntry& e = Read(
      "[Views *]\nRegKey1=HKLM\\Software\\V\\App\nExcludeKey1=REG|HKLM\\Software\\V\\App\\Keep\n"
      "RegKey2=HKLM\\Software\\W\\App\nExcludeKey2=REG|HKLM\\Software\\Wow6432Node\\W\\App\\Keep\n");
  ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
  Sweep(e);
  for (const char* kept : {"Software\\V\\App\\Keep", "Software\\Wow6432Node\\V\\App\\Keep", "Software\\W\\App\\Keep",
                           "Software\\Wow6432Node\\W\\App\\Keep"})
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kept)) << kept;
  for (const char* gone : {"Software\\V\\App\\Drop", "Software\\Wow6432Node\\V\\App\\Drop",
                           "Software\\Wow6432Node\\W\\App\\Drop"})
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, gone)) << gone;
}

// The temporary folder is emptied, never removed, whatever spelling reaches
// it: here TEMP in its 8.3 short form, as Windows gives it for long names.
TEST_F(RuleBoundsTest, RemoveSelfEmptiesTheTemporaryFolderUnderAnyNameAndLeavesIt) {
  const std::string temp = At("LongLocalFolderName\\Temp");
  Plant("LongLocalFolderName\\Temp\\a.tmp");
  Plant("LongLocalFolderName\\Temp\\sub\\b.tmp");
  char shortName[MAX_PATH];
  const DWORD n = ::GetShortPathNameA(temp.c_str(), shortName, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  ASSERT_NE(temp, std::string(shortName));
  char oldTemp[MAX_PATH] = "", oldTmp[MAX_PATH] = "";
  ::GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
  ::GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH);
  ::SetEnvironmentVariableA("TEMP", shortName);
  ::SetEnvironmentVariableA("TMP", shortName);
  SetRuleVariableForTests("Temp", {shortName});
  ReloadProtectedFoldersForTests();
  SetRuleVariableForTests("LocalAppData", {At("LongLocalFolderName")});
  const RuleEntry& e = Read("[Temp self *]\nFileKey1=%LocalAppData%\\Temp|*.*|REMOVESELF\n");
  if (e.keys) Sweep(e);
  ::SetEnvironmentVariableA("TEMP", oldTemp);
  ::SetEnvironmentVariableA("TMP", oldTmp);
  ReloadProtectedFoldersForTests();
  EXPECT_TRUE(FileExists(temp));
  EXPECT_FALSE(FileExists(temp + "\\a.tmp"));
}

// Configuration, sign-in and policy keys are never swept, in either view
// and under any hive's spelling; the entry's other keys still go.
TEST_F(RuleBoundsTest, SystemSignInAndPolicyKeysAreNeverSwept) {
  const char* const machine[] = {
      "SYSTEM\\CurrentControlSet\\Services\\RuleSvc",
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
      "Software\\Policies\\Calderix\\Morvane\\General Settings",
      "Software\\Wow6432Node\\Policies\\Vendor\\App",
      "Software\\Vendor\\App\\Policies\\Lock",
  };
  for (const char* k : machine) ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, k));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Userinit",
                        "C:\\Windows\\system32\\userinit.exe,"));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer"));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\RuleVendor\\Gone"));
  const RuleEntry& e = Read(
      "[System keys *]\n"
      "RegKey1=HKLM\\SYSTEM\\CurrentControlSet\\Services\\RuleSvc\n"
      "RegKey2=HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon|Userinit\n"
      "RegKey3=HKLM\\Software\\Policies\\Calderix\\Morvane\n"
      "RegKey4=HKLM\\Software\\Wow6432Node\\Policies\\Vendor\\App\n"
      "RegKey5=HKLM\\Software\\Vendor\\App\\Policies\\Lock\n"
      "RegKey6=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\n"
      "RegKey7=HKLM\\SYSTEM\\*\\Services\\RuleSvc\n"
      "RegKey8=HKCU\\Software\\RuleVendor\\Gone\n");
  ASSERT_FALSE(e.refusedWhole);
  EXPECT_EQ(7u, e.refused.size()) << ::testing::PrintToString(Reasons(e));
  Sweep(e);
  for (const char* k : machine) EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, k)) << k;
  char data[64];
  DWORD size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                          "Userinit", RRF_RT_REG_SZ, nullptr, data, &size));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\RuleVendor\\Gone"));
}

// Folders that may reach a credential store, the temporary folder or a
// user's data are refused when read, whatever their wildcards.
TEST_F(RuleBoundsTest, FoldersThatMayReachProtectedPlacesAreRefusedWhenRead) {
  ResetRuleVariablesForTests();
  const char* const refused[] = {
      "FileKey1=%AppData%\\Microsoft|*|RECURSE",
      "FileKey1=%AppData%\\Microsoft\\Protect|*",
      "FileKey1=%AppData%\\Microsoft\\Credentials\\*|*.*",
      "FileKey1=%LocalAppData%\\Microsoft\\Vault|*|RECURSE",
      "FileKey1=%LocalAppData%\\*|*|REMOVESELF",
      "FileKey1=%UserProfile%\\*\\*\\*|*|RECURSE",
      "FileKey1=%AppData%\\*\\SystemCertificates|*|RECURSE",
  };
  for (const char* line : refused) {
    SCOPED_TRACE(line);
    const RuleEntry& e = Read(std::string("[Reach ") + line + "]\n" + line + "\nRegKey1=HKCU\\Software\\Vendor\n");
    ASSERT_TRUE(e.keys);
    EXPECT_TRUE(e.keys->files.empty());
    ASSERT_EQ(1u, e.refused.size());
    EXPECT_EQ("FileKey1", e.refused[0].key);
  }
  // Still taken: below a store's neighbours, and the temporary folder emptied.
  for (const char* line : {"FileKey1=%AppData%\\Microsoft\\Windows\\Recent|*.lnk",
                           "FileKey1=%LocalAppData%\\Microsoft\\Windows\\INetCache|*|RECURSE",
                           "FileKey1=%LocalAppData%\\Temp|*|RECURSE", "FileKey1=%LocalAppData%\\*\\Cache|*|REMOVESELF"}) {
    const RuleEntry& e = Read(std::string("[Taken ") + line + "]\n" + line + "\n");
    EXPECT_TRUE(e.refused.empty()) << line << ::testing::PrintToString(Reasons(e));
  }
}

}  // namespace

namespace {

// A section of more keys than any real one is refused whole, not kept.
TEST_F(RuleBoundsTest, ASectionOfTooManyKeysIsRefusedWhole) {
  std::string text = "[Many keys *]\n";
  for (int i = 0; i < 10001; ++i) text += "FileKey" + std::to_string(i) + "=%LocalAppData%\\k|*.tmp\n";
  const RuleEntry& e = Read(text);
  EXPECT_TRUE(e.refusedWhole);
  EXPECT_EQ(nullptr, e.keys);
  EXPECT_EQ(1u, e.refused.size());
}

// The walk opens each segment past the variable's part without following a
// link: a segment that became a link after the wildcard was expanded (here
// while the other expanded folder is walked) leads nowhere, and the empty
// folder it leads to is not removed as the rule's own.
TEST_F(RuleBoundsTest, AFolderSwappedForALinkAfterTheExpansionIsNeverWalked) {
  const std::string race = "D:\\fixtures\\rule-race";
  REQUIRE_FIXTURE(FileExists(race + "\\outside\\secret.tmp"), race);
  const std::string base = race + "\\base";
  SetRuleVariableForTests("LocalAppData", {base});
  const RuleEntry& e = Read("[Race *]\nFileKey1=%LocalAppData%\\*\\a\\x|*.tmp|REMOVESELF\n");
  ASSERT_TRUE(e.keys);
  std::string swapped;
  DirWalker::SetStepHook([&](const std::string& path) {
    if (!swapped.empty()) return;
    const std::string other = path.find("\\base\\one\\") != std::string::npos ? "two" : "one";
    if (::MoveFileA((base + "\\" + other).c_str(), (race + "\\away").c_str()) &&
        ::MoveFileA((race + "\\decoy").c_str(), (base + "\\" + other).c_str()))
      swapped = other;
  });
  Sweep(e);
  DirWalker::SetStepHook(nullptr);
  ASSERT_FALSE(swapped.empty());
  EXPECT_TRUE(FileExists(race + "\\outside\\x"));
  EXPECT_TRUE(FileExists(race + "\\outside\\secret.tmp"));
  EXPECT_FALSE(FileExists(base + "\\" + std::string(swapped == "one" ? "two" : "one") + "\\a\\x"));
  ::MoveFileA((base + "\\" + swapped).c_str(), (race + "\\decoy").c_str());
  ::MoveFileA((race + "\\away").c_str(), (base + "\\" + swapped).c_str());
}

}  // namespace
