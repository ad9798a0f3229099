// End-to-end sweeps of the Applications category on the seeded traces: what
// goes, what stays, what the log says, and a preview that changes nothing.
#include <regex>
#include <set>

#include "tests/catalogue/applications_fixture.h"
#include <mutex>

#include "engine/outcome_ledger.h"

namespace {

// Registry entries a full sweep removes, as patterns over picture names: a
// key's name, its values as "<key>\:<name>".
const char* const kRemovedKeys[] = {
    R"(HKCU\\Software\\Microsoft\\Office\\(8|9|10)\.0\\Common\\Open Find\\Microsoft \w+\\Settings\\[^\\]+\\File Name MRU\\:Last Folder)",
    R"(HKCU\\Software\\Microsoft\\Office\\(8|9|10)\.0\\Word\\Data\\:Settings(Recent)?)",
    R"(HKCU\\Software\\Microsoft\\Office\\(8|9|10)\.0\\Excel\\Recent Files\\:File[12])",
    R"(HKCU\\Software\\Microsoft\\Office\\(8|9|10)\.0\\Access\\Settings\\:MRU(Flags)?[12])",
    R"(HKCU\\Software\\Microsoft\\Office\\(8|9)\.0\\PowerPoint\\Recent File List\\:File[12])",
    R"(HKCU\\Software\\Adobe\\Acrobat Reader\\[45]\.0\\AVGeneral\\cRecentFiles\\c[12](\\.*)?)",
    R"(HKCU\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList\\:File[01])",
    R"(HKLM\\SOFTWARE\\classes\\Software\\RealNetworks\\RealPlayer\\[567]\.0\\Preferences\\MostRecentClips[12](\\.*)?)",
    R"(HKCU\\SOFTWARE\\RealNetworks\\RealPlayer\\6\.0\\Preferences\\MostRecentClips1(\\.*)?)",
};
// Entries a full sweep rewrites: every dialog list's "Value".
const char kResetValues[] =
    R"(HKCU\\Software\\Microsoft\\Office\\(8|9|10)\.0\\Common\\Open Find\\Microsoft \w+\\Settings\\[^\\]+\\File Name MRU\\:Value)";

bool MatchesAny(const std::string& entry, const std::vector<std::regex>& patterns) {
  for (const std::regex& p : patterns)
    if (std::regex_match(entry, p)) return true;
  return false;
}

bool Has(const SnapshotMap& picture, const std::string& name) { return picture.count(name) != 0; }

}  // namespace

// The whole category on everything the seeder plants: exactly the traces go,
// every neighbour stays untouched, and the tally adds up.
TEST_F(ApplicationsSweepTest, FullSweepRemovesTheTracesAndNothingElse) {
  const SnapshotMap before = Snapshot();
  const ApplicationsSweepResult sweep = Sweep();
  const SnapshotMap after = Snapshot();
  const SnapshotDiff diff = CompareSnapshots(before, after);

  const std::string recent = "LOCAL\\Microsoft\\Office\\Recent\\";
  const std::string d = "ROAMING\\Real\\RealOne Player\\";
  const std::set<std::string> removedFiles = {
      recent + "plan.doc.lnk",
      recent + "budget.xls.lnk",
      d + "urls.ini",
      d + "realplayer.ste",
      d + "History\\h1.rhf",
      d + "History\\2004\\h0.rhf",
      d + "History\\2004",
      d + "Temp",
      d + "Temp\\t1.tmp",
      d + "Temp\\cache",
      d + "Temp\\cache\\t2.tmp",
      d + "cookies.txt",
  };
  std::vector<std::regex> removedKeys, resetValues{std::regex(kResetValues, std::regex::icase)};
  // The registry keeps the first spelling of a key ("Software" or "SOFTWARE").
  for (const char* p : kRemovedKeys) removedKeys.emplace_back(p, std::regex::icase);

  const std::set<std::string> removed(diff.removed.begin(), diff.removed.end());
  const std::set<std::string> changed(diff.changed.begin(), diff.changed.end());
  int expectedRemoved = 0, expectedReset = 0;
  unsigned long removedBytes = 0;
  for (const auto& [entry, description] : before) {
    const bool goes = removedFiles.count(entry) != 0 || MatchesAny(entry, removedKeys);
    const bool reset = MatchesAny(entry, resetValues);
    EXPECT_EQ(goes, removed.count(entry) != 0) << entry;
    EXPECT_EQ(reset, changed.count(entry) != 0) << entry;
    expectedRemoved += goes;
    expectedReset += reset;
    // "file <size> <hash>"
    if (goes && description.compare(0, 5, "file ") == 0) removedBytes += std::stoul(description.substr(5));
  }
  EXPECT_TRUE(diff.added.empty()) << diff.Describe();
  EXPECT_EQ(33, expectedReset);  // every dialog list of every version
  EXPECT_EQ(static_cast<int>(diff.removed.size()), expectedRemoved) << diff.Describe();

  // Office: 36 Word, 18 Excel, 18 Access (its MRU values are not counted),
  // 10 PowerPoint, 2 shortcuts. Reader and players: 4 Adobe, 2 Media Player,
  // 7 RealPlayer, 10 RealOne files and folders.
  EXPECT_EQ(107, sweep.items);
  EXPECT_FLOAT_EQ(removedBytes / 1024.0f, sweep.kb);
  EXPECT_EQ((std::vector<int>{0, 20, 40, 60, 80, 90, 95, 100}), sweep.bar);

  // The word is a case-sensitive prefix: the lower-case one stays.
  EXPECT_TRUE(Has(after, "HKCU\\Software\\Microsoft\\Office\\9.0\\Word\\Data\\:settings-user"));
  // A CookiesPath naming one file removes that file only.
  EXPECT_TRUE(Has(after, d + "cookies.bak"));
  // History is emptied (its shell file kept), Temp goes with its folder.
  EXPECT_TRUE(Has(after, d + "History"));
  EXPECT_TRUE(Has(after, d + "History\\desktop.ini"));
}

// A dialog list: its other value is deleted, "Value" becomes an empty
// multi-string; two items whose lines name the key. Sweeping again finds
// nothing left to count.
TEST_F(ApplicationsSweepTest, DialogListIsEmptiedOnceAndASecondSweepCountsNothing) {
  const std::string key =
      "Software\\Microsoft\\Office\\9.0\\Common\\Open Find\\Microsoft Excel\\Settings\\Save As\\File Name MRU";
  const ApplicationsSweepResult first = Sweep(0x01);

  const regtest::Raw value = regtest::Read(HKEY_CURRENT_USER, key, "Value");
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), value.type);
  EXPECT_EQ(std::string(4, '\0'), value.bytes);
  EXPECT_FALSE(regtest::Read(HKEY_CURRENT_USER, key, "Last Folder").found);
  const std::string path = key.substr(std::string("Software\\Microsoft\\Office\\").size());
  EXPECT_EQ(2, first.CountContaining("Clean a register: " + path + ".\n"));
  EXPECT_EQ(18, first.items);
  EXPECT_EQ(0.0f, first.kb);  // registry lists free no kilobytes

  const SnapshotMap before = Snapshot();
  const ApplicationsSweepResult second = Sweep(0x01);
  EXPECT_EQ(0, second.items);
  EXPECT_EQ(0, second.CountContaining("Clean a register"));
  EXPECT_TRUE(second.Logged("Finished cleaning up.\n"));
  EXPECT_TRUE(CompareSnapshots(before, Snapshot()).Empty());
}

// Access's recent-file values are removed and logged without item numbers,
// and the tally counts only its dialog lists.
TEST_F(ApplicationsSweepTest, AccessRecentValuesAreLoggedButNotCounted) {
  const ApplicationsSweepResult sweep = Sweep(0x08);
  EXPECT_EQ(18, sweep.items);  // 3 versions x 3 dialog lists x 2 values
  for (const char* name : {"MRU1", "MRU2", "MRUFlags1", "MRUFlags2"}) {
    for (const char* v : {"8.0", "9.0", "10.0"}) {
      const std::string key = std::string("Software\\Microsoft\\Office\\") + v + "\\Access\\Settings";
      EXPECT_FALSE(regtest::Read(HKEY_CURRENT_USER, key, name).found);
    }
    EXPECT_EQ(3, sweep.CountContaining(std::string("  Delete Value: ") + name + "="));
  }
  for (const std::string& line : sweep.lines) {
    if (line.find("Delete Value:") != std::string::npos) {
      EXPECT_EQ(std::string::npos, line.find("Item")) << line;
    }
  }
  EXPECT_TRUE(regtest::Read(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\8.0\\Access\\Settings",
                            "Default Database Directory")
                  .found);
}

// PowerPoint 10.0 gets its dialog list swept and no recent-file list, even
// when one exists; each version still writes its line.
TEST_F(ApplicationsSweepTest, PowerPointTenSweepsOnlyItsDialogList) {
  const std::string list10 = "Software\\Microsoft\\Office\\10.0\\PowerPoint\\Recent File List";
  regtest::PutText(HKEY_CURRENT_USER, list10, "File1", "C:\\Work\\new.ppt");
  const ApplicationsSweepResult sweep = Sweep(0x04);

  EXPECT_TRUE(regtest::Read(HKEY_CURRENT_USER, list10, "File1").found);
  EXPECT_EQ(
      2, sweep.CountContaining(
             "Clean a register: 10.0\\Common\\Open Find\\Microsoft PowerPoint\\Settings\\Save As\\File Name MRU.\n"));
  EXPECT_EQ(10, sweep.items);
  const std::vector<std::string> expected = {"Start clean up historical records on MS Office PowerPoint.\n",
                                             "Clean up PowerPoint 8.0.\n", "Clean up PowerPoint 9.0.\n",
                                             "Clean up PowerPoint 10.0.\n"};
  std::vector<std::string> versionLines;
  for (const std::string& l : sweep.lines)
    if (l.compare(0, 6, "Start ") == 0 || l.compare(0, 9, "Clean up ") == 0) versionLines.push_back(l);
  versionLines.resize(std::min(versionLines.size(), expected.size()));
  EXPECT_EQ(expected, versionLines);
}

// Without the Office key Word writes its opening line only and leaves the
// Office Recent folder as it is.
TEST_F(ApplicationsSweepTest, MissingOfficeKeyLeavesTheRecentFolderAlone) {
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office"));
  const ApplicationsSweepResult sweep = Sweep(0x02);
  EXPECT_TRUE(FileExists(RecentFolder() + "\\plan.doc.lnk"));
  EXPECT_TRUE(FileExists(RecentFolder() + "\\budget.xls.lnk"));
  EXPECT_TRUE(sweep.Logged("Start clean up historical records on MS Office Word.\n"));
  EXPECT_EQ(0, sweep.CountContaining("Clean up Word"));
  EXPECT_EQ(0, sweep.CountContaining("recent files for Word"));
  EXPECT_EQ(0, sweep.items);
}

// A preview of the full sweep logs exactly what the real sweep then logs and
// removes, and changes nothing itself.
TEST_F(ApplicationsSweepTest, PreviewListsWhatTheSweepRemovesAndChangesNothing) {
  const SnapshotMap before = Snapshot();
  const ApplicationsSweepResult preview = Sweep(0x7F, /*preview=*/true);
  const SnapshotDiff unchanged = CompareSnapshots(before, Snapshot());
  EXPECT_TRUE(unchanged.Empty()) << unchanged.Describe();

  const ApplicationsSweepResult real = Sweep(0x7F);
  EXPECT_EQ(real.lines, preview.lines);
  EXPECT_EQ(real.items, preview.items);
  EXPECT_FLOAT_EQ(real.kb, preview.kb);
  EXPECT_EQ(107, preview.items);
  EXPECT_FALSE(CompareSnapshots(before, Snapshot()).Empty());
}

// Every item the real cleaners record is named in full: a file by its path,
// a registry item hive first, whichever key the cleaner opened it below (an
// Office version's key, a player's parent key, a dialog's list), numbered or
// part of a numbered item.
TEST_F(ApplicationsSweepTest, EveryRegistryItemIsNamedHiveFirst) {
  struct AllRecords : OutcomeSink {
    std::mutex lock;
    std::vector<OutcomeRecord> records;
    void Record(const OutcomeRecord& r) override {
      std::lock_guard<std::mutex> hold(lock);
      records.push_back(r);
    }
  } sink;
  AttachOutcomeSink(&sink);
  Sweep(0x7F, /*preview=*/true);
  DetachOutcomeSink(&sink);
  std::set<std::string> named;
  for (const OutcomeRecord& r : sink.records) {
    named.insert(r.item);
    const bool file = r.item.size() > 2 && r.item[1] == ':' && r.item[2] == '\\';
    EXPECT_TRUE(file || r.item.rfind("HKEY_CURRENT_USER\\", 0) == 0 || r.item.rfind("HKEY_LOCAL_MACHINE\\", 0) == 0)
        << r.entry << ": " << r.item;
  }
  const std::string office = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\";
  const std::string dialogs = "\\Common\\Open Find\\Microsoft ";
  const std::string expected[] = {
      office + "8.0\\Access\\Settings\\MRU1",
      office + "10.0\\Excel\\Recent Files\\File2",
      office + "9.0\\PowerPoint\\Recent File List\\File1",
      office + "9.0\\Word\\Data\\Settings",
      office + "8.0" + dialogs + "Word\\Settings\\Open\\File Name MRU\\Value",
      office + "10.0" + dialogs + "Access\\Settings\\Open\\File Name MRU\\Last Folder",
      "HKEY_CURRENT_USER\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList\\File0",
  };
  for (const std::string& item : expected) EXPECT_EQ(named.count(item), 1u) << item;
  EXPECT_GT(named.size(), std::size(expected));
}
