// The built-in rules as the program carries them (the BUILTIN_RULES resource):
// every key is taken, the defaults and warnings are as written, and a sweep
// of every entry over today's seeded traces removes only those traces and
// leaves every file a user keeps (bookmarks, passwords, cookie databases,
// places.sqlite). The variables point into the test's own folder.
#include <regex>
#include <set>

#include "catalogue/browser_census.h"
#include "engine/browsers.h"
#include "engine/removal_guard.h"
#include "rules/builtin_notes.h"
#include "tests/rules/rule_fixture.h"
#include "tools/seed/seed_modern.h"

namespace {

std::string BuiltinBytes() {
  HRSRC res = ::FindResourceA(nullptr, "BUILTIN_RULES", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (res == nullptr) return std::string();
  HGLOBAL loaded = ::LoadResource(nullptr, res);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  return data != nullptr ? std::string(static_cast<const char*>(data), ::SizeofResource(nullptr, res)) : std::string();
}

// What a sweep of every built-in entry may remove, as patterns over picture
// names ("tmp\L\..." for local application data, "tmp\R\..." for roaming,
// "tmp\W\..." for the Windows folder, "hkcu\..." below HKCU\Software).
const char* const kMayGo[] = {
    R"(tmp\\L\\(Google\\Chrome|Microsoft\\Edge)\\User Data\\((Default|Profile 1)\\(History|History-journal|Visited Links|Top Sites|Shortcuts|Network Action Predictor|Web Data|Sessions\\Session_\d+|Sessions_Encrypted\\(Session|Tabs)_\d+|Cache\\No_Vary_Search\\[^\\]+|JumpListIcons(MostVisited|RecentClosed)\\[^\\]+\.ico|Cache\\Cache_Data\\[^\\]+|Code Cache\\js\\[^\\]+|GPUCache\\[^\\]+)|segmentation_platform\\ukm_db))",
    R"(tmp\\L\\Mozilla\\Firefox\\Profiles\\[^\\]+\\(cache2\\.+|thumbnails\\[^\\]+|jumpListCache\\[^\\]+))",
    R"(tmp\\R\\Mozilla\\Firefox\\Profiles\\[^\\]+\\(formhistory\.sqlite|sessionstore\.jsonlz4|sessionstore-backups\\[^\\]+))",
    R"(tmp\\R\\Microsoft\\Windows\\Recent\\AutomaticDestinations\\5f7b5f1e01b83767\.automaticDestinations-ms)",
    R"(tmp\\R\\Microsoft\\Windows\\Recent\\CustomDestinations\\[^\\]+\.customDestinations-ms)",
    R"(tmp\\L\\Microsoft\\Windows\\Explorer\\thumbcache_\d+\.db)",
    R"(tmp\\W\\Temp\\.*[^\\]\.tmp)",
    R"(hkcu\\Microsoft\\Windows\\CurrentVersion\\Explorer\\(TypedPaths|WordWheelQuery|ComDlg32\\OpenSavePidlMRU|ComDlg32\\LastVisitedPidlMRU)(\\.*)?)",
    R"(hkcu\\Microsoft\\Windows\\CurrentVersion\\Applets\\(Paint|Wordpad)\\Recent File List(\\.*)?)",
    R"(hkcu\\Microsoft\\Office\\16\.0\\(Word|Excel|PowerPoint)\\(File MRU|Place MRU|User MRU\\[^\\]+\\(File MRU|Place MRU))(\\.*)?)",
    R"(hkcu\\Adobe\\Acrobat Reader\\DC\\AVGeneral\\(cRecentFiles|cRecentFolders)(\\.*)?)",
    R"(hkcu\\Microsoft\\MediaPlayer\\Player\\RecentURLList(\\.*)?)",
};

class BuiltinRulesTest : public RuleTest {
 protected:
  void SetUp() override {
    SetRuleVariableForTests("LocalAppData", {m_tmp / "L"});
    SetRuleVariableForTests("AppData", {m_tmp / "R"});
    SetRuleVariableForTests("WinDir", {m_tmp / "W"});
    const std::string bytes = BuiltinBytes();
    ASSERT_FALSE(bytes.empty()) << "the program carries its built-in rules";
    m_rules.LoadText(bytes, "Built-in", true);
  }
  const RuleEntry* Find(const std::string& name) const {
    for (const RuleEntry& e : m_rules.Entries())
      if (e.name == name) return &e;
    return nullptr;
  }
};

TEST_F(BuiltinRulesTest, EveryKeyIsTakenAndTheDefaultsAreAsWritten) {
  const std::vector<RuleEntry>& entries = m_rules.Entries();
  ASSERT_EQ(m_rules.Files().size(), 1u);
  EXPECT_EQ(m_rules.Files()[0].skipped, "");
  EXPECT_EQ(m_rules.Files()[0].entries, entries.size());
  int perCategory[SWEEP_CATEGORY_COUNT] = {};
  std::set<std::string> names;
  for (const RuleEntry& e : entries) {
    EXPECT_TRUE(e.builtin) << e.name;
    EXPECT_EQ(e.source, "Built-in") << e.name;
    EXPECT_FALSE(e.refusedWhole) << e.name;
    EXPECT_TRUE(e.refused.empty()) << e.name << ": " << testing::PrintToString(Reasons(e));
    // Every entry that is off until turned on says why, and only those do.
    EXPECT_EQ(e.defaultOn, e.warning.empty()) << e.name;
    EXPECT_TRUE(names.insert(e.name).second) << "twice: " << e.name;
    ++perCategory[e.category];
  }
  EXPECT_EQ(perCategory[SWEEP_CATEGORY_WINDOWS], 7);
  EXPECT_EQ(perCategory[SWEEP_CATEGORY_INTERNET], 26);
  EXPECT_EQ(perCategory[SWEEP_CATEGORY_APPLICATIONS], 7);

  // Chosen here, cleaned inside the browsers' databases: no file, no key
  // (Firefox's history names only its jump list's icons and the hosts'
  // alternative services).
  EXPECT_EQ(Find("Firefox history (bookmarks kept)")->keys->files.size(), 2u);
  for (const char* choiceOnly :
       {"Firefox cookies (friendly sites kept)",
        "Google Chrome cookies (friendly sites kept)", "Microsoft Edge cookies (friendly sites kept)",
        "Brave cookies (friendly sites kept)", "Vivaldi cookies (friendly sites kept)"}) {
    const RuleEntry* e = Find(choiceOnly);
    ASSERT_NE(e, nullptr) << choiceOnly;
    EXPECT_TRUE(e->defaultOn);
    EXPECT_EQ(e->category, SWEEP_CATEGORY_INTERNET);
    EXPECT_TRUE(e->keys->files.empty() && e->keys->regs.empty()) << choiceOnly;
    EXPECT_TRUE(e->keys->hasDetection) << choiceOnly;
  }
  for (const char* off : {"Jump lists", "Thumbnail cache", "System temporary folder", "Google Chrome saved form data",
                          "Microsoft Edge open tabs and sessions", "Firefox saved session"}) {
    const RuleEntry* e = Find(off);
    ASSERT_NE(e, nullptr) << off;
    EXPECT_FALSE(e->defaultOn) << off;
  }
}

// Every folder a FileKey names lies below one of the three folders the
// variables gave, and below the program's own folder there.
TEST_F(BuiltinRulesTest, EveryFileKeyStaysBelowItsProgramsFolder) {
  const std::regex below(
      R"(.*\\(L\\(Google\\Chrome|Microsoft\\Edge|BraveSoftware\\Brave-Browser|Vivaldi)\\User Data\\(Default|Profile \*|segmentation_platform)|L\\Mozilla\\Firefox\\Profiles\\\*|R\\Mozilla\\Firefox\\Profiles\\\*|R\\Microsoft\\Windows\\Recent|L\\Microsoft\\Windows\\Explorer|W\\Temp)(\\.*)?)",
      std::regex::icase);
  int folders = 0;
  for (const RuleEntry& e : m_rules.Entries()) {
    for (const RuleFileKey& key : e.keys->files) {
      for (const RuleFolder& folder : key.folders) {
        ++folders;
        EXPECT_EQ(folder.path.compare(0, Root().size(), Root()), 0) << e.name << " " << key.key << ": " << folder.path;
        EXPECT_TRUE(std::regex_match(folder.path, below)) << e.name << " " << key.key << ": " << folder.path;
        EXPECT_FALSE(key.namedAtRoot) << e.name;
      }
      for (const std::string& pattern : key.patterns)
        EXPECT_NE(pattern, "*.*") << e.name << ": no entry takes every file of a folder by that spelling";
    }
  }
  EXPECT_GT(folders, 50);
}

// Every entry swept, the "off" ones too, over today's traces and what lies
// beside them: exactly the traces go.
TEST_F(BuiltinRulesTest, ASweepOfEveryEntryRemovesTheTracesAndKeepsWhatUsersKeep) {
  ASSERT_TRUE(SeedModernTracesIn(m_tmp / "L", m_tmp / "R"));
  const std::string recent = "R\\Microsoft\\Windows\\Recent\\";
  Plant(recent + "AutomaticDestinations\\5f7b5f1e01b83767.automaticDestinations-ms");
  Plant(recent + "AutomaticDestinations\\f01b4d95cf55d32a.automaticDestinations-ms");  // Quick Access pins
  Plant(recent + "CustomDestinations\\28c8b86deab549a1.customDestinations-ms");
  Plant(recent + "report.docx.lnk");  // the Recent folder itself is another target's
  Plant("L\\Microsoft\\Windows\\Explorer\\thumbcache_256.db");
  Plant("L\\Microsoft\\Windows\\Explorer\\iconcache_32.db");
  Plant("L\\Google\\Chrome\\User Data\\Default\\Extensions\\abc\\manifest.json");
  Plant("W\\Temp\\setup.tmp");
  Plant("W\\Temp\\installer\\part.tmp");
  Plant("W\\win.ini");
  RemovalAllowed(m_tmp / "warm-up");  // Wine records the shell folders on first asking
  const SnapshotMap before = Picture();

  for (const RuleEntry& e : m_rules.Entries()) Sweep(e);

  std::vector<std::regex> mayGo;
  for (const char* p : kMayGo) mayGo.emplace_back(p, std::regex::icase);
  const SnapshotDiff diff = CompareSnapshots(before, Picture());
  std::set<std::string> removed(diff.removed.begin(), diff.removed.end());
  for (const std::string& name : removed) {
    bool allowed = false;
    for (const std::regex& p : mayGo) allowed = allowed || std::regex_match(name, p);
    EXPECT_TRUE(allowed) << "removed: " << name;
  }
  EXPECT_TRUE(diff.added.empty() && diff.changed.empty()) << diff.Describe();
  for (const std::string& kept : ModernKeptFiles()) EXPECT_TRUE(FileExists(At(kept))) << kept;
  for (const char* kept : {"R\\Microsoft\\Windows\\Recent\\AutomaticDestinations\\f01b4d95cf55d32a.automaticDestinations-ms",
                           "R\\Microsoft\\Windows\\Recent\\report.docx.lnk", "L\\Microsoft\\Windows\\Explorer\\iconcache_32.db",
                           "L\\Google\\Chrome\\User Data\\Default\\Extensions\\abc\\manifest.json", "W\\win.ini"})
    EXPECT_TRUE(FileExists(At(kept))) << kept;

  // And the traces did go, of every kind.
  for (const char* gone :
       {"tmp\\L\\Google\\Chrome\\User Data\\Profile 1\\History", "tmp\\L\\Microsoft\\Edge\\User Data\\Default\\Cache\\Cache_Data\\data_0",
        "tmp\\R\\Mozilla\\Firefox\\Profiles\\m0rv4ne.default-release\\formhistory.sqlite",
        "tmp\\L\\Mozilla\\Firefox\\Profiles\\m0rv4ne.default-release\\cache2\\entries\\0A1B2C3D4E5F",
        "tmp\\W\\Temp\\installer\\part.tmp",
        "tmp\\L\\Google\\Chrome\\User Data\\segmentation_platform\\ukm_db",
        "tmp\\L\\Microsoft\\Edge\\User Data\\Profile 1\\JumpListIconsRecentClosed\\e5f6a7b8.ico",
        "tmp\\L\\Microsoft\\Edge\\User Data\\Default\\Sessions_Encrypted\\Tabs_13346",
        "tmp\\L\\Mozilla\\Firefox\\Profiles\\m0rv4ne.default-release\\jumpListCache\\Zm9vYmFy.ico", "tmp\\L\\Microsoft\\Windows\\Explorer\\thumbcache_256.db",
        "hkcu\\Microsoft\\Office\\16.0\\Word\\User MRU\\ADAL_5C1E7A\\File MRU",
        "hkcu\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU",
        "hkcu\\Adobe\\Acrobat Reader\\DC\\AVGeneral\\cRecentFolders"})
    EXPECT_EQ(removed.count(gone), 1u) << gone;
}

// The census and the rules say the same: every file and folder the census
// has deleted by an entry goes when that entry is swept, and by no other; all
// the census keeps, or cleans inside its database, stays through every entry.
TEST_F(BuiltinRulesTest, EachEntryDeletesExactlyWhatTheCensusSaysItDoes) {
  struct Planted {
    std::string rel;       // below the scratch folder
    std::string entry;     // the entry that deletes it, "" when none does
  };
  std::vector<Planted> planted;
  // A name as the browser would write it: wildcards filled in.
  auto concrete = [](std::string name) {
    for (size_t at; (at = name.find('[')) != std::string::npos;) name.replace(at, name.find(']', at) - at + 1, "a");
    for (char& c : name)
      if (c == '*' || c == '?') c = 'x';
    return name;
  };
  size_t count = 0, browserCount = 0;
  const CensusItem* census = BrowserCensus(&count);
  const BrowserInfo* browsers = Browsers(&browserCount);
  for (size_t b = 0; b < browserCount; ++b) {
    const BrowserInfo& browser = browsers[b];
    for (size_t i = 0; i < count; ++i) {
      const CensusItem& item = census[i];
      if (item.family != browser.family || item.kind == CensusKind::kTable) continue;
      std::string folder;
      if (browser.family == BrowserFamily::kFirefox)
        folder = std::string(item.place == CensusPlace::kLocal ? "L\\" : "R\\") + browser.dataRoot + "\\census.default";
      else
        folder = std::string("L\\") + browser.dataRoot + (item.place == CensusPlace::kUserData ? "" : "\\Profile 1");
      std::string rel = folder + "\\" + concrete(item.name);
      if (item.kind == CensusKind::kFolder) rel += "\\census.dat";
      Plant(rel);
      planted.push_back({rel, item.action == CensusAction::kWholeFile ? CensusEntryFor(item, browser) : ""});
    }
  }
  ASSERT_GT(planted.size(), 200u);
  RemovalAllowed(m_tmp / "warm-up");
  std::set<std::string> entriesUsed;
  for (const RuleEntry& e : m_rules.Entries()) {
    std::vector<bool> before;
    for (const Planted& p : planted) before.push_back(FileExists(At(p.rel)));
    Sweep(e);
    for (size_t i = 0; i < planted.size(); ++i) {
      if (!before[i]) continue;
      const bool gone = !FileExists(At(planted[i].rel));
      EXPECT_EQ(gone, planted[i].entry == e.name) << planted[i].rel << " under " << e.name;
      if (gone) entriesUsed.insert(e.name);
    }
  }
  for (const Planted& p : planted)
    EXPECT_EQ(FileExists(At(p.rel)), p.entry.empty()) << p.rel << (p.entry.empty() ? "" : " stays; its entry: " + p.entry);
  EXPECT_GE(entriesUsed.size(), 4u * 4u + 5u);
}

TEST_F(BuiltinRulesTest, NotesNameARunningBrowserOnceAndSpareTheSystemTempFromNonAdministrators) {
  ProgressRecorder log;
  BuiltinNotes notes;
  notes.SetRunningForTest({"MSEdge.exe", "explorer.exe"});
  const auto saved = BuiltinNotes::s_isAdministrator;
  BuiltinNotes::s_isAdministrator = [] { return false; };
  std::vector<std::string> ran;
  for (const char* name : {"Google Chrome history", "Microsoft Edge history", "Microsoft Edge cache",
                           "Google Chrome cookies (friendly sites kept)", "System temporary folder", "Jump lists"})
    if (notes.BeforeEntry(*Find(name), 0)) ran.push_back(name);
  BuiltinNotes::s_isAdministrator = saved;
  EXPECT_EQ(log.LogLines(),
            (std::vector<std::string>{
                "   Microsoft Edge is running and keeps some of its files open: close it for a full sweep.\n",
                "   The system's temporary folder can only be swept by an administrator: it was left as it is.\n"}));
  EXPECT_EQ(ran.size(), 5u) << "only the system's temporary folder is passed over";

  // A community entry of the same name is no built-in one: no notes.
  const RuleEntry& community = Read("[Microsoft Edge history *]\nLangSecRef=3022\nFileKey1=%AppData%|x.log\n");
  EXPECT_TRUE(notes.BeforeEntry(community, 0));
}

}  // namespace
