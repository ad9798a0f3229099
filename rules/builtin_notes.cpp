#include "rules/builtin_notes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>

#include "engine/path_text.h"
#include "engine/sweep_log.h"
#include "engine/browsers.h"
#include "rules/rule_set.h"

namespace {

const char kSystemTempEntry[] = "System temporary folder";

std::string Lower(std::string text) { return LowerAscii(std::move(text)); }

bool TokenIsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins))
    return false;
  BOOL member = FALSE;
  if (!::CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
  ::FreeSid(admins);
  return member != FALSE;
}

}  // namespace

bool (*BuiltinNotes::s_isAdministrator)() = &TokenIsAdministrator;

void BuiltinNotes::SetRunningForTest(const std::vector<std::string>& exeNames) {
  m_running.clear();
  for (const std::string& name : exeNames) m_running.push_back(Lower(name));
  m_bListed = true;
}

bool BuiltinNotes::Running(const char* exeName) {
  if (!m_bListed) {
    m_bListed = true;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
      PROCESSENTRY32 process = {};
      process.dwSize = sizeof process;
      for (BOOL more = ::Process32First(snapshot, &process); more; more = ::Process32Next(snapshot, &process))
        m_running.push_back(Lower(process.szExeFile));
      ::CloseHandle(snapshot);
    }
  }
  return std::find(m_running.begin(), m_running.end(), exeName) != m_running.end();
}

bool BuiltinNotes::BeforeEntry(const RuleEntry& entry, int statusId) {
  if (!entry.builtin) return true;
  if (entry.name == kSystemTempEntry && !s_isAdministrator()) {
    LogLine("   The system's temporary folder can only be swept by an administrator: it was left as it is.\n",
            statusId);
    return false;
  }
  // A built-in entry of a browser is in the browser's group.
  size_t browserCount = 0;
  const BrowserInfo* browsers = Browsers(&browserCount);
  for (size_t i = 0; i < browserCount; ++i) {
    const BrowserInfo& b = browsers[i];
    const size_t length = std::char_traits<char>::length(b.group);
    if (entry.name.compare(0, length, b.group) != 0 || entry.name.compare(length, 1, " ") != 0) continue;
    if (std::find(m_said.begin(), m_said.end(), b.group) != m_said.end() || !Running(b.process)) continue;
    m_said.push_back(b.group);
    LogFormat(statusId, "   %s is running and keeps some of its files open: close it for a full sweep.\n", b.group);
  }
  return true;
}
