// The outcome ledger as the removal primitives feed it: what went is recorded
// with its name and size, what stays is counted as not removed and named in
// the log after the call, and nothing that stayed is logged or counted as gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/recycle_bin.h"
#include "engine/reg_clean.h"
#include "engine/reg_primitives.h"
#include "engine/reg_value.h"
#include "engine/restart_removal.h"
#include "settings/reg_key.h"
#include "support/key_access.h"
#include "support/test_env.h"
#include "tests/engine/removal_fixtures.h"
#include "winlib/platform_calls.h"
#include "winlib/unique_handle.h"

namespace {

class RecordingSink : public OutcomeSink {
 public:
  RecordingSink() { AttachOutcomeSink(this); }
  ~RecordingSink() override { DetachOutcomeSink(this); }
  void Record(const OutcomeRecord& record) override {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_records.push_back(record);
  }
  std::vector<OutcomeRecord> Records() {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_records;
  }

 private:
  std::mutex m_mutex;
  std::vector<OutcomeRecord> m_records;
};

const char kKey[] = "Software\\LedgerTest";

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override { ResetOutcomes(); }
  void TearDown() override {
    ResetPlatformCalls();
    ResetOutcomes();
    // Open again, so that the sandbox can remove its scratch keys.
    MakeKeyWritable(HKEY_CURRENT_USER, std::string(kKey) + "\\Sub");
    MakeKeyWritable(HKEY_CURRENT_USER, kKey);
  }

  // A key holding two values and a subkey that the user may read but not
  // change, as a machine key is for a standard user.
  void PlantReadOnlyKey() {
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\Sub").c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(h);
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    ::RegSetValueExA(h, "a", 0, REG_SZ, reinterpret_cast<const BYTE*>("one"), 4);
    ::RegSetValueExA(h, "b", 0, REG_SZ, reinterpret_cast<const BYTE*>("two"), 4);
    ::RegCloseKey(h);
    ASSERT_TRUE(MakeKeyReadOnly(HKEY_CURRENT_USER, kKey));
    ASSERT_TRUE(MakeKeyReadOnly(HKEY_CURRENT_USER, std::string(kKey) + "\\Sub"));
  }
  bool ValueThere(const char* name) {
    return ::RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }
  std::vector<std::string> LinesWith(const std::string& text) {
    std::vector<std::string> out;
    for (const auto& l : m_log.LogLines())
      if (l.find(text) != std::string::npos) out.push_back(l);
    return out;
  }
  // The file, held open without sharing until the test ends.
  HANDLE HoldLocked(const std::string& path, size_t bytes) {
    WriteFileBytes(path, std::string(bytes, 'l'));
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    m_held.emplace_back(h);
    return h;
  }

  RegistrySandbox m_reg;
  TempFolder m_tmp;
  ProgressRecorder m_log;
  RecordingSink m_sink;
  std::vector<ScopedHandle> m_held;
};

// Every registry change the system refuses: nothing is logged or counted as
// gone, each refused item is named once with its reason and counted as not
// removed.
TEST_F(Ledger, RegistryChangesTheSystemRefusesAreCountedAsNotRemovedAndNamed) {
  PlantReadOnlyKey();
  struct Case {
    const char* what;
    void (*run)(int* count);
    int notRemoved;
    const char* named;
  } cases[] = {
      {"a named value", [](int* count) {
         RegKey key(kKey, HKEY_CURRENT_USER);
         if (RemoveRegistryValue(key, "a")) ++*count;
       }, 1, "HKEY_CURRENT_USER\\Software\\LedgerTest\\a"},
      {"every value of the key", [](int* count) {
         RegKey key(kKey, HKEY_CURRENT_USER);
         CleanRegKey(0, key, IDC_STATUS_WINDOWS, count, nullptr);
       }, 2, "HKEY_CURRENT_USER\\Software\\LedgerTest\\b"},
      {"a list reset", [](int* count) {
         RegKey key(kKey, HKEY_CURRENT_USER);
         if (ChangeMade(SweepSetValue(key, "a", REG_SZ, "", 0))) ++*count;
       }, 1, "HKEY_CURRENT_USER\\Software\\LedgerTest\\a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetOutcomes();
    const size_t linesBefore = m_log.LogLines().size();
    int count = 0;
    c.run(&count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(NotRemovedCount(), c.notRemoved);
    EXPECT_TRUE(ValueThere("a"));
    EXPECT_TRUE(ValueThere("b"));
    std::vector<std::string> lines = m_log.LogLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(linesBefore));
    bool named = false;
    for (const auto& l : lines) {
      EXPECT_EQ(l.find("Delete Value"), std::string::npos) << l;
      EXPECT_EQ(l.find("Item "), std::string::npos) << l;
      named |= l.rfind(std::string("   Not removed: ") + c.named + ": the system refused it (error 5).\n", 0) == 0;
    }
    EXPECT_TRUE(named) << "no line names " << c.named;
  }
}

// Files: a held file without Deep Sweep, and with Deep Sweep when the system
// will not schedule it (a standard user may not), are not removed; neither
// is logged as gone or adds its size, and the records say why.
TEST_F(Ledger, FilesThatStayAreRecordedAsHeldOrNotScheduledNeverAsGone) {
  const std::string folder = m_tmp / "t";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string locked = folder + "\\locked.tmp";
  HoldLocked(locked, 3072);
  WriteFileBytes(folder + "\\gone.txt", std::string(2048, 'g'));
  g_platform.MoveFileExW = [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  struct {
    bool deepSweep;
    Outcome outcome;
    const char* reason;
  } cases[] = {{false, Outcome::kHeld, "another program holds it"},
               {true, Outcome::kNotScheduled,
                "it could be neither removed now nor scheduled for removal at restart"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.deepSweep ? "Deep Sweep" : "no Deep Sweep");
    ResetOutcomes();
    int count = 0;
    float kb = 0;
    DirWalker(folder + "\\*.*", c.deepSweep).RemoveFiles(IDC_STATUS_WINDOWS, &count, &kb);
    EXPECT_TRUE(FileExists(locked));
    EXPECT_EQ(NotRemovedCount(), 1);
    EXPECT_TRUE(LinesWith("After Rebooting").empty());
    EXPECT_EQ(LinesWith("   Not removed: " + locked + ": " + c.reason + ".\n").size(), 1u);
    const auto records = m_sink.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().item, locked);
    EXPECT_EQ(records.back().outcome, c.outcome);
    if (!c.deepSweep) {
      EXPECT_EQ(count, 1) << "only the file that went";
      EXPECT_FLOAT_EQ(kb, 2.0f);
    } else {
      EXPECT_EQ(count, 0);
      EXPECT_EQ(kb, 0.0f);
    }
  }
  // What went carries its name and size for a list of removed items.
  bool listed = false;
  for (const auto& r : m_sink.Records())
    if (r.item == folder + "\\gone.txt") {
      listed = true;
      EXPECT_EQ(r.outcome, Outcome::kRemoved);
      EXPECT_DOUBLE_EQ(r.kb, 2.0);
    }
  EXPECT_TRUE(listed);
}

// Removal now or at restart answers "at restart" only when the system took
// the file; otherwise the file is named as not removed.
TEST_F(Ledger, RestartRemovalThatTheSystemTurnsDownIsNotScheduled) {
  const std::string folder = m_tmp / "profile";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string locked = folder + "\\history.dat";
  HoldLocked(locked, 1024);
  PendingRenames pending;
  EXPECT_EQ(RemoveNowOrAtRestart(locked), RestartRemoval::kAtRestart);
  EXPECT_EQ(NotRemovedCount(), 0);
  EXPECT_EQ(m_sink.Records().back().outcome, Outcome::kScheduled);
  EXPECT_DOUBLE_EQ(m_sink.Records().back().kb, 1.0);

  g_platform.MoveFileExW = [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  EXPECT_EQ(RemoveNowOrAtRestart(locked), RestartRemoval::kNotScheduled);
  EXPECT_EQ(NotRemovedCount(), 1);
  EXPECT_EQ(m_sink.Records().back().outcome, Outcome::kNotScheduled);
  EXPECT_EQ(LinesWith("   Not removed: " + locked + ": ").size(), 1u);
}

// A folder is logged and counted once it is gone; one that keeps a file
// stays unlogged and uncounted, the file that kept it being named on its
// own, but its record says it stays and why (a preview may have listed it
// as going).
TEST_F(Ledger, AFolderThatStaysIsNeverLoggedAsRemoved) {
  const std::string folder = m_tmp / "t";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((folder + "\\kept").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((folder + "\\empty").c_str(), nullptr));
  HoldLocked(folder + "\\kept\\busy.log", 10);
  int count = 0;
  const bool emptied = DirWalker(folder + "\\*.*", false).RemoveTree(0, IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_FALSE(emptied);
  EXPECT_TRUE(FileExists(folder + "\\kept"));
  EXPECT_FALSE(FileExists(folder + "\\empty"));
  EXPECT_EQ(count, 1) << "only the empty folder";
  EXPECT_TRUE(LinesWith("Remove directory: " + folder + "\\kept").empty());
  EXPECT_EQ(LinesWith("Remove directory: " + folder + "\\empty").size(), 1u);
  EXPECT_EQ(NotRemovedCount(), 1) << "the held file";
  EXPECT_TRUE(LinesWith("Not removed: " + folder + "\\kept: ").empty()) << "counted once, through its file";
  int folderRecords = 0;
  for (const auto& r : m_sink.Records()) {
    if (r.item != folder + "\\kept") continue;
    ++folderRecords;
    EXPECT_EQ(r.outcome, Outcome::kHoldsLeftItem);
    EXPECT_EQ(r.reason, "it still holds an item that was not removed");
  }
  EXPECT_EQ(folderRecords, 1);

  // Chosen removal (rule entries): a folder kept by a held file is named as
  // left; one that only holds a file the entry does not choose is not.
  const std::string chosen = m_tmp / "c";
  ASSERT_TRUE(::CreateDirectoryA(chosen.c_str(), nullptr));
  for (const char* sub : {"\\held", "\\other"}) ASSERT_TRUE(::CreateDirectoryA((chosen + sub).c_str(), nullptr));
  HoldLocked(chosen + "\\held\\busy.tmp", 10);
  ASSERT_TRUE(WriteFileBytes(chosen + "\\other\\keep.txt", "k"));
  DirWalker walker(chosen + "\\*.*", false);
  const bool chosenEmptied = walker.RemoveChosen(
      [](const std::string&, const std::string& name) { return name.find(".tmp") != std::string::npos; }, true, true, 0,
      &count, nullptr);
  // The walk's own folder (a rule's REMOVESELF root) likewise.
  EXPECT_FALSE(walker.SettleOwnFolder(chosenEmptied, 0, &count));
  std::vector<std::string> left;
  for (const auto& r : m_sink.Records())
    if (r.outcome == Outcome::kHoldsLeftItem) left.push_back(r.item);
  EXPECT_EQ(left, (std::vector<std::string>{folder + "\\kept", chosen + "\\held", chosen}));
}

// A file whose folder is moved away after its check, as it is removed: the
// system may say it went (Wine removes by the name it was opened under) while
// it stays in the moved folder. Each file is either gone and logged, or there
// and counted as not removed; none is both.
TEST_F(Ledger, AFileWhoseFolderMovesAsItIsRemovedIsCountedWhereItStays) {
  const std::string folder = m_tmp / "moving", away = m_tmp / "moved";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  for (const char* name : {"a.tmp", "b.tmp", "c.tmp"}) WriteFileBytes(folder + "\\" + name, "x");
  bool moved = false;
  SetMarkedHookForTests([&] {
    if (!moved) moved = ::MoveFileA(folder.c_str(), away.c_str()) != FALSE;
  });
  int count = 0;
  DirWalker(folder + "\\*.tmp", false).RemoveChosen([](const std::string&, const std::string&) { return true; },
                                                     false, false, IDC_STATUS_WINDOWS, &count, nullptr);
  SetMarkedHookForTests(nullptr);
  ASSERT_TRUE(moved);
  int stayed = 0;
  for (const char* name : {"a.tmp", "b.tmp", "c.tmp"}) {
    const bool there = FileExists(away + "\\" + name);
    stayed += there;
    EXPECT_EQ(LinesWith("Remove file: " + folder + "\\" + name).size(), there ? 0u : 1u) << name;
  }
  EXPECT_EQ(count, 3 - stayed);
  EXPECT_EQ(NotRemovedCount(), stayed);
}

// The recycle bin counts only once the shell has emptied it.
TEST_F(Ledger, ARecycleBinTheShellWillNotEmptyIsNotRemoved) {
  g_platform.SHQueryRecycleBinA = [](LPCSTR, LPSHQUERYRBINFO info) -> HRESULT {
    info->i64NumItems = 3;
    info->i64Size = 4096;
    return S_OK;
  };
  g_platform.SHEmptyRecycleBinA = [](HWND, LPCSTR, DWORD) -> HRESULT { return E_FAIL; };
  EXPECT_FALSE(EmptyRecycleBins());
  EXPECT_EQ(NotRemovedCount(), 1);
  ASSERT_FALSE(m_sink.Records().empty());
  EXPECT_EQ(m_sink.Records().back().outcome, Outcome::kFailed);

  g_platform.SHEmptyRecycleBinA = [](HWND, LPCSTR, DWORD) -> HRESULT { return S_OK; };
  EXPECT_TRUE(EmptyRecycleBins());
  EXPECT_EQ(NotRemovedCount(), 1);
  EXPECT_EQ(m_sink.Records().back().outcome, Outcome::kRemoved);
  EXPECT_DOUBLE_EQ(m_sink.Records().back().kb, 4.0);
}

}  // namespace

namespace {

// Every way a named removal can stop early leaves a record, so that "Not
// removed" and the exit code see it: a file whose folder is reached through
// a link (restart removal), and a folder to be removed that is no longer the
// folder that was swept (REMOVESELF).
TEST_F(Ledger, EveryEarlyExitOfANamedRemovalIsRecorded) {
  const std::string linked = "D:\\fixtures\\hostile\\alias\\outside\\secret.txt";
  if (FileExists(linked)) {
    EXPECT_EQ(RemoveNowOrAtRestart(linked), RestartRemoval::kRefused);
    EXPECT_EQ(NotRemovedCount(), 1);
    EXPECT_TRUE(FileExists(linked));
    ASSERT_FALSE(m_sink.Records().empty());
    EXPECT_EQ(m_sink.Records().back().item, linked);
  }
  ResetOutcomes();
  const std::string self = m_tmp / "self";
  ASSERT_TRUE(::CreateDirectoryA(self.c_str(), nullptr));
  DirWalker walker(self + "\\*.*", false);
  int count = 0;
  EXPECT_TRUE(walker.RemoveChosen([](const std::string&, const std::string&) { return true; }, true, true, 0, &count,
                                  nullptr));
  // Swapped for another folder of the same name between the walk and the removal.
  ASSERT_TRUE(::MoveFileA(self.c_str(), (self + "-old").c_str()));
  ASSERT_TRUE(::CreateDirectoryA(self.c_str(), nullptr));
  EXPECT_FALSE(walker.RemoveOwnFolder(0, &count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(NotRemovedCount(), 1);
  EXPECT_TRUE(FileExists(self));
}

}  // namespace
