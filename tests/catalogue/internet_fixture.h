// Shared set-up of the Internet category's tests: isolated hives, a private
// folder, a log recorder, General options restored, platform seam restored.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/removal_guard.h"
#include "settings/settings_groups.h"
#include "support/test_env.h"
#include "winlib/platform_calls.h"

class InternetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The guard takes its protected folders once, from the environment of its
    // first use; tests that move USERPROFILE must not be that first use.
    RemovalAllowed(m_temp / "x\\*.*");
    m_savedGeneral = g_GeneralSettings.m_nTargets;
    g_GeneralSettings.m_nTargets &= ~(GENERAL_SHREDDER | GENERAL_DEEP_SWEEP);
  }
  void TearDown() override {
    g_GeneralSettings.m_nTargets = m_savedGeneral;
    ResetPlatformCalls();
  }

  void SetGeneralOption(int bit, bool on) {
    if (on)
      g_GeneralSettings.m_nTargets |= bit;
    else
      g_GeneralSettings.m_nTargets &= ~bit;
  }

  // Log lines that contain text.
  std::vector<std::string> LinesWith(const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : m_log.LogLines())
      if (line.find(text) != std::string::npos) out.push_back(line);
    return out;
  }

  RegistrySandbox m_sandbox;
  TempFolder m_temp;
  ProgressRecorder m_log;
  int m_savedGeneral = 0;
};
