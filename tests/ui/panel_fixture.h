// The control panel's test bench: a fake resident program (PanelHost) that
// records what the panel asks of it, a real sweep worker whose categories wait
// at gates, the settings groups reset around each test, and the panel itself
// created hidden and driven by messages.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/settings_groups.h"
#include "support/sweep_gates.h"
#include "support/test_env.h"
#include "ui/control_panel.h"
#include "ui/panel_actions.h"
#include "ui/panel_host.h"
#include "winlib/window_probe.h"

class FakePanelHost : public PanelHost {
 public:
  HWND MainWindow() const override { return m_hMain; }
  SweepWorker* Worker() override { return m_pWorker; }
  bool IsSweeping() const override { return m_bSweeping; }
  void SetSweeping(bool on) override { m_bSweeping = on; }
  bool IsPreviewing() const override { return m_bPreviewing; }
  void SetPreviewing(bool on) override { m_bPreviewing = on; }
  void SetSweepTimer(int seconds) override { m_timer.push_back("set " + std::to_string(seconds)); }
  void CancelSweepTimer() override { m_timer.push_back("cancel"); }
  void StartTrayAnimation() override { ++m_nAnimations; }
  void PlacePanelForLog() override { ++m_nPlacements; }
  void ShowProgressWindow() override { ++m_nProgressShown; }
  void ShowAbout(HWND owner) override { m_aboutOwners.push_back(owner); }

  HWND m_hMain = nullptr;
  SweepWorker* m_pWorker = nullptr;
  bool m_bSweeping = false;
  bool m_bPreviewing = false;
  std::vector<std::string> m_timer;
  int m_nAnimations = 0;
  int m_nPlacements = 0;
  int m_nProgressShown = 0;
  std::vector<HWND> m_aboutOwners;
};

// What the tests change in the process-wide groups, put back afterwards.
struct SettingsSnapshot {
  SettingsSnapshot() { Take(); }
  void Take() {
    general = {g_GeneralSettings.m_nTargets, g_GeneralSettings.m_nSweepAt, g_GeneralSettings.m_nTimerSeconds,
               g_GeneralSettings.m_bNotShowLogo, g_GeneralSettings.m_tLastSweep};
    targets = {g_WindowsSettings.m_nTargets, g_InternetSettings.m_nTargets, g_ApplicationSettings.m_nTargets};
    lastSweeps = {g_WindowsSettings.m_tLastSweep, g_InternetSettings.m_tLastSweep,
                  g_ApplicationSettings.m_tLastSweep};
    locations = g_WindowsSettings.m_locations;
    cookies = g_InternetSettings.m_friendlyCookies;
  }
  void Restore() const {
    g_GeneralSettings.m_nTargets = general[0];
    g_GeneralSettings.m_nSweepAt = general[1];
    g_GeneralSettings.m_nTimerSeconds = general[2];
    g_GeneralSettings.m_bNotShowLogo = general[3];
    g_GeneralSettings.m_tLastSweep = general[4];
    g_WindowsSettings.m_nTargets = targets[0];
    g_InternetSettings.m_nTargets = targets[1];
    g_ApplicationSettings.m_nTargets = targets[2];
    g_WindowsSettings.m_tLastSweep = lastSweeps[0];
    g_InternetSettings.m_tLastSweep = lastSweeps[1];
    g_ApplicationSettings.m_tLastSweep = lastSweeps[2];
    g_WindowsSettings.m_locations = locations;
    g_WindowsSettings.m_bLocationsDirty = 0;
    g_InternetSettings.m_friendlyCookies = cookies;
  }
  std::vector<int> general, targets, lastSweeps;
  std::vector<CustomLocation> locations;
  StringPairList cookies;
};

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET | GENERAL_SWEEP_APPLICATIONS;
    g_GeneralSettings.m_nSweepAt = SWEEP_AT_INTERVAL;
    g_GeneralSettings.m_nTimerSeconds = 5 * 3600 + 30 * 60;
    g_GeneralSettings.m_tLastSweep = 0;
    g_WindowsSettings.m_tLastSweep = g_InternetSettings.m_tLastSweep = g_ApplicationSettings.m_tLastSweep = 0;
    m_hMain = ::CreateWindowExA(0, "STATIC", "main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    m_worker = new SweepWorker;
    m_worker->Start();
    m_host.m_hMain = m_hMain;
    m_host.m_pWorker = m_worker;
  }
  void TearDown() override {
    m_panel.reset();
    m_gates.OpenAll();
    m_worker->Quit();
    m_saved.Restore();
    ::DestroyWindow(m_hMain);
  }

  // The panel as the main window makes it, created hidden.
  CLustraProp& OpenPanel(int startPage = 0) {
    m_panel.reset(new CLustraProp(&m_host, nullptr, startPage));
    EXPECT_TRUE(m_panel->Create(false));
    return *m_panel;
  }
  // Brings a page up (a page has no window before it was first shown).
  void ShowPage(CPropertyPage& page) {
    for (int i = 0; i < m_panel->GetPageCount(); ++i)
      if (m_panel->GetPage(i) == &page) m_panel->SetActivePage(i);
    ASSERT_NE(page.GetSafeHwnd(), nullptr);
  }
  bool WaitRunning(int category, bool running) {
    return PumpUntil([&] { return m_worker->IsRunning(category) == running; }, 10000);
  }
  bool WaitAllEnded() {
    return PumpUntil([&] { return !m_worker->IsAnyRunning(); }, 10000);
  }
  bool LogHas(const std::string& start) {
    for (const auto& line : m_log.LogLines())
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }
  // Messages the panel posted to the main window.
  std::vector<UINT> PostedToMain() {
    std::vector<UINT> got;
    MSG msg;
    while (::PeekMessageA(&msg, m_hMain, 0, 0, PM_REMOVE)) got.push_back(msg.message);
    return got;
  }

  RegistrySandbox m_sandbox;
  SettingsSnapshot m_saved;
  ProgressRecorder m_log;
  SweepGates m_gates;
  FakePanelHost m_host;
  HWND m_hMain = nullptr;
  SweepWorker* m_worker = nullptr;
  std::unique_ptr<CLustraProp> m_panel;
};
