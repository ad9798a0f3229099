#include "rules/builtin_notes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>

#include "engine/path_text.h"
#include "engine/sweep_log.h"
#include "rules/rule_set.h"

namespace {

// A built-in entry names its browser first; the Chromium cookie entry names two.
struct Browser {
  const char* prefix;  // of the entry's name
  const char* exe;
  const char* shown;
};
const Browser kBrowsers[] = {
    {"Google Chrome ", "chrome.exe", "Google Chrome"}, {"Chrome and Edge ", "chrome.exe", "Google Chrome"},
    {"Microsoft Edge ", "msedge.exe", "Microsoft Edge"}, {"Chrome and Edge ", "msedge.exe", "Microsoft Edge"},
    {"Brave ", "brave.exe", "Brave"},                  {"Vivaldi ", "vivaldi.exe", "Vivaldi"},
    {"Firefox ", "firefox.exe", "Firefox"},
};

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
  for (const Browser& b : kBrowsers) {
    if (entry.name.compare(0, std::char_traits<char>::length(b.prefix), b.prefix) != 0) continue;
    if (std::find(m_said.begin(), m_said.end(), b.shown) != m_said.end() || !Running(b.exe)) continue;
    m_said.push_back(b.shown);
    LogFormat(statusId, "   %s is running and keeps some of its files open: close it for a full sweep.\n", b.shown);
  }
  return true;
}
