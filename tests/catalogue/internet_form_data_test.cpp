// Stored form data under Protected Storage: the SID key is built in the
// scratch hive with an access list that admits only the system, the cleaner
// opens it up, deletes the data key and puts the SID key's list back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "catalogue/autocomplete.h"
#include "engine/key_security.h"
#include "engine/preview.h"
#include "internet_fixture.h"
#include "winlib/os_kind.h"

namespace {

const char kPrefix[] = "Software\\Microsoft\\Protected Storage System Provider\\";
const char kFormGuid[] = "e161255a-37c3-11d2-bcaa-00c04fd929db";

bool KeyExists(HKEY root, const std::string& path) {
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &h) != ERROR_SUCCESS) return false;
  ::RegCloseKey(h);
  return true;
}

void CreateKey(HKEY root, const std::string& path) {
  HKEY h = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS)
      << path;
  ::RegSetValueExA(h, "Item", 0, REG_BINARY, reinterpret_cast<const BYTE*>("secret"), 6);
  ::RegCloseKey(h);
}

// A DACL that admits LocalSystem only, as the provider's keys have it.
void RestrictToSystem(HKEY root, const std::string& path) {
  BYTE sidBytes[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sidBytes;
  ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, sidBytes, &sidSize));
  BYTE aclBytes[128];
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  ASSERT_TRUE(::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION));
  ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, sidBytes));
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
  HKEY h = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &h), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
  ::RegCloseKey(h);
}

class InternetFormDataTest : public InternetTest {
 protected:
  void SetUp() override {
    InternetTest::SetUp();
    m_savedOsKind = g_nOsKind;
    ASSERT_TRUE(GetCurrentUserSid(m_sid));
    m_sidKey = kPrefix + FormatSidString(m_sid.data());
    m_formKey = m_sidKey + "\\Data\\" + kFormGuid;
    char user[260];
    DWORD size = sizeof user;
    ASSERT_TRUE(::GetUserNameA(user, &size));
    m_machineKey = std::string(kPrefix) + user + "\\Data\\" + kFormGuid;
    PlantKeys();
  }

  // The per-user keys shut to everyone but the system, and the machine key.
  void PlantKeys() {
    OpenUp();
    CreateKey(HKEY_CURRENT_USER, m_formKey + "\\deeper\\deepest");
    CreateKey(HKEY_CURRENT_USER, m_sidKey + "\\Other");
    CreateKey(HKEY_LOCAL_MACHINE, m_machineKey + "\\sub");
    for (const std::string& path : {m_formKey + "\\deeper\\deepest", m_formKey + "\\deeper", m_formKey,
                                    m_sidKey + "\\Data", m_sidKey})
      RestrictToSystem(HKEY_CURRENT_USER, path);
    ASSERT_TRUE(SaveKeyDacl(HKEY_CURRENT_USER, m_sidKey, m_before));
    ASSERT_FALSE(m_before.empty());
  }

  void OpenUp() {
    SECURITY_DESCRIPTOR open;
    SecurityBlock acl;
    if (BuildOpenKeyDescriptor(m_sid.data(), &open, acl)) ApplyKeyDacl(HKEY_CURRENT_USER, m_sidKey, &open, true);
  }

  void TearDown() override {
    OpenUp();  // so that the sandbox can remove the keys
    g_nOsKind = m_savedOsKind;
    InternetTest::TearDown();
  }

  SecurityBlock Dacl(const std::string& path) {
    SecurityBlock dacl;
    SaveKeyDacl(HKEY_CURRENT_USER, path, dacl);
    return dacl;
  }

  SecurityBlock m_sid, m_before;
  std::string m_sidKey, m_formKey, m_machineKey;
  int m_savedOsKind = 0;
};

TEST_F(InternetFormDataTest, NtFamilyDeletesBothDataKeysAndRestoresTheSidKeyList) {
  for (int kind : {OS_WINXP, OS_WIN2000, OS_WINNT4}) {
    PlantKeys();
    HKEY probe = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, (m_formKey + "\\deeper").c_str(), 0, KEY_READ, &probe),
              ERROR_ACCESS_DENIED)
        << "shut to the test itself";
    ProgressRecorder log;
    g_nOsKind = kind;
    int count = 0;
    float kb = 0;
    CleanFormData(nullptr, &count, &kb);
    const std::vector<std::string> expected = {
        " Clean up auto complete form.\n",
        "  Item 1, Delete registry key: HKEY_CURRENT_USER\\" + m_formKey + "\n"};
    EXPECT_EQ(log.LogLines(), expected) << kind;
    EXPECT_EQ(log.ItemText(IDC_STATUS_INTERNET), expected[1]);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(kb, 0.0f);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_formKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_sidKey + "\\Other"));
    EXPECT_EQ(Dacl(m_sidKey), m_before) << "the SID key's list is put back";
  }
}

TEST_F(InternetFormDataTest, OtherSystemsDeleteOnlyTheMachineKey) {
  for (int kind : {OS_WIN95, OS_WIN98, OS_WINME, OS_WIN32S, OS_OTHER, OS_UNKNOWN_VERSION}) {
    CreateKey(HKEY_LOCAL_MACHINE, m_machineKey);
    ProgressRecorder log;
    g_nOsKind = kind;
    int count = 0;
    CleanFormData(nullptr, &count, nullptr);
    EXPECT_EQ(log.LogLines(), std::vector<std::string>{" Clean up auto complete form.\n"}) << kind;
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_formKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineKey));
  }
}

TEST_F(InternetFormDataTest, WithoutCounterTheLineHasNoNumberAndNoStatus) {
  g_nOsKind = OS_WINXP;
  CleanFormData(nullptr, nullptr, nullptr);
  EXPECT_EQ(m_log.LogLines().back(), "  Delete registry key: HKEY_CURRENT_USER\\" + m_formKey + "\n");
  EXPECT_EQ(m_log.ItemText(IDC_STATUS_INTERNET), "");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_formKey));
}

TEST_F(InternetFormDataTest, PreviewChangesNoListAndNoKey) {
  g_nOsKind = OS_WINXP;
  const SecurityBlock dataBefore = Dacl(m_sidKey + "\\Data");
  int count = 0;
  {
    PreviewScope preview(true);
    CleanFormData(nullptr, &count, nullptr);
  }
  EXPECT_EQ(count, 2);
  EXPECT_EQ(m_log.LogLines().size(), 2u);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_formKey));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, m_machineKey));
  EXPECT_EQ(Dacl(m_sidKey), m_before);
  EXPECT_EQ(Dacl(m_sidKey + "\\Data"), dataBefore);
}

TEST(InternetKeySecurity, SidStringsOfKnownSids) {
  struct {
    WELL_KNOWN_SID_TYPE type;
    const char* text;
  } rows[] = {{WinLocalSystemSid, "S-1-5-18"},
              {WinBuiltinAdministratorsSid, "S-1-5-32-544"},
              {WinWorldSid, "S-1-1-0"},
              {WinHighLabelSid, "S-1-16-12288"}};
  for (auto& r : rows) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(::CreateWellKnownSid(r.type, nullptr, sid, &size));
    EXPECT_EQ(FormatSidString(sid), r.text);
  }
  SecurityBlock user;
  ASSERT_TRUE(GetCurrentUserSid(user));
  const std::string text = FormatSidString(user.data());
  EXPECT_EQ(text.rfind("S-1-5-21-", 0), 0u) << text;
}

TEST(InternetKeySecurity, OpenDescriptorHasExactlyTheTwoEntries) {
  SecurityBlock user;
  ASSERT_TRUE(GetCurrentUserSid(user));
  SECURITY_DESCRIPTOR sd;
  SecurityBlock acl;
  ASSERT_TRUE(BuildOpenKeyDescriptor(user.data(), &sd, acl));
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(&sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  ASSERT_EQ(static_cast<void*>(dacl), static_cast<void*>(acl.data()));
  EXPECT_EQ(dacl->AclSize, 8u + 8u + ::GetLengthSid(user.data()) + 8u + 12u);
  ASSERT_EQ(dacl->AceCount, 2u);
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  PSID expected[] = {user.data(), system};
  for (DWORD i = 0; i < 2; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(KEY_ALL_ACCESS));
    EXPECT_TRUE(::EqualSid(&ace->SidStart, expected[i])) << i;
  }
  EXPECT_FALSE(ApplyKeyDacl(HKEY_CURRENT_USER, "", &sd, true)) << "an empty path names the root";
}

}  // namespace
