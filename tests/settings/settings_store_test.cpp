#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reg_helpers.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "settings/subkey_list.h"
#include "support/test_env.h"
#include "winlib/platform_calls.h"
#include "winlib/thread.h"

using regtest::Number;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;
const std::string kWin = kWindowsSettingsPath;
const std::string kNet = kInternetSettingsPath;

std::string LocationKey(int n) { return kWin + "\\CusDir." + std::to_string(n); }
std::string CookieKey(int n) { return kNet + "\\Cookie." + std::to_string(n); }

void StoreLocation(int n, const std::string& dir, const std::string& filter, int subInc) {
  regtest::PutText(kUser, LocationKey(n), "Dir", dir);
  regtest::PutText(kUser, LocationKey(n), "Flt", filter);
  regtest::PutNumber(kUser, LocationKey(n), "SubInc", subInc);
}

std::vector<CustomLocation> LoadLocations() {
  WindowsSettings windows;
  RegKey key(kWin, kUser);
  windows.Load(key);
  return windows.m_locations;
}

// Ends a rewrite once its new entries are written, as a process that dies there would.
class RewriteStopper {
 public:
  RewriteStopper() { g_pfnListRewriteCheckpoint = [] { return false; }; }
  ~RewriteStopper() { g_pfnListRewriteCheckpoint = nullptr; }
};

}  // namespace

// --- LoadFromRegistry --------------------------------------------------------

TEST(SettingsStore, FirstStartSeedsBothRootsWithTheDefaults) {
  RegistrySandbox sandbox;
  GeneralSettings general;
  WindowsSettings windows;
  InternetSettings internet;
  ApplicationSettings apps;
  EXPECT_TRUE(general.LoadFromRegistry(kGeneralSettingsPath));
  EXPECT_TRUE(apps.LoadFromRegistry(kApplicationSettingsPath));
  EXPECT_TRUE(windows.LoadFromRegistry(kWindowsSettingsPath));
  EXPECT_TRUE(internet.LoadFromRegistry(kInternetSettingsPath));
  for (HKEY root : {kMachine, kUser}) {
    SCOPED_TRACE(root == kUser ? "per-user" : "machine");
    EXPECT_EQ(Number(root, kGeneralSettingsPath, "Targets"), 31);
    EXPECT_EQ(Number(root, kGeneralSettingsPath, "TmSn"), 60);
    EXPECT_EQ(Number(root, kGeneralSettingsPath, "StTm"), 0);
    EXPECT_EQ(Number(root, kInternetSettingsPath, "Targets"), 24);
    EXPECT_EQ(Number(root, kInternetSettingsPath, "Browser"), 0);
    EXPECT_EQ(Number(root, kWindowsSettingsPath, "Targets"), 0);
    EXPECT_EQ(Number(root, kApplicationSettingsPath, "Targets"), 0);
    EXPECT_EQ(Number(root, kApplicationSettingsPath, "LsRn"), 0);
    // Exactly the layout's values (the registry lists them in its own order).
    EXPECT_EQ(regtest::Values(root, kGeneralSettingsPath),
              (std::vector<std::string>{"LsRn", "NotShowLogo", "StTm", "Targets", "TmSn"}));
    EXPECT_EQ(regtest::Values(root, kInternetSettingsPath), (std::vector<std::string>{"Browser", "LsRn", "Targets"}));
  }
  // No list was written: nothing below the group keys.
  EXPECT_TRUE(regtest::SubKeys(kUser, kWin).empty());
}

TEST(SettingsStore, MachineKeyAloneIsReadAndNoPerUserKeyIsMade) {
  RegistrySandbox sandbox;
  regtest::PutNumber(kMachine, kGeneralSettingsPath, "Targets", 0x05);
  regtest::PutNumber(kMachine, kGeneralSettingsPath, "TmSn", 7200);
  GeneralSettings general;
  EXPECT_FALSE(general.LoadFromRegistry(kGeneralSettingsPath));
  EXPECT_EQ(general.m_nTargets, 0x05);
  EXPECT_EQ(general.m_nTimerSeconds, 7200);
  EXPECT_EQ(general.m_bNotShowLogo, 0);  // absent: keeps its default
  EXPECT_FALSE(regtest::KeyExists(kUser, "SOFTWARE\\Calderix"));
  // Nothing was written to the machine key either.
  EXPECT_EQ(regtest::Values(kMachine, kGeneralSettingsPath), (std::vector<std::string>{"Targets", "TmSn"}));
}

TEST(SettingsStore, PerUserKeyWinsOverTheMachineKey) {
  RegistrySandbox sandbox;
  regtest::PutNumber(kMachine, kApplicationSettingsPath, "Targets", 0x7F);
  regtest::PutNumber(kUser, kApplicationSettingsPath, "Targets", 0x02);
  ApplicationSettings apps;
  EXPECT_TRUE(apps.LoadFromRegistry(kApplicationSettingsPath));
  EXPECT_EQ(apps.m_nTargets, 0x02);
}

TEST(SettingsStore, ALockHeldElsewhereMakesLoadAndSaveGiveUp) {
  RegistrySandbox sandbox;
  GeneralSettings general;
  ASSERT_TRUE(general.m_lock.Lock());
  struct Ctx {
    GeneralSettings* g;
    bool loaded, saved;
  } ctx{&general, true, true};
  Thread* t = Thread::Begin(
      [](void* p) -> unsigned {
        auto* c = static_cast<Ctx*>(p);
        c->loaded = c->g->LoadFromRegistry(kGeneralSettingsPath);
        c->saved = c->g->SaveToRegistry(kGeneralSettingsPath);
        return 0;
      },
      &ctx, false);
  ASSERT_TRUE(t->Wait(10000));
  delete t;
  general.m_lock.Unlock();
  EXPECT_FALSE(ctx.loaded);
  EXPECT_FALSE(ctx.saved);
  EXPECT_FALSE(regtest::KeyExists(kUser, kGeneralSettingsPath));
  EXPECT_FALSE(regtest::KeyExists(kMachine, kGeneralSettingsPath));
}

// --- Load ----------------------------------------------------------------------

TEST(SettingsStore, NumbersAreTheFirstFourBytesWhateverTheTypeOrCase) {
  RegistrySandbox sandbox;
  const std::string path = kGeneralSettingsPath;
  const DWORD dword = 0x0B;
  regtest::Put(kUser, path, "TARGETS", REG_DWORD, &dword, sizeof dword);
  const unsigned char eight[8] = {0x10, 0x0E, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  regtest::Put(kUser, path, "tmsn", REG_BINARY, eight, sizeof eight);  // 3600, the rest ignored
  regtest::Put(kUser, path, "StTm", REG_SZ, "\x05", 2);                // a text: its bytes still count
  const unsigned char one = 0x01;
  regtest::Put(kUser, path, "NotShowLogo", REG_BINARY, &one, 1);  // shorter than four bytes
  regtest::PutText(kUser, path, "Unrelated", "ignored");
  GeneralSettings general;
  RegKey key(path, kUser);
  general.Load(key);
  EXPECT_EQ(general.m_nTargets, 0x0B);
  EXPECT_EQ(general.m_nTimerSeconds, 3600);
  EXPECT_EQ(general.m_nSweepAt, 0x05);
  // Nothing of the 8-byte value read before it leaks into the upper bytes.
  EXPECT_EQ(general.m_bNotShowLogo, 1);
  EXPECT_EQ(general.m_tLastSweep, 0);  // absent
}

TEST(SettingsStore, LocationsAreReadInTheirNumberOrderAndIncompleteOnesHandled) {
  RegistrySandbox sandbox;
  for (int n = 0; n < 12; ++n) StoreLocation(n, "C:\\L" + std::to_string(n), "*.tmp", n % 2);
  // CusDir.3 without "Dir" is dropped; CusDir.5 without "Flt" and "SubInc" has neither.
  ::SHDeleteValueA(kUser, LocationKey(3).c_str(), "Dir");
  ::SHDeleteValueA(kUser, LocationKey(5).c_str(), "Flt");
  ::SHDeleteValueA(kUser, LocationKey(5).c_str(), "SubInc");
  regtest::PutText(kUser, kWin + "\\Other", "Dir", "C:\\NotALocation");

  std::vector<CustomLocation> locs = LoadLocations();
  ASSERT_EQ(locs.size(), 11u);
  std::vector<std::string> dirs;
  for (const auto& l : locs) dirs.push_back(l.m_strDir);
  EXPECT_EQ(dirs, (std::vector<std::string>{"C:\\L0", "C:\\L1", "C:\\L2", "C:\\L4", "C:\\L5", "C:\\L6", "C:\\L7",
                                            "C:\\L8", "C:\\L9", "C:\\L10", "C:\\L11"}));
  EXPECT_EQ(locs[1].m_strKeyName, "CusDir.1");
  EXPECT_EQ(locs[1].m_nSubInc, 1);
  EXPECT_EQ(locs[1].m_strDisplay, "C:\\L1: *.tmp: including subdirectories");
  EXPECT_EQ(locs[4].m_strFilter, "");
  EXPECT_EQ(locs[4].m_nSubInc, 0);
  EXPECT_EQ(locs[4].m_strDisplay, "C:\\L5: ");
}

TEST(SettingsStore, TextsFillingOrOverflowingTheirBuffersAreReadSafely) {
  RegistrySandbox sandbox;
  // A folder of exactly 1,024 bytes without a terminator (stored as binary,
  // the type is not checked) fills its buffer to the last byte; one longer
  // than the buffer counts as absent.
  const std::string full(1024, 'f');
  regtest::Put(kUser, LocationKey(0), "Dir", REG_BINARY, full.data(), 1024);
  regtest::PutText(kUser, LocationKey(1), "Dir", std::string(1500, 'x'));
  regtest::PutText(kUser, LocationKey(2), "Dir", "C:\\Ok");
  regtest::PutText(kUser, LocationKey(2), "Flt", std::string(300, '*'));  // too long: no filter, sweeps nothing
  std::vector<CustomLocation> locs = LoadLocations();
  ASSERT_EQ(locs.size(), 2u);
  EXPECT_EQ(locs[0].m_strDir, full);
  EXPECT_EQ(locs[1].m_strDir, "C:\\Ok");
  EXPECT_EQ(locs[1].m_strFilter, "");

  regtest::PutText(kUser, CookieKey(0), "Url", std::string(3000, 'u'));
  regtest::PutText(kUser, CookieKey(1), "Url", "kept.example");
  regtest::PutText(kUser, CookieKey(2), "Fl", "C:\\no-url.txt");
  InternetSettings internet;
  RegKey key(kNet, kUser);
  internet.Load(key);
  ASSERT_EQ(internet.m_friendlyCookies.size(), 1u);
  EXPECT_EQ(internet.m_friendlyCookies[0].first, "kept.example");
  EXPECT_EQ(internet.m_friendlyCookies[0].second, "");
}

// --- Save of the lists ---------------------------------------------------------

TEST(SettingsStore, AShorterListLeavesExactlyItsOwnSubkeys) {
  RegistrySandbox sandbox;
  for (int n = 0; n < 5; ++n) StoreLocation(n, "C:\\Old" + std::to_string(n), "*.old", 0);
  regtest::MakeKey(kUser, kWin + "\\cusdir.07");  // stray spelling: also a location subkey
  regtest::MakeKey(kUser, kWin + "\\Unrelated");
  WindowsSettings windows;
  windows.m_locations = {CustomLocation("C:\\A", "*.a", 1), CustomLocation("C:\\B", "", 0)};
  windows.m_bLocationsDirty = 1;
  ASSERT_TRUE(windows.SaveToRegistry(kWindowsSettingsPath));

  EXPECT_EQ(regtest::SubKeys(kUser, kWin), (std::vector<std::string>{"CusDir.0", "CusDir.1", "Unrelated"}));
  EXPECT_EQ(windows.m_bLocationsDirty, 0);
  EXPECT_EQ(windows.m_locations[1].m_strKeyName, LocationKey(1));
  EXPECT_EQ(regtest::Read(kUser, LocationKey(0), "Dir").type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(regtest::Text(kUser, LocationKey(0), "Dir"), "C:\\A");
  EXPECT_EQ(Number(kUser, LocationKey(0), "SubInc"), 1);
  EXPECT_EQ(regtest::Text(kUser, LocationKey(1), "Flt"), "");
  std::vector<CustomLocation> back = LoadLocations();
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].m_strDisplay, "C:\\A: *.a: including subdirectories");
  EXPECT_EQ(back[1].m_strDir, "C:\\B");
}

// A value write that fails at any step of an entry leaves no entry that
// pairs one location's folder with another's filter or subfolder flag.
const char* g_failingValue = nullptr;
bool FailOne(const char* value) { return std::string(value) != g_failingValue; }

TEST(SettingsStore, AFailedValueWriteNeverMixesTwoEntries) {
  for (const char* step : {"-Dir", "Flt", "SubInc", "Dir"}) {
    SCOPED_TRACE(step);
    RegistrySandbox sandbox;
    for (int n = 0; n < 2; ++n) StoreLocation(n, "C:\\Old" + std::to_string(n), "*.old", 0);
    WindowsSettings windows;
    windows.m_locations = {CustomLocation("C:\\New0", "*.new", 1), CustomLocation("C:\\New1", "*.new", 1)};
    windows.m_bLocationsDirty = 1;
    g_failingValue = step;
    g_pfnListValueWrite = &FailOne;
    windows.SaveToRegistry(kWindowsSettingsPath);
    g_pfnListValueWrite = nullptr;
    EXPECT_EQ(windows.m_bLocationsDirty, 1);
    // Each entry is whole, old or new; only a folder value that can never be
    // written leaves its entries unreadable (never mixed).
    EXPECT_EQ(LoadLocations().size(), std::string(step) == "Dir" ? 0u : 2u);
    for (const auto& loc : LoadLocations()) {
      const bool isOld = loc.m_strDir.compare(0, 6, "C:\\Old") == 0;
      EXPECT_EQ(loc.m_strFilter, isOld ? "*.old" : "*.new") << loc.m_strDir;
      EXPECT_EQ(loc.m_nSubInc, isOld ? 0 : 1) << loc.m_strDir;
    }
    ASSERT_TRUE(windows.SaveToRegistry(kWindowsSettingsPath));
    EXPECT_EQ(LoadLocations().size(), 2u);
  }
}

TEST(SettingsStore, AnInterruptedRewriteLeavesEveryEntryReadable) {
  RegistrySandbox sandbox;
  for (int n = 0; n < 5; ++n) StoreLocation(n, "C:\\Old" + std::to_string(n), "*.old", 0);
  WindowsSettings windows;
  windows.m_locations = {CustomLocation("C:\\New0", "*.n", 0), CustomLocation("C:\\New1", "*.n", 1)};
  windows.m_bLocationsDirty = 1;
  {
    RewriteStopper stop;
    windows.SaveToRegistry(kWindowsSettingsPath);
  }
  std::vector<CustomLocation> seen = LoadLocations();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].m_strDir, "C:\\New0");
  EXPECT_EQ(seen[1].m_strDir, "C:\\New1");
  EXPECT_EQ(seen[2].m_strDir, "C:\\Old2");
  EXPECT_EQ(seen[4].m_strDir, "C:\\Old4");
  // Still marked: the next save finishes the job.
  EXPECT_EQ(windows.m_bLocationsDirty, 1);
  ASSERT_TRUE(windows.SaveToRegistry(kWindowsSettingsPath));
  EXPECT_EQ(regtest::SubKeys(kUser, kWin), (std::vector<std::string>{"CusDir.0", "CusDir.1"}));

  // The cookie list is rewritten the same way.
  regtest::MakeKey(kUser, kNet);
  InternetSettings internet;
  internet.m_friendlyCookies = {{"a", "A"}, {"b", "B"}, {"c", "C"}};
  ASSERT_TRUE(internet.SaveFriendlyCookies());
  internet.m_friendlyCookies = {{"z", "Z"}};
  {
    RewriteStopper stop;
    EXPECT_FALSE(internet.SaveFriendlyCookies());
  }
  InternetSettings reread;
  RegKey key(kNet, kUser);
  reread.Load(key);
  EXPECT_EQ(reread.m_friendlyCookies, (StringPairList{{"z", "Z"}, {"b", "B"}, {"c", "C"}}));
}

TEST(SettingsStore, CleanLocationsAreNotRewritten) {
  RegistrySandbox sandbox;
  for (int n = 0; n < 3; ++n) StoreLocation(n, "C:\\Stored" + std::to_string(n), "*.s", 0);
  WindowsSettings windows;
  windows.m_nTargets = 0x41;
  windows.m_tLastSweep = 1234;
  windows.m_locations = {CustomLocation("C:\\InMemoryOnly", "*", 0)};
  ASSERT_TRUE(windows.SaveToRegistry(kWindowsSettingsPath));
  EXPECT_EQ(Number(kUser, kWin, "Targets"), 0x41);
  EXPECT_EQ(Number(kUser, kWin, "LsRn"), 1234);
  EXPECT_EQ(regtest::SubKeys(kUser, kWin).size(), 3u);
  EXPECT_EQ(regtest::Text(kUser, LocationKey(0), "Dir"), "C:\\Stored0");
}

TEST(SettingsStore, FriendlyCookiesNeedTheInternetKeyAndRoundTrip) {
  RegistrySandbox sandbox;
  InternetSettings internet;
  internet.m_friendlyCookies = {{"one.example", "C:\\c\\one.txt"}, {"two.example", ""}};
  EXPECT_FALSE(internet.SaveFriendlyCookies());  // no Internet key yet: nothing written
  EXPECT_FALSE(regtest::KeyExists(kUser, kNet));

  ASSERT_TRUE(internet.SaveToRegistry(kInternetSettingsPath));
  ASSERT_TRUE(internet.SaveFriendlyCookies());
  EXPECT_EQ(regtest::SubKeys(kUser, kNet), (std::vector<std::string>{"Cookie.0", "Cookie.1"}));
  EXPECT_EQ(regtest::Text(kUser, CookieKey(0), "Fl"), "C:\\c\\one.txt");
  InternetSettings reread;
  EXPECT_TRUE(reread.LoadFromRegistry(kInternetSettingsPath));
  EXPECT_EQ(reread.m_friendlyCookies, internet.m_friendlyCookies);
  EXPECT_EQ(reread.m_nTargets, 24);

  internet.m_friendlyCookies.clear();
  ASSERT_TRUE(internet.SaveFriendlyCookies());
  EXPECT_TRUE(regtest::SubKeys(kUser, kNet).empty());
}

// --- Auto-start ----------------------------------------------------------------

namespace {
struct Box {
  std::string text, caption;
  UINT type;
};
std::vector<Box> g_boxes;
int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  g_boxes.push_back({text, caption, type});
  return IDOK;
}

class AutoStart : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_platform.MessageBoxA = &RecordBox;
  }
  void TearDown() override { ResetPlatformCalls(); }
  std::vector<std::string> Log() { return m_rec.LogLines(); }

  RegistrySandbox m_sandbox;
  ProgressRecorder m_rec;
  GeneralSettings m_general;
};
}  // namespace

TEST_F(AutoStart, OnWritesTheCommandLineAndLogsIt) {
  regtest::MakeKey(kUser, kRunKeyPath);
  regtest::PutText(kUser, kRunKeyPath, "Morvane.exe", "old");
  m_general.m_nTargets |= GENERAL_AUTO_START;
  EXPECT_STREQ(m_general.UpdateAutoStart("\"C:\\Tools\\Morvane.exe\""), "Setup running registry");
  EXPECT_EQ(regtest::Read(kUser, kRunKeyPath, "Morvane.exe").type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(regtest::Text(kUser, kRunKeyPath, "Morvane.exe"), "\"C:\\Tools\\Morvane.exe\"");
  EXPECT_TRUE(Log().empty()) << "the settings hand the line to their caller";
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(AutoStart, OffRemovesTheValueAndLogsOnlyWhenThereWasOne) {
  regtest::PutText(kUser, kRunKeyPath, "Morvane.exe", "x");
  regtest::PutText(kUser, kRunKeyPath, "Other.exe", "keep");
  m_general.m_nTargets &= ~GENERAL_AUTO_START;
  EXPECT_STREQ(m_general.UpdateAutoStart("ignored"), "Removed running registry");
  EXPECT_FALSE(regtest::Read(kUser, kRunKeyPath, "Morvane.exe").found);
  EXPECT_TRUE(regtest::Read(kUser, kRunKeyPath, "Other.exe").found);

  EXPECT_EQ(m_general.UpdateAutoStart("ignored"), nullptr);  // nothing left to remove
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(AutoStart, AMissingRunKeyIsMadeWhenWantedAndIgnoredWhenNot) {
  m_general.m_nTargets &= ~GENERAL_AUTO_START;
  EXPECT_EQ(m_general.UpdateAutoStart("Morvane.exe"), nullptr);
  EXPECT_FALSE(regtest::KeyExists(kUser, kRunKeyPath));
  EXPECT_TRUE(g_boxes.empty());

  m_general.m_nTargets |= GENERAL_AUTO_START;
  EXPECT_STREQ(m_general.UpdateAutoStart("Morvane.exe /x"), "Setup running registry");
  EXPECT_EQ(regtest::Text(kUser, kRunKeyPath, "Morvane.exe"), "Morvane.exe /x");
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(AutoStart, ARunKeyThatCannotBeMadeIsReportedToTheUser) {
  // A volatile parent refuses lasting children: the Run key cannot be created.
  regtest::MakeKey(kUser, "Software\\Microsoft\\Windows");
  HKEY parent = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(kUser, "Software\\Microsoft\\Windows\\CurrentVersion", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &parent, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(parent);
  m_general.m_nTargets |= GENERAL_AUTO_START;
  EXPECT_EQ(m_general.UpdateAutoStart("Morvane.exe"), nullptr);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Cannot find registry to register program.");
  EXPECT_EQ(g_boxes[0].caption, "Morvane");
  EXPECT_EQ(g_boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(Log().empty());
}
