// The Windows category's test bench: a private registry (both hives), the
// Recent, temporary, custom-location and outside folders inside one test
// folder (the shell and %TMP%/%TEMP% pointed at them), a fake recycle bin,
// and the Windows settings restored afterwards. Seed() plants the seeder's
// traces there.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "support/test_env.h"
#include "tools/seed/seed_windows.h"
#include "winlib/platform_calls.h"

// What the fake recycle bin holds and what was asked of it.
struct WindowsFakeBin {
  static inline HRESULT queryResult = S_OK;
  static inline HRESULT emptyResult = S_OK;
  static inline unsigned long long bytes = 0;
  static inline unsigned long long items = 0;
  static inline int emptied = 0;
  static inline DWORD flags = 0;
  static inline DWORD sizeField = 0;

  static HRESULT WINAPI Query(LPCSTR root, LPSHQUERYRBINFO info) {
    sizeField = info->cbSize;
    if (root != nullptr || FAILED(queryResult)) return root != nullptr ? E_INVALIDARG : queryResult;
    info->i64Size = static_cast<__int64>(bytes);
    info->i64NumItems = static_cast<__int64>(items);
    return S_OK;
  }
  static HRESULT WINAPI Empty(HWND, LPCSTR root, DWORD how) {
    ++emptied;
    flags = how;
    return root != nullptr ? E_INVALIDARG : emptyResult;
  }
  static void Reset() {
    queryResult = emptyResult = S_OK;
    bytes = items = 0;
    emptied = 0;
    flags = sizeField = 0;
  }
};

class WindowsBench : public ::testing::Test {
 protected:
  void SetUp() override {
    m_savedTargets = g_WindowsSettings.m_nTargets;
    m_savedGeneral = g_GeneralSettings.m_nTargets;
    m_savedLocations = g_WindowsSettings.m_locations;
    g_GeneralSettings.m_nTargets &= ~(GENERAL_DEEP_SWEEP | GENERAL_SHREDDER);
    g_WindowsSettings.m_nTargets = 0x7F;
    g_WindowsSettings.m_locations.clear();
    WindowsFakeBin::Reset();
    g_platform.SHQueryRecycleBinA = &WindowsFakeBin::Query;
    g_platform.SHEmptyRecycleBinA = &WindowsFakeBin::Empty;

    for (const char* v : {"TMP", "TEMP", "TMPDIR"}) m_savedEnv.push_back(Env(v));
    places.recent = m_root / "Recent";
    places.temp = m_root / "Temp";
    places.work = m_root / "Work";
    places.outside = m_root / "Shared";
    places.recycleBin = false;
    places.settings = false;
    for (const std::string* f : {&places.recent, &places.temp, &places.work, &places.outside}) {
      ASSERT_TRUE(::CreateDirectoryA(f->c_str(), nullptr)) << *f;
    }
    ::SetEnvironmentVariableA("TMP", places.temp.c_str());
    ::SetEnvironmentVariableA("TEMP", places.temp.c_str());
    ::SetEnvironmentVariableA("TMPDIR", nullptr);
    // The shell reads the Recent folder from the (private) user hive; both
    // shell-folder keys name it, as they do on a real machine.
    const std::string shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    SetText(shell + "User Shell Folders", "Recent", places.recent, REG_EXPAND_SZ);
    SetText(shell + "Shell Folders", "Recent", places.recent, REG_SZ);
    char recent[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, recent, CSIDL_RECENT, FALSE));
    ASSERT_STREQ(places.recent.c_str(), recent) << "the sweep would reach the prefix's own Recent folder";
  }

  void TearDown() override {
    // While its target still exists: the folder's own clean-up cannot take
    // a host link under Wine.
    const std::string link = places.temp + "\\shared-docs";
    if (::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
      EXPECT_TRUE(RemoveFolderLink(link));
    }
    const char* names[] = {"TMP", "TEMP", "TMPDIR"};
    for (size_t i = 0; i < 3; ++i)
      ::SetEnvironmentVariableA(names[i], m_savedEnv[i].second ? m_savedEnv[i].first.c_str() : nullptr);
    ResetPlatformCalls();
    g_WindowsSettings.m_nTargets = m_savedTargets;
    g_WindowsSettings.m_locations = m_savedLocations;
    g_GeneralSettings.m_nTargets = m_savedGeneral;
  }

  void Seed() { ASSERT_TRUE(SeedWindowsTracesAt(places)); }

  static void SetText(const std::string& path, const char* name, const std::string& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), (DWORD)text.size() + 1);
    ::RegCloseKey(key);
  }
  static bool HasValue(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool has = ::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return has;
  }
  static std::pair<std::string, bool> Env(const char* name) {
    char buf[1024];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    return {n > 0 && n < sizeof buf ? std::string(buf, n) : std::string(), n > 0 && n < sizeof buf};
  }

  // Log lines that carry an item number, in order.
  static std::vector<std::string> ItemLines(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const auto& l : log)
      if (l.find("Item ") != std::string::npos) out.push_back(l);
    return out;
  }

  RegistrySandbox m_sandbox;
  TempFolder m_root;
  ProgressRecorder m_progress;
  WindowsSeedPlaces places;

 private:
  int m_savedTargets = 0, m_savedGeneral = 0;
  std::vector<CustomLocation> m_savedLocations;
  std::vector<std::pair<std::string, bool>> m_savedEnv;
};

// A worker for the sweeps that need one (preview, cancel); ends with the test.
class WindowsWorker {
 public:
  WindowsWorker() : m_worker(new SweepWorker) { m_worker->Start(); }
  ~WindowsWorker() { m_worker->Quit(); }
  SweepWorker* operator->() { return m_worker; }
  SweepWorker* get() { return m_worker; }

 private:
  SweepWorker* m_worker;
};
