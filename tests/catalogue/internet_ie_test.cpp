// The Internet Explorer cleaners one by one in the scratch hives: toolbar
// boxes, AOL, IntelliForms, typed URLs and an unreadable CurrentVersion key.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/ie_targets.h"
#include "engine/preview.h"
#include "engine/url_cache.h"
#include "internet_fixture.h"
#include "settings/reg_key.h"

namespace {

void SetText(HKEY root, const std::string& path, const char* name, const std::string& value) {
  RegKey key(path, root);
  ASSERT_TRUE(key.Create()) << path;
  ASSERT_TRUE(key.SetValue(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1))) << path;
}

// The value names of a key, the unnamed one as "".
std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  RegKey key(path, root);
  if (!key.IsOpen()) return names;
  std::string name;
  std::vector<char> data(key.DataBufferSize());
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    if (!key.EnumValue(name, data.data(), &size, nullptr)) break;
    names.push_back(name);
  }
  return names;
}

std::string Text(HKEY root, const std::string& path, const char* name, DWORD* size = nullptr) {
  char data[1024] = {};
  DWORD n = sizeof data - 1;
  RegKey key(path, root);
  if (!key.QueryValue(name, data, &n)) return "<missing>";
  if (size != nullptr) *size = n;
  return data;
}

class InternetIeTest : public InternetTest {};

TEST_F(InternetIeTest, MsnCountsOneItemForThePerUserKeyOnly) {
  const char key[] = "SOFTWARE\\Microsoft\\MSN Toolbar";
  int count = 0;
  float kb = 0;
  CleanMsnToolbar(nullptr, &count, &kb);
  EXPECT_EQ(count, 0) << "no key, no item";

  SetText(HKEY_CURRENT_USER, key, "SearchStrings", "cheap flights");
  SetText(HKEY_LOCAL_MACHINE, key, "SearchStrings", "weather");
  SetText(HKEY_CURRENT_USER, key, "Other", "stays");
  // The item counted is the item the log numbers; the second run finds the
  // values empty: nothing to sweep, no item, no line.
  for (int run = 1; run <= 2; ++run) {
    CleanMsnToolbar(nullptr, &count, &kb);
    EXPECT_EQ(count, 1) << "run " << run;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      DWORD size = 99;
      EXPECT_EQ(Text(root, key, "SearchStrings", &size), "");
      EXPECT_EQ(size, 0u);
    }
    EXPECT_EQ(LinesWith("Item 1, Reset Value: SearchStrings=cheap flights to empty.").size(), 1u) << "run " << run;
    EXPECT_EQ(LinesWith("Item ").size(), 1u) << "run " << run;
    EXPECT_EQ(LinesWith("SearchStrings=weather").size(), 1u) << "the machine's copy, not numbered";
  }
  EXPECT_EQ(Text(HKEY_CURRENT_USER, key, "Other"), "stays");
  EXPECT_EQ(kb, 0.0f);
}

TEST_F(InternetIeTest, GoogleHistoryLosesEveryValueButOneNamedDefault) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const char* version : {"1.1", "2.0"}) {
      const std::string history = std::string("SOFTWARE\\Google\\NavClient\\") + version + "\\History";
      SetText(root, history, "1", "a");
      SetText(root, history, "2", std::string(700, 'q'));
      SetText(root, history, "3", "");
      SetText(root, history, nullptr, "unnamed default");
      SetText(root, history, "(Default)", "looks like the default");
    }
    SetText(root, "SOFTWARE\\Google\\NavClient\\1.1\\Options", "Layout", "compact");
    SetText(root, "SOFTWARE\\Google\\NavClient", "Top", "stays");
  }
  int count = 0;
  float kb = 0;
  CleanGoogleToolbar(nullptr, &count, &kb);
  EXPECT_EQ(count, 16);
  EXPECT_EQ(kb, 0.0f);
  // Every item counted has its numbered line (the log is what numbers them).
  EXPECT_EQ(LinesWith("Item ").size(), 16u);
  EXPECT_EQ(LinesWith("Delete Value: 1=a.").size(), 4u);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const char* version : {"1.1", "2.0"})
      EXPECT_EQ(ValueNames(root, std::string("SOFTWARE\\Google\\NavClient\\") + version + "\\History"),
                std::vector<std::string>{"(Default)"});
    EXPECT_EQ(Text(root, "SOFTWARE\\Google\\NavClient\\1.1\\Options", "Layout"), "compact");
    EXPECT_EQ(Text(root, "SOFTWARE\\Google\\NavClient", "Top"), "stays");
  }

  // A preview counts the same and deletes nothing.
  SetText(HKEY_CURRENT_USER, "SOFTWARE\\Google\\NavClient\\1.1\\History", "4", "b");
  SetText(HKEY_CURRENT_USER, "SOFTWARE\\Google\\NavClient\\1.1\\History", "5", "c");
  count = 0;
  {
    PreviewScope preview(true);
    CleanGoogleToolbar(nullptr, &count, nullptr);
  }
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, "SOFTWARE\\Google\\NavClient\\1.1\\History").size(), 3u);
}

TEST_F(InternetIeTest, AolRemovesPlainFilesOfItsThreeMasksOnly) {
  const std::string organize = m_temp / "AOL\\organize";
  for (const char* folder : {"AOL", "AOL\\organize", "AOL\\organize\\CACHE", "AOL\\organize\\CACHE\\sub",
                             "AOL\\organize\\x.ARL.d"})
    ASSERT_TRUE(::CreateDirectoryA((m_temp / folder).c_str(), nullptr));
  const std::vector<std::string> gone = {organize + "\\me.ARL", organize + "\\me.aut", organize + "\\CACHE\\a.bin",
                                         organize + "\\CACHE\\b"};
  const std::vector<std::string> kept = {organize + "\\me.pfc", organize + "\\CACHE\\sub\\c.bin",
                                         m_temp / "AOL\\top.ARL"};
  for (const auto* list : {&gone, &kept})
    for (const std::string& f : *list) ASSERT_TRUE(WriteFileBytes(f, std::string(512, 'a')));

  const char key[] = "SOFTWARE\\America Online\\America Online\\CurrentVersion";
  int count = 0;
  CleanAol(nullptr, &count, nullptr);
  SetText(HKEY_LOCAL_MACHINE, key, "Other", m_temp / "AOL");
  CleanAol(nullptr, &count, nullptr);
  EXPECT_EQ(count, 0) << "no DDPath, nothing swept";
  for (const std::string& f : gone) EXPECT_TRUE(FileExists(f)) << f;

  SetText(HKEY_LOCAL_MACHINE, key, "DDPath", m_temp / "AOL");
  float kb = 0;
  CleanAol(nullptr, &count, &kb);
  for (const std::string& f : gone) EXPECT_FALSE(FileExists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(FileExists(f)) << f;
  EXPECT_TRUE(::GetFileAttributesA((organize + "\\x.ARL.d").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(count, 4);
  EXPECT_FLOAT_EQ(kb, 2.0f);
  EXPECT_EQ(LinesWith("Remove file: ").size(), 4u);
}

TEST_F(InternetIeTest, IntelliFormsCountsValuesAndNoKilobytes) {
  const std::string forms = "Software\\Microsoft\\Internet Explorer\\IntelliForms";
  SetText(HKEY_CURRENT_USER, forms, "AutoSuggest", "yes");
  SetText(HKEY_CURRENT_USER, forms + "\\Storage1", "5A2D", std::string(300, 'p'));
  SetText(HKEY_CURRENT_USER, forms + "\\Storage1", "7F00", "p");
  int count = 0;
  float kb = 0;
  CleanIntelliForms(nullptr, &count, &kb);
  EXPECT_EQ(m_log.LogLines().front(), "Start clean up auto complete password.\n");
  EXPECT_EQ(count, 3);
  EXPECT_EQ(kb, 0.0f);
  EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, forms).empty());
  EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, forms + "\\Storage1").empty());
}

// The History folder below the Temp folder is swept only with the shell-folder
// rows, which need the CurrentVersion key; the cache, the typed URLs and the
// shell's History folder do not.
TEST_F(InternetIeTest, UnreadableCurrentVersionStillClearsTypedUrls) {
  const std::string typed = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
  SetText(HKEY_CURRENT_USER, typed, "url1", "http://a.example/");
  SetText(HKEY_CURRENT_USER, typed, "url2", "http://b.example/");
  SetText(HKEY_CURRENT_USER, typed, "url3", "http://c.example/");

  const std::string profile = m_temp / "profile";
  const std::string tempHistory = profile + "\\Local Settings\\Temp\\History";
  for (const char* f : {"", "\\Local Settings", "\\Local Settings\\Temp", "\\Local Settings\\Temp\\History"})
    ASSERT_TRUE(::CreateDirectoryA((profile + f).c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(tempHistory + "\\History.old", "h"));
  char savedProfile[MAX_PATH] = {};
  ::GetEnvironmentVariableA("USERPROFILE", savedProfile, MAX_PATH);
  ::SetEnvironmentVariableA("USERPROFILE", profile.c_str());

  // Stub out the cache: only the order of the steps matters here.
  g_platform.FindFirstUrlCacheEntryExA = [](LPCSTR, DWORD, DWORD, GROUPID, LPINTERNET_CACHE_ENTRY_INFOA, LPDWORD,
                                            LPVOID, LPDWORD, LPVOID) -> HANDLE {
    ::SetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
  };

  // Unreadable: an empty access list admits nobody.
  {
    RegKey cv("Software\\Microsoft\\Windows\\CurrentVersion", HKEY_CURRENT_USER);
    ASSERT_TRUE(cv.Create());
    SECURITY_DESCRIPTOR sd;
    BYTE aclBytes[16];
    ASSERT_TRUE(::InitializeAcl(reinterpret_cast<PACL>(aclBytes), sizeof aclBytes, ACL_REVISION));
    ASSERT_TRUE(::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(aclBytes), FALSE));
    ASSERT_EQ(::RegSetKeySecurity(cv.IsOpen(), DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
  }
  const bool unreadable = !RegKey("Software\\Microsoft\\Windows\\CurrentVersion", HKEY_CURRENT_USER).IsOpen();

  int count = 0;
  CleanIeHistory(nullptr, &count, nullptr);
  ::SetEnvironmentVariableA("USERPROFILE", savedProfile);
  {
    // Open it up again for the sandbox to remove.
    HKEY h = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion", 0, WRITE_DAC, &h),
              ERROR_SUCCESS);
    SECURITY_DESCRIPTOR sd;
    ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    ::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd);
    ::RegCloseKey(h);
  }
  ASSERT_TRUE(unreadable) << "the access list must keep the key shut";
  EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, typed).empty());
  EXPECT_EQ(LinesWith("url").size(), 3u) << "one line per typed URL";
  EXPECT_GE(count, 3);
  EXPECT_TRUE(FileExists(tempHistory + "\\History.old"));
}

}  // namespace
