// The Windows cleaners one at a time: the recycle bin's lines and counting,
// the last logon name's roots and keys, the temporary folders' compare with
// the row before, and the custom locations (filters, subfolders, refusals).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "catalogue/windows_targets.h"
#include "engine/preview.h"
#include "windows_fixture.h"

namespace {

using Lines = std::vector<std::string>;

Lines Containing(const Lines& log, const std::string& part) {
  Lines out;
  for (const auto& l : log)
    if (l.find(part) != std::string::npos) out.push_back(l);
  return out;
}

using WindowsTargets = WindowsBench;

TEST_F(WindowsTargets, RecycleBinLinesCountsAndFailures) {
  struct Case {
    const char* name;
    HRESULT query, empty;
    unsigned long long items, bytes;
    bool preview;
    Lines log;
    int count;
    float kb;
    int emptied;
    bool traced;
  };
  const Case cases[] = {
      {"empty bin", S_OK, S_OK, 0, 0, false,
       {"  Clean up 'Recycle Bin'. Items 0, Size 0.000(KB)\n", "  Cleaned up 'Recycle Bin'.\n"}, 0, 0.0f, 1, false},
      {"three items", S_OK, S_OK, 3, 2560, false,
       {"  Clean up 'Recycle Bin'. Items 3, Size 2.500(KB)\n", "  Cleaned up 'Recycle Bin'.\n"}, 3, 2.5f, 1, false},
      {"query fails", E_FAIL, S_OK, 3, 2560, false,
       {"  Clean up 'Recycle Bin'.\n", "  Cleaned up 'Recycle Bin'.\n"}, 0, 0.0f, 1, false},
      {"empty fails: nothing counted, the bin named as not removed", S_OK, E_FAIL, 3, 2560, false,
       {"  Clean up 'Recycle Bin'. Items 3, Size 2.500(KB)\n",
        "   Not removed: Recycle Bin (3 item(s)): the shell refused to empty it.\n"},
       0, 0.0f, 1, true},
      {"preview empties nothing", S_OK, S_OK, 3, 2560, true,
       {"  Clean up 'Recycle Bin'. Items 3, Size 2.500(KB)\n", "  Cleaned up 'Recycle Bin'.\n"}, 3, 2.5f, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowsFakeBin::Reset();
    WindowsFakeBin::queryResult = c.query;
    WindowsFakeBin::emptyResult = c.empty;
    WindowsFakeBin::items = c.items;
    WindowsFakeBin::bytes = c.bytes;
    ProgressRecorder rec;
    TraceRecorder trace;
    int count = 0;
    float kb = 0.0f;
    {
      PreviewScope preview(c.preview);
      CleanRecycleBin(nullptr, &count, &kb);
    }
    EXPECT_EQ(c.log, rec.LogLines());
    EXPECT_EQ(c.count, count);
    EXPECT_FLOAT_EQ(c.kb, kb);
    EXPECT_EQ(c.emptied, WindowsFakeBin::emptied);
    if (c.emptied) {
      EXPECT_EQ(7u, WindowsFakeBin::flags);  // no confirmation, progress or sound
    }
    EXPECT_EQ(sizeof(SHQUERYRBINFO), WindowsFakeBin::sizeField);
    EXPECT_EQ(c.traced, trace.Contains("Cannot Empty All RecycleBin"));
    if (c.query == S_OK) {
      EXPECT_EQ(c.log[0], rec.ItemText(IDC_STATUS_WINDOWS));
    }
  }
}

const char* const kNt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char* const kWin = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";

void SetValue(HKEY root, const char* path, const char* name) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("someone"), 8);
  ::RegCloseKey(key);
}

TEST_F(WindowsTargets, LogonNamesOnlyUnderTheMachineKeyAreEachCountedOnce) {
  for (const char* v : {"DefaultUserName", "AltDefaultDomainName", "Shell"}) SetValue(HKEY_LOCAL_MACHINE, kNt, v);
  int count = 0;
  CleanLogonUser(nullptr, &count, nullptr);
  const std::string machine = std::string("HKEY_LOCAL_MACHINE\\") + kNt + "\\";
  EXPECT_EQ((Lines{"Clean up default logon user name.\n",
                   "  Item 1, Clean up registry key: " + machine + "AltDefaultDomainName\n",
                   "  Item 2, Clean up registry key: " + machine + "DefaultUserName\n"}),
            m_progress.LogLines());
  EXPECT_EQ(2, count);
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kNt, "DefaultUserName"));
  EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, kNt, "Shell"));
}

TEST_F(WindowsTargets, LogonNamesKeyOrderRootsPlainLinesAndPreview) {
  SetValue(HKEY_LOCAL_MACHINE, kWin, "DefaultUserName");
  SetValue(HKEY_CURRENT_USER, kWin, "DefaultDomainName");
  SetValue(HKEY_LOCAL_MACHINE, kNt, "AltDefaultUserName");
  SetValue(HKEY_CURRENT_USER, kNt, "DefaultUserName");
  const Lines expected = {"Clean up default logon user name.\n",
                          std::string("  Clean up registry key: HKEY_CURRENT_USER\\") + kNt + "\\DefaultUserName\n",
                          std::string("  Clean up registry key: HKEY_LOCAL_MACHINE\\") + kNt + "\\AltDefaultUserName\n",
                          std::string("  Clean up registry key: HKEY_CURRENT_USER\\") + kWin + "\\DefaultDomainName\n",
                          std::string("  Clean up registry key: HKEY_LOCAL_MACHINE\\") + kWin + "\\DefaultUserName\n"};
  {
    ProgressRecorder rec;
    PreviewScope preview(true);
    CleanLogonUser(nullptr, nullptr, nullptr);
    EXPECT_EQ(expected, rec.LogLines()) << "a preview names what the sweep removes";
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kNt, "DefaultUserName"));
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, kWin, "DefaultUserName"));
  }
  ProgressRecorder rec;
  CleanLogonUser(nullptr, nullptr, nullptr);
  EXPECT_EQ(expected, rec.LogLines());
  EXPECT_EQ("", rec.ItemText(IDC_STATUS_WINDOWS)) << "plain lines stay out of the status line";
  EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kNt, "DefaultUserName"));
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kWin, "DefaultUserName"));
}

TEST_F(WindowsTargets, TemporaryFoldersAreComparedWithTheRowBefore) {
  const std::string a = m_root / "A", b = m_root / "B";
  ASSERT_TRUE(::CreateDirectoryA(a.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(b.c_str(), nullptr));
  struct Case {
    const char *tmp, *temp, *tmpdir;
    Lines opened;
  };
  const Case cases[] = {
      {"A", "A", nullptr, {"%TMP%", "%TMPDIR%"}},
      {"A", "B", "A", {"%TMP%", "%TEMP%", "%TMPDIR%"}},
      {"A", "B", "B", {"%TMP%", "%TEMP%"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tmp) + c.temp + (c.tmpdir ? c.tmpdir : "-"));
    ASSERT_TRUE(WriteFileBytes(a + "\\x.tmp", "x"));
    ASSERT_TRUE(WriteFileBytes(b + "\\y.tmp", "y"));
    auto folder = [&](const char* n) { return n == nullptr ? std::string() : m_root / n; };
    ::SetEnvironmentVariableA("TMP", folder(c.tmp).c_str());
    ::SetEnvironmentVariableA("TEMP", folder(c.temp).c_str());
    ::SetEnvironmentVariableA("TMPDIR", c.tmpdir ? folder(c.tmpdir).c_str() : nullptr);
    ProgressRecorder rec;
    int count = 0;
    CleanTempFiles(nullptr, &count, nullptr);
    Lines opened;
    for (const auto& l : Containing(rec.LogLines(), "  Clean up directory: "))
      opened.push_back(l.substr(22, l.size() - 24));
    EXPECT_EQ(c.opened, opened);
    EXPECT_FALSE(FileExists(a + "\\x.tmp"));
    EXPECT_EQ(std::string(c.temp) == "B", !FileExists(b + "\\y.tmp"));
    EXPECT_EQ(std::string(c.temp) == "B" ? 2 : 1, count);
  }
}

class WindowsCustomLocations : public WindowsBench {
 protected:
  void SetUp() override {
    WindowsBench::SetUp();
    if (HasFatalFailure()) return;
    Seed();  // the work folder: a.tmp, build.tmp, keep.txt, sub\b.tmp, cache.tmp\inner.dat
  }
  Lines Run(std::vector<CustomLocation> list, int* count) {
    g_WindowsSettings.m_locations = std::move(list);
    ProgressRecorder rec;
    CleanCustomLocations(nullptr, count, nullptr);
    return rec.LogLines();
  }
  bool Left(const char* name) { return FileExists(places.work + "\\" + name); }
};

TEST_F(WindowsCustomLocations, FilesOnlyWithoutSubfolders) {
  int count = 0;
  const Lines log = Run({CustomLocation(places.work, "*.tmp", 0)}, &count);
  EXPECT_EQ(2, count);
  EXPECT_EQ(2u, log.size()) << "no heading line for custom locations";
  EXPECT_FALSE(Left("a.tmp"));
  EXPECT_FALSE(Left("build.tmp"));
  EXPECT_TRUE(Left("keep.txt"));
  EXPECT_TRUE(Left("sub\\b.tmp"));
  EXPECT_TRUE(Left("cache.tmp\\inner.dat"));
}

TEST_F(WindowsCustomLocations, WithSubfoldersMatchingFoldersGoWholeOthersAreNotEntered) {
  int count = 0;
  const Lines log = Run({CustomLocation(places.work, "*.tmp", 1)}, &count);
  EXPECT_EQ(4, count) << "a.tmp, build.tmp, cache.tmp\\inner.dat and cache.tmp itself";
  EXPECT_EQ(1u, Containing(log, "Remove directory: " + places.work + "\\cache.tmp,").size());
  EXPECT_FALSE(Left("a.tmp"));
  EXPECT_FALSE(Left("cache.tmp"));
  EXPECT_TRUE(Left("sub\\b.tmp"));
  EXPECT_TRUE(Left("keep.txt"));
}

TEST_F(WindowsCustomLocations, EmptyFilterAndRefusedPlacesAreLoggedAsSkipped) {
  char windows[MAX_PATH], profile[MAX_PATH];
  ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  ASSERT_GT(::ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH), 1u);
  int count = 0;
  const Lines log = Run({CustomLocation(places.work, "", 0), CustomLocation(places.work, "", 1),
                         CustomLocation("C:", "*.tmp", 0), CustomLocation(windows, "*.tmp", 0),
                         CustomLocation(profile, "*.tmp", 0), CustomLocation("Work", "*.tmp", 0),
                         CustomLocation(places.work + "\\sub\\..\\..\\..\\..", "*.tmp", 0)},
                        &count);
  EXPECT_EQ(0, count);
  EXPECT_TRUE(Left("a.tmp"));
  ASSERT_EQ(7u, log.size()) << ::testing::PrintToString(log);
  EXPECT_EQ("  Skipped " + places.work + ": it has no file filter.\n", log[0]);
  EXPECT_EQ("  Skipped C:\\: it is a drive root.\n", log[2]);
  EXPECT_EQ("  Skipped " + std::string(windows) + ": it is the Windows folder.\n", log[3]);
  EXPECT_EQ("  Skipped " + std::string(profile) + ": it is a user profile.\n", log[4]);
  EXPECT_EQ("  Skipped Work: it is not a full path.\n", log[5]);
  EXPECT_EQ("  Skipped " + places.work + "\\sub\\..\\..\\..\\..: it is a user profile.\n", log[6])
      << "judged by the folder it reaches, not by its spelling";
}

TEST_F(WindowsCustomLocations, ListHeldByAnotherThreadIsNotSweptSilently) {
  g_WindowsSettings.m_locations = {CustomLocation(places.work, "*.tmp", 0)};
  HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, nullptr), release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    g_WindowsSettings.m_lock.Lock();
    ::SetEvent(held);
    ::WaitForSingleObject(release, 10000);
    g_WindowsSettings.m_lock.Unlock();
  });
  ::WaitForSingleObject(held, 10000);
  int count = 0;
  CleanCustomLocations(nullptr, &count, nullptr);
  ::SetEvent(release);
  holder.join();
  ::CloseHandle(held);
  ::CloseHandle(release);
  EXPECT_EQ((Lines{"  Custom locations skipped: their list is being changed.\n"}), m_progress.LogLines());
  EXPECT_TRUE(Left("a.tmp"));
}

}  // namespace
