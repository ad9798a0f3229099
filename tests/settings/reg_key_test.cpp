#include "settings/reg_key.h"
#include "settings/window_placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reg_helpers.h"
#include "settings/subkey_list.h"
#include "tests/engine/reg_fixtures.h"
#include "support/test_env.h"

namespace {
const std::string kScratch = "SOFTWARE\\Calderix\\Morvane\\Scratch";

std::vector<std::string> AllValueNames(RegKey& key) {
  std::vector<std::string> names;
  std::string name;
  while (key.EnumValue(name, nullptr, nullptr, nullptr)) names.push_back(name);
  return names;
}
}  // namespace

TEST(RegKey, OpensAnExistingKeyAndTakesItsSizes) {
  RegistrySandbox sandbox;
  regtest::PutText(HKEY_CURRENT_USER, kScratch, "Name", "0123456789");  // 11 bytes with its terminator
  regtest::MakeKey(HKEY_CURRENT_USER, kScratch + "\\Sub");
  RegKey key(kScratch, HKEY_CURRENT_USER);
  ASSERT_TRUE(key.IsOpen());
  EXPECT_EQ(key.m_strPath, kScratch);
  EXPECT_EQ(key.m_nValues, 1u);
  EXPECT_EQ(key.m_nSubKeys, 1u);
  EXPECT_EQ(key.m_cchMaxValueName, 4u);
  EXPECT_GE(key.m_cbMaxValueData, 11u);
  EXPECT_EQ(key.DataBufferSize(), key.m_cbMaxValueData + 1);
}

TEST(RegKey, AClosedKeyRefusesEverythingAndChangesNothing) {
  RegistrySandbox sandbox;
  RegKey missing(kScratch, HKEY_CURRENT_USER);
  EXPECT_EQ(missing.IsOpen(), nullptr);
  EXPECT_EQ(missing.DataBufferSize(), 257u);

  regtest::MakeKey(HKEY_CURRENT_USER, kScratch);
  RegKey parent(kScratch, HKEY_CURRENT_USER);
  HKEY none = parent.OpenSubKey("NoSuchSubKey");
  EXPECT_EQ(none, nullptr);
  RegKey wrapped(none);
  EXPECT_EQ(wrapped.IsOpen(), nullptr);
  EXPECT_EQ(wrapped.m_strPath, "");

  for (RegKey* k : {&missing, &wrapped}) {
    int value = 1;
    DWORD size = sizeof value;
    std::string name;
    EXPECT_FALSE(k->SetValue("X", REG_BINARY, &value, sizeof value));
    EXPECT_FALSE(k->QueryValue("X", &value, &size));
    EXPECT_FALSE(k->DeleteValue("X"));
    EXPECT_FALSE(k->DeleteSubKey("X"));
    EXPECT_EQ(k->OpenSubKey("X"), nullptr);
    EXPECT_FALSE(k->EnumKey(name));
    EXPECT_FALSE(k->EnumValue(name, nullptr, nullptr, nullptr));
  }
  EXPECT_FALSE(wrapped.Create());
  EXPECT_FALSE(regtest::KeyExists(HKEY_CURRENT_USER, kScratch + "\\X"));
}

TEST(RegKey, ASubKeyHandleIsOwnedByTheKeyThatWrapsIt) {
  RegistrySandbox sandbox;
  regtest::PutNumber(HKEY_CURRENT_USER, kScratch + "\\Sub", "N", 42);
  RegKey parent(kScratch, HKEY_CURRENT_USER);
  RegKey sub(parent.OpenSubKey("Sub"));
  ASSERT_TRUE(sub.IsOpen());
  EXPECT_EQ(sub.m_nValues, 1u);
  int value = 0;
  DWORD size = sizeof value;
  ASSERT_TRUE(sub.QueryValue("N", &value, &size));
  EXPECT_EQ(value, 42);
  EXPECT_EQ(size, 4u);
  // Create on a wrapped key keeps using it.
  EXPECT_TRUE(sub.Create());
  EXPECT_TRUE(sub.SetValue("M", REG_BINARY, &value, sizeof value));
  EXPECT_EQ(regtest::Number(HKEY_CURRENT_USER, kScratch + "\\Sub", "M"), 42);
}

TEST(RegKey, EmptyKeyEnumeratesNothingAndTheCursorStillMoves) {
  RegistrySandbox sandbox;
  regtest::MakeKey(HKEY_CURRENT_USER, kScratch);
  RegKey key(kScratch, HKEY_CURRENT_USER);
  std::string name = "unchanged";
  EXPECT_FALSE(key.EnumValue(name, nullptr, nullptr, nullptr));
  EXPECT_FALSE(key.EnumKey(name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_EQ(key.m_nValueIndex, 1);
  EXPECT_EQ(key.m_nSubKeyIndex, 1);
}

// The name buffer follows the snapshot but never goes below 19 characters: a
// value added after the key was opened, with a name up to 18 characters, is
// still returned; a longer one is not.
TEST(RegKey, ValueNameBufferHasAFloorOfNineteen) {
  RegistrySandbox sandbox;
  regtest::PutNumber(HKEY_CURRENT_USER, kScratch, "short", 1);
  RegKey key(kScratch, HKEY_CURRENT_USER);
  ASSERT_EQ(key.m_cchMaxValueName, 5u);
  const std::string name18(18, 'a');
  const std::string name19(19, 'b');
  regtest::PutNumber(HKEY_CURRENT_USER, kScratch, name18.c_str(), 2);
  regtest::PutNumber(HKEY_CURRENT_USER, kScratch, name19.c_str(), 3);

  // The registry lists values by name: the 18-character one, the
  // 19-character one, then "short".
  std::string name;
  int data = 0;
  DWORD size = sizeof data, type = 0;
  ASSERT_TRUE(key.EnumValue(name, &data, &size, &type));
  EXPECT_EQ(name, name18);
  EXPECT_EQ(data, 2);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  size = sizeof data;
  EXPECT_FALSE(key.EnumValue(name, &data, &size, &type));
  size = sizeof data;
  ASSERT_TRUE(key.EnumValue(name, &data, &size, &type));
  EXPECT_EQ(name, "short");
  EXPECT_EQ(data, 1);
  // A fresh snapshot sizes the buffer for the longest name.
  RegKey fresh(kScratch, HKEY_CURRENT_USER);
  EXPECT_EQ(AllValueNames(fresh), (std::vector<std::string>{name18, name19, "short"}));
}

TEST(RegKey, DeletingEveryValueWithTheStepBackRemovesThemAll) {
  RegistrySandbox sandbox;
  for (int i = 0; i < 7; ++i) regtest::PutNumber(HKEY_CURRENT_USER, kScratch, ("v" + std::to_string(i)).c_str(), i);
  RegKey key(kScratch, HKEY_CURRENT_USER);
  std::string name;
  int deleted = 0;
  while (key.EnumValue(name, nullptr, nullptr, nullptr)) {
    if (key.DeleteValue(name.c_str())) {
      --key.m_nValueIndex;
      ++deleted;
    }
  }
  EXPECT_EQ(deleted, 7);
  EXPECT_TRUE(regtest::Values(HKEY_CURRENT_USER, kScratch).empty());
}

TEST(RegKey, DeletingSubKeysWithTheStepBackRemovesThemWithTheirContents) {
  RegistrySandbox sandbox;
  for (int i = 0; i < 5; ++i) regtest::PutNumber(HKEY_CURRENT_USER, kScratch + "\\k" + std::to_string(i) + "\\deep", "x", i);
  RegKey key(kScratch, HKEY_CURRENT_USER);
  std::string name;
  std::vector<std::string> seen;
  while (key.EnumKey(name)) {
    seen.push_back(name);
    if (key.DeleteSubKey(name.c_str())) --key.m_nSubKeyIndex;
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"k0", "k1", "k2", "k3", "k4"}));
  EXPECT_TRUE(regtest::SubKeys(HKEY_CURRENT_USER, kScratch).empty());
}

TEST(RegKey, CreateBelowTheProductKeyMakesTheProductKeysUnderBothRoots) {
  RegistrySandbox sandbox;
  ASSERT_FALSE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kProductKeyPath));
  RegKey key(std::string(kProductKeyPath) + "\\Windows\\CusDir.0", HKEY_CURRENT_USER);
  ASSERT_FALSE(key.IsOpen());
  ASSERT_TRUE(key.Create());
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(regtest::KeyExists(HKEY_CURRENT_USER, std::string(kProductKeyPath) + "\\Windows\\CusDir.0"));
  EXPECT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kProductKeyPath));
  // Only the product key itself is made under the other root.
  EXPECT_TRUE(regtest::SubKeys(HKEY_LOCAL_MACHINE, kProductKeyPath).empty());

  // Create on an existing key opens it and keeps what it holds.
  regtest::PutNumber(HKEY_CURRENT_USER, kScratch, "keep", 9);
  RegKey existing(kScratch, HKEY_CURRENT_USER);
  ASSERT_TRUE(existing.Create());
  EXPECT_EQ(existing.m_nValues, 1u);
  EXPECT_EQ(regtest::Number(HKEY_CURRENT_USER, kScratch, "keep"), 9);
}

// A stale entry of a numbered list may be a registry link someone planted:
// removing it removes the link, never the key it leads to or what that holds.
TEST(RegKey, AStaleEntryThatIsALinkGoesAsALinkAndItsTargetStays) {
  RegistrySandbox sandbox;
  const std::string run = "Software\\Sandboxed\\Run";
  regtest::PutText(HKEY_CURRENT_USER, run, "Updater", "C:\\updater.exe");
  regtest::PutText(HKEY_CURRENT_USER, run + "\\Deep", "w", "2");
  regtest::PutText(HKEY_CURRENT_USER, kScratch + "\\Loc.0", "Dir", "C:\\kept");
  const std::string link = kScratch + "\\" + regseed::UniqueLinkName("Loc.");
  ASSERT_TRUE(regseed::MakeLink(HKEY_CURRENT_USER, link, regseed::KeyNameOf(HKEY_CURRENT_USER, run)));
  const auto before = regseed::Snapshot(run);
  RegKey list(kScratch, HKEY_CURRENT_USER);
  const bool rewritten = RewriteNumberedSubkeys(list, "Loc", 1, [](RegKey&, size_t) { return true; });
  regseed::DropLink(HKEY_CURRENT_USER, link);
  EXPECT_TRUE(rewritten);
  EXPECT_EQ(regseed::Snapshot(run), before);
  EXPECT_EQ(regtest::SubKeys(HKEY_CURRENT_USER, kScratch), std::vector<std::string>{"Loc.0"});
}

// The program's own keys are its bookkeeping: one that is a registry link,
// or lies past one, is as good as absent, so that dropping stale values or
// writing new ones never reaches the key the link leads to.
TEST(RegKey, TheProgramsOwnKeyIsNeverOpenedThroughALink) {
  RegistrySandbox sandbox;
  const std::string run = "Software\\Sandboxed\\Run";
  regtest::PutText(HKEY_CURRENT_USER, run, "Updater", "C:\\updater.exe");
  const std::string link = std::string(kProductKeyPath) + "\\" + regseed::UniqueLinkName("Held.");
  ASSERT_TRUE(regseed::MakeLink(HKEY_CURRENT_USER, link, regseed::KeyNameOf(HKEY_CURRENT_USER, run)));
  const auto before = regseed::Snapshot(run);
  for (const std::string& path : {link, link + "\\Below"}) {
    RegKey key(path, HKEY_CURRENT_USER);
    EXPECT_EQ(key.IsOpen(), nullptr) << path;
    EXPECT_FALSE(key.Create()) << path;
    key.DeleteValue("Updater");
    key.SetValue("C:\\x\\Cookies", REG_SZ, "Chrome", 7);
  }
  // Control: a key of someone else's is opened as the system opens it.
  EXPECT_NE(RegKey(run, HKEY_CURRENT_USER).IsOpen(), nullptr);
  regseed::DropLink(HKEY_CURRENT_USER, link);
  EXPECT_EQ(regseed::Snapshot(run), before);
}

// A window's stored placement comes back as stored; anything else under its
// name (another type, another size, a wrong length field) is no placement.
TEST(WindowPlacementSetting, StoresAndReadsBackOnlyAWholePlacement) {
  RegistrySandbox sandbox;
  const std::string path = "SOFTWARE\\Calderix\\Morvane\\Scratch Window";
  WINDOWPLACEMENT placement = {};
  EXPECT_FALSE(LoadWindowPlacement("Scratch Window", &placement)) << "nothing stored yet";
  WINDOWPLACEMENT stored = {};
  stored.length = sizeof stored;
  stored.showCmd = SW_SHOWMAXIMIZED;
  stored.rcNormalPosition = {10, 20, 810, 620};
  ASSERT_TRUE(SaveWindowPlacement("Scratch Window", stored));
  const regtest::Raw raw = regtest::Read(HKEY_CURRENT_USER, path, "Placement");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(raw.bytes.size(), sizeof stored);
  ASSERT_TRUE(LoadWindowPlacement("Scratch Window", &placement));
  EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
  EXPECT_EQ(placement.rcNormalPosition.right, 810);

  WINDOWPLACEMENT wrongLength = stored;
  wrongLength.length = 12;
  const struct {
    const char* what;
    DWORD type;
    std::string bytes;
  } notPlacements[] = {
      {"a text", REG_SZ, std::string(reinterpret_cast<const char*>(&stored), sizeof stored)},
      {"too short", REG_BINARY, std::string(reinterpret_cast<const char*>(&stored), sizeof stored - 4)},
      {"a wrong length field", REG_BINARY, std::string(reinterpret_cast<const char*>(&wrongLength), sizeof stored)},
  };
  for (const auto& c : notPlacements) {
    regtest::Put(HKEY_CURRENT_USER, path, "Placement", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
    placement = {};
    EXPECT_FALSE(LoadWindowPlacement("Scratch Window", &placement)) << c.what;
    EXPECT_EQ(placement.length, 0u) << c.what << ": left as it was";
  }
}
