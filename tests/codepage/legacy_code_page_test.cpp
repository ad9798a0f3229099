// Under a legacy ANSI code page (this program carries no manifest, so the
// system's own, 1252 here, stays in force, as on systems that ignore the
// manifest's request for UTF-8): text that has no exact form in it is
// refused with a line and counted as not removed, never turned into '?',
// which as a wildcard would reach other files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "catalogue/windows_targets.h"
#include "engine/dir_walker.h"
#include "engine/outcome_ledger.h"
#include "rules/rule_keys.h"
#include "rules/rule_set.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "support/test_env.h"
#include "winlib/ansi_text.h"

namespace {

const wchar_t kDraft[] = L"\x0447\x0435\x0440\x043D\x043E\x0432\x0438\x043A";  // "draft", in Cyrillic
const char kDraftUtf8[] = "\xD1\x87\xD0\xB5\xD1\x80\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xB8\xD0\xBA";

class LegacyCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::GetACP(), static_cast<UINT>(CP_UTF8)) << "this program must run without the UTF-8 manifest";
    ResetOutcomes();
    m_folder = m_tmp / "work";
    ASSERT_TRUE(::CreateDirectoryA(m_folder.c_str(), nullptr));
    m_savedLocations = g_WindowsSettings.m_locations;
  }
  void TearDown() override {
    g_WindowsSettings.m_locations = m_savedLocations;
    ResetOutcomes();
    // The scratch folder's own clean-up goes through narrow names, which
    // cannot reach these files here.
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((WideFolder() + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((WideFolder() + L"\\" + fd.cFileName).c_str());
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
  }
  std::wstring WideFolder() const { return std::wstring(m_folder.begin(), m_folder.end()); }  // ASCII
  void PlantWide(const std::wstring& name) {
    HANDLE h = ::CreateFileW((WideFolder() + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                             nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::CloseHandle(h);
  }
  bool ThereWide(const std::wstring& name) {
    return ::GetFileAttributesW((WideFolder() + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // Every log line; none may hold a '?' that the text did not have.
  std::string Log() {
    std::string all;
    for (const auto& l : m_log.LogLines()) all += l;
    return all;
  }

  RegistrySandbox m_reg;
  TempFolder m_tmp;
  ProgressRecorder m_log;
  std::string m_folder;
  std::vector<CustomLocation> m_savedLocations;
};

TEST_F(LegacyCodePage, ConversionsSayWhenTheyAreNotExact) {
  std::string out;
  EXPECT_FALSE(WideToAnsiExact(kDraft, &out));
  EXPECT_FALSE(Utf8ToAnsiExact(kDraftUtf8, &out));
  EXPECT_TRUE(Utf8ToAnsiExact("caf\xC3\xA9", &out));  // fits 1252
  EXPECT_EQ(out, "caf\xE9");
  EXPECT_FALSE(Utf8ToAnsiExact("caf\xE9", &out)) << "not UTF-8";
  EXPECT_EQ(AnsiShownName(std::wstring(L"a") + kDraft), "a\\u{0447}\\u{0435}\\u{0440}\\u{043D}\\u{043E}\\u{0432}\\u{0438}\\u{043A}");
}

// A custom filter typed in Cyrillic: read through the narrow call it would
// be "????????*" and match any long enough name.
TEST_F(LegacyCodePage, ACustomFilterThatDoesNotFitIsRefusedNotTurnedIntoWildcards) {
  PlantWide(std::wstring(kDraft) + L"1.txt");
  WriteFileBytes(m_folder + "\\abcdefgh1.txt", "not a draft");
  {
    RegKey settings(kWindowsSettingsPath, HKEY_CURRENT_USER);
    ASSERT_TRUE(settings.Create());
    HKEY entry = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(settings.IsOpen(), "CusDir.0", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &entry, nullptr),
              ERROR_SUCCESS);
    const std::wstring dir = WideFolder();
    const std::wstring filter = std::wstring(kDraft) + L"*";
    ::RegSetValueExW(entry, L"Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                     static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
    ::RegSetValueExW(entry, L"Flt", 0, REG_SZ, reinterpret_cast<const BYTE*>(filter.c_str()),
                     static_cast<DWORD>((filter.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(entry);
    g_WindowsSettings.m_locations.clear();
    g_WindowsSettings.Load(settings);
  }
  ASSERT_EQ(g_WindowsSettings.m_locations.size(), 1u);
  int count = 0;
  CleanCustomLocations(nullptr, &count, nullptr);
  EXPECT_TRUE(FileExists(m_folder + "\\abcdefgh1.txt"));
  EXPECT_TRUE(ThereWide(std::wstring(kDraft) + L"1.txt"));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(NotRemovedCount(), 1);
  EXPECT_NE(Log().find("Not removed: " + m_folder + "\\\\u{0447}"), std::string::npos) << Log();
  EXPECT_EQ(Log().find('?'), std::string::npos) << Log();
}

// A name found on disk that does not fit is left and named, never listed
// under '?' characters; the names that fit are swept as usual.
TEST_F(LegacyCodePage, NamesOnDiskThatDoNotFitAreLeftAndNamed) {
  PlantWide(std::wstring(kDraft) + L".txt");
  WriteFileBytes(m_folder + "\\plain.txt", "x");
  int count = 0;
  DirWalker(m_folder + "\\*.*", false).RemoveFiles(IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_FALSE(FileExists(m_folder + "\\plain.txt"));
  EXPECT_TRUE(ThereWide(std::wstring(kDraft) + L".txt"));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(NotRemovedCount(), 1);
  EXPECT_NE(Log().find("   Not removed: " + m_folder + "\\" + AnsiShownName(kDraft) + ".txt: its name does not fit"),
            std::string::npos)
      << Log();
  EXPECT_EQ(Log().find('?'), std::string::npos) << Log();

  // A rule that chooses by pattern leaves a name it would not have chosen alone.
  ResetOutcomes();
  WriteFileBytes(m_folder + "\\b.log", "x");
  DirWalker(m_folder + "\\*.*", false)
      .RemoveChosen([](const std::string&, const std::string& name) { return name.find(".log") != std::string::npos; },
                    false, false, 0, &count, nullptr);
  EXPECT_FALSE(FileExists(m_folder + "\\b.log"));
  EXPECT_EQ(NotRemovedCount(), 0);
}

// Rule text is read as UTF-8 and taken in the system's code page: a key
// that does not fit is refused with its reason, an exclusion that does not
// fit refuses its whole entry (sweeping without it would remove what it keeps).
TEST_F(LegacyCodePage, RuleTextThatDoesNotFitIsRefused) {
  const std::string folder = m_folder;
  RuleSet rules;
  rules.LoadText("[Drafts *]\nFileKey1=" + folder + "|" + kDraftUtf8 + "*\nFileKey2=" + folder + "|*.bak\n" +
                     "[Kept drafts *]\nFileKey1=" + folder + "|*.tmp\nExcludeKey1=FILE|" + folder + "\\|" +
                     kDraftUtf8 + "*\n" + "[Caf\xC3\xA9 *]\nFileKey1=" + folder + "|caf\xC3\xA9*.tmp\n",
                 "test.ini", false);
  ASSERT_EQ(rules.Entries().size(), 3u);
  const RuleEntry& drafts = rules.Entries()[0];
  EXPECT_FALSE(drafts.refusedWhole);
  ASSERT_EQ(drafts.refused.size(), 1u);
  EXPECT_EQ(drafts.refused[0].key, "FileKey1");
  EXPECT_EQ(drafts.refused[0].reason, "text that does not fit the system's code page");
  EXPECT_TRUE(rules.Entries()[1].refusedWhole);
  const RuleEntry& cafe = rules.Entries()[2];
  EXPECT_FALSE(cafe.refusedWhole);
  EXPECT_TRUE(cafe.refused.empty());
  EXPECT_EQ(cafe.name, "Caf\xE9 *") << "taken in the code page, as its on/off value is named";
}

}  // namespace
