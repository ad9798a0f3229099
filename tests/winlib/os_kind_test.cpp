#include "winlib/os_kind.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_env.h"
#include "winlib/platform_calls.h"

namespace {
// What the fake reports, and the structure sizes it was asked with.
struct FakeVersion {
  bool failExtended = false, failBasic = false;
  DWORD platform = 0, major = 0, minor = 0;
  std::vector<DWORD> sizesAsked;
};
FakeVersion g_fake;

BOOL WINAPI FakeGetVersionEx(LPOSVERSIONINFOA info) {
  g_fake.sizesAsked.push_back(info->dwOSVersionInfoSize);
  const bool extended = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
  if (extended ? g_fake.failExtended : g_fake.failBasic) return FALSE;
  info->dwPlatformId = g_fake.platform;
  info->dwMajorVersion = g_fake.major;
  info->dwMinorVersion = g_fake.minor;
  info->dwBuildNumber = 2600;
  lstrcpyA(info->szCSDVersion, "Service Pack 2");
  return TRUE;
}

class OsKindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = FakeVersion{};
    g_platform.GetVersionExA = &FakeGetVersionEx;
  }
  void TearDown() override {
    ResetPlatformCalls();
    g_nOsKind = 0;
  }
  int Kind(DWORD platform, DWORD major, DWORD minor) {
    g_fake.platform = platform;
    g_fake.major = major;
    g_fake.minor = minor;
    return DetermineOsKind();
  }
};
}  // namespace

TEST_F(OsKindTest, TheTableOfVersions) {
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32s, 3, 1), 8);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_WINDOWS, 4, 0), 1);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_WINDOWS, 4, 10), 2);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_WINDOWS, 4, 90), 3);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_WINDOWS, 4, 3), 0);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 3, 51), 4);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 4, 0), 4);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 5, 0), 6);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 5, 1), 7);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 5, 2), 0);
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 6, 1), 0);
  EXPECT_EQ(g_nOsKind, 0);
  // One call each, with the extended structure.
  EXPECT_EQ(g_fake.sizesAsked, std::vector<DWORD>(11, 156));
}

TEST_F(OsKindTest, FallsBackToTheBasicStructureThenGivesUp) {
  TraceRecorder trace;
  g_fake.failExtended = true;
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_WINDOWS, 4, 10), 2);
  EXPECT_EQ(g_fake.sizesAsked, (std::vector<DWORD>{156, 148}));
  EXPECT_TRUE(trace.Contains("Service Pack 2 (Build 2600)\n"));

  g_fake.failBasic = true;
  EXPECT_EQ(Kind(VER_PLATFORM_WIN32_NT, 5, 1), -1);
  EXPECT_EQ(g_nOsKind, -1);
}

TEST_F(OsKindTest, TheRealSystemAnswers) {
  ResetPlatformCalls();
  TraceRecorder trace;
  DetermineOsKind();
  // Wine and current Windows are newer than the table: no code, but a trace.
  EXPECT_NE(g_nOsKind, -1);
  EXPECT_TRUE(trace.Contains("(Build "));
}
