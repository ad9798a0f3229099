// Shared set-up of the browser-database tests: isolated hives whose shell
// folders point into a private folder, a Firefox profile with places.sqlite,
// favicons.sqlite and cookies.sqlite, and a Chrome profile with Cookies,
// built with SQLite as the browsers lay them out.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/browser_db_targets.h"
#include "engine/sqlite_db.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "catalogue/internet_fixture.h"
#include "support/test_env.h"
#include "tools/seed/seed_databases.h"

// The bytes and last-write time of a file: what "unchanged" means here.
struct FilePicture {
  std::string bytes;
  FILETIME written{};
  bool operator==(const FilePicture& o) const {
    return bytes == o.bytes && written.dwLowDateTime == o.written.dwLowDateTime &&
           written.dwHighDateTime == o.written.dwHighDateTime;
  }
};

inline FilePicture PictureOf(const std::string& path) {
  FilePicture p;
  p.bytes = ReadFileBytes(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) p.written = data.ftLastWriteTime;
  return p;
}

// The Internet tests' isolation (hives, folder, log, General options with the
// Shredder off unless a test turns it on).
class BrowserDbTest : public InternetTest {
 protected:
  void SetUp() override {
    InternetTest::SetUp();
    m_savedHosts = g_InternetSettings.m_friendlyHosts;
    RegKey folders("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", HKEY_CURRENT_USER);
    ASSERT_TRUE(folders.Create());
    const std::string roaming = m_temp / "Roaming", local = m_temp / "Local";
    ASSERT_TRUE(folders.SetValue("AppData", REG_EXPAND_SZ, roaming.c_str(), static_cast<DWORD>(roaming.size() + 1)));
    ASSERT_TRUE(folders.SetValue("Local AppData", REG_EXPAND_SZ, local.c_str(), static_cast<DWORD>(local.size() + 1)));
    m_profile = roaming + "\\Mozilla\\Firefox\\Profiles\\ab12.default";
    m_chrome = local + "\\Google\\Chrome\\User Data\\Default";
    for (const std::string& folder : {m_profile, m_chrome + "\\Network"}) MakeFolders(folder);
  }
  void TearDown() override {
    g_InternetSettings.m_friendlyHosts = m_savedHosts;
    InternetTest::TearDown();
  }

  static void MakeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
      ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    ::CreateDirectoryA(path.c_str(), nullptr);
  }

  std::string Places() const { return m_profile + "\\places.sqlite"; }
  std::string Favicons() const { return m_profile + "\\favicons.sqlite"; }
  std::string FirefoxCookies() const { return m_profile + "\\cookies.sqlite"; }
  std::string ChromeCookies() const { return m_chrome + "\\Network\\Cookies"; }

  // A profile with history around bookmarks, a tag, a keyword, typed input,
  // annotations (one kept, one of a download) and icons.
  void BuildProfile() {
    ASSERT_TRUE(CreatePlacesDatabase(Places()));
    ASSERT_TRUE(CreateFaviconsDatabase(Favicons()));
    SqliteDb places, favicons;
    ASSERT_TRUE(places.OpenForWriting(Places()));
    ASSERT_TRUE(favicons.OpenForWriting(Favicons()));
    const int64_t news = AddPlace(places, "https://news.example/today", "News", 5);
    const int64_t shop = AddPlace(places, "https://shop.example/cart", "Cart", 2);
    const int64_t docs = AddPlace(places, "https://docs.example/manual", "Manual", 3);
    const int64_t mail = AddPlace(places, "https://mail.example/", "Mail", 0);
    const int64_t wiki = AddPlace(places, "https://wiki.example/page", "Wiki", 1);
    const int64_t noted = AddPlace(places, "https://noted.example/", "Noted", 1);
    const int64_t file = AddPlace(places, "https://files.example/setup.exe", "Setup", 1);
    ASSERT_TRUE(news && shop && docs && mail && wiki && noted && file);
    ASSERT_TRUE(AddBookmark(places, docs, "Manual"));
    ASSERT_TRUE(AddTag(places, docs, "reading"));
    ASSERT_TRUE(AddTag(places, mail, "work"));  // tagged only: still kept
    ASSERT_TRUE(AddKeyword(places, wiki, "w"));   // keyword only: kept
    ASSERT_TRUE(AddInputHistory(places, news, "new"));
    ASSERT_TRUE(AddInputHistory(places, docs, "doc"));
    ASSERT_TRUE(AddPageAnnotation(places, noted, "myext/note", "keep me"));
    ASSERT_TRUE(AddPageAnnotation(places, file, "downloads/destinationFileURI", "file:///C:/setup.exe"));
    ASSERT_TRUE(places.Exec("INSERT INTO moz_places_metadata (place_id, created_at) VALUES (" + std::to_string(news) +
                            ", 1), (" + std::to_string(docs) + ", 2)"));
    for (const char* url : {"https://news.example/today", "https://docs.example/manual", "https://mail.example/"})
      ASSERT_TRUE(AddIcon(favicons, url, std::string(url) + "#icon"));
    m_keptBefore = KeptPlacesPicture(places);
  }

  // Cookie databases with the same hosts in Chrome and Firefox.
  void BuildCookies() {
    ASSERT_TRUE(CreateChromiumCookies(ChromeCookies()));
    ASSERT_TRUE(CreateFirefoxCookies(FirefoxCookies()));
    SqliteDb chrome, firefox;
    ASSERT_TRUE(chrome.OpenForWriting(ChromeCookies()));
    ASSERT_TRUE(firefox.OpenForWriting(FirefoxCookies()));
    for (const char* host : {".tracker.example", "news.example", ".friend.example", "mail.friend.example",
                             ".notfriend.example", ".Friend.Example"}) {
      ASSERT_TRUE(AddChromiumCookie(chrome, host, "a"));
      ASSERT_TRUE(AddFirefoxCookie(firefox, host, "a"));
    }
    ASSERT_TRUE(AddChromiumCookie(chrome, ".tracker.example", "b"));
  }

  static int64_t Count(const std::string& path, const std::string& sql) {
    SqliteDb db;
    return db.OpenForWriting(path) ? db.QueryInt(sql, -1) : -1;
  }
  static std::vector<std::string> Texts(const std::string& path, const std::string& sql) {
    SqliteDb db;
    return db.OpenForWriting(path) ? db.QueryTexts(sql) : std::vector<std::string>{};
  }

  std::string m_profile, m_chrome;
  std::vector<std::string> m_keptBefore;
  std::vector<std::string> m_savedHosts;
};
