// The Applications end-to-end fixture: both hives mapped to scratch keys, the
// Applications traces seeded below two private folders (local and roaming
// application data), a sweep helper that records what the log received, and
// before/after pictures of all of it.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/removal_guard.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "support/snapshot.h"
#include "support/test_env.h"
#include "tests/settings/reg_helpers.h"
#include "tools/seed/seed_applications.h"

struct ApplicationsSweepResult {
  std::vector<std::string> lines;
  std::vector<int> bar;
  int items = 0;
  float kb = 0.0f;

  bool Logged(const std::string& line) const {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  }
  // Lines holding text.
  int CountContaining(const std::string& text) const {
    int n = 0;
    for (const std::string& l : lines)
      if (l.find(text) != std::string::npos) ++n;
    return n;
  }
};

class ApplicationsSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_savedTargets = g_ApplicationSettings.m_nTargets;
    m_savedGeneral = g_GeneralSettings.m_nTargets;
    g_ApplicationSettings.m_nTargets = 0x7F;
    g_GeneralSettings.m_nTargets = 0;  // no Deep Sweep, no Shredder
    ASSERT_TRUE(SeedApplicationsTracesIn(m_local.Path(), m_roaming.Path()));
    // The removal guard asks the shell for the profile's folders, and Wine
    // records them in the (scratch) user hive the first time: let that happen
    // before any listing, so that a listing shows only what a sweep changed.
    RemovalAllowed(m_local / "warm-up");
  }
  void TearDown() override {
    g_ApplicationSettings.m_nTargets = m_savedTargets;
    g_GeneralSettings.m_nTargets = m_savedGeneral;
  }

  ApplicationsSweepResult Sweep(int targets = 0x7F, bool preview = false) {
    g_ApplicationSettings.m_nTargets = targets;
    ProgressRecorder recorder;
    std::unique_ptr<SweepWorker> worker(new SweepWorker);
    worker->SetPreview(preview);
    SweepApplications(worker.get());
    ApplicationsSweepResult result;
    result.lines = recorder.LogLines();
    result.bar = recorder.BarHistory(IDC_PROGRESS_APPLICATIONS);
    result.items = recorder.m_nTotalItems;
    result.kb = recorder.m_fTotalKB;
    return result;
  }

  // Both private folders (as "LOCAL\..." and "ROAMING\...") and both hives
  // (the scratch keys, as "HKCU\..." and "HKLM\...").
  SnapshotMap Snapshot() const {
    SnapshotMap picture;
    SnapshotFolder("LOCAL", m_local.Path(), picture);
    SnapshotFolder("ROAMING", m_roaming.Path(), picture);
    SnapshotKey("HKCU", HKEY_CURRENT_USER, "", picture);
    SnapshotKey("HKLM", HKEY_LOCAL_MACHINE, "", picture);
    return picture;
  }

  std::string RecentFolder() const { return m_local.Path() + "\\Microsoft\\Office\\Recent"; }
  std::string RealOne() const { return RealOneDataFolder(m_roaming.Path()); }

  RegistrySandbox m_sandbox;
  TempFolder m_local, m_roaming;

 private:
  int m_savedTargets = 0, m_savedGeneral = 0;
};
