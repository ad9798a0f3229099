// The operations table and the row walker: the fixed entry order, missing
// subkeys and base keys, kind codes, environment rows naming one folder
// twice, and a preview that logs and counts as a real sweep but changes
// nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/clean_ops.h"
#include "engine/preview.h"
#include "engine/reg_clean.h"
#include "support/test_env.h"
#include "tests/engine/reg_fixtures.h"
#include "tests/engine/removal_fixtures.h"

namespace {

using Lines = std::vector<std::string>;
const char kBase[] = "Software\\Test\\CurrentVersion";

TEST(CleanOpsTable, EntriesKeepTheirOrderAndForms) {
  struct Entry {
    CleanOpId id;
    const char* name;
    RowForm form;
  };
  const Entry expected[] = {
      {OP_CLEAN_NOTHING, "CleanNothing", RowForm::kNone},
      {OP_CLEAN_DIR_BY_VALUE, "CleanDirByValue", RowForm::kFolder},
      {OP_CLEAN_DIR_TREE_BY_VALUE, "CleanDirTreeByValue", RowForm::kFolder},
      {OP_CLEAN_SUBDIR_BY_VALUE, "CleanSubDirByValue", RowForm::kSubFolder},
      {OP_CLEAN_DIR_QUIET, "CleanDirQuiet", RowForm::kFolder},
      {OP_CLEAN_ENV_DIR, "CleanEnvDir", RowForm::kEnvironment},
      {OP_CLEAN_ENV_DIR_GUARDED, "CleanEnvDirGuarded", RowForm::kEnvironment},
      {OP_CLEAN_REG_KEY, "CleanRegKey", RowForm::kKey},
      {OP_CLEAN_REG_KEY_TREE, "CleanRegKeyTree", RowForm::kKey},
      {OP_CLEAN_MRU, "CleanMRU", RowForm::kKey},
      {OP_CLEAN_SUBKEY_MRU, "CleanSubKeyMRU", RowForm::kKey},
      {OP_CLEAN_FILE_EXT, "CleanFileExt", RowForm::kKey},
      {OP_CLEAN_OFFICE_COMMON, "CleanOfficeCommon", RowForm::kKey},
  };
  for (const Entry& e : expected) {
    const CleanOp& op = kCleanOps[e.id];
    SCOPED_TRACE(e.name);
    EXPECT_STREQ(op.name, e.name);
    EXPECT_EQ(op.form, e.form);
    // Exactly the function for its form.
    EXPECT_EQ(op.keyOp != nullptr, e.form == RowForm::kKey);
    EXPECT_EQ(op.folderOp != nullptr, e.form == RowForm::kFolder || e.form == RowForm::kSubFolder);
    EXPECT_EQ(op.envOp != nullptr, e.form == RowForm::kEnvironment);
  }
  EXPECT_EQ(kCleanOps[OP_CLEAN_MRU].keyOp, &CleanMRU);
  EXPECT_EQ(kCleanOps[OP_CLEAN_OFFICE_COMMON].keyOp, &CleanOfficeCommon);
}

class CleanRowsTest : public ::testing::Test {
 protected:
  std::string Sub(const char* rel) { return std::string(kBase) + "\\" + rel; }
  RegistrySandbox sandbox;
  ProgressRecorder log;
  RemovalOptions options{false, false};
  int count = 0;
  float kb = 0;
};

TEST_F(CleanRowsTest, MissingSubkeysAreSilentAndKindCodesChangeNothing) {
  regseed::Sz(Sub("Explorer\\RunMRU"), "a", "cmd");
  regseed::Sz(Sub("Explorer\\RunMRU"), "MRUList", "a");
  const CleanItem rows[] = {
      KeyRow(kKindKey, "Explorer\\Missing", OP_CLEAN_MRU),
      KeyRow(kKindRunKey, "Explorer\\RunMRU", OP_CLEAN_MRU),
  };
  CleanRows(HKEY_CURRENT_USER, kBase, rows, IDC_STATUS_WINDOWS, &count, &kb, nullptr);
  const Lines withRunKind = log.LogLines();
  EXPECT_EQ(withRunKind, (Lines{"  Clean up MRU in registry key: Explorer\\RunMRU\n",
                                "  Item 1, Delete Value: a=cmd.\n",
                                "  Item 2, Reset Value: MRUList=a to empty.\n"}))
      << "the missing key gives no line; lines name the row's path";

  // The same seed walked by a row of kind 4 gives the same lines.
  regseed::Sz(Sub("Explorer\\RunMRU"), "a", "cmd");
  regseed::Sz(Sub("Explorer\\RunMRU"), "MRUList", "a");
  const CleanItem plain[] = {KeyRow(kKindKey, "Explorer\\RunMRU", OP_CLEAN_MRU)};
  ProgressRecorder second;
  int count2 = 0;
  CleanRows(HKEY_CURRENT_USER, kBase, plain, IDC_STATUS_WINDOWS, &count2, &kb, nullptr);
  EXPECT_EQ(second.LogLines(), withRunKind);
  EXPECT_EQ(count2, count);
}

TEST_F(CleanRowsTest, WithoutABaseKeyOnlyEnvironmentRowsRun) {
  TempFolder tmp;
  WriteFileBytes(tmp / "t.tmp", "x");
  const std::string folder = tmp.Path();
  const CleanItem rows[] = {
      KeyRow(kKindKey, "Explorer\\RunMRU", OP_CLEAN_MRU),
      EnvRow(kKindFolder, folder.c_str(), "*.*", OP_CLEAN_ENV_DIR),
      KeyRow(kKindKey, "Explorer\\RunMRU", OP_CLEAN_NOTHING),
      FolderRow(kKindFolder, "Explorer\\RunMRU", "x", nullptr, OP_CLEAN_MRU),  // form does not fit: skipped
  };
  CleanRows(HKEY_CURRENT_USER, "Software\\Test\\Absent", rows, 0, &count, &kb, nullptr);
  EXPECT_FALSE(FileExists(tmp / "t.tmp"));
  EXPECT_EQ(count, 1);
}

TEST_F(CleanRowsTest, TwoNamesOfOneTemporaryFolderCleanItOnce) {
  TempFolder tmp;
  WriteFileBytes(tmp / "t.tmp", "x");
  ::SetEnvironmentVariableA("MORVANE_TEMP_A", tmp.Path().c_str());
  ::SetEnvironmentVariableA("MORVANE_TEMP_B", tmp.Path().c_str());
  const CleanItem rows[] = {
      EnvRow(kKindFolder, "%MORVANE_TEMP_A%", "*.*", OP_CLEAN_ENV_DIR),
      EnvRow(kKindFolder, "%MORVANE_TEMP_B%", "*.*", OP_CLEAN_ENV_DIR),
      EnvRow(kKindFolder, "%MORVANE_TEMP_A%", "*.*", OP_CLEAN_ENV_DIR),
  };
  CleanRows(HKEY_CURRENT_USER, kBase, rows, 0, &count, &kb, nullptr);
  EXPECT_EQ(log.LogLines(), (Lines{"  Clean up directory: %MORVANE_TEMP_A%.\n",
                                   "   Item 1, Remove file: " + (tmp / "t.tmp") + ", size 0.001(KB).\n"}));
  ::SetEnvironmentVariableA("MORVANE_TEMP_A", nullptr);
  ::SetEnvironmentVariableA("MORVANE_TEMP_B", nullptr);
}

// A preview walks the same rows over the same seed as the real sweep that
// follows it: the same lines and totals, and nothing changed until the real
// sweep runs.
TEST_F(CleanRowsTest, PreviewLogsAndCountsAsTheSweepAndChangesNothing) {
  for (const char* v : {"a", "b", "c"}) regseed::Sz(Sub("Explorer\\RecentDocs"), v, std::string("doc ") + v);
  regseed::Sz(Sub("Explorer\\RecentDocs"), "MRUList", "cba");
  regseed::Sz(Sub("Explorer\\RecentDocs\\.txt"), "a", "t.txt");
  regseed::Sz(Sub("Explorer\\RecentDocs\\.txt"), "MRUList", "a");
  regseed::Sz(Sub("Explorer\\FileExts\\.txt"), "a", "x");
  regseed::Sz(Sub("Explorer\\FileExts\\text/plain"), "a", "x");
  regseed::Sz(Sub("Explorer\\FileExts\\image/png"), "a", "x");
  regseed::Sz(Sub("Passwords"), "p", "secret");
  regseed::Sz(Sub("Passwords\\site"), "", "default");
  regseed::Put(Sub("Office"), "Value", REG_MULTI_SZ, std::string("C:\\a.doc\0\0", 10));
  regseed::Sz(Sub("Office"), "Other", "o");
  const CleanItem rows[] = {
      KeyRow(kKindKey, "Explorer\\RecentDocs", OP_CLEAN_MRU),
      KeyRow(kKindKey, "Explorer\\RecentDocs", OP_CLEAN_SUBKEY_MRU),
      KeyRow(kKindKey, "Explorer\\FileExts", OP_CLEAN_FILE_EXT),
      KeyRow(kKindKey, "Passwords", OP_CLEAN_REG_KEY_TREE),
      KeyRow(kKindKey, "Office", OP_CLEAN_OFFICE_COMMON),
  };
  const auto seeded = regseed::Snapshot(kBase);

  Lines previewLines;
  int previewCount = 0;
  {
    ProgressRecorder rec;
    PreviewScope preview(true);
    CleanRows(HKEY_CURRENT_USER, kBase, rows, IDC_STATUS_WINDOWS, &previewCount, &kb, nullptr);
    previewLines = rec.LogLines();
  }
  EXPECT_EQ(regseed::Snapshot(kBase), seeded) << "a preview changes no value and no key";
  EXPECT_FALSE(PreviewActive());

  Lines realLines;
  int realCount = 0;
  {
    ProgressRecorder rec;
    CleanRows(HKEY_CURRENT_USER, kBase, rows, IDC_STATUS_WINDOWS, &realCount, &kb, nullptr);
    realLines = rec.LogLines();
  }
  EXPECT_EQ(previewLines, realLines);
  EXPECT_EQ(previewCount, realCount);
  EXPECT_EQ(realCount, 12);
  EXPECT_NE(regseed::Snapshot(kBase), seeded);
  EXPECT_FALSE(regseed::KeyExists(Sub("Explorer\\FileExts\\text/plain")));
}

}  // namespace
