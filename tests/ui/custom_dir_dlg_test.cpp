// The custom locations dialog under Xvfb: its lines, the refusals and their
// messages, the working list staying aligned with the list box, OK and
// Cancel towards the page, and the folder chooser driven for real.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "support/message_boxes.h"
#include "support/test_env.h"
#include "ui/custom_dir_dlg.h"
#include "ui/dialog_probe.h"
#include "ui/file_open.h"
#include "winlib/file_dialog.h"
#include "winlib/window_probe.h"

namespace {

void Enter(HWND dlg, const std::string& folder, const std::string& filter, bool subfolders) {
  ::SetDlgItemTextA(dlg, IDC_CUSTOM_FOLDER, folder.c_str());
  ::SetDlgItemTextA(dlg, IDC_CUSTOM_FILTER, filter.c_str());
  ::CheckDlgButton(dlg, IDC_CUSTOM_SUBDIRS, subfolders ? BST_CHECKED : BST_UNCHECKED);
}

void Add(HWND dlg, const std::string& folder, const std::string& filter, bool subfolders) {
  Enter(dlg, folder, filter, subfolders);
  ClickItem(dlg, IDC_CUSTOM_ADD);
}

std::vector<std::string> Displays(const std::vector<CustomLocation>& list) {
  std::vector<std::string> out;
  for (const auto& entry : list) out.push_back(entry.m_strDisplay);
  return out;
}

class CustomDirDialog : public ::testing::Test {
 protected:
  // Runs the dialog over the page's list; the script's result ends it. The
  // list box's lines at that moment land in m_lines.
  bool Run(const std::function<INT_PTR(HWND)>& script) {
    ModalScript modal([&](HWND dlg, int id) {
      EXPECT_EQ(id, IDD_CUSTOM_DIRS);
      const INT_PTR result = script(dlg);
      m_lines = ListLines(dlg, IDC_CUSTOM_LIST);
      return result;
    });
    return RunCustomDirDialog(nullptr, m_page);
  }
  // Runs a script that ends with OK and checks that every line is its entry.
  void RunAligned(const std::function<void(HWND)>& script) {
    ASSERT_TRUE(Run([&](HWND dlg) {
      script(dlg);
      return IDOK;
    }));
    EXPECT_EQ(Displays(m_page), m_lines);
  }

  std::vector<CustomLocation> m_page;
  std::vector<std::string> m_lines;
  MessageBoxRecorder m_boxes;
};

TEST_F(CustomDirDialog, LinesNameSubfoldersOnlyWithTheFlagAndAnEmptyFilterIsAccepted) {
  RunAligned([](HWND dlg) {
    Add(dlg, "C:\\Temp", "*.log", true);
    Add(dlg, "C:\\Temp", "*.log", false);
    Add(dlg, "C:\\Work", "", false);
  });
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\Temp: *.log: including subdirectories", "C:\\Temp: *.log",
                                               "C:\\Work: "}));
  ASSERT_EQ(m_page.size(), 3u);
  EXPECT_EQ(m_page[0].m_nSubInc, 1);
  EXPECT_EQ(m_page[2].m_strFilter, "");
  EXPECT_TRUE(m_page[2].m_strKeyName.empty());
  EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(CustomDirDialog, TheSameLineIsRefusedInAnyCaseButAShorterFilterIsItsOwnLine) {
  RunAligned([](HWND dlg) {
    Add(dlg, "C:\\Temp", "*.log", false);
    Add(dlg, "C:\\Temp", "*.log", false);
    Add(dlg, "c:\\TEMP", "*.LOG", false);
    Add(dlg, "C:\\Temp", "*.lo", false);  // begins the listed line, yet sweeps other files
  });
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\Temp: *.log", "C:\\Temp: *.lo"}));
  ASSERT_EQ(m_boxes.Boxes().size(), 2u);
  for (const auto& box : m_boxes.Boxes()) {
    EXPECT_EQ(box.text, kAlreadyListedMessage);
    EXPECT_EQ(box.caption, "Morvane");
    EXPECT_EQ(box.type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  }
}

TEST_F(CustomDirDialog, AnEmptyFolderIsRefusedOnAddAndUpdate) {
  RunAligned([](HWND dlg) {
    Add(dlg, "", "*.tmp", true);
    ClickItem(dlg, IDC_CUSTOM_UPDATE);
  });
  EXPECT_TRUE(m_lines.empty());
  EXPECT_EQ(m_boxes.Texts(), (std::vector<std::string>{kNoDirectoryMessage, kNoDirectoryMessage}));
}

TEST_F(CustomDirDialog, DeleteNeedsASelectionAndKeepsTheListsAligned) {
  m_page = {CustomLocation("C:\\A", "*.a", 0), CustomLocation("C:\\B", "*.b", 1), CustomLocation("C:\\C", "", 0)};
  RunAligned([](HWND dlg) {
    ClickItem(dlg, IDC_CUSTOM_DELETE);
    SelectLine(dlg, IDC_CUSTOM_LIST, 1);
    ClickItem(dlg, IDC_CUSTOM_DELETE);
  });
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\A: *.a", "C:\\C: "}));
  EXPECT_EQ(m_boxes.Texts(), (std::vector<std::string>{kSelectDeleteMessage}));
}

TEST_F(CustomDirDialog, UpdateReplacesTheSelectedEntryInPlaceUnlessAnotherHasTheLine) {
  m_page = {CustomLocation("C:\\A", "*.a", 0), CustomLocation("C:\\B", "*.b", 1), CustomLocation("C:\\C", "*.c", 0)};
  RunAligned([](HWND dlg) {
    // Nothing selected: refused, both lists as they were.
    Enter(dlg, "C:\\New", "*.n", false);
    ClickItem(dlg, IDC_CUSTOM_UPDATE);
    // To the text of another entry: refused, the selected entry stays.
    SelectLine(dlg, IDC_CUSTOM_LIST, 1);
    Enter(dlg, "c:\\a", "*.A", false);
    ClickItem(dlg, IDC_CUSTOM_UPDATE);
    // Clearing the subfolder flag is a change of its own.
    Enter(dlg, "C:\\B", "*.b", false);
    ClickItem(dlg, IDC_CUSTOM_UPDATE);
    SelectLine(dlg, IDC_CUSTOM_LIST, 2);
    Enter(dlg, "C:\\Z", "*.z", true);
    ClickItem(dlg, IDC_CUSTOM_UPDATE);
  });
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\A: *.a", "C:\\B: *.b", "C:\\Z: *.z: including subdirectories"}));
  EXPECT_EQ(m_page[1].m_nSubInc, 0);
  EXPECT_EQ(m_boxes.Texts(), (std::vector<std::string>{kSelectUpdateMessage, kUpdateListedMessage}));
}

TEST_F(CustomDirDialog, CancelLeavesThePageListAndOkReplacesIt) {
  const std::vector<CustomLocation> before = {CustomLocation("C:\\Old", "*.o", 1, "CusDir.0")};
  m_page = before;
  EXPECT_FALSE(Run([](HWND dlg) {
    Add(dlg, "C:\\New", "*.n", false);
    SelectLine(dlg, IDC_CUSTOM_LIST, 0);
    ClickItem(dlg, IDC_CUSTOM_DELETE);
    return IDCANCEL;
  }));
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\New: *.n"}));
  ASSERT_EQ(m_page.size(), 1u);
  EXPECT_EQ(m_page[0].m_strKeyName, "CusDir.0");
  EXPECT_EQ(Displays(m_page), Displays(before));

  EXPECT_TRUE(Run([](HWND dlg) {
    Add(dlg, "C:\\New", "*.n", false);
    return IDOK;
  }));
  EXPECT_EQ(Displays(m_page), (std::vector<std::string>{"C:\\Old: *.o: including subdirectories", "C:\\New: *.n"}));
}

TEST_F(CustomDirDialog, ReopeningShowsTheListInItsOwnOrderAndASelectionFillsTheEdits) {
  RunAligned([](HWND dlg) {
    Add(dlg, "C:\\Zeta", "*.z", true);
    Add(dlg, "C:\\Alpha", "a.txt", false);
    Add(dlg, "C:\\Mid", "*.m", false);
  });
  RunAligned([](HWND dlg) {
    EXPECT_EQ(ItemText(dlg, IDC_CUSTOM_FOLDER), "");
    EXPECT_EQ(::IsDlgButtonChecked(dlg, IDC_CUSTOM_SUBDIRS), static_cast<UINT>(BST_UNCHECKED));
    SelectLine(dlg, IDC_CUSTOM_LIST, 0);
    EXPECT_EQ(ItemText(dlg, IDC_CUSTOM_FOLDER), "C:\\Zeta");
    EXPECT_EQ(ItemText(dlg, IDC_CUSTOM_FILTER), "*.z");
    EXPECT_EQ(::IsDlgButtonChecked(dlg, IDC_CUSTOM_SUBDIRS), static_cast<UINT>(BST_CHECKED));
    SelectLine(dlg, IDC_CUSTOM_LIST, 1);
    EXPECT_EQ(ItemText(dlg, IDC_CUSTOM_FOLDER), "C:\\Alpha");
    EXPECT_EQ(ItemText(dlg, IDC_CUSTOM_FILTER), "a.txt");
    EXPECT_EQ(::IsDlgButtonChecked(dlg, IDC_CUSTOM_SUBDIRS), static_cast<UINT>(BST_UNCHECKED));
  });
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\Zeta: *.z: including subdirectories", "C:\\Alpha: a.txt",
                                               "C:\\Mid: *.m"}));
}

std::string Expanded(const char* text) {
  char buf[MAX_PATH * 2] = {};
  ::ExpandEnvironmentStringsA(text, buf, sizeof buf);
  return buf;
}

std::string WindowsFolder() {
  char buf[MAX_PATH] = {};
  ::GetWindowsDirectoryA(buf, MAX_PATH);
  return buf;
}

TEST_F(CustomDirDialog, FoldersTheGuardRefusesAreRefusedWithTheirReason) {
  struct Case {
    std::string folder, filter, says;
  };
  const std::vector<Case> cases = {
      {"C:\\", "*.*", "root of a drive"},
      {"c:", "*.*", "root of a drive"},
      {WindowsFolder(), "*.tmp", "it is the Windows folder"},
      {WindowsFolder() + "\\", "*.tmp", "it is the Windows folder"},
      {WindowsFolder() + ". .\\", "*.tmp", "it is the Windows folder"},
      {WindowsFolder() + "\\System32\\..", "*.tmp", "it is the Windows folder"},
      {"\\\\?\\" + WindowsFolder(), "*.tmp", "it is the Windows folder"},
      {Expanded("%USERPROFILE%"), "*.*", "it is a user profile"},
      {"Temp", "*.*", "not a full path"},
      {"C:\\" + std::string(300, 'x'), "*.*", "at most 259 characters"},
      {"C:\\Temp", "..\\*.*", "without a directory in it"},
  };
  RunAligned([&](HWND dlg) {
    for (const Case& c : cases) {
      m_boxes.Clear();
      Add(dlg, c.folder, c.filter, true);
      ASSERT_EQ(m_boxes.Boxes().size(), 1u) << c.folder;
      EXPECT_NE(m_boxes.Boxes()[0].text.find(c.says), std::string::npos) << m_boxes.Boxes()[0].text;
    }
    // Updating an entry to a refused folder is refused the same way.
    Add(dlg, "C:\\Fine", "*.f", false);
    SelectLine(dlg, IDC_CUSTOM_LIST, 0);
    m_boxes.Clear();
    Enter(dlg, "C:\\", "*.f", false);
    ClickItem(dlg, IDC_CUSTOM_UPDATE);
    EXPECT_EQ(m_boxes.Boxes().size(), 1u);
  });
  EXPECT_EQ(m_lines, (std::vector<std::string>{"C:\\Fine: *.f"}));
}

// --- The folder chooser --------------------------------------------------------

TEST(FolderChooser, PathFormLinesJoinFromTheRootDownToTheSelectedOne) {
  const std::vector<std::string> path = {"c:\\", "Data", "Logs", "Sub"};
  EXPECT_EQ(DirectoryFromListLines(path, 2, ""), "c:\\Data\\Logs");
  EXPECT_EQ(DirectoryFromListLines(path, 1, ""), "c:\\Data");
  EXPECT_EQ(DirectoryFromListLines(path, 0, ""), "c:\\");
  EXPECT_EQ(DirectoryFromListLines(path, 4, ""), "");
  EXPECT_EQ(DirectoryFromListLines(path, -1, ""), "");

  const std::vector<std::string> listing = {"[..]", "[Logs]", "[-d-]", "[x]y"};
  EXPECT_EQ(DirectoryFromListLines(listing, 1, "c:\\Data"), "c:\\Data\\Logs");
  EXPECT_EQ(DirectoryFromListLines(listing, 1, "c:\\"), "c:\\Logs");
  EXPECT_EQ(DirectoryFromListLines(listing, 0, "c:\\Data\\Logs"), "c:\\Data");
  EXPECT_EQ(DirectoryFromListLines(listing, 0, "c:\\Data"), "c:\\");
  EXPECT_EQ(DirectoryFromListLines(listing, 2, "c:\\Data"), "d:\\");
  EXPECT_EQ(DirectoryFromListLines(listing, 3, "c:\\Data"), "");
  EXPECT_EQ(DirectoryFromListLines(listing, 1, ""), "");
}

class FolderChooserDialog : public CustomDirDialog {
 protected:
  void SetUp() override {
    m_data = m_temp / "Data";
    m_logs = m_data + "\\Logs";
    ASSERT_TRUE(::CreateDirectoryA(m_data.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(m_logs.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(m_logs + "\\app.tmp", "x"));
    ::GetCurrentDirectoryA(sizeof m_cwd, m_cwd);
  }
  void TearDown() override {
    char now[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STREQ(now, m_cwd) << "the chooser must leave the current directory as it was";
    ::SetCurrentDirectoryA(m_cwd);
  }

  // Opens the chooser from the dialog, lets the script drive it, and
  // returns the edits and the check box afterwards.
  void Browse(const std::function<void(HWND)>& chooser) {
    FileDialogScript script([&](HWND dlg) {
      char title[256] = {};
      ::GetWindowTextA(dlg, title, sizeof title);
      m_chooserTitle = title;
      chooser(dlg);
    });
    RunAligned([&](HWND dlg) {
      ClickItem(dlg, IDC_CUSTOM_BROWSE);
      m_folder = ItemText(dlg, IDC_CUSTOM_FOLDER);
      m_filter = ItemText(dlg, IDC_CUSTOM_FILTER);
      m_checked = ::IsDlgButtonChecked(dlg, IDC_CUSTOM_SUBDIRS) == BST_CHECKED;
    });
    EXPECT_EQ(script.Runs(), 1);
  }

  static void GoTo(HWND chooser, const std::string& folder) {
    // Typing a folder and pressing the standard OK opens it.
    ::SetDlgItemTextA(chooser, IDC_DIRSEL_FILE_NAME, folder.c_str());
    ::SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }

  TempFolder m_temp;
  std::string m_data, m_logs, m_folder, m_filter, m_chooserTitle;
  bool m_checked = false;
  char m_cwd[MAX_PATH] = {};
};

TEST_F(FolderChooserDialog, ItsOwnOkGivesTheSelectedFolderTheFilterAndTheBox) {
  Browse([&](HWND dlg) {
    GoTo(dlg, m_data);
    const int line = static_cast<int>(
        ::SendDlgItemMessageA(dlg, IDC_DIRSEL_FOLDERS, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("[Logs]")));
    if (line < 0) {
      // The path form: the folder's own line.
      const auto lines = ListLines(dlg, IDC_DIRSEL_FOLDERS);
      for (size_t i = 0; i < lines.size(); ++i)
        if (_stricmp(lines[i].c_str(), "Logs") == 0) ::SendDlgItemMessageA(dlg, IDC_DIRSEL_FOLDERS, LB_SETCURSEL, i, 0);
    } else {
      ::SendDlgItemMessageA(dlg, IDC_DIRSEL_FOLDERS, LB_SETCURSEL, line, 0);
    }
    ::SetDlgItemTextA(dlg, IDC_DIRSEL_FILE_NAME, "*.tmp");
    ClickItem(dlg, IDC_DIRSEL_SUBDIRS);
    ClickItem(dlg, IDC_DIRSEL_OK);
  });
  EXPECT_EQ(m_chooserTitle, "Directory Select");
  EXPECT_EQ(_stricmp(m_folder.c_str(), m_logs.c_str()), 0) << m_folder;
  EXPECT_EQ(m_filter, "*.tmp");
  EXPECT_TRUE(m_checked);
  // The chooser only fills the edits: the user then adds or updates.
  EXPECT_TRUE(m_lines.empty());
}

TEST_F(FolderChooserDialog, TheStandardOkOnAFileGivesItsFolderAndItsName) {
  Browse([&](HWND dlg) { GoTo(dlg, m_logs + "\\app.tmp"); });
  EXPECT_EQ(_stricmp(m_folder.c_str(), m_logs.c_str()), 0) << m_folder;
  EXPECT_EQ(m_filter, "app.tmp");
  EXPECT_FALSE(m_checked);
}

TEST_F(FolderChooserDialog, ItsOwnOkWithoutASelectedFolderAndCancelChangeNothing) {
  Browse([&](HWND dlg) {
    ::SetDlgItemTextA(dlg, IDC_DIRSEL_FILE_NAME, "*.tmp");
    ::SendDlgItemMessageA(dlg, IDC_DIRSEL_FOLDERS, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ClickItem(dlg, IDC_DIRSEL_OK);
    // Left open: the script's end cancels it, nothing waits for a person.
  });
  EXPECT_EQ(m_folder, "");
  EXPECT_EQ(m_filter, "");
}

}  // namespace
