// Reading and writing the settings groups in the registry, and the auto-start
// entry. Numbers are 4-byte little-endian REG_BINARY values; texts are REG_SZ
// whose data length is the text length.
#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "settings/subkey_list.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"

#define MORVANE_KEY "SOFTWARE\\Calderix\\Morvane"
const char kGeneralSettingsPath[] = MORVANE_KEY "\\General Settings";
const char kWindowsSettingsPath[] = MORVANE_KEY "\\Windows";
const char kInternetSettingsPath[] = MORVANE_KEY "\\Internet";
const char kApplicationSettingsPath[] = MORVANE_KEY "\\Applications";
#undef MORVANE_KEY
const char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueName[] = "Morvane.exe";

namespace {

const char kCaption[] = "Morvane";
const char kLocationStem[] = "CusDir";
const char kCookieStem[] = "Cookie";

// Buffer sizes the stored texts are read into; a longer value counts as absent.
constexpr DWORD kDirBuffer = 1024;
constexpr DWORD kFilterBuffer = 256;
constexpr DWORD kUrlBuffer = 2084;
constexpr DWORD kCookieFileBuffer = 260;

struct StoredNumber {
  const char* name;
  int* field;
};
using Numbers = std::initializer_list<StoredNumber>;

// Up to the first four bytes, little-endian. A shorter value is widened with
// zeros, so nothing left in the buffer by an earlier value leaks in.
int FirstFourBytes(const BYTE* data, DWORD size) {
  unsigned value = 0;
  for (DWORD i = 0; i < 4 && i < size; ++i) value |= static_cast<unsigned>(data[i]) << (8 * i);
  return static_cast<int>(value);
}

// Every value of the key whose name matches one of the fields (without regard
// to case) sets that field from its first four bytes, whatever its type.
void LoadNumbers(RegKey& key, Numbers fields) {
  std::vector<BYTE> data(key.DataBufferSize(), 0);
  std::string name;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    if (!key.EnumValue(name, data.data(), &size, nullptr)) break;
    for (const StoredNumber& f : fields)
      if (EqualsNoCase(name, f.name)) *f.field = FirstFourBytes(data.data(), size);
  }
}

bool SetNumber(RegKey& key, const char* name, int value) {
  const unsigned v = static_cast<unsigned>(value);
  const BYTE bytes[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                         static_cast<BYTE>(v >> 24)};
  return key.SetValue(name, REG_BINARY, bytes, sizeof bytes);
}

bool SaveNumbers(RegKey& key, Numbers fields) {
  bool ok = true;
  for (const StoredNumber& f : fields) ok = SetNumber(key, f.name, *f.field) && ok;
  return ok;
}

bool SetText(RegKey& key, const char* name, const std::string& text) {
  return key.SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size()));
}

// Reads a text into a buffer of `capacity` bytes. The text ends at the data
// length returned or at the first zero byte, whichever comes first; nothing
// is written past the buffer, also when the data fills it to the last byte.
bool QueryText(RegKey& key, const char* name, DWORD capacity, std::string& out) {
  std::vector<char> buffer(capacity, '\0');
  DWORD size = capacity;
  if (!key.QueryValue(name, buffer.data(), &size)) return false;
  if (size > capacity) size = capacity;
  out.assign(buffer.data(), strnlen(buffer.data(), size));
  return true;
}

bool QueryNumber(RegKey& key, const char* name, int& out) {
  BYTE data[4] = {};
  DWORD size = sizeof data;
  if (!key.QueryValue(name, data, &size)) return false;
  out = FirstFourBytes(data, size);
  return true;
}

// Subkeys enumerate in name order (CusDir.10 before CusDir.2); the list order
// is the numbering. Names without a plain number keep their order, last.
template <class Entry, class NameOf>
void SortByEntryNumber(std::vector<Entry>& entries, size_t from, const char* stem, NameOf nameOf) {
  auto rank = [&](const Entry& e) {
    const int n = EntryNumber(nameOf(e), stem);
    return n >= 0 ? n : INT_MAX;
  };
  std::stable_sort(entries.begin() + static_cast<std::ptrdiff_t>(from), entries.end(),
                   [&](const Entry& a, const Entry& b) { return rank(a) < rank(b); });
}

}  // namespace

// --- Load and Save of each group ---------------------------------------------

void GeneralSettings::Load(RegKey& key) {
  LoadNumbers(key, {{"Targets", &m_nTargets},
                    {"StTm", &m_nSweepAt},
                    {"TmSn", &m_nTimerSeconds},
                    {"LsRn", &m_tLastSweep},
                    {"NotShowLogo", &m_bNotShowLogo}});
}

void GeneralSettings::Save(RegKey& key) {
  SaveNumbers(key, {{"Targets", &m_nTargets},
                    {"StTm", &m_nSweepAt},
                    {"TmSn", &m_nTimerSeconds},
                    {"LsRn", &m_tLastSweep},
                    {"NotShowLogo", &m_bNotShowLogo}});
}

void WindowsSettings::Load(RegKey& key) {
  LoadNumbers(key, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
  const size_t first = m_locations.size();
  std::string name;
  while (key.EnumKey(name)) {
    if (!StartsWithNoCase(name, kLocationStem)) continue;
    RegKey entry(key.OpenSubKey(name.c_str()));
    std::string dir, filter;
    if (!QueryText(entry, "Dir", kDirBuffer, dir)) continue;  // no folder, no entry
    QueryText(entry, "Flt", kFilterBuffer, filter);
    int subInc = 0;
    QueryNumber(entry, "SubInc", subInc);
    m_locations.emplace_back(dir, filter, subInc, name);
  }
  SortByEntryNumber(m_locations, first, kLocationStem, [](const CustomLocation& l) { return l.m_strKeyName; });
}

void WindowsSettings::Save(RegKey& key) {
  SaveNumbers(key, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
  if (!m_bLocationsDirty) return;
  const bool done = RewriteNumberedSubkeys(key, kLocationStem, m_locations.size(), [&](RegKey& entry, size_t n) {
    CustomLocation& loc = m_locations[n];
    loc.m_strKeyName = std::string(kWindowsSettingsPath) + "\\" + kLocationStem + "." + std::to_string(n);
    // The entry is rewritten in place, so "Dir" goes first and comes back
    // last: a load ignores an entry without one, and an entry whose write
    // stops half-way never pairs a new folder with an old filter and
    // subfolder flag, a removal target nobody chose. A write that stops
    // half-way puts the old entry back, so that a failed save loses no
    // location it could keep.
    std::string oldDir, oldFilter;
    int oldSubInc = 0;
    const bool hadDir = QueryText(entry, "Dir", kDirBuffer, oldDir);
    const bool hadFilter = QueryText(entry, "Flt", kFilterBuffer, oldFilter);
    const bool hadSubInc = QueryNumber(entry, "SubInc", oldSubInc);
    if (hadDir && !(ListValueWriteAllowed("-Dir") && entry.DeleteValue("Dir"))) return false;
    const bool filterSet = ListValueWriteAllowed("Flt") && SetText(entry, "Flt", loc.m_strFilter);
    const bool subIncSet = filterSet && ListValueWriteAllowed("SubInc") && SetNumber(entry, "SubInc", loc.m_nSubInc);
    if (subIncSet && ListValueWriteAllowed("Dir") && SetText(entry, "Dir", loc.m_strDir)) return true;
    if (hadDir) {
      // Only what was overwritten goes back; a value whose write failed is as it was.
      bool back = true;
      if (filterSet) back = hadFilter ? SetText(entry, "Flt", oldFilter) : entry.DeleteValue("Flt");
      if (back && subIncSet) back = hadSubInc ? SetNumber(entry, "SubInc", oldSubInc) : entry.DeleteValue("SubInc");
      if (back && ListValueWriteAllowed("Dir")) SetText(entry, "Dir", oldDir);
    }
    return false;
  });
  // Stays set after a failed rewrite, so that the next save tries again.
  if (done) m_bLocationsDirty = 0;
}

void InternetSettings::Load(RegKey& key) {
  LoadNumbers(key, {{"Targets", &m_nTargets}, {"Browser", &m_nBrowser}, {"LsRn", &m_tLastSweep}});
  struct Named {
    std::string key;
    StringPair cookie;
  };
  std::vector<Named> found;
  std::string name;
  while (key.EnumKey(name)) {
    if (!StartsWithNoCase(name, kCookieStem)) continue;
    RegKey entry(key.OpenSubKey(name.c_str()));
    Named item{name, {}};
    if (!QueryText(entry, "Url", kUrlBuffer, item.cookie.first)) continue;
    QueryText(entry, "Fl", kCookieFileBuffer, item.cookie.second);
    found.push_back(std::move(item));
  }
  SortByEntryNumber(found, 0, kCookieStem, [](const Named& n) { return n.key; });
  for (Named& n : found) m_friendlyCookies.push_back(std::move(n.cookie));
}

void InternetSettings::Save(RegKey& key) {
  SaveNumbers(key, {{"Targets", &m_nTargets}, {"Browser", &m_nBrowser}, {"LsRn", &m_tLastSweep}});
}

void ApplicationSettings::Load(RegKey& key) {
  LoadNumbers(key, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
}

void ApplicationSettings::Save(RegKey& key) {
  SaveNumbers(key, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
}

// --- Whole-group load and save -------------------------------------------------

bool SettingsGroup::LoadFromRegistry(const char* path) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  {
    RegKey user(path, HKEY_CURRENT_USER);
    if (user.IsOpen()) {
      Load(user);
      return true;
    }
  }
  {
    // An administrator's machine-wide settings; the per-user key is made by
    // the first save, not here.
    RegKey machine(path, HKEY_LOCAL_MACHINE);
    if (machine.IsOpen()) {
      Load(machine);
      return false;
    }
  }
  // First start: store the defaults under both roots. Without rights on the
  // machine hive nothing is written and the defaults live in memory only.
  RegKey machine(path, HKEY_LOCAL_MACHINE);
  if (machine.Create()) {
    Save(machine);
    RegKey user(path, HKEY_CURRENT_USER);
    if (user.Create()) Save(user);
  }
  return true;
}

bool SettingsGroup::SaveToRegistry(const char* path) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  RegKey key(path, HKEY_CURRENT_USER);
  if (!key.IsOpen() && !key.Create()) {
    Trace("Cannot open or create %s\n", path);
    return false;
  }
  Save(key);
  return true;
}

bool InternetSettings::SaveFriendlyCookies() {
  RegKey key(kInternetSettingsPath, HKEY_CURRENT_USER);
  if (!key.IsOpen()) return false;
  return RewriteNumberedSubkeys(key, kCookieStem, m_friendlyCookies.size(), [&](RegKey& entry, size_t n) {
    const StringPair& cookie = m_friendlyCookies[n];
    const bool ok = SetText(entry, "Url", cookie.first);
    return SetText(entry, "Fl", cookie.second) && ok;
  });
}

// --- Auto-start ------------------------------------------------------------------

const char* GeneralSettings::UpdateAutoStart(const char* commandLine) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return nullptr;
  const bool wanted = (m_nTargets & GENERAL_AUTO_START) != 0;
  RegKey run(kRunKeyPath, HKEY_CURRENT_USER);
  // A profile may have no Run key yet: make it when auto start is wanted.
  // Turning auto start off with no Run key has nothing to remove.
  if (!run.IsOpen() && (!wanted || !run.Create())) {
    if (wanted)
      g_platform.MessageBoxA(nullptr, "Cannot find registry to register program.", kCaption, MB_OK | MB_ICONERROR);
    return nullptr;
  }
  if (wanted) {
    run.DeleteValue(kRunValueName);  // its absence is no error
    const std::string text = commandLine != nullptr ? commandLine : "";
    if (SetText(run, kRunValueName, text)) return "Setup running registry";
    g_platform.MessageBoxA(nullptr, "Cannot register program to start at logon time.", kCaption,
                           MB_OK | MB_ICONERROR);
  } else if (run.DeleteValue(kRunValueName)) {
    return "Removed running registry";
  }
  return nullptr;
}
