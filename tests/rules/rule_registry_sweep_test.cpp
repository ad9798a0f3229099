// Registry keys a rule removes, against what a hostile registry holds: a
// link inside the key leads elsewhere (the start-up key, another program's
// key, nowhere), an exclusion names the kept key in another spelling of its
// hive, a key is there but will not open. What stays outside the rule's key
// and what its exclusions keep is compared before and after; what the rule
// set out to remove and could not is counted as not removed.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/nt_calls.h"
#include "engine/outcome_ledger.h"
#include "support/key_access.h"
#include "tests/engine/reg_fixtures.h"
#include "tests/rules/rule_fixture.h"

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kOther = "Software\\OtherVendor\\Data";

class RuleRegistrySweep : public RuleTest {
 protected:
  void SetUp() override {
    regseed::Sz(kRun, "Updater", "C:\\updater.exe");
    regseed::Sz(kOther, "v", "1");
    regseed::Sz(kOther + "\\Deep", "w", "2");
  }
  void TearDown() override {
    for (const auto& link : m_links) regseed::DropLink(HKEY_CURRENT_USER, link);
    RuleTest::TearDown();
  }

  // Sweeps the entry with a fresh ledger; returns the count, and the
  // ledger's "Not removed" in *left.
  int SweepCounting(const RuleEntry& e, int* left) {
    ResetOutcomes();
    const int count = Sweep(e);
    *left = NotRemovedCount();
    return count;
  }

  // The key below HKEY_USERS that the sandboxed HKCU\path really is:
  // "<sid>\Software\MorvaneTests\...\path".
  static std::string UsersSpelling(const std::string& path) {
    const std::wstring name = regseed::KeyNameOf(HKEY_CURRENT_USER, path);
    const size_t sid = name.find(L"\\S-");
    EXPECT_NE(sid, std::wstring::npos) << nt::Narrow(name);
    return sid == std::wstring::npos ? std::string() : nt::Narrow(name.substr(sid + 1));
  }

  std::vector<std::string> m_links;
};

// Today's repro: the rule's key holds a link; the link goes, the key goes,
// and what the link leads to is as it was.
TEST_F(RuleRegistrySweep, ALinkInTheRulesKeyGoesAsALinkAndWhatItLeadsToStays) {
  struct Case {
    const char* name;
    std::string link;    // below the holder
    std::wstring target;  // the registry's name of where it leads
  } const cases[] = {
      {"to the start-up key", "Startup", regseed::KeyNameOf(HKEY_CURRENT_USER, kRun)},
      {"to another program's key", "Shared", regseed::KeyNameOf(HKEY_CURRENT_USER, kOther)},
      {"deeper down, to another program's key", "Sub\\Shared", regseed::KeyNameOf(HKEY_CURRENT_USER, kOther)},
      {"to nowhere", "Nowhere", L"\\REGISTRY\\USER\\NoSuchUser\\Software\\Gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.target.empty());
    const std::string holder = "Software\\RuleLinks\\" + regseed::UniqueLinkName("Holder");
    regseed::Sz(holder, "own", "x");
    m_links.push_back(holder + "\\" + c.link);
    ASSERT_TRUE(regseed::MakeLink(HKEY_CURRENT_USER, m_links.back(), c.target));
    const auto run = regseed::Snapshot(kRun);
    const auto other = regseed::Snapshot(kOther);
    ProgressRecorder log;
    const RuleEntry& e = Read("[Links " + std::string(c.name) + " *]\nRegKey1=HKCU\\" + holder + "\n");
    int left = -1;
    EXPECT_EQ(1, SweepCounting(e, &left));
    EXPECT_EQ(0, left);
    EXPECT_FALSE(regseed::KeyExists(holder));
    EXPECT_EQ(regseed::Snapshot(kRun), run);
    EXPECT_EQ(regseed::Snapshot(kOther), other);
    const std::vector<std::string> lines = log.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  Item 1, Delete Key: HKCU\\" + holder + ".\n"), lines.end())
        << ::testing::PrintToString(lines);
  }
}

// An exclusion keeps its key whichever spelling of the hive or view it is
// written in: the rule's key loses everything else.
TEST_F(RuleRegistrySweep, AnExclusionKeepsItsKeyInEverySpellingOfTheHive) {
  const std::string app = "Software\\RuleSpell\\App";
  regseed::MakeKey(app);  // named below HKEY_USERS from the key itself
  struct Case {
    const char* name;
    std::string regKey;   // the rule's key
    std::string exclude;  // the kept key, spelt another way
    std::string kept;     // below HKCU: what must stay
  } const cases[] = {
      {"HKU and the user's SID", "HKCU\\" + app, "HKU\\" + UsersSpelling(app) + "\\Keep", app + "\\Keep"},
      {"HKEY_USERS in full", "HKCU\\" + app, "HKEY_USERS\\" + UsersSpelling(app) + "\\Keep", app + "\\Keep"},
      {"the long name, other case", "HKCU\\" + app, "HKEY_CURRENT_USER\\SOFTWARE\\rulespell\\APP\\keep",
       app + "\\Keep"},
      {"the 32-bit view", "HKCU\\" + app, "HKCU\\Software\\Wow6432Node\\RuleSpell\\App\\Keep", app + "\\Keep"},
      {"a wildcard", "HKCU\\" + app, "HKU\\" + UsersSpelling(app) + "\\Ke?p", app + "\\Keep"},
      {"classes through HKCR", "HKCU\\Software\\Classes\\RuleSpell.App", "HKCR\\RuleSpell.App\\Keep",
       "Software\\Classes\\RuleSpell.App\\Keep"},
      {"the rule's key through HKU", "HKU\\" + UsersSpelling(app), "HKCU\\" + app + "\\Keep", app + "\\Keep"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = c.kept.substr(0, c.kept.rfind('\\'));
    regseed::Sz(c.kept, "k", "1");
    regseed::Sz(c.kept + "\\Deeper", "k2", "1");
    regseed::Sz(base + "\\Drop", "d", "1");
    regseed::Sz(base, "own", "1");
    const auto kept = regseed::Snapshot(c.kept);
    const RuleEntry& e =
        Read("[Spelling " + std::string(c.name) + " *]\nRegKey1=" + c.regKey + "\nExcludeKey1=REG|" + c.exclude + "\n");
    ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    int left = -1;
    EXPECT_EQ(2, SweepCounting(e, &left)) << "the value and the other key";
    EXPECT_EQ(0, left);
    EXPECT_EQ(regseed::Snapshot(c.kept), kept);
    EXPECT_FALSE(regseed::KeyExists(base + "\\Drop"));
    EXPECT_FALSE(regseed::Has(base, "own"));
  }
}

// A value the exclusion keeps, spelt through HKU, stays in a key that
// otherwise goes.
TEST_F(RuleRegistrySweep, AnExcludedValueSpeltThroughHkuStays) {
  const std::string app = "Software\\RuleSpell\\Values";
  regseed::Sz(app, "Keep", "1");  // first: named below HKEY_USERS from the key itself
  regseed::Sz(app, "Drop", "1");
  const RuleEntry& e =
      Read("[Value *]\nRegKey1=HKCU\\" + app + "\nExcludeKey1=REG|HKU\\" + UsersSpelling(app) + "|keep\n");
  int left = -1;
  EXPECT_EQ(1, SweepCounting(e, &left));
  EXPECT_TRUE(regseed::Has(app, "Keep"));
  EXPECT_FALSE(regseed::Has(app, "Drop"));
}

// A key that is there but will not open is not an absent one: what the
// rule named in it stays, and is counted so.
TEST_F(RuleRegistrySweep, AKeyThatWillNotOpenIsCountedAsNotRemoved) {
  const std::string sealed = "Software\\RuleSealed\\Box";
  regseed::Sz(sealed, "v", "1");
  regseed::Sz("Software\\RuleSealed\\Holder\\Inner", "w", "1");
  struct Case {
    const char* name;
    std::string regKey;
    std::string seal;  // the key made unreadable
  } const cases[] = {
      {"a value in it", "HKCU\\" + sealed + "|v", sealed},
      {"the key itself", "HKCU\\" + sealed, sealed},
      {"a key below the rule's key", "HKCU\\Software\\RuleSealed\\Holder", "Software\\RuleSealed\\Holder\\Inner"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(MakeKeySealed(HKEY_CURRENT_USER, c.seal));
    const RuleEntry& e = Read("[Sealed " + std::string(c.name) + " *]\nRegKey1=" + c.regKey + "\n");
    int left = -1;
    const int count = SweepCounting(e, &left);
    MakeKeyWritable(HKEY_CURRENT_USER, c.seal);
    EXPECT_EQ(0, count);
    EXPECT_EQ(1, left);
    EXPECT_TRUE(regseed::KeyExists(c.seal));
  }
}

// A link on the way to what a rule names, or one its wildcard would pick,
// leads outside the rule's key: what it leads to stays, and the place is
// refused with a line; a place the rule names past a link is counted as
// not removed.
TEST_F(RuleRegistrySweep, NothingIsReachedThroughALinkOnTheWayOrInAWildcard) {
  struct Case {
    const char* name;
    std::string regKey;  // after "HKCU\<holder>\"; the link there is "Alias"
    bool named;          // the rule names the place past the link itself
  } const cases[] = {
      {"a wildcard that would pick the link, a value", "A*|v", false},
      {"the link in the path, a value", "Alias|v", true},
      {"the link in the path, a key below it", "Alias\\Sub", true},
      {"the link in the path, a value below it", "Alias\\Sub|w", true},
      {"a wildcard segment picking the link, a key below it", "*\\Sub", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string holder = "Software\\RuleLinks\\" + regseed::UniqueLinkName("Way");
    const std::string victim = "Software\\RuleLinks\\" + regseed::UniqueLinkName("Victim");
    regseed::Sz(victim, "v", "1");
    regseed::Sz(victim + "\\Sub", "w", "2");
    regseed::MakeKey(holder);
    m_links.push_back(holder + "\\Alias");
    ASSERT_TRUE(regseed::MakeLink(HKEY_CURRENT_USER, m_links.back(), regseed::KeyNameOf(HKEY_CURRENT_USER, victim)));
    const auto before = regseed::Snapshot(victim);
    const RuleEntry& e = Read("[Way " + std::string(c.name) + " *]\nRegKey1=HKCU\\" + holder + "\\" + c.regKey + "\n");
    int left = -1;
    EXPECT_EQ(0, SweepCounting(e, &left));
    EXPECT_EQ(regseed::Snapshot(victim), before);
    if (c.named) {
      EXPECT_GT(left, 0) << "a place the rule names stayed uncounted";
    }
  }
}

// A value named and typed as a link's can be written into any key: such a
// key is still judged as the key it is, so a policy key inside a rule's key
// stays with what it holds (control: the same key without that value).
TEST_F(RuleRegistrySweep, AKeyWithALinksValueIsJudgedAsTheKeyItIs) {
  const std::string holder = "Software\\RuleFake\\" + regseed::UniqueLinkName("Holder");
  for (const char* kind : {"Plain", "Fake"}) {
    const std::string policies = holder + "\\" + kind + "\\Policies";
    regseed::Sz(policies, "Setting", "locked");
    regseed::Sz(policies + "\\Trace", "t", "1");
  }
  HKEY fake = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, (holder + "\\Fake\\Policies").c_str(), 0, KEY_SET_VALUE,
                                           &fake));
  const std::wstring nowhere = L"\\REGISTRY\\USER\\Nowhere";
  ::RegSetValueExW(fake, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(nowhere.c_str()),
                   static_cast<DWORD>(nowhere.size() * sizeof(wchar_t)));
  ::RegCloseKey(fake);
  const RuleEntry& e = Read("[Fake link *]\nRegKey1=HKCU\\" + holder + "\\Plain\nRegKey2=HKCU\\" + holder + "\\Fake\n");
  int left = -1;
  SweepCounting(e, &left);
  for (const char* kind : {"Plain", "Fake"}) {
    SCOPED_TRACE(kind);
    EXPECT_TRUE(regseed::Has(holder + "\\" + kind + "\\Policies", "Setting"));
  }
}

// A subkey whose name is long in UTF-8 does not end the walk: the keys
// after it are swept too, through a wildcard and as part of a whole key.
TEST_F(RuleRegistrySweep, ALongNonAsciiSubkeyNameDoesNotEndTheWalk) {
  std::wstring longName = L"a";
  for (int i = 0; i < 150; ++i) longName += L"\x0416";
  for (const char* form : {"*|v", ""}) {
    SCOPED_TRACE(form);
    const std::string holder = "Software\\RuleLong\\" + regseed::UniqueLinkName("Holder");
    regseed::MakeKey(holder);
    HKEY parent = nullptr, child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, holder.c_str(), 0, KEY_ALL_ACCESS, &parent));
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(parent, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                                               nullptr));
    ::RegSetValueExW(child, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
    ::RegCloseKey(child);
    ::RegCloseKey(parent);
    regseed::Sz(holder + "\\Zed", "v", "1");
    const std::string rule = *form ? "HKCU\\" + holder + "\\" + form : "HKCU\\" + holder;
    const RuleEntry& e = Read("[Long " + std::string(form) + " *]\nRegKey1=" + rule + "\n");
    int left = -1;
    SweepCounting(e, &left);
    EXPECT_EQ(0, left);
    if (*form)
      EXPECT_FALSE(regseed::Has(holder + "\\Zed", "v"));
    else
      EXPECT_FALSE(regseed::KeyExists(holder));
  }
}

// A wildcard exclusion keeps the keys it names as the registry names them:
// spelt through a link, it keeps what the link reaches.
TEST_F(RuleRegistrySweep, AWildcardExclusionThroughALinkKeepsWhatTheLinkReaches) {
  struct Case {
    const char* name;
    std::string exclude;  // after "HKCU\<base>\"
  } const cases[] = {
      {"the link picked by '?'", "Alia?\\App2\\Keep2"},
      {"the link picked by '*', a wildcard below", "Al*\\App2\\Kee?2"},
      {"the link spelt out, a wildcard below", "Alias\\App2\\K*2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = "Software\\RuleLinks\\" + regseed::UniqueLinkName("KeptWay");
    const std::string app = base + "\\Real\\App2";
    regseed::Sz(app + "\\Keep2", "k", "1");
    regseed::Sz(app + "\\Drop", "d", "1");
    m_links.push_back(base + "\\Alias");
    ASSERT_TRUE(regseed::MakeLink(HKEY_CURRENT_USER, m_links.back(), regseed::KeyNameOf(HKEY_CURRENT_USER, base + "\\Real")));
    const auto kept = regseed::Snapshot(app + "\\Keep2");
    const RuleEntry& e = Read("[KeptWay " + std::string(c.name) + " *]\nRegKey1=HKCU\\" + app +
                              "\nExcludeKey1=REG|HKCU\\" + base + "\\" + c.exclude + "\n");
    int left = -1;
    SweepCounting(e, &left);
    EXPECT_EQ(regseed::Snapshot(app + "\\Keep2"), kept);
    EXPECT_FALSE(regseed::KeyExists(app + "\\Drop"));
  }
}

}  // namespace
