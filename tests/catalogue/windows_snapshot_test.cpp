// The before/after pictures the "nothing else changed" tests rely on: they
// must see a change of content that keeps the size, a removed value, and a
// folder link without walking into it.
#include <gtest/gtest.h>

#include "support/snapshot.h"
#include "support/test_env.h"

namespace {

TEST(WindowsSnapshot, SeesContentRenamesAndRegistryChanges) {
  RegistrySandbox sandbox;
  TempFolder tmp;
  ASSERT_TRUE(::CreateDirectoryA((tmp / "sub").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(tmp / "sub\\a.txt", "abcd"));
  ASSERT_TRUE(WriteFileBytes(tmp / "b.txt", "1"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Shot\\Inner", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2));

  auto take = [&] {
    SnapshotMap m;
    SnapshotFolder("F", tmp.Path(), m);
    SnapshotKey("HKCU", HKEY_CURRENT_USER, "Software\\Shot", m);
    return m;
  };
  const SnapshotMap before = take();
  EXPECT_EQ("dir", before.at("F\\sub"));
  EXPECT_EQ(0u, before.at("F\\sub\\a.txt").rfind("file 4 ", 0));
  EXPECT_EQ("key", before.at("HKCU\\Inner"));
  EXPECT_TRUE(before.count("HKCU\\Inner\\:v"));
  EXPECT_TRUE(before.count("HKCU\\Inner\\:"));
  EXPECT_TRUE(CompareSnapshots(before, take()).Empty());

  ASSERT_TRUE(WriteFileBytes(tmp / "sub\\a.txt", "abce"));  // same size, other bytes
  ASSERT_TRUE(::MoveFileA((tmp / "b.txt").c_str(), (tmp / "c.txt").c_str()));
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteValueA(key, "v"));
  ::RegCloseKey(key);

  const SnapshotDiff diff = CompareSnapshots(before, take());
  EXPECT_EQ((std::vector<std::string>{"F\\b.txt", "HKCU\\Inner\\:v"}), diff.removed) << diff.Describe();
  EXPECT_EQ((std::vector<std::string>{"F\\c.txt"}), diff.added) << diff.Describe();
  EXPECT_EQ((std::vector<std::string>{"F\\sub\\a.txt"}), diff.changed) << diff.Describe();
  const SnapshotDiff rest = Unexpected(diff, [](const std::string& n) { return n.rfind("F\\", 0) == 0; });
  EXPECT_EQ((std::vector<std::string>{"HKCU\\Inner\\:v"}), rest.removed);
  EXPECT_TRUE(rest.added.empty() && rest.changed.empty());
}

}  // namespace
