// Firefox history and browser cookies cleaned inside their databases: what
// goes, what stays exactly as it was, and the files that are left alone
// (in use, damaged, unknown, too new) or only looked at (preview).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "db_fixture.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/sweep_worker.h"
#include "settings/rule_choices.h"
#include "support/snapshot.h"

namespace {

using Strings = std::vector<std::string>;

// The names of the items a sweep numbers.
class NumberedNames : public OutcomeSink {
 public:
  NumberedNames() { AttachOutcomeSink(this); }
  ~NumberedNames() override { DetachOutcomeSink(this); }
  void Record(const OutcomeRecord& record) override {
    if (record.numbered) names.push_back(record.item);
  }
  Strings names;
};

TEST_F(BrowserDbTest, HistoryGoesAndBookmarksTagsKeywordsStayExactly) {
  BuildProfile();
  int count = 0;
  float kb = 0;
  NumberedNames numbered;
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", &count, &kb), DbSweep::kCleaned);
  // An item names what goes: a host whose pages all stay loses its visits.
  const auto named = [&](const std::string& start) {
    return std::count_if(numbered.names.begin(), numbered.names.end(),
                         [&](const std::string& n) { return n.rfind(start, 0) == 0; });
  };
  EXPECT_EQ(named("history of news.example (1 page) in "), 1);
  EXPECT_EQ(named("history of docs.example (3 visits) in "), 1);
  EXPECT_EQ(std::count_if(numbered.names.begin(), numbered.names.end(),
                          [](const std::string& n) { return n.find(" (0) ") != std::string::npos; }),
            0);

  SqliteDb places;
  ASSERT_TRUE(places.OpenForWriting(Places()));
  EXPECT_TRUE(places.IntegrityOk());
  EXPECT_EQ(KeptPlacesPicture(places), m_keptBefore);
  for (const char* table : {"moz_historyvisits", "moz_inputhistory", "moz_places_metadata"})
    EXPECT_EQ(places.QueryInt(std::string("SELECT count(*) FROM ") + table), 0) << table;
  // Bookmarked, tagged, keyword and annotated pages stay; the rest go, and
  // so does the download's annotation with its page.
  EXPECT_EQ(places.QueryTexts("SELECT url FROM moz_places ORDER BY url"),
            (Strings{"https://docs.example/manual", "https://mail.example/", "https://noted.example/",
                     "https://wiki.example/page"}));
  EXPECT_EQ(places.QueryTexts("SELECT content FROM moz_annos"), Strings{"keep me"});
  EXPECT_EQ(places.QueryInt("SELECT count(*) FROM moz_places WHERE visit_count <> 0 OR frecency <> 0 OR "
                            "last_visit_date IS NOT NULL"),
            0);
  // The address bar offers none of the removed hosts.
  EXPECT_EQ(places.QueryTexts("SELECT host FROM moz_origins ORDER BY host"),
            (Strings{"docs.example", "mail.example", "noted.example", "wiki.example"}));
  EXPECT_EQ(Texts(Favicons(), "SELECT page_url FROM moz_pages_w_icons ORDER BY page_url"),
            (Strings{"https://docs.example/manual", "https://mail.example/"}));
  EXPECT_EQ(Count(Favicons(), "SELECT count(*) FROM moz_icons"), 2);

  // One line per host, each an item, then one for the icons.
  EXPECT_EQ(LinesWith("Remove history: news.example, 5 visit(s), 1 page(s) (Firefox, ab12.default).").size(), 1u);
  EXPECT_EQ(LinesWith("Remove history: docs.example, 3 visit(s), 0 page(s)").size(), 1u);
  EXPECT_EQ(LinesWith("Remove icons: 1 page(s), 1 icon(s) (Firefox, ab12.default).").size(), 1u);
  EXPECT_EQ(count, static_cast<int>(LinesWith("Item ").size()));
  EXPECT_EQ(count, 7);  // six hosts (mail.example had nothing to lose) and the icons
}

TEST_F(BrowserDbTest, OnlyFriendlyHostsKeepTheirCookiesInEveryBrowser) {
  BuildCookies();
  g_InternetSettings.m_friendlyHosts = {"friend.example"};
  int count = 0;
  CleanBrowserCookies(nullptr, &count, nullptr);
  // The host, its subdomains and any spelling of it stay; a host that only
  // ends in the same letters does not.
  const Strings kept{".Friend.Example", ".friend.example", "mail.friend.example"};
  EXPECT_EQ(Texts(ChromeCookies(), "SELECT host_key FROM cookies ORDER BY host_key"), kept);
  EXPECT_EQ(Texts(FirefoxCookies(), "SELECT host FROM moz_cookies ORDER BY host"), kept);
  // One item per host: a host's two cookies are one line.
  EXPECT_EQ(LinesWith("Remove cookies: .tracker.example, 2 cookie(s) (Chrome, Default).").size(), 1u);
  EXPECT_EQ(LinesWith("Remove cookies: .notfriend.example, 1 cookie(s) (Firefox, ab12.default).").size(), 1u);
  EXPECT_EQ(count, 3 + 3);
  for (const std::string& path : {ChromeCookies(), FirefoxCookies()}) {
    SqliteDb db;
    ASSERT_TRUE(db.OpenForWriting(path));
    EXPECT_TRUE(db.IntegrityOk()) << path;
  }
}

TEST_F(BrowserDbTest, ChoicesSwitchEachCleanerOff) {
  BuildProfile();
  BuildCookies();
  ASSERT_TRUE(StoreRuleChoices(
      {{"Firefox history (bookmarks kept)", false}, {"Google Chrome cookies (friendly sites kept)", false}}));
  const FilePicture places = PictureOf(Places()), chrome = PictureOf(ChromeCookies());
  int count = 0;
  CleanBrowserHistory(nullptr, &count, nullptr);
  CleanBrowserCookies(nullptr, &count, nullptr);
  EXPECT_EQ(PictureOf(Places()), places);
  EXPECT_EQ(PictureOf(ChromeCookies()), chrome);
  // Firefox's cookies still follow their own entry, which is on.
  EXPECT_EQ(count, 6);
  EXPECT_EQ(Count(FirefoxCookies(), "SELECT count(*) FROM moz_cookies"), 0);
}

TEST_F(BrowserDbTest, PreviewCountsTheSameAndChangesNoByte) {
  BuildProfile();
  BuildCookies();
  g_InternetSettings.m_friendlyHosts = {"friend.example"};
  SetGeneralOption(GENERAL_SHREDDER, true);  // the Shredder would rebuild the files
  const std::string files[] = {Places(), Favicons(), ChromeCookies(), FirefoxCookies()};
  std::vector<FilePicture> before;
  for (const std::string& f : files) before.push_back(PictureOf(f));
  ::Sleep(20);  // a write would show in the time stamps
  int previewCount = 0;
  {
    PreviewScope preview(true);
    CleanBrowserHistory(nullptr, &previewCount, nullptr);
    CleanBrowserCookies(nullptr, &previewCount, nullptr);
  }
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(PictureOf(files[i]), before[i]) << files[i];
  int count = 0;
  CleanBrowserHistory(nullptr, &count, nullptr);
  CleanBrowserCookies(nullptr, &count, nullptr);
  EXPECT_EQ(previewCount, count);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_historyvisits"), 0);
}

TEST_F(BrowserDbTest, DatabaseHeldOpenElsewhereIsLeftWithItsLine) {
  BuildProfile();
  BuildCookies();
  const FilePicture places = PictureOf(Places()), cookies = PictureOf(ChromeCookies());
  {
    // A browser keeps its databases open while it runs: a connection that
    // has read once holds the file (and, in WAL mode, SQLite's lock).
    SqliteDb browserPlaces, browserCookies;
    ASSERT_TRUE(browserPlaces.OpenForWriting(Places()));
    ASSERT_TRUE(browserCookies.OpenForWriting(ChromeCookies()));
    ASSERT_GE(browserPlaces.QueryInt("SELECT count(*) FROM moz_places"), 0);
    ASSERT_GE(browserCookies.QueryInt("SELECT count(*) FROM cookies"), 0);
    int count = 0;
    EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", &count, nullptr), DbSweep::kInUse);
    EXPECT_EQ(CleanCookieDatabase(ChromeCookies(), CookieStore::kChromium, "Chrome", "Default", {}, &count, nullptr),
              DbSweep::kInUse);
    EXPECT_EQ(count, 0);
  }
  EXPECT_EQ(PictureOf(Places()), places);
  EXPECT_EQ(PictureOf(ChromeCookies()), cookies);
  EXPECT_EQ(LinesWith("Firefox history (ab12.default): the browser is running; close it and sweep again.").size(), 1u);
  EXPECT_EQ(LinesWith("Chrome cookies (Chrome, Default): the browser is running").size(), 1u);
}

// Files that are not the database expected: each refused with a line, and
// not one byte changed.
struct RefusedCase {
  const char* name;
  std::function<void(const std::string& path)> make;
  const char* why;
};

void WritePlaces(const std::string& path, const std::string& sqlAfter, int version = kSeedPlacesSchema) {
  ASSERT_TRUE(CreatePlacesDatabase(path, version));
  SqliteDb db;
  ASSERT_TRUE(db.OpenForWriting(path));
  ASSERT_NE(AddPlace(db, "https://news.example/", "News", 3), 0);
  if (!sqlAfter.empty()) {
    ASSERT_TRUE(db.Exec(sqlAfter)) << db.LastError();
  }
}

class RefusedFileTest : public BrowserDbTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFileTest, IsRefusedAndUnchanged) {
  GetParam().make(Places());
  // A browser's clean exit leaves its -wal or -journal behind, empty: they
  // belong to the file as much as its own bytes.
  for (const char* journal : {"-wal", "-journal"}) ASSERT_TRUE(WriteFileBytes(Places() + journal, ""));
  const FilePicture before = PictureOf(Places());
  ResetOutcomes();
  int count = 0;
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", &count, nullptr), DbSweep::kRefused);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(NotRemovedCount(), 1);
  EXPECT_EQ(PictureOf(Places()), before);
  for (const char* journal : {"-wal", "-journal"})
    EXPECT_NE(::GetFileAttributesA((Places() + journal).c_str()), INVALID_FILE_ATTRIBUTES) << journal << " is gone";
  EXPECT_EQ(LinesWith(std::string("Refused ") + Places() + ": " + GetParam().why).size(), 1u)
      << (m_log.LogLines().empty() ? "" : m_log.LogLines().back());
}

const RefusedCase kRefused[] = {
    {"Text", [](const std::string& p) { ASSERT_TRUE(WriteFileBytes(p, "user_pref(\"a\", 1);\n")); },
     "not a SQLite database"},
    {"Empty", [](const std::string& p) { ASSERT_TRUE(WriteFileBytes(p, "")); }, "not a SQLite database"},
    {"Damaged",
     [](const std::string& p) {
       WritePlaces(p, "");
       std::string bytes = ReadFileBytes(p);
       ASSERT_GT(bytes.size(), 70000u);
       // Page 2 onwards (32 KiB pages): the tables' own pages.
       for (size_t i = 32768 + 100; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(0xA5);
       ASSERT_TRUE(WriteFileBytes(p, bytes));
     },
     "damaged"},
    {"MissingColumn",
     [](const std::string& p) {
       SqliteDb db;
       ASSERT_TRUE(db.OpenForWriting(p));
       ASSERT_TRUE(db.Exec("CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url TEXT); "
                           "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, place_id INTEGER); "
                           "PRAGMA user_version = 70;"));
     },
     "not the tables and columns expected (missing moz_places.rev_host, moz_places.visit_count, "
     "moz_places.frecency, moz_places.last_visit_date, moz_bookmarks, moz_keywords, moz_inputhistory)"},
    {"NoVersion", [](const std::string& p) { WritePlaces(p, "PRAGMA user_version = 0"); }, "no schema version"},
    {"OlderThanFirefoxOpens", [](const std::string& p) { WritePlaces(p, "", kOldestPlacesSchema - 1); },
     "schema version 51 is older than the browser still opens"},
};

INSTANTIATE_TEST_SUITE_P(Places, RefusedFileTest, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(BrowserDbTest, CookieDatabasesOfUnknownShapeOrNewerVersionAreRefused) {
  struct Case {
    CookieStore store;
    std::function<bool(const std::string&)> make;
    const char* why;
  };
  const Case cases[] = {
      {CookieStore::kChromium,
       [](const std::string& p) { return CreateChromiumCookies(p, kOldestChromiumCookiesSchema - 1); },
       "schema version 17 is older than the browser still opens"},
      {CookieStore::kFirefox, [](const std::string& p) { return CreateFirefoxCookies(p, 0); }, "no schema version"},
      {CookieStore::kChromium, [](const std::string& p) { return CreateFirefoxCookies(p); },
       "not the tables and columns expected (missing cookies, meta)"},
      {CookieStore::kChromium,
       [](const std::string& p) {
         return CreateChromiumCookies(p) && [&] {
           SqliteDb db;
           return db.OpenForWriting(p) && db.Exec("DELETE FROM meta");
         }();
       },
       "no schema version"},
  };
  int n = 0;
  // A newer database that Chromium code of a known version can still use.
  const std::string usable = m_temp / "Usable";
  ASSERT_TRUE(CreateChromiumCookies(usable, kNewestTestedChromiumCookiesSchema + 3));
  {
    SqliteDb db;
    ASSERT_TRUE(db.OpenForWriting(usable));
    ASSERT_TRUE(db.Exec("UPDATE meta SET value = '20' WHERE key = 'last_compatible_version'"));
    ASSERT_TRUE(AddChromiumCookie(db, ".tracker.example", "a"));
  }
  EXPECT_EQ(CleanCookieDatabase(usable, CookieStore::kChromium, "Chrome", "Default", {}, nullptr, nullptr),
            DbSweep::kCleaned);
  EXPECT_EQ(Count(usable, "SELECT count(*) FROM cookies"), 0);
  for (const Case& c : cases) {
    const std::string path = m_temp / ("Cookies" + std::to_string(n++));
    ASSERT_TRUE(c.make(path));
    const FilePicture before = PictureOf(path);
    int count = 0;
    EXPECT_EQ(CleanCookieDatabase(path, c.store, "Chrome", "Default", {}, &count, nullptr), DbSweep::kRefused);
    EXPECT_EQ(PictureOf(path), before);
    EXPECT_EQ(LinesWith(std::string("Refused ") + path + ": " + c.why).size(), 1u) << c.why;
  }
}

TEST_F(BrowserDbTest, ShredderLeavesNoTraceOfRemovedRowsInTheFile) {
  BuildProfile();
  BuildCookies();
  SetGeneralOption(GENERAL_SHREDDER, true);
  g_InternetSettings.m_friendlyHosts = {"friend.example"};
  EXPECT_EQ(CleanFirefoxPlaces(m_profile, "ab12.default", nullptr, nullptr), DbSweep::kCleaned);
  CleanBrowserCookies(nullptr, nullptr, nullptr);
  for (const std::string& path : {Places(), Favicons(), ChromeCookies(), FirefoxCookies()}) {
    const std::string bytes = ReadFileBytes(path) + ReadFileBytes(path + "-wal");
    for (const char* gone : {"news.example", "shop.example", "tracker.example"})
      EXPECT_EQ(bytes.find(gone), std::string::npos) << gone << " in " << path;
  }
  EXPECT_NE(ReadFileBytes(Places()).find("docs.example"), std::string::npos);
}

// tools/run-tests.sh makes the link: Win32 code cannot under Wine.
TEST_F(BrowserDbTest, ALinkToADatabaseElsewhereIsNeverWrittenThrough) {
  const std::string root = "D:\\fixtures\\db-link";
  REQUIRE_FIXTURE(::GetFileAttributesA((root + "\\profile").c_str()) != INVALID_FILE_ATTRIBUTES,
                  "the database link fixture D:\\fixtures\\db-link");
  WritePlaces(root + "\\elsewhere\\places.sqlite", "");
  const FilePicture before = PictureOf(root + "\\elsewhere\\places.sqlite");
  int count = 0;
  EXPECT_EQ(CleanFirefoxPlaces(root + "\\profile", "linked", &count, nullptr), DbSweep::kRefused);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(PictureOf(root + "\\elsewhere\\places.sqlite"), before);
  EXPECT_EQ(LinesWith("a link to a file elsewhere").size(), 1u);
}

TEST_F(BrowserDbTest, NothingButTheFourDatabasesChanges) {
  BuildProfile();
  BuildCookies();
  // Neighbours a careless sweep could reach: other databases of the same
  // shape under other names and places, and the profiles' other files.
  ASSERT_TRUE(CreateChromiumCookies(m_chrome + "\\Network\\Cookies.bak"));
  ASSERT_TRUE(CreateFirefoxCookies(m_profile + "\\cookies.sqlite.bak"));
  ASSERT_TRUE(CreatePlacesDatabase(m_profile + "\\places.sqlite.corrupt"));
  MakeFolders(m_profile + "\\backups\\Cookies");
  ASSERT_TRUE(CreateChromiumCookies(m_profile + "\\backups\\Cookies\\Cookies"));
  MakeFolders(m_temp / "Local\\Google\\Chrome\\Cookies");
  ASSERT_TRUE(CreateChromiumCookies(m_temp / "Local\\Google\\Chrome\\Cookies\\Cookies"));
  for (const std::string& other : {m_profile + "\\prefs.js", m_chrome + "\\History", m_chrome + "\\Login Data"})
    ASSERT_TRUE(WriteFileBytes(other, "not to be touched"));
  {
    SqliteDb bak;
    ASSERT_TRUE(bak.OpenForWriting(m_chrome + "\\Network\\Cookies.bak"));
    ASSERT_TRUE(AddChromiumCookie(bak, ".tracker.example", "a"));
  }
  SnapshotMap before, after;
  SnapshotFolder("t", m_temp.Path(), before);
  CleanBrowserHistory(nullptr, nullptr, nullptr);
  CleanBrowserCookies(nullptr, nullptr, nullptr);
  SnapshotFolder("t", m_temp.Path(), after);
  const SnapshotDiff unexpected = Unexpected(CompareSnapshots(before, after), [](const std::string& name) {
    for (const char* db : {"\\places.sqlite", "\\favicons.sqlite", "\\cookies.sqlite", "\\Network\\Cookies"})
      if (name.size() >= strlen(db) && name.compare(name.size() - strlen(db), strlen(db), db) == 0) return true;
    return false;
  });
  EXPECT_TRUE(unexpected.Empty()) << unexpected.Describe();
  EXPECT_EQ(Count(ChromeCookies(), "SELECT count(*) FROM cookies"), 0);
}

TEST(CookieHostKept, MatchesTheHostAndItsSubdomainsOnly) {
  const Strings friendly{"Example.com", ".bank.test", ""};
  struct Case {
    const char* host;
    bool kept;
  } cases[] = {{"example.com", true},    {".example.com", true},  {"WWW.EXAMPLE.COM", true},
               {"a.b.example.com", true}, {"badexample.com", false}, {"example.com.evil", false},
               {"bank.test", true},       {"", false},              {".", false},
               {"com", false}};
  for (const Case& c : cases) EXPECT_EQ(CookieHostKept(c.host, friendly), c.kept) << c.host;
  EXPECT_FALSE(CookieHostKept("example.com", {}));
}

TEST_F(BrowserDbTest, CookieControlSeesEveryHostOnceWithItsBrowsers) {
  BuildCookies();
  MakeFolders(m_temp / "Local\\Microsoft\\Edge\\User Data\\Profile 1");
  ASSERT_TRUE(CreateChromiumCookies(m_temp / "Local\\Microsoft\\Edge\\User Data\\Profile 1\\Cookies"));
  {
    SqliteDb edge;
    ASSERT_TRUE(edge.OpenForWriting(m_temp / "Local\\Microsoft\\Edge\\User Data\\Profile 1\\Cookies"));
    ASSERT_TRUE(AddChromiumCookie(edge, ".edgeonly.example", "x"));
  }
  const FilePicture before = PictureOf(ChromeCookies());
  // Firefox runs: its hosts are read all the same, and nothing is written.
  SqliteDb runningFirefox;
  ASSERT_TRUE(runningFirefox.OpenForWriting(FirefoxCookies()));
  ASSERT_TRUE(runningFirefox.Exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;"));
  const std::vector<CookieHostSeen> seen = CollectCookieHosts();
  std::vector<std::string> lines;
  for (const CookieHostSeen& s : seen) lines.push_back(s.host + " (" + s.browsers + ")");
  EXPECT_EQ(lines, (Strings{"edgeonly.example (Edge)", "friend.example (Chrome, Firefox)",
                            "mail.friend.example (Chrome, Firefox)", "news.example (Chrome, Firefox)",
                            "notfriend.example (Chrome, Firefox)", "tracker.example (Chrome, Firefox)"}));
  EXPECT_EQ(PictureOf(ChromeCookies()), before);
}

}  // namespace

namespace {

// The Internet sweep runs the cookie cleaner behind "Cookie Files" and the
// history cleaner on its rule choice alone, each after a cancellation check.
TEST(BrowserDbSweepTable, CookiesFollowTheCookieBoxAndHistoryAlwaysRuns) {
  const SweepTable& table = InternetSweepTable();
  int cookieBit = -1, historyBit = -1;
  for (size_t i = 0; i < table.count; ++i) {
    const SweepStep& step = table.steps[i];
    if (step.cleaner == &CleanBrowserCookies) {
      cookieBit = step.bit;
      EXPECT_TRUE(step.checkCancel);
    }
    if (step.cleaner == &CleanBrowserHistory) {
      historyBit = step.bit;
      EXPECT_TRUE(step.checkCancel);
    }
  }
  EXPECT_EQ(cookieBit, 0x01);
  EXPECT_EQ(historyBit, 0);
}

}  // namespace
