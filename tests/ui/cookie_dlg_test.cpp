// The cookie dialogs under Xvfb: what the two lists show, the selection and
// move rules with the list boxes staying aligned with their lists, the
// friendly list stored at once on OK, and the read-only cookie view.
#include <windows.h>
#include <richedit.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "res/resource.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "support/message_boxes.h"
#include "support/test_env.h"
#include "ui/cookie_dlg.h"
#include "ui/cookie_view_dlg.h"
#include "ui/dialog_probe.h"
#include "winlib/window_probe.h"

namespace {

std::string g_cookieFolder;
// The shell's cookie folder, played by the test's own folder.
void CollectFromTestFolder(StringPairList& list) { DirWalker(g_cookieFolder + "\\*.*", false).CollectFiles(list); }

std::vector<std::string> Paths(const StringPairList& list) {
  std::vector<std::string> out;
  for (const auto& entry : list) out.push_back(entry.second);
  return out;
}

std::vector<std::string> Names(const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  for (const auto& path : paths) out.push_back(CookieDisplayText(path));
  return out;
}

struct ViewSeen {
  std::string caption, text;
  bool readOnly = false;
};

class CookieDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = g_InternetSettings.m_friendlyCookies;
    g_InternetSettings.m_friendlyCookies.clear();
    g_cookieFolder = m_temp.Path();
    // Start-up has made the group's key by the time a page can be opened.
    RegKey internet(kInternetSettingsPath, HKEY_CURRENT_USER);
    ASSERT_TRUE(internet.Create());
  }
  void TearDown() override { g_InternetSettings.m_friendlyCookies = m_saved; }

  std::string Cookie(const std::string& name, const std::string& text = "cookie") {
    const std::string path = m_temp / name;
    EXPECT_TRUE(WriteFileBytes(path, text));
    return path;
  }

  // Answers the control dialog with the script, and every cookie view by
  // recording what it shows.
  ModalScript Answer(const std::function<INT_PTR(HWND)>& script) {
    return ModalScript([this, script](HWND dlg, int id) -> INT_PTR {
      if (id == IDD_COOKIE_VIEW) {
        ViewSeen seen;
        char caption[MAX_PATH * 2] = {};
        ::GetWindowTextA(dlg, caption, sizeof caption);
        seen.caption = caption;
        HWND edit = ::GetDlgItem(dlg, IDC_COOKIE_TEXT);
        seen.readOnly = (::GetWindowLongA(edit, GWL_STYLE) & ES_READONLY) != 0;
        char text[4096] = {};
        ::GetWindowTextA(edit, text, sizeof text);
        seen.text = text;
        m_views.push_back(seen);
        return IDOK;
      }
      EXPECT_EQ(id, IDD_COOKIE_CONTROL);
      const INT_PTR result = script(dlg);
      m_currentLines = ListLines(dlg, IDC_COOKIE_CURRENT);
      m_friendlyLines = ListLines(dlg, IDC_COOKIE_FRIENDLY);
      return result;
    });
  }

  // Runs the dialog on the given lists and checks, afterwards, that each
  // list box showed exactly its list.
  void RunDialog(const std::function<INT_PTR(HWND)>& script) {
    ModalScript modal = Answer(script);
    CCookieDlg dialog(&m_friendly, &m_current);
    dialog.DoModal(nullptr);
    EXPECT_EQ(Names(Paths(m_current)), m_currentLines);
    EXPECT_EQ(Names(Paths(m_friendly)), m_friendlyLines);
  }

  TempFolder m_temp;
  RegistrySandbox m_sandbox;
  MessageBoxRecorder m_boxes;
  StringPairList m_saved, m_friendly, m_current;
  std::vector<std::string> m_currentLines, m_friendlyLines;
  std::vector<ViewSeen> m_views;
};

TEST_F(CookieDialog, FriendlyCookiesAndIndexDatAreNeverListedAsCurrent) {
  Cookie("index.dat");
  const std::string a = Cookie("a@site.txt"), b = Cookie("b@site.txt"), kept = Cookie("kept@site.txt");
  const std::string gone = m_temp / "gone@site.txt";  // friendly, its file long removed
  g_InternetSettings.m_friendlyCookies = {{"kept.example", kept}, {"", gone}};
  ModalScript modal = Answer([](HWND dlg) {
    // Nothing is selected yet: no move and no view.
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_TO_FRIENDLY));
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_TO_CURRENT));
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_VIEW));
    return IDCANCEL;
  });
  EXPECT_EQ(RunCookieControl(nullptr, &CollectFromTestFolder), IDCANCEL);
  std::vector<std::string> current = m_currentLines;
  std::sort(current.begin(), current.end());
  EXPECT_EQ(current, (std::vector<std::string>{"a@site.txt", "b@site.txt"}));
  EXPECT_EQ(m_friendlyLines, (std::vector<std::string>{"kept@site.txt", "gone@site.txt"}));
  (void)a;
  (void)b;
}

TEST_F(CookieDialog, SelectingOneListClearsTheOtherAndEnablesOnlyItsWayOut) {
  m_current = {{"", Cookie("c1.txt")}};
  m_friendly = {{"", Cookie("f1.txt")}};
  RunDialog([this](HWND dlg) {
    SelectLine(dlg, IDC_COOKIE_CURRENT, 0);
    EXPECT_TRUE(ItemEnabled(dlg, IDC_COOKIE_TO_FRIENDLY));
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_TO_CURRENT));
    EXPECT_TRUE(ItemEnabled(dlg, IDC_COOKIE_VIEW));
    SelectLine(dlg, IDC_COOKIE_FRIENDLY, 0);
    EXPECT_EQ(ListSelection(dlg, IDC_COOKIE_CURRENT), LB_ERR);
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_TO_FRIENDLY));
    EXPECT_TRUE(ItemEnabled(dlg, IDC_COOKIE_TO_CURRENT));
    EXPECT_TRUE(ItemEnabled(dlg, IDC_COOKIE_VIEW));
    // Neither selected: the view button does nothing.
    SelectLine(dlg, IDC_COOKIE_FRIENDLY, -1);
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_TO_CURRENT));
    EXPECT_FALSE(ItemEnabled(dlg, IDC_COOKIE_VIEW));
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_COOKIE_VIEW, BN_CLICKED), 0);
    EXPECT_TRUE(m_views.empty());
    return IDOK;
  });
}

TEST_F(CookieDialog, AMoveSelectsTheLineThatTookItsPlaceOrTheNewLastOne) {
  struct Case {
    const char* name;
    int count, moved;
    std::vector<std::string> left;
    int selected;  // -1: nothing left, buttons off
  };
  const std::vector<Case> cases = {
      {"last of three", 3, 2, {"0.txt", "1.txt"}, 1},
      {"middle of three", 3, 1, {"0.txt", "2.txt"}, 1},
      {"first of three", 3, 0, {"1.txt", "2.txt"}, 0},
      {"the only one", 1, 0, {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_current.clear();
    m_friendly = {{"", Cookie("f.txt")}};
    for (int i = 0; i < c.count; ++i) m_current.push_back({"", Cookie(std::to_string(i) + ".txt")});
    RunDialog([&](HWND dlg) {
      SelectLine(dlg, IDC_COOKIE_CURRENT, c.moved);
      ClickItem(dlg, IDC_COOKIE_TO_FRIENDLY);
      EXPECT_EQ(ListSelection(dlg, IDC_COOKIE_CURRENT), c.selected < 0 ? LB_ERR : c.selected);
      EXPECT_EQ(ItemEnabled(dlg, IDC_COOKIE_TO_FRIENDLY), c.selected >= 0);
      EXPECT_EQ(ItemEnabled(dlg, IDC_COOKIE_VIEW), c.selected >= 0);
      return IDOK;
    });
    EXPECT_EQ(Names(Paths(m_current)), c.left);
    EXPECT_EQ(Names(Paths(m_friendly)), (std::vector<std::string>{"f.txt", std::to_string(c.moved) + ".txt"}));
  }
}

TEST_F(CookieDialog, MovedThereAndBackEndsAtTheEndWithAnEmptyUrl) {
  m_current = {{"", Cookie("a.txt")}, {"", Cookie("b.txt")}, {"", Cookie("c.txt")}};
  m_friendly = {{"old.example", Cookie("old.txt")}};
  RunDialog([](HWND dlg) {
    SelectLine(dlg, IDC_COOKIE_CURRENT, 0);
    ClickItem(dlg, IDC_COOKIE_TO_FRIENDLY);
    SelectLine(dlg, IDC_COOKIE_FRIENDLY, 1);
    ClickItem(dlg, IDC_COOKIE_TO_CURRENT);
    // The friendly list: moving its last line selects the new last one.
    EXPECT_EQ(ListSelection(dlg, IDC_COOKIE_FRIENDLY), 0);
    SelectLine(dlg, IDC_COOKIE_CURRENT, 1);
    ClickItem(dlg, IDC_COOKIE_TO_FRIENDLY);
    return IDOK;
  });
  EXPECT_EQ(Names(Paths(m_current)), (std::vector<std::string>{"b.txt", "a.txt"}));
  ASSERT_EQ(m_friendly.size(), 2u);
  EXPECT_EQ(m_friendly[0].first, "old.example");
  EXPECT_EQ(m_friendly[1], StringPair("", m_temp / "c.txt"));
}

TEST_F(CookieDialog, TwoFilesOfOneNameMoveAndShowTheirOwnFiles) {
  ASSERT_TRUE(::CreateDirectoryA((m_temp / "x").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((m_temp / "y").c_str(), nullptr));
  const std::string x = Cookie("x\\same.txt", "from x"), y = Cookie("y\\same.txt", "from y");
  m_current = {{"", x}, {"", y}};
  RunDialog([](HWND dlg) {
    SelectLine(dlg, IDC_COOKIE_CURRENT, 1);
    ClickItem(dlg, IDC_COOKIE_TO_FRIENDLY);
    SelectLine(dlg, IDC_COOKIE_CURRENT, 0);
    ClickItem(dlg, IDC_COOKIE_VIEW);
    DoubleClickLine(dlg, IDC_COOKIE_FRIENDLY, 0);
    return IDOK;
  });
  EXPECT_EQ(Paths(m_current), (std::vector<std::string>{x}));
  EXPECT_EQ(Paths(m_friendly), (std::vector<std::string>{y}));
  ASSERT_EQ(m_views.size(), 2u);
  EXPECT_EQ(m_views[0].caption, x);
  EXPECT_EQ(m_views[0].text, "from x");
  EXPECT_TRUE(m_views[0].readOnly);
  EXPECT_EQ(m_views[1].caption, y);
  EXPECT_EQ(m_views[1].text, "from y");
}

StringPairList StoredFriendlyCookies() {
  InternetSettings fresh;
  RegKey key(kInternetSettingsPath, HKEY_CURRENT_USER);
  if (key.IsOpen()) fresh.Load(key);
  return fresh.m_friendlyCookies;
}

TEST_F(CookieDialog, OkStoresTheFriendlyListAtOnceAndCancelDropsEveryMove) {
  const std::string a = Cookie("a.txt"), b = Cookie("b.txt");
  const auto moveFirst = [](INT_PTR result) {
    return [result](HWND dlg) {
      SelectLine(dlg, IDC_COOKIE_CURRENT, 0);
      ClickItem(dlg, IDC_COOKIE_TO_FRIENDLY);
      return result;
    };
  };
  // Cancel, and a dialog that did not run to OK (0 or -1: its owner was
  // destroyed under it), drop every move.
  for (INT_PTR notOk : {INT_PTR(IDCANCEL), INT_PTR(0), INT_PTR(-1)}) {
    SCOPED_TRACE(notOk);
    {
      ModalScript modal = Answer(moveFirst(notOk));
      EXPECT_EQ(RunCookieControl(nullptr, &CollectFromTestFolder), notOk);
    }
    EXPECT_TRUE(g_InternetSettings.m_friendlyCookies.empty());
    EXPECT_TRUE(StoredFriendlyCookies().empty());
  }

  std::string moved;
  {
    ModalScript modal = Answer(moveFirst(IDOK));
    EXPECT_EQ(RunCookieControl(nullptr, &CollectFromTestFolder), IDOK);
    moved = m_temp / m_friendlyLines.at(0);
  }
  // Stored without any Apply of the sheet: the registry holds it now.
  const StringPairList expected = {{"", moved}};
  EXPECT_EQ(g_InternetSettings.m_friendlyCookies, expected);
  EXPECT_EQ(StoredFriendlyCookies(), expected);
  (void)a;
  (void)b;
}

TEST_F(CookieDialog, TheViewShowsTheFileReadOnlyAndAnUnreadableOneIsToldNotFatal) {
  const std::string path = Cookie("v.txt", "name\nvalue\nexample.com/\n");
  ModalScript modal(IDOK);
  {
    ModalScript views = Answer([](HWND) { return IDOK; });
    CCookieViewDlg view(path);
    EXPECT_EQ(view.DoModal(nullptr), IDOK);
  }
  ASSERT_EQ(m_views.size(), 1u);
  EXPECT_EQ(m_views[0].caption, path);
  EXPECT_TRUE(m_views[0].readOnly);
  EXPECT_NE(m_views[0].text.find("example.com/"), std::string::npos) << m_views[0].text;
  EXPECT_EQ(ReadFileBytes(path), "name\nvalue\nexample.com/\n");
  EXPECT_TRUE(m_boxes.Boxes().empty());

  const std::string missing = m_temp / "missing.txt";
  CCookieViewDlg view(missing);
  view.DoModal(nullptr);
  ASSERT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].text, CookieOpenFailureText(missing, ERROR_FILE_NOT_FOUND));
  EXPECT_NE(m_boxes.Boxes()[0].text.find(missing), std::string::npos);
}

TEST_F(CookieDialog, TheShellCookieFolderIsListedWithoutItsFriendlyCookies) {
  char folder[MAX_PATH] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COOKIES, TRUE));
  const std::string plain = std::string(folder) + "\\me@plain.example.txt";
  const std::string kept = std::string(folder) + "\\me@kept.example.txt";
  ASSERT_TRUE(WriteFileBytes(plain, "p"));
  ASSERT_TRUE(WriteFileBytes(kept, "k"));
  g_InternetSettings.m_friendlyCookies = {{"kept.example", kept}};
  {
    ModalScript modal = Answer([](HWND) { return IDCANCEL; });
    RunCookieControl(nullptr);
  }
  ::DeleteFileA(plain.c_str());
  ::DeleteFileA(kept.c_str());
  const auto has = [](const std::vector<std::string>& lines, const char* name) {
    return std::find(lines.begin(), lines.end(), name) != lines.end();
  };
  EXPECT_TRUE(has(m_currentLines, "me@plain.example.txt"));
  EXPECT_FALSE(has(m_currentLines, "me@kept.example.txt"));
  EXPECT_FALSE(has(m_currentLines, "index.dat"));
  EXPECT_EQ(m_friendlyLines, (std::vector<std::string>{"me@kept.example.txt"}));
}

}  // namespace
