// Browser databases judged by what they hold: newer versions of the right
// shape are cleaned and what their unknown tables refer to stays; refused and
// held files stay byte for byte and count as not removed. Site icons, one
// entry per browser, and one line per site.
#include <windows.h>

#include <gtest/gtest.h>

#include "db_fixture.h"
#include "engine/outcome_ledger.h"
#include "settings/rule_choices.h"

namespace {

using Strings = std::vector<std::string>;

// places.sqlite of a Firefox newer than any tested: version raised, and two
// tables of its own that refer to places, one by a declared key and one by a
// column name only.
TEST_F(BrowserDbTest, NewerFirefoxIsCleanedAndKeepsThePlacesItsNewTablesReferTo) {
  ASSERT_TRUE(CreatePlacesDatabase(Places(), kNewestTestedPlacesSchema + 5));
  ASSERT_TRUE(CreateFaviconsDatabase(Favicons()));
  SqliteDb places;
  ASSERT_TRUE(places.OpenForWriting(Places()));
  const int64_t pinned = AddPlace(places, "https://pinned.example/", "Pinned", 2);
  const int64_t noted = AddPlace(places, "https://noted.example/", "Noted", 1);
  const int64_t gone = AddPlace(places, "https://gone.example/", "Gone", 4);
  ASSERT_TRUE(pinned && noted && gone);
  ASSERT_TRUE(places.Exec(
      "CREATE TABLE moz_future_pins (id INTEGER PRIMARY KEY, pinned_place_id INTEGER);"
      "CREATE TABLE moz_future_notes (note TEXT, about INTEGER REFERENCES moz_places(id));"
      "INSERT INTO moz_future_pins (pinned_place_id) VALUES (" + std::to_string(pinned) + ");"
      "INSERT INTO moz_future_notes VALUES ('later', " + std::to_string(noted) + ");"));
  places.Close();

  int count = 0;
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", &count, nullptr), DbSweep::kCleaned);
  EXPECT_EQ(Texts(Places(), "SELECT url FROM moz_places ORDER BY url"),
            (Strings{"https://noted.example/", "https://pinned.example/"}));
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_historyvisits"), 0);
  // The unknown tables are never written.
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_future_pins"), 1);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_future_notes"), 1);
  EXPECT_EQ(LinesWith("Remove history: gone.example, 4 visit(s), 1 page(s)").size(), 1u);
}

// Firefox 153's record of new-tab shortcuts shown and clicked is history: it
// goes with the visits, and keeps no page from going.
TEST_F(BrowserDbTest, NewTabShortcutInteractionsGoWithTheHistoryTheyReferTo) {
  BuildProfile();
  SqliteDb places;
  ASSERT_TRUE(places.OpenForWriting(Places()));
  const int64_t shortcut = AddPlace(places, "https://tile.example/", "Tile", 3);
  ASSERT_TRUE(shortcut);
  ASSERT_TRUE(places.Exec(
      // As Firefox 153 makes it.
      "CREATE TABLE moz_newtab_shortcuts_interaction (   id INTEGER PRIMARY KEY,   place_id INTEGER NOT NULL "
      "REFERENCES moz_places(id) ON DELETE CASCADE,   event_type INTEGER NOT NULL,   timestamp_s INTEGER NOT NULL,   "
      "pinned INTEGER NOT NULL CHECK (pinned IN (0, 1)),   tile_position INTEGER NOT NULL);"
      "CREATE TABLE moz_newtab_story_click (   feature TEXT NOT NULL,   timestamp_s INTEGER NOT NULL,   "
      "card_format_enum INTEGER NOT NULL,   position INTEGER NOT NULL,   section_position INTEGER NOT NULL,   "
      "feature_value REAL NOT NULL DEFAULT 1 );"
      "INSERT INTO moz_newtab_story_click VALUES ('sports', 5, 1, 2, 0, 1);"
      "INSERT INTO moz_newtab_shortcuts_interaction (place_id, event_type, timestamp_s, pinned, tile_position) "
      "VALUES (" + std::to_string(shortcut) + ", 0, 1, 0, 3), (" + std::to_string(shortcut) + ", 1, 2, 0, 3);"));
  places.Close();
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", nullptr, nullptr), DbSweep::kCleaned);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_newtab_shortcuts_interaction"), 0);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_newtab_story_click"), 0);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_places WHERE url = 'https://tile.example/'"), 0);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_origins WHERE host = 'tile.example'"), 0);
  EXPECT_EQ(LinesWith("Remove history: tile.example, 3 visit(s), 1 page(s)").size(), 1u);
  EXPECT_TRUE(LinesWith("Kept").empty());
}

// A table of a newer Firefox may refer to a page, a visit or a site: each
// stays with what it needs, the log names the table and what it kept, and
// the scores worked out from visits are reset on what stays.
TEST_F(BrowserDbTest, UnknownTablesKeepThePagesVisitsAndSitesTheyReferTo) {
  struct Case {
    const char* name;
    const char* create;     // the unknown table, referring to what :id names
    const char* referred;   // "place", "visit" or "origin"
    std::vector<const char*> keptUrls;
    int64_t keptVisits;
    const char* line;
  };
  const Case cases[] = {
      {"page by name", "CREATE TABLE moz_future (id INTEGER PRIMARY KEY, place_id INTEGER)", "place",
       {"https://kept.example/"}, 0, "Kept 1 page(s) that the table moz_future refers to"},
      {"visit by name", "CREATE TABLE moz_future_visits (id INTEGER PRIMARY KEY, source_visit_id INTEGER)", "visit",
       {"https://kept.example/"}, 1, "Kept 1 visit(s) that the table moz_future_visits refers to"},
      {"visit by key", "CREATE TABLE moz_later (v INTEGER REFERENCES moz_historyvisits(id))", "visit",
       {"https://kept.example/"}, 1, "Kept 1 visit(s) that the table moz_later refers to"},
      {"site by name", "CREATE TABLE moz_future_sites (id INTEGER PRIMARY KEY, origin_id INTEGER)", "origin", {}, 0,
       "Kept 1 site(s) that the table moz_future_sites refers to"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::DeleteFileA(Places().c_str());
    ::DeleteFileA(Favicons().c_str());
    ASSERT_TRUE(CreatePlacesDatabase(Places()));
    ASSERT_TRUE(CreateFaviconsDatabase(Favicons()));
    SqliteDb places;
    ASSERT_TRUE(places.OpenForWriting(Places()));
    const int64_t kept = AddPlace(places, "https://kept.example/", "Kept", 2);
    ASSERT_TRUE(AddPlace(places, "https://gone.example/", "Gone", 2));
    ASSERT_TRUE(places.Exec("UPDATE moz_places SET alt_frecency = 500, recalc_alt_frecency = 0;"
                            "UPDATE moz_origins SET alt_frecency = 500, recalc_alt_frecency = 0;"));
    const std::string referred = std::string(c.referred) == "place"   ? std::to_string(kept)
                                 : std::string(c.referred) == "visit" ? "(SELECT min(id) FROM moz_historyvisits WHERE place_id = " + std::to_string(kept) + ")"
                                 : "(SELECT origin_id FROM moz_places WHERE id = " + std::to_string(kept) + ")";
    std::string table = c.create;
    table = table.substr(13, table.find(' ', 13) - 13);
    ASSERT_TRUE(places.Exec(std::string(c.create) + ";INSERT INTO " + table + " SELECT " +
                            (table == "moz_later" ? "" : "NULL, ") + referred + ";"));
    places.Close();

    EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", nullptr, nullptr), DbSweep::kCleaned);
    Strings urls;
    for (const char* url : c.keptUrls) urls.push_back(url);
    EXPECT_EQ(Texts(Places(), "SELECT url FROM moz_places ORDER BY url"), urls);
    EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_historyvisits"), c.keptVisits);
    // The site the table refers to stays, page or no page; the other goes.
    const bool keptSite = std::string(c.referred) == "origin" || !c.keptUrls.empty();
    EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_origins WHERE host = 'kept.example'"), keptSite ? 1 : 0);
    EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_origins WHERE host = 'gone.example'"), 0);
    EXPECT_EQ(LinesWith(c.line).size(), 1u);
    EXPECT_EQ(Count(Places(), "SELECT count(*) FROM " + table), 1) << "never written";
    EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_places WHERE alt_frecency IS NOT NULL OR recalc_alt_frecency = 0"), 0);
    EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_origins WHERE alt_frecency IS NOT NULL OR recalc_alt_frecency = 0"), 0);
  }
}

// A browser killed while writing leaves a -wal full of pages. A file refused
// must keep it as it is: checkpointing it in, or deleting it, changes data
// the browser has not yet made its own.
TEST_F(BrowserDbTest, RefusedDatabaseKeepsAFullWalByteForByte) {
  const std::string staging = m_temp / "staging.sqlite";
  ASSERT_TRUE(CreatePlacesDatabase(staging, kOldestPlacesSchema - 10));
  SqliteDb browser;
  ASSERT_TRUE(browser.OpenForWriting(staging));
  ASSERT_TRUE(browser.Exec("PRAGMA wal_autocheckpoint = 0"));
  ASSERT_NE(AddPlace(browser, "https://news.example/", "News", 3), 0);
  // The files as the killed browser left them: copied while it holds them.
  for (const char* suffix : {"", "-wal"})
    ASSERT_TRUE(WriteFileBytes(Places() + suffix, ReadFileBytes(staging + suffix)));
  browser.Close();
  ASSERT_GT(ReadFileBytes(Places() + "-wal").size(), 0u);
  const FilePicture db = PictureOf(Places()), wal = PictureOf(Places() + "-wal");
  ResetOutcomes();
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", nullptr, nullptr), DbSweep::kRefused);
  EXPECT_EQ(PictureOf(Places()), db);
  EXPECT_EQ(PictureOf(Places() + "-wal"), wal);
  EXPECT_EQ(::GetFileAttributesA((Places() + "-shm").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(NotRemovedCount(), 1);
}

// Keeps the records of the outcomes that count as not removed.
class LeftRecorder : public OutcomeSink {
 public:
  void Record(const OutcomeRecord& r) override {
    if (OutcomeNotRemoved(r.outcome)) left.push_back({r.entry, r.outcome, r.item});
  }
  struct Left {
    std::string entry;
    Outcome outcome;
    std::string item;
  };
  std::vector<Left> left;
};

TEST_F(BrowserDbTest, HeldAndRefusedDatabasesCountAsNotRemovedUnderTheirBrowsersEntries) {
  BuildCookies();
  g_InternetSettings.m_friendlyHosts = {"friend.example"};
  ASSERT_TRUE(WriteFileBytes(FirefoxCookies(), "not a database"));
  ResetOutcomes();
  LeftRecorder recorder;
  AttachOutcomeSink(&recorder);
  {
    SqliteDb runningChrome;
    ASSERT_TRUE(runningChrome.OpenForWriting(ChromeCookies()));
    ASSERT_GE(runningChrome.QueryInt("SELECT count(*) FROM cookies"), 0);
    CleanBrowserCookies(nullptr, nullptr, nullptr);
  }
  DetachOutcomeSink(&recorder);
  EXPECT_EQ(NotRemovedCount(), 2);
  ASSERT_EQ(recorder.left.size(), 2u);
  EXPECT_EQ(recorder.left[0].entry, "Google Chrome cookies (friendly sites kept)");
  EXPECT_EQ(recorder.left[0].outcome, Outcome::kHeld);
  EXPECT_EQ(recorder.left[0].item, ChromeCookies());
  EXPECT_EQ(recorder.left[1].entry, "Firefox cookies (friendly sites kept)");
  EXPECT_EQ(recorder.left[1].outcome, Outcome::kRefused);
}

// --- Icons ------------------------------------------------------------------------

TEST_F(BrowserDbTest, FirefoxKeepsTheRootIconsOfTheSitesOfKeptPages) {
  BuildProfile();
  {
    SqliteDb favicons;
    ASSERT_TRUE(favicons.OpenForWriting(Favicons()));
    // docs.example is bookmarked, news.example only visited; a port is part
    // of a site's own icon address.
    for (const char* root : {"https://docs.example/favicon.ico", "https://news.example/favicon.ico",
                             "https://docs.example:8443/favicon.ico"})
      ASSERT_TRUE(AddRootIcon(favicons, root));
  }
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", nullptr, nullptr), DbSweep::kCleaned);
  EXPECT_EQ(Texts(Favicons(), "SELECT icon_url FROM moz_icons ORDER BY icon_url"),
            (Strings{"https://docs.example/favicon.ico", "https://docs.example/manual#icon",
                     "https://mail.example/#icon"}));
}

class ChromiumIconsTest : public BrowserDbTest {
 protected:
  std::string ChromeFavicons() const { return m_chrome + "\\Favicons"; }
  std::string Bookmarks() const { return m_chrome + "\\Bookmarks"; }

  void BuildIcons() {
    ASSERT_TRUE(CreateChromiumFavicons(ChromeFavicons()));
    SqliteDb db;
    ASSERT_TRUE(db.OpenForWriting(ChromeFavicons()));
    ASSERT_TRUE(AddChromiumIcon(db, "https://docs.example/manual", "https://docs.example/favicon.ico"));
    // One icon shared by a bookmarked and a visited page stays for the first.
    ASSERT_TRUE(AddChromiumIcon(db, "https://docs.example/other", "https://docs.example/favicon.ico"));
    ASSERT_TRUE(AddChromiumIcon(db, "https://news.example/today", "https://news.example/favicon.ico"));
    ASSERT_TRUE(AddChromiumIcon(db, "https://shop.example/cart", "https://shop.example/icon.png"));
  }
};

TEST_F(ChromiumIconsTest, OnlyBookmarkedPagesKeepTheirIcons) {
  BuildIcons();
  // A title that holds "url" and an address in another key are no bookmark.
  ASSERT_TRUE(WriteFileBytes(Bookmarks(), R"({"checksum": "x", "roots": {"bookmark_bar": {"children": [
      {"name": "the \"url\": \"https://shop.example/cart\"", "type": "url", "url": "https://docs.example/manual"},
      {"name": "folder", "type": "folder", "children": [], "meta_info": {"last_visited": "https://news.example/today"}}
    ], "name": "Bookmarks bar", "type": "folder"}}, "version": 1})"));
  int count = 0;
  EXPECT_EQ(CleanChromiumIcons(m_chrome, "Chrome", &count, nullptr), DbSweep::kCleaned);
  EXPECT_EQ(Texts(ChromeFavicons(), "SELECT page_url FROM icon_mapping"), Strings{"https://docs.example/manual"});
  EXPECT_EQ(Texts(ChromeFavicons(), "SELECT url FROM favicons"), Strings{"https://docs.example/favicon.ico"});
  EXPECT_EQ(Count(ChromeFavicons(), "SELECT count(*) FROM favicon_bitmaps"), 1);
  EXPECT_EQ(LinesWith("Remove icons: 3 page(s), 2 icon(s) (Chrome, Default).").size(), 1u);
  EXPECT_EQ(count, 1);
}

TEST_F(ChromiumIconsTest, WithoutReadableBookmarksNothingIsTouched) {
  BuildIcons();
  ASSERT_TRUE(WriteFileBytes(Bookmarks(), R"({"roots": {"bookmark_bar": {"url": "https://docs.example/manual")"));
  const FilePicture before = PictureOf(ChromeFavicons());
  ResetOutcomes();
  EXPECT_EQ(CleanChromiumIcons(m_chrome, "Chrome", nullptr, nullptr), DbSweep::kRefused);
  EXPECT_EQ(PictureOf(ChromeFavicons()), before);
  EXPECT_EQ(LinesWith("Bookmarks file cannot be read").size(), 1u);
  EXPECT_EQ(NotRemovedCount(), 1);
  // No Bookmarks file at all: no page is bookmarked.
  ASSERT_TRUE(::DeleteFileA(Bookmarks().c_str()));
  EXPECT_EQ(CleanChromiumIcons(m_chrome, "Chrome", nullptr, nullptr), DbSweep::kCleaned);
  EXPECT_EQ(Count(ChromeFavicons(), "SELECT count(*) FROM favicons"), 0);
}

// Moves a file's last-write time back by the given seconds.
static bool AgeFile(const std::string& path, int seconds) {
  HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME written{};
  bool ok = ::GetFileTime(h, nullptr, nullptr, &written) != FALSE;
  ULARGE_INTEGER t{};
  t.LowPart = written.dwLowDateTime;
  t.HighPart = written.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ULL;
  written.dwLowDateTime = t.LowPart;
  written.dwHighDateTime = t.HighPart;
  ok = ok && ::SetFileTime(h, nullptr, nullptr, &written) != FALSE;
  ::CloseHandle(h);
  return ok;
}

TEST_F(ChromiumIconsTest, BookmarksAreReadWhereverTheBrowserKeepsThemAndEncryptedOnesAloneRefuse) {
  const std::string docs = R"({"roots": {"bookmark_bar": {"children": [{"type": "url", "url": "https://docs.example/manual"}]}}})";
  const std::string news = R"({"roots": {"other": {"children": [{"type": "url", "url": "https://news.example/today"}]}}})";
  struct File {
    const char* name;
    std::string bytes;
    int age;  // seconds before the others were written
  };
  struct Case {
    const char* name;
    std::vector<File> files;  // in the profile
    DbSweep result;
    Strings keptPages;  // empty with a refusal: nothing touched
  };
  const std::string secret = "\x01\x02secret";
  const Case cases[] = {
      {"local only", {{"Bookmarks", docs, 0}}, DbSweep::kCleaned, {"https://docs.example/manual"}},
      {"account only", {{"AccountBookmarks", news, 0}}, DbSweep::kCleaned, {"https://news.example/today"}},
      {"both", {{"Bookmarks", docs, 0}, {"AccountBookmarks", news, 0}}, DbSweep::kCleaned,
       {"https://docs.example/manual", "https://news.example/today"}},
      {"plain beside encrypted", {{"Bookmarks", docs, 0}, {"EncryptedBookmarks2", secret, 0}}, DbSweep::kCleaned,
       {"https://docs.example/manual"}},
      {"plain written before encrypted, as Chromium does", {{"Bookmarks", docs, 3600}, {"EncryptedBookmarks2", secret, 0}},
       DbSweep::kCleaned, {"https://docs.example/manual"}},
      {"both pairs plain beside encrypted",
       {{"Bookmarks", docs, 0}, {"EncryptedBookmarks2", secret, 0}, {"AccountBookmarks", news, 0},
        {"EncryptedAccountBookmarks", secret, 0}},
       DbSweep::kCleaned, {"https://docs.example/manual", "https://news.example/today"}},
      {"encrypted only", {{"EncryptedBookmarks2", secret, 0}}, DbSweep::kRefused, {}},
      {"encrypted account only", {{"EncryptedAccountBookmarks", "\x01", 0}}, DbSweep::kRefused, {}},
      // Each pair on its own: a plain file of the other pair does not stand
      // for the bookmarks only kept encrypted.
      {"local encrypted, account plain", {{"EncryptedBookmarks2", secret, 0}, {"AccountBookmarks", news, 0}},
       DbSweep::kRefused, {}},
      {"local plain, account encrypted", {{"Bookmarks", docs, 0}, {"EncryptedAccountBookmarks2", secret, 0}},
       DbSweep::kRefused, {}},
      {"account file unreadable", {{"Bookmarks", docs, 0}, {"AccountBookmarks", "{\"roots\": ", 0}}, DbSweep::kRefused,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : {"Bookmarks", "AccountBookmarks", "EncryptedBookmarks2", "EncryptedAccountBookmarks",
                             "EncryptedAccountBookmarks2"})
      ::DeleteFileA((m_chrome + "\\" + name).c_str());
    ::DeleteFileA(ChromeFavicons().c_str());
    BuildIcons();
    for (const File& file : c.files) {
      ASSERT_TRUE(WriteFileBytes(m_chrome + "\\" + file.name, file.bytes));
      if (file.age) {
        ASSERT_TRUE(AgeFile(m_chrome + "\\" + file.name, file.age));
      }
    }
    const FilePicture before = PictureOf(ChromeFavicons());
    ResetOutcomes();
    EXPECT_EQ(CleanChromiumIcons(m_chrome, "Chrome", nullptr, nullptr), c.result);
    if (c.result == DbSweep::kRefused) {
      EXPECT_EQ(PictureOf(ChromeFavicons()), before);
      EXPECT_EQ(NotRemovedCount(), 1);
    } else {
      EXPECT_EQ(Texts(ChromeFavicons(), "SELECT page_url FROM icon_mapping ORDER BY page_url"), c.keptPages);
    }
  }
  EXPECT_EQ(LinesWith("keeps its Bookmarks only in encrypted files").size(), 2u);
  EXPECT_EQ(LinesWith("keeps its AccountBookmarks only in encrypted files").size(), 2u);
  EXPECT_EQ(LinesWith("AccountBookmarks file cannot be read").size(), 1u);
}

// --- One entry per browser --------------------------------------------------------

class BrowserEntriesTest : public BrowserDbTest {
 protected:
  // A Cookies database with one tracker cookie in each Chromium browser.
  void BuildEveryBrowser() {
    for (const char* root : {"Google\\Chrome", "Microsoft\\Edge", "BraveSoftware\\Brave-Browser", "Vivaldi"}) {
      const std::string folder = m_temp / (std::string("Local\\") + root + "\\User Data\\Default\\Network");
      MakeFolders(folder);
      ASSERT_TRUE(CreateChromiumCookies(folder + "\\Cookies"));
      SqliteDb db;
      ASSERT_TRUE(db.OpenForWriting(folder + "\\Cookies"));
      ASSERT_TRUE(AddChromiumCookie(db, ".tracker.example", "a"));
    }
    g_InternetSettings.m_friendlyHosts = {"friend.example"};
  }
  Strings Swept() {
    CleanBrowserCookies(nullptr, nullptr, nullptr);
    Strings out;
    for (const char* browser : {"Chrome", "Edge", "Brave", "Vivaldi"})
      if (!LinesWith(std::string("Remove cookies: .tracker.example, 1 cookie(s) (") + browser + ",").empty()) out.push_back(browser);
    return out;
  }
};

TEST_F(BrowserEntriesTest, EachBrowserFollowsItsOwnEntry) {
  BuildEveryBrowser();
  ASSERT_TRUE(StoreRuleChoices({{"Brave cookies (friendly sites kept)", false}}));
  EXPECT_EQ(Swept(), (Strings{"Chrome", "Edge", "Vivaldi"}));
}

TEST_F(BrowserEntriesTest, TheFormerChromeAndEdgeChoiceHoldsForBothAndNoOther) {
  BuildEveryBrowser();
  RegKey rules(kRulesSettingsPath, HKEY_CURRENT_USER);
  ASSERT_TRUE(rules.Create());
  const DWORD off = 0, on = 1;
  ASSERT_TRUE(rules.SetValue("Chrome and Edge cookies (friendly sites kept)", REG_DWORD, &off, sizeof off));
  // A choice under the new name wins over the former one.
  ASSERT_TRUE(rules.SetValue("Microsoft Edge cookies (friendly sites kept)", REG_DWORD, &on, sizeof on));
  EXPECT_EQ(Swept(), (Strings{"Edge", "Brave", "Vivaldi"}));
}

TEST_F(BrowserEntriesTest, APolicyOnTheFormerEntryFixesBothNewOnes) {
  RegKey policy("SOFTWARE\\Policies\\Calderix\\Morvane\\Rules", HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(policy.Create());
  const DWORD off = 0;
  ASSERT_TRUE(policy.SetValue("Chrome and Edge cookies (friendly sites kept)", REG_DWORD, &off, sizeof off));
  ASSERT_TRUE(StoreRuleChoices({{"Google Chrome cookies (friendly sites kept)", true}}));
  for (const char* entry : {"Google Chrome cookies (friendly sites kept)", "Microsoft Edge cookies (friendly sites kept)"}) {
    EXPECT_TRUE(RuleChoiceFixed(entry)) << entry;
    EXPECT_FALSE(RuleChoiceOn(entry, true)) << entry;
  }
  EXPECT_FALSE(RuleChoiceFixed("Brave cookies (friendly sites kept)"));
}

// --- One site, one line -----------------------------------------------------------

TEST(HostFromRevHost, GivesOneSiteWithOrWithoutPort) {
  const struct {
    const char* rev;
    const char* host;
  } cases[] = {{"moc.elpmaxe.", "example.com"},   {"94824:tset.swen.", "news.test"},
               {"1.0.0.721.", "127.0.0.1"},       {"0808:]1::[.", "[::1]"},
               {"]1::[.", "[::1]"},               {"", "(local files)"},
               {".", "(local files)"},            {"x:moc.elpmaxe.", "example.com:x"}};
  for (const auto& c : cases) EXPECT_EQ(HostFromRevHost(c.rev), c.host) << c.rev;
}

TEST_F(BrowserDbTest, AHostWithAndWithoutItsPortIsOneLine) {
  ASSERT_TRUE(CreatePlacesDatabase(Places()));
  ASSERT_TRUE(CreateFaviconsDatabase(Favicons()));
  {
    SqliteDb places;
    ASSERT_TRUE(places.OpenForWriting(Places()));
    ASSERT_NE(AddPlace(places, "http://news.test/set", "Set", 2), 0);
    const int64_t port = AddPlace(places, "http://news.test:8080/page", "Page", 1);
    ASSERT_NE(port, 0);
    // As Firefox writes it for a non-default port.
    ASSERT_TRUE(places.Exec("UPDATE moz_places SET rev_host = '0808:tset.swen.' WHERE id = " + std::to_string(port)));
  }
  int count = 0;
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", &count, nullptr), DbSweep::kCleaned);
  EXPECT_EQ(LinesWith("Remove history: news.test, 3 visit(s), 2 page(s)").size(), 1u);
  EXPECT_EQ(count, 1);
}

}  // namespace
