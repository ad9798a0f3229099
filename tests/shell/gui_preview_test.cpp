// "Preview" on the Settings page, against the real Applications cleaners on
// seeded traces: the progress window shows the lines of "/once /preview", is
// titled "Preview" and ends with the preview totals line; nothing on disk or
// in the registry changes, no sweep time is stamped, and both sweep buttons
// wait while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/removal_guard.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "rules/rule_set.h"
#include "settings/settings_groups.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "shell_fixtures.h"
#include "support/snapshot.h"
#include "support/test_env.h"
#include "tools/seed/seed_applications.h"
#include "ui/control_panel.h"
#include "ui/progress_dlg.h"
#include "winlib/window_probe.h"

namespace {

using Lines = std::vector<std::string>;

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The lines strictly between the first line starting with `from` and the
// next line starting with `to`.
Lines Between(const Lines& lines, const std::string& from, const std::string& to) {
  auto begin = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(from, 0) == 0; });
  if (begin == lines.end()) return {};
  auto end = std::find_if(begin + 1, lines.end(), [&](const std::string& l) { return l.rfind(to, 0) == 0; });
  return Lines(begin + 1, end);
}

class GuiPreview : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGroups();
    // Applications alone, every target, no Deep Sweep and no Shredder.
    StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_APPLICATIONS);
    StoreNumber(kApplicationSettingsPath, "Targets", 0x7F);
    ASSERT_TRUE(SeedApplicationsTracesIn(m_local.Path(), m_roaming.Path()));
    RemovalAllowed(m_local / "warm-up");  // lets Wine record the shell folders first
  }
  void TearDown() override {
    m_app.ExitInstance();
    ResetGroups();
  }

  // The traces, and the registry apart from Morvane's own settings (loading
  // writes the machine defaults; Apply stores the pages before a preview, as
  // before a sweep).
  SnapshotMap Picture() const {
    SnapshotMap picture;
    SnapshotFolder("LOCAL", m_local.Path(), picture);
    SnapshotFolder("ROAMING", m_roaming.Path(), picture);
    SnapshotKey("HKCU", HKEY_CURRENT_USER, "", picture);
    SnapshotKey("HKLM", HKEY_LOCAL_MACHINE, "", picture);
    for (auto it = picture.begin(); it != picture.end();) {
      std::string name = it->first;
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      it = name.find("\\software\\calderix") == 4 ? picture.erase(it) : std::next(it);
    }
    return picture;
  }

  // What "Morvane.exe /once /preview /report" writes.
  Lines CommandLinePreview() {
    TempFolder out;
    StdoutToFile to(out / "out.txt");
    CMainApp app;
    app.InitInstance("Morvane.exe /once /preview /report");
    app.ExitInstance();
    return SplitLines(to.Text());
  }

  void StartResident() {
    // The rule entries sweep after each category's targets, as the resident
    // program sets it up at start: the command line's run, ended before,
    // took it away again (ExitInstance in TearDown does so for this one).
    SetCategoryExtraSweep(&SweepRuleEntries);
    m_wnd = StartResidentWindow(m_app);
    ASSERT_NE(m_wnd, nullptr);
  }

  void WithPanel(const std::function<void(CLustraProp&)>& drive) {
    EXPECT_EQ(DriveControlPanel(m_wnd->m_hWnd, drive), 1);
  }

  RegistrySandbox m_sandbox;
  TrayRecorder m_tray;
  ModalScript m_modal{IDOK};
  TempFolder m_local, m_roaming;
  CMainApp m_app;
  CMainWnd* m_wnd = nullptr;
};

TEST_F(GuiPreview, ShowsTheLinesOfTheCommandLinePreviewAndChangesNothing) {
  // Each sweep takes the protected folders afresh from the shell, and Wine's
  // shell writes its defaults into a sandbox hive that lacks them: let it do
  // so before the picture, as on any machine that has run a shell before.
  RefreshProtectedPlaces();
  (void)RemovalRefusal("C:\\Windows\\x.txt");
  const SnapshotMap before = Picture();
  const Lines expected = CommandLinePreview();
  const SnapshotDiff afterCommandLine = CompareSnapshots(before, Picture());
  ASSERT_TRUE(afterCommandLine.Empty()) << afterCommandLine.Describe();
  const Lines expectedItems =
      Between(expected, "Start cleaning history on applications.", "End cleaning history on applications.");
  ASSERT_GT(expectedItems.size(), 10u) << "the seeded traces give the preview something to show";
  ASSERT_EQ(expected.back().rfind("Preview: ", 0), 0u) << expected.back();

  StartResident();
  Lines shown;
  std::string caption;
  WithPanel([&](CLustraProp& panel) {
    CLustraPage& settings = panel.m_settingsPage;
    ClickItem(settings, IDC_SET_PREVIEW);
    EXPECT_TRUE(m_app.m_bPreviewing);
    EXPECT_FALSE(settings.IsItemEnabled(IDC_SET_SWEEP_NOW));
    EXPECT_FALSE(settings.IsItemEnabled(IDC_SET_PREVIEW));
    EXPECT_FALSE(panel.m_applicationPage.IsRunning()) << "the page keeps offering a real sweep";
    ASSERT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 20000));
    EXPECT_FALSE(m_app.m_bPreviewing);
    EXPECT_TRUE(settings.IsItemEnabled(IDC_SET_SWEEP_NOW));
    EXPECT_TRUE(settings.IsItemEnabled(IDC_SET_PREVIEW));
    EXPECT_EQ(settings.GetItemText(IDC_SET_SWEEP_NOW), "Sweep Now");
    ASSERT_NE(g_pProgressDlg, nullptr) << "a preview always shows its window";
    g_pProgressDlg->Flush();
    shown = SplitLines(g_pProgressDlg->Log().Text());
    caption = g_pProgressDlg->GetWindowText();
    EXPECT_EQ(g_pProgressDlg->GetItemText(IDC_TOTALS), expected.back());
  });

  EXPECT_EQ(caption, "Preview");
  EXPECT_EQ(Between(shown, "Start a thread to clean up the history for applications.",
                    "Finish the thread cleaning the history for applications."),
            expectedItems);
  while (!shown.empty() && shown.back().empty()) shown.pop_back();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), expected.back()) << "the preview totals line ends the log";
  const SnapshotDiff afterPanel = CompareSnapshots(before, Picture());
  EXPECT_TRUE(afterPanel.Empty()) << afterPanel.Describe();
  EXPECT_EQ(g_ApplicationSettings.m_tLastSweep, 0) << "a preview is no sweep";
  EXPECT_EQ(g_GeneralSettings.m_tLastSweep, 0);
}

// The tray's "Cancel Sweeping" reaches a running preview; and "Exit" during
// a preview still runs the exit sweep, which a preview does not stand in for.
TEST_F(GuiPreview, ThePreviewCanBeCancelledAndDoesNotStandInForTheExitSweep) {
  StartResident();
  RecordingTables tables;
  CleanerRecord::Reset();
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_APPLICATIONS;
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  auto command = [&](int id) { ::SendMessageA(m_wnd->m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); };
  WithPanel([&](CLustraProp& panel) {
    CLustraPage& settings = panel.m_settingsPage;
    CleanerRecord::Hold();
    ClickItem(settings, IDC_SET_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 1; }, 5000));
    command(IDM_CANCEL_SWEEP);
    EXPECT_TRUE(m_app.m_pWork->IsCancelled(SWEEP_ALL));
    ASSERT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping; }, 10000));
    EXPECT_FALSE(m_app.m_bPreviewing);
    // Nothing was swept: the window says the preview was cancelled (once
    // its queue is drained: the caption waits there like any line).
    ASSERT_NE(g_pProgressDlg, nullptr);
    g_pProgressDlg->Flush();
    EXPECT_EQ(g_pProgressDlg->GetWindowText(), "Preview Cancelled");
    EXPECT_TRUE(settings.IsItemEnabled(IDC_SET_PREVIEW));
    EXPECT_EQ(g_ApplicationSettings.m_tLastSweep, 0);

    ClickItem(settings, IDC_SET_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 2; }, 5000));
    command(IDM_EXIT);
  });
  EXPECT_TRUE(m_app.m_bFinalSweepDone);
  const auto calls = CleanerRecord::Calls();
  ASSERT_EQ(calls.size(), 3u) << "two previews, then the exit sweep";
  EXPECT_EQ(calls.back().thread, ::GetCurrentThreadId());
}

}  // namespace
