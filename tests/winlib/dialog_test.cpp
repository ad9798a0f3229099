// CWnd and CDialog: binding, dispatch to the typed handlers, modal runs
// through the platform seam, keyboard handling of modeless dialogs, and
// exceptions stopped at the callback boundary.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "res/resource.h"
#include "support/test_env.h"
#include "winlib/dialog.h"
#include "winlib/window.h"
#include "winlib/window_probe.h"

namespace {

// The confirmation dialog of the progress window serves as a small template.
class RecordingDialog : public CDialog {
 public:
  RecordingDialog() : CDialog(IDD_CLEAR_LOG) {}
  std::vector<std::string> calls;
  bool throwOnCommand = false;

 protected:
  bool OnInitDialog() override {
    calls.push_back("init:" + GetItemText(IDOK));
    return true;
  }
  bool OnCommand(int id, int code, HWND control) override {
    if (throwOnCommand && id == IDOK) throw std::runtime_error("handler failed");
    calls.push_back("command:" + std::to_string(id));
    return CDialog::OnCommand(id, code, control);
  }
  void OnOK() override {
    calls.push_back("ok");
    CDialog::OnOK();
  }
  void OnCancel() override {
    calls.push_back("cancel");
    CDialog::OnCancel();
  }
  void OnDestroy() override { calls.push_back("destroy"); }
};

class TimerWindow : public CWnd {
 public:
  std::vector<std::string> calls;

 protected:
  bool OnCommand(int id, int code, HWND) override {
    calls.push_back("command:" + std::to_string(id));
    return true;
  }
  void OnTimer(UINT_PTR id) override { calls.push_back("timer:" + std::to_string(id)); }
  void OnDestroy() override { calls.push_back("destroy"); }
  void OnNcDestroy() override { calls.push_back("gone"); }
};

}  // namespace

TEST(CDialog, ModelessDialogBindsAtInitAndDispatchesCommands) {
  RecordingDialog dlg;
  ASSERT_TRUE(dlg.Create(nullptr));
  EXPECT_EQ(CWnd::FromHandle(dlg.m_hWnd), &dlg);
  EXPECT_FALSE(dlg.IsModal());
  ASSERT_FALSE(dlg.calls.empty());
  EXPECT_EQ(dlg.calls[0], "init:OK") << "controls exist when OnInitDialog runs";

  dlg.ShowWindow(SW_SHOW);
  ClickItem(dlg.m_hWnd, IDOK);
  EXPECT_EQ(dlg.Result(), IDOK);
  EXPECT_FALSE(dlg.IsWindowVisible()) << "ending a modeless dialog hides it";
  EXPECT_NE(::IsWindow(dlg.m_hWnd), FALSE);

  // Escape through the class library's keyboard handling ends in Cancel.
  dlg.ShowWindow(SW_SHOW);
  PressKey(dlg.m_hWnd, VK_ESCAPE);
  EXPECT_EQ(dlg.Result(), IDCANCEL);

  HWND hwnd = dlg.m_hWnd;
  dlg.DestroyWindow();
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
  EXPECT_EQ(dlg.calls, (std::vector<std::string>{"init:OK", "command:1", "ok", "command:2", "cancel", "destroy"}));
}

TEST(CDialog, ModalRunsGoThroughTheSeamAndReturnTheEndResult) {
  RecordingDialog dlg;
  {
    ModalScript script([](HWND dialog, int templateId) {
      ClickItem(dialog, IDCANCEL);
      return static_cast<INT_PTR>(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(script.Runs(), std::vector<int>{IDD_CLEAR_LOG});
  }
  EXPECT_TRUE(dlg.IsModal());
  EXPECT_EQ(dlg.calls, (std::vector<std::string>{"init:OK", "command:2", "cancel", "destroy"}));
  EXPECT_EQ(dlg.m_hWnd, nullptr) << "the object is unbound once its window is gone";
}

TEST(CDialog, AnExceptionInAHandlerIsTracedAndStopsAtTheBoundary) {
  TraceRecorder trace;
  RecordingDialog dlg;
  dlg.throwOnCommand = true;
  ASSERT_TRUE(dlg.Create(nullptr));
  ClickItem(dlg.m_hWnd, IDOK);
  EXPECT_TRUE(trace.Contains("handler failed"));
  ClickItem(dlg.m_hWnd, IDCANCEL);  // the dialog still works afterwards
  EXPECT_EQ(dlg.Result(), IDCANCEL);
}

TEST(CDialog, DeletingAModelessDialogTakesItsWindowDown) {
  HWND hwnd;
  {
    RecordingDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    hwnd = dlg.m_hWnd;
  }
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(CDialog, AMissingTemplateFailsCleanly) {
  TraceRecorder trace;
  CDialog missing(4242);
  EXPECT_FALSE(missing.Create(nullptr));
  EXPECT_EQ(missing.m_hWnd, nullptr);
  ModalScript script(IDOK);
  EXPECT_EQ(missing.DoModal(nullptr), -1);
}

TEST(CWnd, WindowsOfOurClassDispatchAndUnbindWhenDestroyed) {
  ASSERT_TRUE(CWnd::RegisterWindowClass("MorvaneTestWindow"));
  ASSERT_TRUE(CWnd::RegisterWindowClass("MorvaneTestWindow")) << "registering twice is harmless";
  TimerWindow wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "MorvaneTestWindow", "probe", WS_OVERLAPPEDWINDOW, RECT{10, 20, 210, 170}, nullptr));
  EXPECT_EQ(CWnd::FromHandle(wnd.m_hWnd), &wnd);
  EXPECT_EQ(wnd.GetWindowText(), "probe");
  wnd.SendMessage(WM_COMMAND, MAKEWPARAM(17, BN_CLICKED), 0);
  ASSERT_NE(wnd.SetTimer(5, 10), 0u);
  PumpUntil([&] { return wnd.calls.size() >= 2; }, 5000);
  wnd.KillTimer(5);
  ASSERT_GE(wnd.calls.size(), 2u);
  EXPECT_EQ(wnd.calls[0], "command:17");
  EXPECT_EQ(wnd.calls[1], "timer:5");
  wnd.calls.clear();
  EXPECT_TRUE(wnd.DestroyWindow());
  EXPECT_EQ(wnd.calls, (std::vector<std::string>{"destroy", "gone"}));
  EXPECT_EQ(wnd.m_hWnd, nullptr);
}

TEST(CWnd, ItemHelpersReadTextsRectanglesAndStates) {
  RecordingDialog dlg;
  ASSERT_TRUE(dlg.Create(nullptr));
  RECT ok = {22, 25, 72, 39};
  ::MapDialogRect(dlg.m_hWnd, &ok);
  RECT got = dlg.GetItemRect(IDOK);
  EXPECT_EQ(got.left, ok.left);
  EXPECT_EQ(got.top, ok.top);
  EXPECT_EQ(got.right, ok.right);
  EXPECT_EQ(got.bottom, ok.bottom);
  dlg.SetItemText(IDOK, "Sure & fine");
  EXPECT_EQ(dlg.GetItemText(IDOK), "Sure & fine");
  EXPECT_EQ(dlg.GetItemText(9999), "");
  dlg.EnableItem(IDOK, false);
  EXPECT_FALSE(dlg.IsItemEnabled(IDOK));
  dlg.ShowItem(IDCANCEL, false);
  EXPECT_FALSE(dlg.IsItemVisible(IDCANCEL));
  EXPECT_TRUE(dlg.IsItemVisible(IDOK));
}
