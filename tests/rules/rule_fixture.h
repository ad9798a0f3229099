// Shared pieces of the rule tests: a scratch registry and folder, rule text
// read into a set of the test's own, and before/after pictures of both.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "rules/rule_keys.h"
#include "rules/rule_set.h"
#include "support/snapshot.h"
#include "support/test_env.h"

class RuleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetRuleVariablesForTests();
    SetRuleOsVersionForTests(0);
  }

  // Makes the file (and its folders) below the scratch folder.
  std::string Plant(const std::string& rel, const std::string& content = "trace") {
    const std::string path = m_tmp / rel;
    for (size_t at = m_tmp.Path().size() + 1; (at = path.find('\\', at)) != std::string::npos; ++at)
      ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    EXPECT_TRUE(WriteFileBytes(path, content)) << path;
    return path;
  }
  std::string At(const std::string& rel) const { return m_tmp / rel; }
  const std::string& Root() const { return m_tmp.Path(); }

  // Reads text as a rule file of its own and returns its last entry.
  const RuleEntry& Read(const std::string& text) {
    m_rules.LoadText(text, "test.ini", false);
    EXPECT_FALSE(m_rules.Entries().empty());
    return m_rules.Entries().back();
  }

  // Reasons of the entry's refusals, one per key.
  static std::vector<std::string> Reasons(const RuleEntry& e) {
    std::vector<std::string> out;
    for (const auto& r : e.refused) out.push_back(r.key + ": " + r.reason);
    return out;
  }

  SnapshotMap Picture() const {
    // The guard takes the system's folders from the shell when it first
    // judges, and the shell may write its folder keys then: not the sweep's doing.
    RemovalRefusal(Root() + "\\*.*");
    SnapshotMap m;
    SnapshotFolder("tmp", m_tmp.Path(), m);
    SnapshotKey("hkcu", HKEY_CURRENT_USER, "Software", m);
    return m;
  }

  // Sweeps one entry; returns the items counted.
  int Sweep(const RuleEntry& e, bool preview = false, float* kb = nullptr) {
    PreviewScope scope(preview);
    int count = 0;
    float total = 0.0f;
    SweepRuleEntry(e, 0, &count, &total);
    if (kb != nullptr) *kb = total;
    return count;
  }

  // Every name that went, with the scratch folder's label.
  std::vector<std::string> Removed(const SnapshotMap& before) const {
    return CompareSnapshots(before, Picture()).removed;
  }
  std::string T(const std::string& rel) const { return "tmp\\" + rel; }

  RegistrySandbox m_reg;
  TempFolder m_tmp;
  RuleSet m_rules;
};

inline bool SetString(HKEY root, const std::string& path, const char* name, const char* data) {
  HKEY h = nullptr;
  if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = ::RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                   static_cast<DWORD>(strlen(data) + 1)) == ERROR_SUCCESS;
  ::RegCloseKey(h);
  return ok;
}
