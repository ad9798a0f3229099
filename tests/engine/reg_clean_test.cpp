// Registry cleaning on real keys: MRU lists, whole value sets, per-extension
// lists, prefix deletions, the line cut, and keys that refuse changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/reg_clean.h"
#include "engine/reg_primitives.h"
#include "support/test_env.h"
#include "tests/engine/reg_fixtures.h"

namespace {

using Lines = std::vector<std::string>;

class RegClean : public ::testing::Test {
 protected:
  const std::string kPath = "Software\\Test\\List";
  std::unique_ptr<RegKey> Open(const std::string& path) {
    return std::make_unique<RegKey>(path, HKEY_CURRENT_USER);
  }
  RegistrySandbox sandbox;
  ProgressRecorder log;
  int count = 0;
  float kb = 0;
};

TEST_F(RegClean, MruListIsResetAndListValuesDeleted) {
  regseed::Sz(kPath, "a", "C:\\one.txt");
  regseed::Sz(kPath, "b", "C:\\two.txt");
  regseed::Sz(kPath, "MRUList", "ba");
  CleanMRU(4, *Open(kPath), IDC_STATUS_WINDOWS, &count, &kb);

  EXPECT_EQ(log.LogLines(), (Lines{"  Clean up MRU in registry key: " + kPath + "\n",
                                   "  Item 1, Delete Value: a=C:\\one.txt.\n",
                                   "  Item 2, Delete Value: b=C:\\two.txt.\n",
                                   "  Item 3, Reset Value: MRUList=ba to empty.\n"}));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(kb, 0.0f);
  EXPECT_EQ(log.ItemText(IDC_STATUS_WINDOWS), "  Item 3, Reset Value: MRUList=ba to empty.\n");
  EXPECT_FALSE(regseed::Has(kPath, "a"));
  EXPECT_FALSE(regseed::Has(kPath, "b"));
  regseed::Value mru;
  ASSERT_TRUE(regseed::Has(kPath, "MRUList", &mru));
  EXPECT_EQ(mru.type, (DWORD)REG_SZ);
  EXPECT_EQ(mru.bytes.find_first_not_of('\0'), std::string::npos) << "an empty string";

  // Run again: an empty MRUList and nothing else is left alone.
  count = 0;
  CleanMRU(4, *Open(kPath), IDC_STATUS_WINDOWS, &count, &kb);
  EXPECT_EQ(count, 0);
}

TEST_F(RegClean, EmptyMruListIsNeitherResetNorCounted) {
  regseed::Sz(kPath, "a", "x");
  regseed::Sz(kPath, "b", "y");
  regseed::Sz(kPath, "MRUList", "");
  CleanMRU(4, *Open(kPath), 0, nullptr, nullptr);
  EXPECT_EQ(log.LogLines(), (Lines{"  Clean up MRU in registry key: " + kPath + "\n", "  Delete Value: a=x.\n",
                                   "  Delete Value: b=y.\n"}))
      << "without a counter: plain lines";
  EXPECT_TRUE(regseed::Has(kPath, "MRUList"));
  EXPECT_TRUE(log.ItemText(0).empty());
}

TEST_F(RegClean, EmptyDataKeptByMruButDeletedByWholeKey) {
  regseed::Put(kPath, "blank", REG_SZ, std::string());
  regseed::Sz(kPath, "full", "data");
  regseed::Sz(kPath, "(Default)", "named like the default");
  CleanMRU(4, *Open(kPath), 0, &count, nullptr);
  EXPECT_TRUE(regseed::Has(kPath, "blank"));
  EXPECT_FALSE(regseed::Has(kPath, "full"));
  EXPECT_EQ(count, 1);

  CleanRegKey(4, *Open(kPath), 0, &count, nullptr);
  EXPECT_FALSE(regseed::Has(kPath, "blank"));
  EXPECT_TRUE(regseed::Has(kPath, "(Default)")) << "a value named \"(Default)\" is never touched";
  EXPECT_EQ(count, 2);
}

TEST_F(RegClean, KeyTreeEmptiesSubkeyDefaultsAndDeletesTheRest) {
  regseed::Sz(kPath, "top", "1");
  regseed::Sz(kPath + "\\site", "", "secret default");
  regseed::Sz(kPath + "\\site", "user", "name");
  regseed::Put(kPath + "\\site", "empty", REG_SZ, std::string());
  CleanRegKeyTree(4, *Open(kPath), IDC_STATUS_INTERNET, &count, nullptr);

  EXPECT_EQ(log.LogLines(), (Lines{"  Clean up registry key: " + kPath + "\n", "  Item 1, Delete Value: top=1.\n",
                                   "  Item 2, Reset Value: =secret default to empty.\n",
                                   "  Item 3, Delete Value: user=name.\n"}));
  EXPECT_FALSE(regseed::Has(kPath, "top"));
  regseed::Value def;
  ASSERT_TRUE(regseed::Has(kPath + "\\site", "", &def));
  EXPECT_EQ(def.bytes.find_first_not_of('\0'), std::string::npos);
  EXPECT_FALSE(regseed::Has(kPath + "\\site", "user"));
  EXPECT_TRUE(regseed::Has(kPath + "\\site", "empty"));
  EXPECT_TRUE(regseed::KeyExists(kPath + "\\site")) << "subkeys stay";
}

TEST_F(RegClean, SubKeyMruCleansEachListBelow) {
  for (const char* ext : {".doc", ".txt"}) {
    regseed::Sz(kPath + "\\" + ext, "a", std::string("file") + ext);
    regseed::Sz(kPath + "\\" + ext, "MRUList", "a");
  }
  regseed::Sz(kPath, "a", "not below");
  CleanSubKeyMRU(4, *Open(kPath), 0, &count, nullptr);
  EXPECT_EQ(count, 4);
  EXPECT_TRUE(regseed::Has(kPath, "a")) << "the key's own values are not a sub-list";
  EXPECT_FALSE(regseed::Has(kPath + "\\.txt", "a"));
}

TEST_F(RegClean, FileExtDeletesOnlyTypesWithASlash) {
  regseed::Sz(kPath + "\\.txt", "a", "x");
  regseed::Sz(kPath + "\\.doc", "a", "y");
  regseed::Sz(kPath + "\\text/plain\\deeper", "a", "z");
  TraceRecorder trace;
  auto key = Open(kPath);
  // Added after the key was opened, with a name longer than any it had.
  regseed::MakeKey(kPath + "\\application/vnd.long-type-name");
  CleanFileExt(4, *key, IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_EQ(log.LogLines(), (Lines{"  Item 1, Delete SubKey: " + kPath + "\\application/vnd.long-type-name.\n",
                                   "  Item 2, Delete SubKey: " + kPath + "\\text/plain.\n"}));
  EXPECT_TRUE(trace.Contains("Calling CleanFileExt Function.\n"));
  EXPECT_TRUE(regseed::KeyExists(kPath + "\\.txt"));
  EXPECT_TRUE(regseed::KeyExists(kPath + "\\.doc"));
  EXPECT_FALSE(regseed::KeyExists(kPath + "\\text/plain"));
}

TEST_F(RegClean, PrefixDeletions) {
  regseed::Sz(kPath, "MRU0", "a");
  regseed::Sz(kPath, "MRU1", "b");
  regseed::Sz(kPath, "MRUFlags", "c");
  regseed::Sz(kPath, "mru2", "case differs");
  regseed::Sz(kPath, "Other", "d");
  count = 7;
  DeleteValuesByPrefixes(*Open(kPath), "MRU", "MRUFlags", IDC_STATUS_APPLICATIONS, &count, nullptr);
  EXPECT_EQ(log.LogLines(),
            (Lines{"  Delete Value: MRU0=a.\n", "  Delete Value: MRU1=b.\n", "  Delete Value: MRUFlags=c.\n"}));
  EXPECT_EQ(count, 7) << "these deletions are never counted";
  EXPECT_EQ(log.ItemText(IDC_STATUS_APPLICATIONS), "  Delete Value: MRUFlags=c.\n");
  EXPECT_TRUE(regseed::Has(kPath, "mru2"));
  EXPECT_TRUE(regseed::Has(kPath, "Other"));

  DeleteValuesByPrefix(*Open(kPath), nullptr, 0, &count, nullptr);
  DeleteValuesByPrefixes(*Open(kPath), nullptr, "O", 0, &count, nullptr);
  EXPECT_TRUE(regseed::Has(kPath, "Other")) << "no prefix deletes nothing";
  DeleteValuesByPrefix(*Open(kPath), "Oth", 0, &count, nullptr);
  EXPECT_FALSE(regseed::Has(kPath, "Other"));
  EXPECT_EQ(count, 8);

  regseed::Sz(kPath + "\\Cookie.0\\deep", "v", "1");
  regseed::Sz(kPath + "\\Cookie.1", "v", "1");
  regseed::Sz(kPath + "\\Keep", "v", "1");
  DeleteSubKeysByPrefix(*Open(kPath), "Cookie.", 0, &count, nullptr);
  EXPECT_FALSE(regseed::KeyExists(kPath + "\\Cookie.0"));
  EXPECT_FALSE(regseed::KeyExists(kPath + "\\Cookie.1"));
  EXPECT_TRUE(regseed::KeyExists(kPath + "\\Keep"));
  EXPECT_EQ(count, 10);
}

TEST_F(RegClean, OfficeListsEchoToApplicationsWhateverTheCaller) {
  regseed::Put(kPath, "Value", REG_MULTI_SZ, std::string("C:\\a.doc\0C:\\b.doc\0\0", 20));
  regseed::Sz(kPath, "Other", "x");
  regseed::Sz(kPath, "(Default)", "y");
  CleanOfficeCommon(4, *Open(kPath), IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(log.ItemText(IDC_STATUS_APPLICATIONS), "  Item 3: Clean a register: " + kPath + ".\n");
  EXPECT_TRUE(log.ItemText(IDC_STATUS_WINDOWS).empty());
  regseed::Value v;
  ASSERT_TRUE(regseed::Has(kPath, "Value", &v));
  EXPECT_EQ(v, (regseed::Value{REG_MULTI_SZ, std::string(4, '\0')}));
  EXPECT_FALSE(regseed::Has(kPath, "Other"));
  EXPECT_FALSE(regseed::Has(kPath, "(Default)"));

  CleanOfficeCommon(4, *Open(kPath), 0, &count, nullptr);
  EXPECT_EQ(count, 3) << "an emptied list is not counted again";
}

TEST_F(RegClean, LongDataIsCutInItsLineAndNeverRunsOn) {
  regseed::Sz(kPath, "a_long", std::string(300, 'x'));
  // Binary data has no terminator; it must not show the longer data before it.
  regseed::Put(kPath, "b_bin", REG_BINARY, "abc");
  const std::string longName(300, 'n');  // a name is never cut
  regseed::Sz(kPath, longName.c_str(), "d");
  CleanRegKey(4, *Open(kPath), 0, &count, nullptr);
  const Lines lines = log.LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "  Item 1, Delete Value: a_long=" + std::string(200, 'x') + "....\n");
  EXPECT_EQ(lines[2], "  Item 2, Delete Value: b_bin=abc.\n");
  EXPECT_EQ(lines[3], "  Item 3, Delete Value: " + longName + "=d.\n");
  EXPECT_FALSE(regseed::Has(kPath, "a_long"));
}

TEST_F(RegClean, ValuesThatOutgrowTheOpeningSnapshotAreStillCleaned) {
  regseed::Sz(kPath, "a", "short");
  auto key = Open(kPath);
  // Written after the key was opened: longer data and a longer name than
  // its snapshot allows for.
  regseed::Sz(kPath, "b", std::string(2000, 'y'));
  regseed::Sz(kPath, std::string(40, 'c').c_str(), "z");
  CleanRegKey(4, *key, 0, &count, nullptr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(regseed::Snapshot(kPath).size(), 1u) << "only the key itself is left";
}

// A refused deletion is not an item removed: it is named after the call and
// counted as not removed, and the walk passes over it.
TEST_F(RegClean, RefusedDeletionsAreNamedCountedAsNotRemovedAndPassedOver) {
  regseed::Sz(kPath, "a", "1");
  regseed::Sz(kPath, "b", "2");
  regseed::Sz(kPath, "c", "3");
  regseed::Sz(kPath, "MRUList", "abc");
  HKEY readOnly = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kPath.c_str(), 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  RegKey key(readOnly);
  const auto before = regseed::Snapshot(kPath);
  ResetOutcomes();
  CleanMRU(4, key, 0, &count, nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(NotRemovedCount(), 4) << "each value once: no step back after a failure, so no endless walk";
  ResetOutcomes();
  EXPECT_EQ(regseed::Snapshot(kPath), before);
  for (const auto& l : log.LogLines())
    EXPECT_TRUE(l.rfind("  Clean up MRU", 0) == 0 || l.rfind("   Not removed: ", 0) == 0) << l;
}

// A value whose name holds a lone surrogate has no spelling in the program's
// text: it stays, and a sweep or a preview must say so rather than pass it
// over as already gone.
TEST_F(RegClean, AValueWhoseNameDoesNotConvertIsCountedAsLeft) {
  regseed::Sz(kPath, "a", "1");
  HKEY raw = nullptr;
  const std::wstring wpath(kPath.begin(), kPath.end());
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, wpath.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &raw), ERROR_SUCCESS);
  const wchar_t lone[] = {L'l', 0xD800, L's', 0};
  ASSERT_EQ(::RegSetValueExW(raw, lone, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4), ERROR_SUCCESS);
  for (bool preview : {true, false}) {
    SCOPED_TRACE(preview ? "preview" : "sweep");
    PreviewScope scope(preview);
    ResetOutcomes();
    count = 0;
    DeleteValues(*Open(kPath), nullptr, 0, &count, nullptr);
    EXPECT_EQ(count, 1) << "the value with a plain name";
    EXPECT_EQ(NotRemovedCount(), 1);
  }
  ResetOutcomes();
  EXPECT_EQ(::RegQueryValueExW(raw, lone, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  ::RegCloseKey(raw);
}

TEST_F(RegClean, ClosedKeyLogsOnlyTheOpeningLine) {
  RegKey missing("Software\\Test\\Missing", HKEY_CURRENT_USER);
  for (auto op : {CleanRegKey, CleanRegKeyTree, CleanMRU, CleanSubKeyMRU, CleanFileExt, CleanOfficeCommon})
    op(4, missing, 0, &count, nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(log.LogLines().size(), 5u) << "every operation but CleanFileExt has an opening line";
}

// The primitives catalogue cleaners call directly: an empty name never
// reaches the registry (it would name the key itself), and a preview answers
// as a success that changed nothing.
TEST_F(RegClean, KeyPrimitivesRefuseEmptyNamesAndPreviewNothing) {
  regseed::Sz(kPath + "\\Sub", "v", "1");
  const auto seeded = regseed::Snapshot(kPath);
  {
    auto key = Open(kPath);
    EXPECT_EQ(SweepDeleteSubKey(*key, ""), RegChange::kFailed);
    EXPECT_EQ(SweepDeleteKey(HKEY_CURRENT_USER, ""), RegChange::kFailed);
    EXPECT_EQ(SweepDeleteKey(HKEY_CURRENT_USER, nullptr), RegChange::kFailed);
    PreviewScope preview(true);
    EXPECT_EQ(SweepDeleteSubKey(*key, "Sub"), RegChange::kPreviewed);
    EXPECT_EQ(SweepDeleteKey(HKEY_CURRENT_USER, kPath.c_str()), RegChange::kPreviewed);
    EXPECT_EQ(SweepDeleteKey(HKEY_CURRENT_USER, "Software\\Test\\Absent"), RegChange::kAbsent);
    auto sub = Open(kPath + "\\Sub");
    EXPECT_EQ(SweepSetValue(*sub, "v", REG_SZ, "", 0), RegChange::kPreviewed);
    EXPECT_EQ(SweepDeleteValue(*sub, "v"), RegChange::kPreviewed);
  }
  EXPECT_EQ(regseed::Snapshot(kPath), seeded);
  EXPECT_EQ(SweepDeleteKey(HKEY_CURRENT_USER, kPath.c_str()), RegChange::kDone);
  EXPECT_FALSE(regseed::KeyExists(kPath));
}

}  // namespace
