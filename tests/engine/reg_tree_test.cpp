// Key deletions walk their tree themselves: a registry link inside the tree
// (or the key itself being one) is removed as a link and what it leads to is
// untouched; a key the guard protects or the running entry keeps is left;
// a key that cannot be opened or deleted is counted as not removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/clean_ops.h"
#include "winlib/reg_tree.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/reg_clean.h"
#include "engine/reg_primitives.h"
#include "engine/registry_guard.h"
#include "support/key_access.h"
#include "support/test_env.h"
#include "tests/engine/reg_fixtures.h"

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kOther = "Software\\OtherVendor\\Data";

class RegTree : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOutcomes();
    regseed::Sz(kRun, "Updater", "C:\\updater.exe");
    regseed::Sz(kOther, "v", "1");
    regseed::Sz(kOther + "\\Deep", "w", "2");
    m_holder = "Software\\TreeVendor\\" + regseed::UniqueLinkName("Holder");
    regseed::Sz(m_holder, "own", "x");
  }
  void TearDown() override {
    for (const auto& link : m_links) regseed::DropLink(HKEY_CURRENT_USER, link);
  }
  // A link at m_holder\rel leading to target (a path below HKCU, or a name
  // of the registry's own when it starts with '\').
  void Link(const std::string& rel, const std::string& target) {
    const std::wstring name =
        target[0] == '\\' ? std::wstring(target.begin(), target.end()) : regseed::KeyNameOf(HKEY_CURRENT_USER, target);
    ASSERT_FALSE(name.empty()) << target;
    const std::string path = rel.empty() ? m_holder : m_holder + "\\" + rel;
    if (rel.empty()) ::RegDeleteKeyA(HKEY_CURRENT_USER, m_holder.c_str());
    ASSERT_TRUE(regseed::MakeLink(HKEY_CURRENT_USER, path, name)) << path;
    m_links.push_back(path);
  }

  std::string m_holder;
  std::vector<std::string> m_links;
  RegistrySandbox m_sandbox;
  ProgressRecorder m_log;
};

// The holder goes, with the link in it; the key the link leads to stays as
// it was, whatever it is.
TEST_F(RegTree, ALinkInsideTheTreeIsRemovedAsALinkAndItsTargetStays) {
  struct Case {
    const char* name;
    std::string link;    // below the holder; "" makes the holder itself the link
    std::string target;  // below HKCU, or a registry name
  } const cases[] = {
      {"a link to the start-up key", "Startup", kRun},
      {"a link to another program's key", "Shared", kOther},
      {"a link deeper down", "Sub\\Deeper\\Shared", kOther},
      {"a dangling link", "Nowhere", "\\REGISTRY\\USER\\NoSuchUser\\Software\\Gone"},
      {"the key itself a link", "", kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Link(c.link, c.target);
    const auto run = regseed::Snapshot(kRun);
    const auto other = regseed::Snapshot(kOther);
    for (bool preview : {true, false}) {
      SCOPED_TRACE(preview ? "preview" : "sweep");
      ResetOutcomes();
      std::vector<std::string> said;
      RegChange change;
      {
        PreviewScope scope(preview);
        change = SweepDeleteKey(HKEY_CURRENT_USER, m_holder.c_str(),
                                [&](const RegRemoved& r) { said.push_back(r.path); });
      }
      EXPECT_EQ(change, preview ? RegChange::kPreviewed : RegChange::kDone);
      EXPECT_EQ(said, std::vector<std::string>{m_holder});
      EXPECT_EQ(NotRemovedCount(), 0);
      EXPECT_EQ(regseed::KeyExists(m_holder), preview);
      EXPECT_EQ(regseed::Snapshot(kRun), run);
      EXPECT_EQ(regseed::Snapshot(kOther), other);
    }
  }
}

// What stays is said: a key that will not open, or will not go, is counted
// as not removed and the keys above it stay; the rest of the tree goes.
TEST_F(RegTree, AKeyThatCannotBeOpenedOrDeletedIsCountedAsNotRemoved) {
  struct Case {
    const char* name;
    const char* sealed;  // below the holder
    bool readOnly;       // readable, not deletable; otherwise not even readable
  } const cases[] = {
      {"a subkey that will not open", "Sealed", false},
      {"a deeper subkey that will not open", "A\\B\\Sealed", false},
      {"a subkey that will not go", "Stuck", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::string sealed = m_holder + "\\" + c.sealed;
    regseed::Sz(sealed, "x", "y");
    regseed::Sz(m_holder + "\\Loose", "z", "1");
    ASSERT_TRUE(c.readOnly ? MakeKeyReadOnly(HKEY_CURRENT_USER, sealed) : MakeKeySealed(HKEY_CURRENT_USER, sealed));
    ResetOutcomes();
    const RegChange change = SweepDeleteKey(HKEY_CURRENT_USER, m_holder.c_str());
    const int left = NotRemovedCount();
    MakeKeyWritable(HKEY_CURRENT_USER, sealed);
    EXPECT_EQ(change, RegChange::kFailed);
    EXPECT_EQ(left, 1);
    EXPECT_TRUE(regseed::Has(sealed, "x"));
    EXPECT_FALSE(regseed::KeyExists(m_holder + "\\Loose"));
    bool named = false;
    for (const auto& l : m_log.LogLines()) named = named || l.find("Not removed: HKEY_CURRENT_USER\\" + sealed) != std::string::npos;
    EXPECT_TRUE(named);
  }
}

// Inside a scope, what the entry keeps stays, however the place is spelt;
// the key that holds it keeps only that.
TEST_F(RegTree, AKeptPlaceInsideTheTreeStaysAndTheRestGoes) {
  regseed::Sz(m_holder + "\\Keep", "k", "1");
  regseed::Sz(m_holder + "\\Drop", "d", "1");
  regseed::Sz(m_holder, "keepme", "1");
  const std::wstring name = regseed::KeyNameOf(HKEY_CURRENT_USER, m_holder);
  // "\REGISTRY\USER\<sid>\...": the same key below HKEY_USERS.
  const size_t sid = name.find(L"\\S-");
  ASSERT_NE(sid, std::wstring::npos) << nt::Narrow(name);
  const std::string asUsers = nt::Narrow(name.substr(sid + 1));
  std::vector<std::string> said;
  {
    RegistryKeptScope kept({{HKEY_USERS, asUsers + "\\Keep", false, ""}, {HKEY_USERS, asUsers, true, "KEEPME"}});
    EXPECT_EQ(SweepDeleteKey(HKEY_CURRENT_USER, m_holder.c_str(), [&](const RegRemoved& r) {
                said.push_back(r.isValue ? r.path + "|" + r.value : r.path);
              }),
              RegChange::kFailed);
  }
  EXPECT_EQ(said, (std::vector<std::string>{m_holder + "|own", m_holder + "\\Drop"}));
  EXPECT_EQ(NotRemovedCount(), 0);
  EXPECT_TRUE(regseed::Has(m_holder + "\\Keep", "k"));
  EXPECT_TRUE(regseed::Has(m_holder, "keepme"));
  EXPECT_FALSE(regseed::Has(m_holder, "own"));
}

// Cleaning the values of each subkey never goes through a link among them,
// and the link left is counted as not removed.
TEST_F(RegTree, ValuesOfSubkeysAreNeverCleanedThroughALink) {
  regseed::Sz(m_holder + "\\Plain", "a", "C:\\a.txt");
  regseed::Sz(m_holder + "\\Plain", "MRUList", "a");
  Link("Startup", kRun);
  const auto run = regseed::Snapshot(kRun);
  int count = 0;
  float kb = 0;
  for (auto clean : {&CleanSubKeyMRU, &CleanRegKeyTree}) {
    ResetOutcomes();
    RegKey key(m_holder, HKEY_CURRENT_USER);
    clean(4, key, 0, &count, &kb);
    EXPECT_EQ(regseed::Snapshot(kRun), run);
    EXPECT_EQ(NotRemovedCount(), 1) << "the link among the subkeys is left uncounted";
  }
  ResetOutcomes();
  EXPECT_FALSE(regseed::Has(m_holder + "\\Plain", "a"));
}

// A key named through a link on its way is not the key the path names:
// nothing past the link goes, and the refusal is recorded.
TEST_F(RegTree, AKeyNamedThroughALinkOnItsWayIsRefused) {
  Link("Alias", kOther);
  const auto other = regseed::Snapshot(kOther);
  const RegChange change = SweepDeleteKey(HKEY_CURRENT_USER, (m_holder + "\\Alias\\Deep").c_str());
  EXPECT_EQ(RegChange::kFailed, change);
  EXPECT_EQ(regseed::Snapshot(kOther), other);
}

}  // namespace

namespace {

// A fixed target key (a catalogue row's key, or the base key the rows hang
// from) that is a link, or is reached through one, is not followed: the key
// the link leads to stays as it was, and the link is counted as left.
TEST_F(RegTree, AFixedTargetKeyThatIsALinkIsNotFollowed) {
  struct Case {
    const char* name;
    const char* link;  // below the holder
    std::string target;
    const char* base;  // below the holder: the rows' base key
    const char* row;   // below the base
    CleanOpId op;
  } const cases[] = {
      {"values of a key that is a link", "List", kRun, "", "List", OP_CLEAN_REG_KEY},
      {"an MRU key that is a link", "List", kRun, "", "List", OP_CLEAN_MRU},
      {"a key tree that is a link", "List", kOther, "", "List", OP_CLEAN_REG_KEY_TREE},
      {"subkey lists behind a link", "List", kOther, "", "List", OP_CLEAN_SUBKEY_MRU},
      {"the row's key reached through a link", "Via", "Software\\OtherVendor", "", "Via\\Data", OP_CLEAN_REG_KEY},
      {"the base key a link", "Base", "Software\\OtherVendor", "Base", "Data", OP_CLEAN_REG_KEY_TREE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    regseed::Sz(kRun, "MRUList", "a");
    Link(c.link, c.target);
    const auto run = regseed::Snapshot(kRun);
    const auto other = regseed::Snapshot("Software\\OtherVendor");
    const CleanItem rows[] = {KeyRow(kKindKey, c.row, c.op)};
    const std::string base = *c.base == '\0' ? m_holder : m_holder + "\\" + c.base;
    for (bool preview : {true, false}) {
      SCOPED_TRACE(preview ? "preview" : "sweep");
      ResetOutcomes();
      int count = 0;
      float kb = 0;
      {
        PreviewScope scope(preview);
        CleanRows(HKEY_CURRENT_USER, base.c_str(), rows, 1, 0, &count, &kb, nullptr);
      }
      EXPECT_EQ(count, 0);
      EXPECT_EQ(NotRemovedCount(), 1);
      EXPECT_EQ(regseed::Snapshot(kRun), run);
      EXPECT_EQ(regseed::Snapshot("Software\\OtherVendor"), other);
    }
  }
}

}  // namespace

// Only the links Windows makes, where it makes them and to where it points
// them, are followed on a key's way; a link planted anywhere else, or one of
// those names pointed elsewhere, is not.
TEST(RegistryLinks, OnlySystemMadeLinksAreTrustedOnTheWay) {
  const std::wstring user = L"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001";
  struct Case {
    std::wstring name, target;
    bool trusted;
  } cases[] = {
      {user + L"\\Software\\Classes", user + L"_Classes", true},
      {L"\\Registry\\User\\S-1-5-21-1-2-3-1001\\SOFTWARE\\classes", user + L"_CLASSES", true},
      {L"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet", L"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001", true},
      {L"\\REGISTRY\\MACHINE\\SOFTWARE\\Wow6432Node\\Classes", L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\Wow6432Node", true},
      {L"\\REGISTRY\\MACHINE\\SOFTWARE\\Wow6432Node\\Classes", L"\\REGISTRY\\MACHINE\\SOFTWARE\\Policies", false},
      {user + L"\\Software\\Classes", L"\\REGISTRY\\USER\\S-1-5-21-9-9-9-1002_Classes", false},  // another user's
      {user + L"\\Software\\Classes", user + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", false},
      {user + L"\\Software\\X\\Software\\Classes", user + L"\\Software\\X_Classes", false},
      {user + L"\\Software\\Vendor", user + L"_Classes", false},
      {L"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet", L"\\REGISTRY\\MACHINE\\SOFTWARE\\Policies", false},
      {L"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet", L"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet0012", false},
      {L"\\REGISTRY\\MACHINE\\SOFTWARE\\CurrentControlSet", L"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()) + " -> " + std::string(c.target.begin(), c.target.end()));
    EXPECT_EQ(c.trusted, IsSystemMadeLink(c.name, c.target));
  }
}
