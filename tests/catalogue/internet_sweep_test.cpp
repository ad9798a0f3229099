// SweepInternet end to end on the seeded traces: the shell-folder values and
// USERPROFILE point into a private folder, the hives are scratch keys, and a
// before/after picture (files with content hashes, both hives, the cache's
// entry list) shows that only the targets changed.
#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/key_security.h"
#include "engine/preview.h"
#include "engine/sweep_worker.h"
#include "internet_fixture.h"
#include "settings/reg_key.h"
#include "winlib/os_kind.h"
#include "support/snapshot.h"
#include "tools/seed/seed.h"

namespace {

const char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kFormGuid[] = "e161255a-37c3-11d2-bcaa-00c04fd929db";

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && ::lstrcmpiA(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}
std::string FileName(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// Every entry of the URL cache, as "CACHE\<url>" -> its type and local file.
void SnapshotCache(SnapshotMap& out) {
  std::vector<char> buffer(16384);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  DWORD size = static_cast<DWORD>(buffer.size());
  HANDLE find = ::FindFirstUrlCacheEntryA(nullptr, info, &size);
  if (find == nullptr) return;
  do {
    out[std::string("CACHE\\") + info->lpszSourceUrlName] =
        "entry " + std::to_string(info->CacheEntryType) + " " + (info->lpszLocalFileName ? info->lpszLocalFileName : "");
    size = static_cast<DWORD>(buffer.size());
  } while (::FindNextUrlCacheEntryA(find, info, &size));
  ::FindCloseUrlCache(find);
}

class InternetSweepTest : public InternetTest {
 protected:
  void SetUp() override {
    InternetTest::SetUp();
    m_savedOsKind = g_nOsKind;
    m_savedTargets = g_InternetSettings.m_nTargets;
    m_savedFriendly = g_InternetSettings.m_friendlyCookies;
    char profile[MAX_PATH] = {};
    ::GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    m_savedProfile = profile;

    m_root = m_temp.Path();
    const struct {
      const char* value;
      const char* folder;
    } places[] = {{"Cache", "Content"},  {"Cookies", "Cookies"},      {"History", "History"},
                  {"AppData", "Roaming"}, {"Local Settings", "Local"}};
    for (const auto& place : places) {
      const std::string folder = m_temp / place.folder;
      ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
      for (const char* key : {kUserShellFolders, kShellFolders}) {
        RegKey k(key, HKEY_CURRENT_USER);
        ASSERT_TRUE(k.Create());
        ASSERT_TRUE(k.SetValue(place.value, REG_SZ, folder.c_str(), static_cast<DWORD>(folder.size() + 1)));
      }
    }
    ASSERT_TRUE(::CreateDirectoryA((m_temp / "Profile").c_str(), nullptr));
    ::SetEnvironmentVariableA("USERPROFILE", (m_temp / "Profile").c_str());

    // The shell's own folders must follow the values, or the sweep would
    // reach the shared prefix's profile.
    char cookies[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, cookies, CSIDL_COOKIES, FALSE));
    ASSERT_EQ(std::string(cookies), m_temp / "Cookies");

    // The shell writes its default folders to the machine hive the first
    // time it is asked; ask now so that the pictures show only the sweep.
    for (int csidl = 0; csidl < 0x40; ++csidl) {
      char folder[MAX_PATH];
      ::SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE);
    }

    g_nOsKind = OS_WINXP;
    g_InternetSettings.m_nTargets = 0x7FF;
    ASSERT_TRUE(SeedInternetTraces());
    ASSERT_TRUE(GetCurrentUserSid(m_sid));
    m_sidKey = "Software\\Microsoft\\Protected Storage System Provider\\" + FormatSidString(m_sid.data());
    ASSERT_TRUE(SaveKeyDacl(HKEY_CURRENT_USER, m_sidKey, m_sidDaclBefore));
    m_friendly = m_temp / "Cookies\\tester@friend.example[1].txt";
  }

  void TearDown() override {
    SECURITY_DESCRIPTOR open;
    SecurityBlock acl;
    if (BuildOpenKeyDescriptor(m_sid.data(), &open, acl)) ApplyKeyDacl(HKEY_CURRENT_USER, m_sidKey, &open, true);
    // The friendly cookie's entry outlives the sweep on purpose.
    ::DeleteUrlCacheEntryA("Cookie:tester@friend.example/");
    ::SetEnvironmentVariableA("USERPROFILE", m_savedProfile.c_str());
    g_nOsKind = m_savedOsKind;
    g_InternetSettings.m_nTargets = m_savedTargets;
    g_InternetSettings.m_friendlyCookies = m_savedFriendly;
    InternetTest::TearDown();
  }

  SnapshotMap Picture() {
    SnapshotMap m;
    SnapshotFolder("T", m_root, m);
    SnapshotKey("HKCU", HKEY_CURRENT_USER, "Software", m);
    SnapshotKey("HKCU", HKEY_CURRENT_USER, "SOFTWARE", m);
    SnapshotKey("HKLM", HKEY_LOCAL_MACHINE, "SOFTWARE", m);
    SnapshotCache(m);
    return m;
  }

  // What the sweep is meant to remove or change.
  bool IsTarget(const std::string& name) const {
    if (StartsWith(name, "CACHE\\")) return name != "CACHE\\Cookie:tester@friend.example/";
    if (StartsWith(name, "T\\Content\\") || StartsWith(name, "T\\History\\")) return FileName(name) != "desktop.ini";
    if (StartsWith(name, "T\\Cookies\\"))
      return name.find("\\Low") == std::string::npos && !EndsWithNoCase(name, "\\index.dat") &&
             name != "T\\Cookies\\tester@friend.example[1].txt";
    if (StartsWith(name, "T\\Local\\Temp\\")) return true;
    if (StartsWith(name, "T\\Profile\\Local Settings\\Temp\\History\\History.")) return true;
    if (StartsWith(name, "T\\Local\\America Online 9.0\\organize\\")) {
      const std::string rest = name.substr(std::string("T\\Local\\America Online 9.0\\organize\\").size());
      return EndsWithNoCase(rest, ".ARL") || EndsWithNoCase(rest, ".AUT") ||
             (StartsWith(rest, "CACHE\\") && rest.find('\\', 6) == std::string::npos && rest != "CACHE\\sub");
    }
    if (StartsWith(name, "T\\Roaming\\Mozilla\\Firefox")) {
      // <browser>\profiles\<profile>\<file> or ...\Cache\<file>
      const size_t profiles = name.find("\\profiles\\") != std::string::npos ? name.find("\\profiles\\")
                                                                             : name.find("\\Profiles\\");
      if (profiles == std::string::npos) return false;
      std::string rest = name.substr(profiles + 10);
      rest = rest.substr(rest.find('\\') + 1);  // below the profile
      if (StartsWith(rest, "Cache\\")) return rest.find('\\', 6) == std::string::npos && rest != "Cache\\0F";
      for (const char* file : {"history.dat", "formhistory.dat", "cookies.txt", "downloads.rdf", "cert8.db",
                               "key3.db", "localstore.rdf"})
        if (::lstrcmpiA(rest.c_str(), file) == 0) return true;
      return false;
    }
    for (const char* hive : {"HKCU\\", "HKLM\\"}) {
      if (!StartsWith(name, hive)) continue;
      const std::string rest = name.substr(5);
      if (StartsWith(rest, "Microsoft\\Internet Explorer\\TypedURLs\\:url")) return true;
      if (StartsWith(rest, "Microsoft\\Internet Explorer\\IntelliForms")) return rest.find("\\:") != std::string::npos;
      if (rest == "Microsoft\\MSN Toolbar\\:SearchStrings") return true;
      if (StartsWith(rest, "Google\\NavClient\\1.1\\History\\:")) return rest.find("\\:(Default)") == std::string::npos;
      if (StartsWith(rest, "Microsoft\\Protected Storage System Provider\\") &&
          rest.find(std::string("\\Data\\") + kFormGuid) != std::string::npos)
        return true;
    }
    return false;
  }

  void ExpectOnlyTargetsChanged(const SnapshotMap& before, const SnapshotMap& after) {
    const SnapshotDiff diff = CompareSnapshots(before, after);
    const SnapshotDiff rest = Unexpected(diff, [this](const std::string& n) { return IsTarget(n); });
    EXPECT_TRUE(rest.Empty()) << rest.Describe();
    // And every target went.
    for (const auto& entry : before)
      if (IsTarget(entry.first) && after.count(entry.first) && entry.first.find("SearchStrings") == std::string::npos &&
          entry.second != "dir" && entry.second != "key")
        ADD_FAILURE() << "left: " << entry.first;
  }

  std::string m_root, m_sidKey, m_friendly, m_savedProfile;
  SecurityBlock m_sid, m_sidDaclBefore;
  StringPairList m_savedFriendly;
  int m_savedOsKind = 0, m_savedTargets = 0;
};

TEST_F(InternetSweepTest, SweepsTheSeededTracesAndNothingElse) {
  SetGeneralOption(GENERAL_DEEP_SWEEP, true);
  const SnapshotMap before = Picture();
  // A cookie the browser holds stays put; a content file in use is left for restart.
  const std::string lockedCookie = m_temp / "Cookies\\tester@tracker.example[1].txt";
  const std::string lockedContent = m_temp / "Content\\MORVANE1\\logo[1].gif";
  HANDLE cookieLock = ::CreateFileA(lockedCookie.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE contentLock = ::CreateFileA(lockedContent.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(cookieLock, INVALID_HANDLE_VALUE);
  ASSERT_NE(contentLock, INVALID_HANDLE_VALUE);
  SweepInternet(nullptr);
  ::CloseHandle(cookieLock);
  ::CloseHandle(contentLock);
  SnapshotMap after = Picture();
  // The locked files are still there; they are targets all the same.
  after.erase("T\\Cookies\\tester@tracker.example[1].txt");
  after.erase("T\\Content\\MORVANE1\\logo[1].gif");
  after.erase("T\\Content\\MORVANE1");
  ExpectOnlyTargetsChanged(before, after);
  if (::testing::Test::HasFailure())
    for (const std::string& line : m_log.LogLines()) std::printf("%s", line.c_str());

  // The friendly cookie survives the cache pass, the Cookies folder and the
  // two shell-folder rows; its copy under Local Settings\Temp does not.
  EXPECT_TRUE(FileExists(m_friendly));
  EXPECT_TRUE(after.count("CACHE\\Cookie:tester@friend.example/"));
  EXPECT_FALSE(FileExists(m_temp / "Local\\Temp\\Cookies\\tester@friend.example[1].txt"));
  EXPECT_TRUE(FileExists(m_temp / "Cookies\\index.dat"));
  const auto tracker = LinesWith("tester@tracker.example");
  ASSERT_EQ(tracker.size(), 1u) << "a locked cookie is left, not scheduled";
  EXPECT_EQ(tracker[0].rfind("   Not removed: ", 0), 0u) << tracker[0];
  const auto scheduled = LinesWith("(After Rebooting)");
  ASSERT_EQ(scheduled.size(), 1u);
  EXPECT_NE(scheduled[0].find(lockedContent), std::string::npos) << scheduled[0];

  EXPECT_EQ(LinesWith("Delete Value: url").size(), 3u) << "each typed URL on its own line";
  EXPECT_EQ(LinesWith("Start clean up auto complete password.").size(), 1u);
  EXPECT_EQ(LinesWith("Delete registry key: HKEY_CURRENT_USER\\" + m_sidKey + "\\Data\\" + kFormGuid).size(), 1u);
  SecurityBlock sidDaclAfter;
  ASSERT_TRUE(SaveKeyDacl(HKEY_CURRENT_USER, m_sidKey, sidDaclAfter));
  EXPECT_EQ(sidDaclAfter, m_sidDaclBefore) << "the SID key's access list is put back";
  EXPECT_TRUE(LinesWith("(Default)").empty());
}

TEST_F(InternetSweepTest, CountsItemsAndKilobytesWhereEachTargetSaysSo) {
  // Only the registry boxes: IntelliForms and the toolbars add items and no kilobytes.
  g_InternetSettings.m_nTargets = 0x08 | 0x20 | 0x100 | 0x200;
  SweepInternet(nullptr);
  // IntelliForms: 3 values; MSN: 1; Google: 3 per hive (the "(Default)"-named stays).
  EXPECT_EQ(m_log.m_nTotalItems, 10);
  EXPECT_EQ(m_log.m_fTotalKB, 0.0f);
  RegKey google("SOFTWARE\\Google\\NavClient\\1.1\\History", HKEY_CURRENT_USER);
  char data[64] = {};
  DWORD size = sizeof data;
  EXPECT_TRUE(google.QueryValue("(Default)", data, &size));
}

TEST_F(InternetSweepTest, LockedFirefoxHistoryIsScheduledWithDeepSweepOff) {
  SetGeneralOption(GENERAL_DEEP_SWEEP, false);
  g_InternetSettings.m_nTargets = 0x400;
  const std::string history = m_temp / "Roaming\\Mozilla\\Firefox\\Profiles\\k3x9.default\\History.dat";
  HANDLE lock = ::CreateFileA(history.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  SweepInternet(nullptr);
  ::CloseHandle(lock);
  const auto scheduled = LinesWith("(After Rebooting)");
  ASSERT_EQ(scheduled.size(), 1u);
  EXPECT_NE(scheduled[0].find(history), std::string::npos);
  EXPECT_FALSE(FileExists(m_temp / "Roaming\\Mozilla\\Firefox\\Profiles\\k3x9.default\\Cookies.txt"));
  EXPECT_FALSE(FileExists(m_temp / "Roaming\\Mozilla\\Firefox Nightly\\profiles\\n1ght.dev\\COOKIES.TXT"));
  EXPECT_TRUE(FileExists(m_temp / "Roaming\\Mozilla\\Firefox\\Profiles\\k3x9.default\\chrome\\cookies.txt"));
  EXPECT_TRUE(FileExists(m_temp / "Roaming\\Mozilla\\Firefox\\Profiles\\k3x9.default\\Cache\\0F\\inner"));
}

TEST_F(InternetSweepTest, PreviewListsWhatTheSweepRemovesAndChangesNothing) {
  const SnapshotMap before = Picture();
  std::vector<std::string> previewLines;
  {
    SweepWorker worker;
    worker.SetPreview(true);
    SweepInternet(&worker);
    previewLines = m_log.LogLines();  // before the worker's own farewell line
  }
  const SnapshotDiff diff = CompareSnapshots(before, Picture());
  EXPECT_TRUE(diff.Empty()) << diff.Describe();

  ProgressRecorder real;
  SweepInternet(nullptr);
  const auto realLines = real.LogLines();
  for (size_t i = 0; i < realLines.size() && i < previewLines.size(); ++i)
    ASSERT_EQ(realLines[i], previewLines[i]) << "line " << i;
  EXPECT_EQ(realLines.size(), previewLines.size()) << previewLines.back();
}

}  // namespace
