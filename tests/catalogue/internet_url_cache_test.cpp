// The URL cache cleaner against a scripted cache behind the platform seam
// (refusals, short buffers, a missing filtered search), and once against the
// real cache of the test prefix.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/ie_targets.h"
#include "engine/file_removal.h"
#include "engine/preview.h"
#include "engine/outcome_ledger.h"
#include "engine/url_cache.h"
#include "internet_fixture.h"

namespace {

struct FakeEntry {
  std::string url;
  std::string file;
  DWORD type = NORMAL_CACHE_ENTRY;
  int refusals = 0;      // deletions refused before one succeeds
  DWORD padding = 0;     // extra bytes the record needs, to force a short buffer
  bool deleted = false;
};

// A scripted cache. Function pointers carry no context, so one instance is
// current while a test runs.
struct FakeCache {
  std::vector<FakeEntry> entries;
  bool filteredSearchWorks = false;
  bool createFails = false;
  std::string replacementFolder;
  std::vector<std::string> calls;
  std::vector<DWORD> bufferSizes;  // size offered by each search call
  DWORD filter = 0;
  std::vector<size_t> order;
  size_t pos = 0;
  int replacements = 0;
};
FakeCache* g_cache = nullptr;

BOOL Fill(LPINTERNET_CACHE_ENTRY_INFOA info, LPDWORD size) {
  g_cache->bufferSizes.push_back(*size);
  if (g_cache->pos >= g_cache->order.size()) {
    ::SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  const FakeEntry& e = g_cache->entries[g_cache->order[g_cache->pos]];
  const DWORD need = static_cast<DWORD>(sizeof(INTERNET_CACHE_ENTRY_INFOA) + e.url.size() + e.file.size() + 2) +
                     e.padding;
  if (*size < need) {
    *size = need;
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(info, 0, sizeof *info);
  char* text = reinterpret_cast<char*>(info + 1);
  std::strcpy(text, e.url.c_str());
  info->lpszSourceUrlName = text;
  if (!e.file.empty()) {
    std::strcpy(text + e.url.size() + 1, e.file.c_str());
    info->lpszLocalFileName = text + e.url.size() + 1;
  }
  info->CacheEntryType = e.type;
  ++g_cache->pos;
  return TRUE;
}

HANDLE WINAPI FakeFindFirstEx(LPCSTR, DWORD, DWORD filter, GROUPID, LPINTERNET_CACHE_ENTRY_INFOA info, LPDWORD size,
                              LPVOID, LPDWORD, LPVOID) {
  g_cache->calls.push_back("find first ex");
  if (!g_cache->filteredSearchWorks) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  g_cache->order.clear();
  for (size_t i = 0; i < g_cache->entries.size(); ++i)
    if (CacheEntryMatches(g_cache->entries[i].type, filter)) g_cache->order.push_back(i);
  g_cache->pos = 0;
  return Fill(info, size) ? reinterpret_cast<HANDLE>(0x1234) : nullptr;
}
BOOL WINAPI FakeFindNextEx(HANDLE, LPINTERNET_CACHE_ENTRY_INFOA info, LPDWORD size, LPVOID, LPDWORD, LPVOID) {
  return Fill(info, size);
}
HANDLE WINAPI FakeFindFirst(LPCSTR, LPINTERNET_CACHE_ENTRY_INFOA info, LPDWORD size) {
  g_cache->calls.push_back("find first");
  g_cache->order.clear();
  for (size_t i = 0; i < g_cache->entries.size(); ++i) g_cache->order.push_back(i);
  g_cache->pos = 0;
  return Fill(info, size) ? reinterpret_cast<HANDLE>(0x1234) : nullptr;
}
BOOL WINAPI FakeFindNext(HANDLE, LPINTERNET_CACHE_ENTRY_INFOA info, LPDWORD size) { return Fill(info, size); }
BOOL WINAPI FakeClose(HANDLE) {
  g_cache->calls.push_back("close");
  return TRUE;
}
FakeEntry* Find(LPCSTR url) {
  for (FakeEntry& e : g_cache->entries)
    if (!e.deleted && e.url == url) return &e;
  return nullptr;
}
BOOL WINAPI FakeDelete(LPCSTR url) {
  FakeEntry* e = Find(url);
  if (e == nullptr) return FALSE;
  if (e->refusals > 0) {
    --e->refusals;
    g_cache->calls.push_back("refuse " + std::string(url));
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  e->deleted = true;
  g_cache->calls.push_back("delete " + std::string(url));
  return TRUE;
}
BOOL WINAPI FakeCreate(LPCSTR url, DWORD, LPCSTR extension, LPSTR fileName, DWORD) {
  g_cache->calls.push_back("create " + std::string(url) + " " + extension);
  if (g_cache->createFails) return FALSE;
  std::string name = g_cache->replacementFolder + "\\repl" + std::to_string(++g_cache->replacements) + ".tmp";
  std::strcpy(fileName, name.c_str());
  return TRUE;
}
BOOL WINAPI FakeCommit(LPCSTR url, LPCSTR file, FILETIME, FILETIME, DWORD type, LPBYTE, DWORD, LPCSTR, LPCSTR) {
  // The replacement must exist, empty, when it is committed.
  const bool emptyFile = FileExists(file) && ReadFileBytes(file).empty();
  g_cache->calls.push_back("commit " + std::string(url) + (emptyFile ? " empty" : " missing"));
  return TRUE;
}

class InternetUrlCacheTest : public InternetTest {
 protected:
  void SetUp() override {
    InternetTest::SetUp();
    m_cache.replacementFolder = m_temp.Path();
    g_cache = &m_cache;
    g_platform.FindFirstUrlCacheEntryExA = &FakeFindFirstEx;
    g_platform.FindNextUrlCacheEntryExA = &FakeFindNextEx;
    g_platform.FindFirstUrlCacheEntryA = &FakeFindFirst;
    g_platform.FindNextUrlCacheEntryA = &FakeFindNext;
    g_platform.FindCloseUrlCache = &FakeClose;
    g_platform.DeleteUrlCacheEntryA = &FakeDelete;
    g_platform.CreateUrlCacheEntryA = &FakeCreate;
    g_platform.CommitUrlCacheEntryA = &FakeCommit;
  }
  void TearDown() override {
    SetOverwriteObserver(nullptr);
    g_cache = nullptr;
    InternetTest::TearDown();
  }

  // An entry with a local file of the given size in the test folder.
  FakeEntry Content(const std::string& url, size_t bytes, const std::string& name) {
    FakeEntry e;
    e.url = url;
    e.file = m_temp / name;
    EXPECT_TRUE(WriteFileBytes(e.file, std::string(bytes, 'c')));
    return e;
  }

  std::vector<std::string> Deleted() {
    std::vector<std::string> out;
    for (const FakeEntry& e : m_cache.entries)
      if (e.deleted) out.push_back(e.url);
    return out;
  }

  FakeCache m_cache;
};

TEST_F(InternetUrlCacheTest, EmptyCacheLogsOnlyTheOpeningLine) {
  int count = 0;
  float kb = 0;
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", IDC_STATUS_INTERNET, &count, &kb);
  EXPECT_EQ(m_log.LogLines(), std::vector<std::string>{"  Clean up : Contents Cache.\n"});
  EXPECT_EQ(count, 0);
  EXPECT_EQ(kb, 0.0f);
}

TEST_F(InternetUrlCacheTest, NumbersEachEntryWithItsSizeAndSumsTheSizes) {
  for (int i = 0; i < 10; ++i)
    m_cache.entries.push_back(
        Content("http://example.test/" + std::to_string(i), 512 * (i + 1), "f" + std::to_string(i) + ".htm"));
  int count = 3;
  float kb = 1.0f;
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", IDC_STATUS_INTERNET, &count, &kb);
  const auto lines = m_log.LogLines();
  ASSERT_EQ(lines.size(), 11u);
  for (int i = 0; i < 10; ++i) {
    char expected[512];
    std::snprintf(expected, sizeof expected, "Item %d, Contents Cache: delete http://example.test/%d-%s:%f(KB)\n",
                  4 + i, i, m_cache.entries[i].file.c_str(), 0.5 * (i + 1));
    EXPECT_EQ(lines[i + 1], expected);
  }
  EXPECT_EQ(count, 13);
  EXPECT_FLOAT_EQ(kb, 1.0f + 27.5f);
  EXPECT_EQ(Deleted().size(), 10u);
  EXPECT_EQ(m_log.ItemText(IDC_STATUS_INTERNET), lines.back());
}

TEST_F(InternetUrlCacheTest, LineFormsWithAndWithoutCounterAndLong) {
  EXPECT_EQ(FormatCacheLine(2, "UrlHistory Cache", "Visited: a@b", "", 0.0f),
            "Item 2, UrlHistory Cache: delete Visited: a@b-:0.000000(KB)\n");
  EXPECT_EQ(FormatCacheLine(0, "Cookies Cache", "Cookie:a@b/", "c:\\x.txt", 1.5f),
            "Cookies Cache: delete Cookie:a@b/-c:\\x.txt:1.500000(KB)\n");
  const std::string longUrl = "http://example.test/" + std::string(300, 'q');
  // A long address is named in full, never replaced by a short text.
  EXPECT_EQ(FormatCacheLine(7, "Contents Cache", longUrl.c_str(), "", 0.0f),
            "Item 7, Contents Cache: delete " + longUrl + "-:0.000000(KB)\n");
  EXPECT_EQ(FormatCacheLine(0, "Contents Cache", longUrl.c_str(), "", 0.0f),
            "Contents Cache: delete " + longUrl + "-:0.000000(KB)\n");

  // Still counted and deleted.
  FakeEntry e;
  e.url = longUrl;
  m_cache.entries.push_back(e);
  int count = 0;
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Deleted().size(), 1u);
  EXPECT_EQ(m_log.LogLines().back(), "Item 1, Contents Cache: delete " + longUrl + "-:0.000000(KB)\n");
}

TEST_F(InternetUrlCacheTest, FallbackSearchKeepsOnlyTheFilteredKind) {
  struct {
    const char* url;
    DWORD type;
  } rows[] = {{"http://a.test/", NORMAL_CACHE_ENTRY},
              {"Cookie:me@a.test/", COOKIE_CACHE_ENTRY},
              {"Visited: me@http://a.test/", URLHISTORY_CACHE_ENTRY},
              {"http://b.test/", STICKY_CACHE_ENTRY | NORMAL_CACHE_ENTRY},
              {"Cookie:me@b.test/", COOKIE_CACHE_ENTRY | NORMAL_CACHE_ENTRY}};
  for (auto& r : rows) {
    FakeEntry e;
    e.url = r.url;
    e.type = r.type;
    m_cache.entries.push_back(e);
  }
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, nullptr, nullptr);
  EXPECT_EQ(Deleted(), (std::vector<std::string>{"http://a.test/", "http://b.test/"}));
  EXPECT_EQ(m_cache.calls.front(), "find first ex");
  EXPECT_EQ(m_cache.calls[1], "find first");

  for (FakeEntry& e : m_cache.entries) e.deleted = false;
  CleanUrlCache(kCookieCacheFilter, "Cookie:", "Cookies Cache", 0, nullptr, nullptr);
  EXPECT_EQ(Deleted(), (std::vector<std::string>{"Cookie:me@a.test/", "Cookie:me@b.test/"}));

  for (FakeEntry& e : m_cache.entries) e.deleted = false;
  CleanUrlCache(kHistoryCacheFilter, "Visited:", "UrlHistory Cache", 0, nullptr, nullptr);
  EXPECT_EQ(Deleted(), std::vector<std::string>{"Visited: me@http://a.test/"});
}

TEST_F(InternetUrlCacheTest, FilteredSearchIsUsedWhereTheSystemHasIt) {
  m_cache.filteredSearchWorks = true;
  FakeEntry e;
  e.url = "http://a.test/";
  m_cache.entries.push_back(e);
  int count = 0;
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, &count, nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(std::count(m_cache.calls.begin(), m_cache.calls.end(), "find first"), 0);
  EXPECT_EQ(m_cache.calls.back(), "close");
}

TEST_F(InternetUrlCacheTest, ShortBufferGrowsToTheReportedSizeOnce) {
  for (bool filtered : {false, true}) {
    m_cache = FakeCache{};
    m_cache.filteredSearchWorks = filtered;
    m_cache.replacementFolder = m_temp.Path();
    FakeEntry small, big, after;
    small.url = "http://a.test/";
    big.url = "http://b.test/";
    big.padding = 9000;
    after.url = "http://c.test/";
    m_cache.entries = {small, big, after};
    int count = 0;
    CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, &count, nullptr);
    EXPECT_EQ(count, 3) << filtered;
    EXPECT_EQ(Deleted().size(), 3u);
    // 4248 until the big record asks for more; its reported size from then on.
    const std::vector<DWORD>& sizes = m_cache.bufferSizes;
    ASSERT_GE(sizes.size(), 4u);
    EXPECT_EQ(sizes.front(), 4248u);
    EXPECT_GT(sizes.back(), 9000u);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 4248u), 2) << "first entry, then the short call";
  }
}

// A record size no real cache reports (a broken cache, or a hostile one):
// the walk ends there with a trace; the process, the sweep and the entries
// already seen are unharmed, and no such buffer is ever asked for.
TEST_F(InternetUrlCacheTest, AnAbsurdRecordSizeEndsOnlyTheCacheWalk) {
  struct Case {
    const char* name;
    size_t absurdAt;
    int swept;
  } cases[] = {{"first record", 0, 0}, {"later record", 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_cache = FakeCache{};
    m_cache.replacementFolder = m_temp.Path();
    std::vector<FakeEntry> entries(3);
    entries[0].url = "http://a.test/";
    entries[1].url = "http://b.test/";
    entries[2].url = "http://c.test/";
    entries[c.absurdAt].padding = 0x7FFFFFFF;
    m_cache.entries = entries;
    TraceRecorder trace;
    int count = 0;
    CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, &count, nullptr);
    EXPECT_EQ(count, c.swept);
    EXPECT_EQ(Deleted().size(), static_cast<size_t>(c.swept));
    for (DWORD offered : m_cache.bufferSizes) EXPECT_LE(offered, 1024u * 1024u);
    EXPECT_TRUE(trace.Contains("the cache walk ends"));
  }
}

TEST_F(InternetUrlCacheTest, RefusedEntriesAreReplacedAndDeletedAgain) {
  ResetOutcomes();
  FakeEntry first, laterOnce, laterTwice, laterStuck;
  first.url = "http://first.test/";
  first.refusals = 1;
  laterOnce.url = "http://once.test/";
  laterOnce.refusals = 1;
  laterTwice.url = "http://twice.test/";
  laterTwice.refusals = 2;
  laterStuck.url = "http://stuck.test/";
  laterStuck.refusals = 9;
  m_cache.entries = {first, laterOnce, laterTwice, laterStuck};
  TraceRecorder trace;
  int count = 0;
  CleanUrlCache(kContentCacheFilter, "Cookie:", "Cookies Cache", 0, &count, nullptr);
  // The first entry gets its empty file and commit before the second try;
  // later entries try again right after the new cache name.
  const std::vector<std::string> expected = {
      "find first ex",
      "find first",
      "refuse http://first.test/",
      "create http://first.test/ Cookie:",
      "commit http://first.test/ empty",
      "delete http://first.test/",
      "refuse http://once.test/",
      "create http://once.test/ Cookie:",
      "delete http://once.test/",
      "refuse http://twice.test/",
      "create http://twice.test/ Cookie:",
      "refuse http://twice.test/",
      "commit http://twice.test/ empty",
      "delete http://twice.test/",
      "refuse http://stuck.test/",
      "create http://stuck.test/ Cookie:",
      "refuse http://stuck.test/",
      "commit http://stuck.test/ empty",
      "refuse http://stuck.test/",
      "close",
  };
  EXPECT_EQ(m_cache.calls, expected);
  EXPECT_EQ(count, 3) << "counted once gone; the entry the cache keeps is not";
  EXPECT_EQ(NotRemovedCount(), 1);
  ResetOutcomes();
  ASSERT_EQ(m_log.LogLines().size(), 5u);
  EXPECT_EQ(m_log.LogLines().back(), "   Not removed: http://stuck.test/: the cache refused to delete it.\n");
  EXPECT_TRUE(trace.Contains("Cannot Delete This Cache Again.\n"));
}

TEST_F(InternetUrlCacheTest, FailedReplacementEndsOnlyThatEntry) {
  FakeEntry stuck, next;
  stuck.url = "http://stuck.test/";
  stuck.refusals = 5;
  next.url = "http://next.test/";
  m_cache.entries = {stuck, next};
  m_cache.createFails = true;
  TraceRecorder trace;
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, nullptr, nullptr);
  EXPECT_EQ(Deleted(), std::vector<std::string>{"http://next.test/"});
  EXPECT_TRUE(trace.Contains("Cannot Create Cache Again.\n"));
}

TEST_F(InternetUrlCacheTest, FriendlyCookieEntryIsNeitherLoggedNorDeleted) {
  FakeEntry friendly = Content("Cookie:me@friend.test/", 100, "me@friend[1].txt");
  friendly.type = COOKIE_CACHE_ENTRY;
  FakeEntry other = Content("Cookie:me@ads.test/", 100, "me@ads[1].txt");
  other.type = COOKIE_CACHE_ENTRY;
  m_cache.entries = {friendly, other};
  const StringPairList keep = {{"friend.test", friendly.file}};
  int count = 0;
  CleanCookieCache(keep, kCookieCacheFilter, "Cookie:", "Cookies Cache", IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_EQ(Deleted(), std::vector<std::string>{"Cookie:me@ads.test/"});
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(LinesWith("friend.test").empty());
}

TEST_F(InternetUrlCacheTest, ShredderOverwritesEachLocalFileBeforeItsDeletion) {
  m_cache.entries = {Content("http://a.test/", 10, "a.htm"), Content("http://b.test/", 10, "b.htm")};
  SetGeneralOption(GENERAL_SHREDDER, true);
  SetOverwriteObserver([this](const std::string& name, unsigned char fill, uint32_t) {
    m_cache.calls.push_back("overwrite " + name.substr(name.rfind('\\') + 1) + " " + std::to_string(fill));
  });
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, nullptr, nullptr);
  const std::vector<std::string> expected = {"find first ex",       "find first",        "overwrite a.htm 255",
                                             "overwrite a.htm 0",   "delete http://a.test/", "overwrite b.htm 255",
                                             "overwrite b.htm 0",   "delete http://b.test/", "close"};
  EXPECT_EQ(m_cache.calls, expected);
}

TEST_F(InternetUrlCacheTest, PreviewLogsAndCountsButTouchesNothing) {
  m_cache.entries = {Content("http://a.test/", 2048, "a.htm"), Content("http://b.test/", 1024, "b.htm")};
  m_cache.entries[0].refusals = 3;
  SetGeneralOption(GENERAL_SHREDDER, true);
  int count = 0;
  float kb = 0;
  {
    PreviewScope preview(true);
    CleanUrlCache(kContentCacheFilter, "", "Contents Cache", 0, &count, &kb);
  }
  EXPECT_EQ(count, 2);
  EXPECT_FLOAT_EQ(kb, 3.0f);
  EXPECT_TRUE(Deleted().empty());
  EXPECT_EQ(ReadFileBytes(m_cache.entries[0].file), std::string(2048, 'c'));
  for (const std::string& call : m_cache.calls) EXPECT_EQ(call.find("create"), std::string::npos) << call;
}

TEST(InternetCacheFilter, EntryKindsAgainstFilters) {
  struct {
    DWORD type, filter;
    bool match;
  } rows[] = {
      {NORMAL_CACHE_ENTRY, kContentCacheFilter, true},
      {STICKY_CACHE_ENTRY, kContentCacheFilter, true},
      {0, kContentCacheFilter, true},
      {SPARSE_CACHE_ENTRY, kContentCacheFilter, false},
      {COOKIE_CACHE_ENTRY, kContentCacheFilter, false},
      {COOKIE_CACHE_ENTRY, kCookieCacheFilter, true},
      {COOKIE_CACHE_ENTRY | NORMAL_CACHE_ENTRY, kCookieCacheFilter, true},
      {URLHISTORY_CACHE_ENTRY, kCookieCacheFilter, false},
      {URLHISTORY_CACHE_ENTRY, kHistoryCacheFilter, true},
      {NORMAL_CACHE_ENTRY, kHistoryCacheFilter, false},
  };
  for (auto& r : rows) EXPECT_EQ(CacheEntryMatches(r.type, r.filter), r.match) << std::hex << r.type << " " << r.filter;
}

// The real cache of the test prefix: entries of the three kinds are planted
// through WinINet and each pass removes its own kind only.
class InternetRealCacheTest : public InternetTest {};

TEST_F(InternetRealCacheTest, EachPassRemovesItsOwnKindFromTheRealCache) {
  struct Planted {
    std::string url;
    DWORD type;
    const char* ext;
  } planted[] = {
      {"http://morvane-cache.test/page.htm", NORMAL_CACHE_ENTRY, "htm"},
      {"Cookie:tester@morvane-cache.test/", COOKIE_CACHE_ENTRY, "txt"},
      {"Visited: tester@http://morvane-cache.test/page.htm", URLHISTORY_CACHE_ENTRY, ""},
  };
  auto present = [](const std::string& url) {
    char buf[4096];
    DWORD size = sizeof buf;
    return ::GetUrlCacheEntryInfoA(url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf), &size) != FALSE;
  };
  for (const Planted& p : planted) {
    char file[MAX_PATH] = {};
    ASSERT_TRUE(::CreateUrlCacheEntryA(p.url.c_str(), 0, p.ext, file, 0)) << p.url;
    ASSERT_TRUE(WriteFileBytes(file, "cached"));
    FILETIME zero = {};
    ASSERT_TRUE(::CommitUrlCacheEntryA(p.url.c_str(), file, zero, zero, p.type, nullptr, 0, nullptr, nullptr))
        << p.url << " " << ::GetLastError();
    ASSERT_TRUE(present(p.url));
  }
  int count = 0;
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_FALSE(present(planted[0].url));
  EXPECT_TRUE(present(planted[1].url));
  EXPECT_TRUE(present(planted[2].url));
  EXPECT_FALSE(LinesWith("page.htm-").empty());

  CleanUrlCache(kCookieCacheFilter, "Cookie:", "Cookies Cache", IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_FALSE(present(planted[1].url));
  EXPECT_TRUE(present(planted[2].url));
  CleanUrlCache(kHistoryCacheFilter, "Visited:", "UrlHistory Cache", IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_FALSE(present(planted[2].url));
  EXPECT_GE(count, 3);
}


// A cache entry takes its local file with it, so the sweep's walk of the
// cache folder never meets that file: the preview, which deletes nothing,
// must not count the file as an item of its own either. Each planted entry
// is one numbered item in both, and the folders that hold the files go in
// both. (The cache's own index, which Wine keeps mapped, is left out: the
// preview cannot tell a mapped file from a free one.)
TEST_F(InternetRealCacheTest, PreviewCountsAnEntryWithItsFileOnceAsTheSweepDoes) {
  std::vector<std::string> files;
  for (const char* url : {"http://morvane-once.test/a.htm", "http://morvane-once.test/b.css"}) {
    char file[MAX_PATH] = {};
    ASSERT_TRUE(::CreateUrlCacheEntryA(url, 0, "htm", file, 0)) << url;
    ASSERT_TRUE(WriteFileBytes(file, "cached page"));
    FILETIME zero = {};
    ASSERT_TRUE(::CommitUrlCacheEntryA(url, file, zero, zero, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr));
    files.push_back(file);
  }
  // The numbered lines since the last call that name a planted entry, its
  // file or its folder.
  size_t seen = 0;
  auto planted = [&] {
    std::vector<std::string> lines;
    const std::vector<std::string> numbered = LinesWith("Item ");
    for (size_t i = seen; i < numbered.size(); ++i) {
      const std::string& line = numbered[i];
      bool ours = line.find("morvane-once.test") != std::string::npos;
      for (const std::string& file : files) {
        const std::string folder = file.substr(0, file.find_last_of('\\'));
        ours = ours || line.find(file) != std::string::npos || line.find("directory: " + folder + ",") != std::string::npos;
      }
      if (ours) lines.push_back(line.substr(line.find(',')));
    }
    seen = numbered.size();
    return lines;
  };
  int previewed = 0;
  {
    PreviewScope preview(true);
    CleanIeContent(nullptr, &previewed, nullptr);
  }
  for (const std::string& file : files) EXPECT_TRUE(FileExists(file)) << file;
  const std::vector<std::string> promised = planted();
  int swept = 0;
  CleanIeContent(nullptr, &swept, nullptr);
  for (const std::string& file : files) EXPECT_FALSE(FileExists(file)) << file;
  const std::vector<std::string> done = planted();
  EXPECT_EQ(promised, done) << "the preview promised what the sweep did";
  EXPECT_EQ(std::count_if(done.begin(), done.end(),
                          [](const std::string& l) { return l.find("Contents Cache: delete") != std::string::npos; }),
            2);
  for (const std::string& line : promised) EXPECT_EQ(line.find("Remove file:"), std::string::npos) << line;
}

}  // namespace
