#include "settings/settings_groups.h"

#include <ctime>

GeneralSettings g_GeneralSettings;
WindowsSettings g_WindowsSettings;
InternetSettings g_InternetSettings;
ApplicationSettings g_ApplicationSettings;

CustomLocation::CustomLocation(std::string dir, std::string filter, int subInc, std::string keyName)
    : m_strDir(std::move(dir)),
      m_strFilter(std::move(filter)),
      m_nSubInc(subInc),
      m_strDisplay(MakeDisplayText(m_strDir, m_strFilter, subInc)),
      m_strKeyName(std::move(keyName)) {}

std::string CustomLocation::MakeDisplayText(const std::string& dir, const std::string& filter, int subInc) {
  std::string text = dir + ": " + filter;
  if (subInc != 0) text += ": including subdirectories";
  return text;
}

bool SettingsGroup::MarkSwept() {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_tLastSweep = static_cast<int>(std::time(nullptr));
  return true;
}

bool InternetSettings::GetFriendlyCookies(StringPairList& out) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  out.insert(out.end(), m_friendlyCookies.begin(), m_friendlyCookies.end());
  return true;
}

bool InternetSettings::SetFriendlyCookies(const StringPairList& list) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_friendlyCookies = list;
  return true;
}

bool InternetSettings::GetFriendlyHosts(std::vector<std::string>& out) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  out.insert(out.end(), m_friendlyHosts.begin(), m_friendlyHosts.end());
  return true;
}

bool InternetSettings::SetFriendlyHosts(const std::vector<std::string>& hosts) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_friendlyHosts = hosts;
  return true;
}
