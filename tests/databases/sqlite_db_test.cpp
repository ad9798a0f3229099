// SqliteDb's two doors: the exclusive open a sweep uses (what it answers for
// each kind of file, and that a commit or a rollback is whole), and the
// snapshot the Cookie Control reads through, in folders whose names need
// escaping in a URI or are not ASCII.
#include <windows.h>

#include <gtest/gtest.h>

#include "engine/sqlite_db.h"
#include "support/test_env.h"

namespace {

class SqliteDbTest : public ::testing::Test {
 protected:
  std::string MakeDb(const std::string& folderName) {
    const std::string folder = m_temp / folderName;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "\\data.sqlite";
    SqliteDb db;
    EXPECT_TRUE(db.OpenForWriting(path));
    EXPECT_TRUE(db.Exec("PRAGMA journal_mode=WAL; CREATE TABLE t (x); INSERT INTO t VALUES (1), (2);"));
    return path;
  }

  TempFolder m_temp;
};

TEST_F(SqliteDbTest, ExclusiveOpenAnswersForEachKindOfFile) {
  const std::string good = MakeDb("plain");
  const std::string text = m_temp / "text.sqlite";
  ASSERT_TRUE(WriteFileBytes(text, "SQLite format 2, or so it says"));
  struct Case {
    std::string path;
    DbOpen expected;
  } cases[] = {{m_temp / "missing.sqlite", DbOpen::kMissing},
               {m_temp / "plain", DbOpen::kFailed},
               {text, DbOpen::kNotDatabase},
               {good + std::string("\0x", 2), DbOpen::kFailed},
               {good, DbOpen::kOpen}};
  for (const Case& c : cases) {
    SqliteDb db;
    EXPECT_EQ(db.OpenExclusive(c.path), c.expected) << c.path;
    EXPECT_EQ(db.IsOpen(), c.expected == DbOpen::kOpen) << c.path;
  }
}

TEST_F(SqliteDbTest, ChangesAreWholeOrNotAtAll) {
  const std::string path = MakeDb("whole");
  {
    SqliteDb db;
    ASSERT_EQ(db.OpenExclusive(path), DbOpen::kOpen);
    ASSERT_TRUE(db.Exec("DELETE FROM t WHERE x = 1"));
    // Closed without a commit: thrown away.
  }
  {
    SqliteDb db;
    ASSERT_EQ(db.OpenExclusive(path), DbOpen::kOpen);
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM t"), 2);
    ASSERT_TRUE(db.Exec("DELETE FROM t WHERE x = 1"));
    // While the sweep holds it, nobody else gets in, not even to read.
    SqliteDb other;
    EXPECT_EQ(other.OpenExclusive(path), DbOpen::kInUse);
    ASSERT_TRUE(db.Commit());
    EXPECT_TRUE(db.Vacuum());
  }
  SqliteDb db;
  ASSERT_TRUE(db.OpenForWriting(path));
  EXPECT_EQ(db.QueryTexts("SELECT x FROM t"), std::vector<std::string>{"2"});
  EXPECT_TRUE(db.IntegrityOk());
}

TEST_F(SqliteDbTest, SnapshotReadsAHeldDatabaseWhateverItsFolderIsCalled) {
  for (const char* folder : {"User Data", "a#b%20c", "Профиль ü"}) {
    const std::string path = MakeDb(folder);
    const std::string before = ReadFileBytes(path);
    SqliteDb holder;
    ASSERT_TRUE(holder.OpenForWriting(path));
    ASSERT_TRUE(holder.Exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;"));
    SqliteDb snapshot;
    ASSERT_TRUE(snapshot.OpenSnapshot(path)) << folder;
    EXPECT_EQ(snapshot.QueryInt("SELECT sum(x) FROM t"), 3) << folder;
    EXPECT_FALSE(snapshot.Exec("DELETE FROM t")) << folder;
    snapshot.Close();
    holder.Close();
    EXPECT_EQ(ReadFileBytes(path), before) << folder;
  }
}

}  // namespace
