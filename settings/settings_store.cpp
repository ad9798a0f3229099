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
#include "winlib/ansi_text.h"
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
// Friendly cookie hosts (Site.0, Site.1, ...): a stem that "Cookie" does not
// prefix, so an older version's rewrite of the Cookie list leaves them alone.
const char kHostStem[] = "Site";

// Buffer sizes the stored texts are read into; a longer value counts as absent.
constexpr DWORD kDirBuffer = 1024;
constexpr DWORD kFilterBuffer = 256;
constexpr DWORD kUrlBuffer = 2084;
constexpr DWORD kCookieFileBuffer = 260;
constexpr DWORD kHostBuffer = 256;

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

// A number policy fixes whole is left as it is stored; one it fixes in part
// is written with the fixed bits as the user had them.
bool SaveNumbers(RegKey& key, const SettingsGroup& group, Numbers fields) {
  bool ok = true;
  for (const StoredNumber& f : fields) {
    int stored = 0;
    if (group.ValueToStore(f.name, *f.field, &stored)) ok = SetNumber(key, f.name, stored) && ok;
  }
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

// Reads a text of at most `capacity` characters (the system's count, not
// bytes) through the wide call and converts it to the ANSI code page
// exactly. A text that does not fit is given as AnsiShownName shows it, for
// display only: it is never a name the program acts on.
enum class TextRead { kMissing, kRead, kUnfit };
TextRead QueryTextExact(RegKey& key, const char* name, DWORD capacity, std::string& out) {
  out.clear();
  if (!key.IsOpen()) return TextRead::kMissing;
  const std::wstring wideName(name, name + std::strlen(name));  // the program's own names are ASCII
  std::vector<wchar_t> buffer(capacity + 1, L'\0');
  DWORD type = 0, size = capacity * sizeof(wchar_t);
  if (::RegQueryValueExW(key.IsOpen(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
    return TextRead::kMissing;
  const std::wstring text(buffer.data(), wcsnlen(buffer.data(), size / sizeof(wchar_t)));
  if (WideToAnsiExact(text, &out)) return TextRead::kRead;
  out = AnsiShownName(text);
  return TextRead::kUnfit;
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
  SaveNumbers(key, *this, {{"Targets", &m_nTargets},
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
    const TextRead dirRead = QueryTextExact(entry, "Dir", kDirBuffer, dir);
    if (dirRead == TextRead::kMissing) continue;  // no folder, no entry
    const TextRead filterRead = QueryTextExact(entry, "Flt", kFilterBuffer, filter);
    int subInc = 0;
    QueryNumber(entry, "SubInc", subInc);
    m_locations.emplace_back(dir, filter, subInc, name);
    m_locations.back().m_bUnfitText = dirRead == TextRead::kUnfit || filterRead == TextRead::kUnfit;
  }
  SortByEntryNumber(m_locations, first, kLocationStem, [](const CustomLocation& l) { return l.m_strKeyName; });
}

void WindowsSettings::Save(RegKey& key) {
  SaveNumbers(key, *this, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
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
  std::vector<Named> hosts;
  std::string name;
  while (key.EnumKey(name)) {
    if (StartsWithNoCase(name, kHostStem)) {
      // One value per entry: a half-written entry has none and is ignored.
      RegKey entry(key.OpenSubKey(name.c_str()));
      Named item{name, {}};
      if (QueryText(entry, "Host", kHostBuffer, item.cookie.first) && !item.cookie.first.empty())
        hosts.push_back(std::move(item));
      continue;
    }
    if (!StartsWithNoCase(name, kCookieStem)) continue;
    RegKey entry(key.OpenSubKey(name.c_str()));
    Named item{name, {}};
    if (!QueryText(entry, "Url", kUrlBuffer, item.cookie.first)) continue;
    QueryText(entry, "Fl", kCookieFileBuffer, item.cookie.second);
    found.push_back(std::move(item));
  }
  SortByEntryNumber(found, 0, kCookieStem, [](const Named& n) { return n.key; });
  for (Named& n : found) m_friendlyCookies.push_back(std::move(n.cookie));
  SortByEntryNumber(hosts, 0, kHostStem, [](const Named& n) { return n.key; });
  for (Named& n : hosts) m_friendlyHosts.push_back(std::move(n.cookie.first));
}

void InternetSettings::Save(RegKey& key) {
  SaveNumbers(key, *this, {{"Targets", &m_nTargets}, {"Browser", &m_nBrowser}, {"LsRn", &m_tLastSweep}});
}

void ApplicationSettings::Load(RegKey& key) {
  LoadNumbers(key, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
}

void ApplicationSettings::Save(RegKey& key) {
  SaveNumbers(key, *this, {{"Targets", &m_nTargets}, {"LsRn", &m_tLastSweep}});
}

// --- Whole-group load and save -------------------------------------------------

bool SettingsGroup::LoadFromRegistry(const char* path) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  const bool fromUser = LoadStored(path);
  ApplyPolicies(path);
  return fromUser;
}

// The stored values alone, before policy; the caller holds the lock.
bool SettingsGroup::LoadStored(const char* path) {
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
  ReapplyPolicies();
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

bool InternetSettings::SaveFriendlyHosts() {
  RegKey key(kInternetSettingsPath, HKEY_CURRENT_USER);
  if (!key.IsOpen()) return false;
  return RewriteNumberedSubkeys(key, kHostStem, m_friendlyHosts.size(), [&](RegKey& entry, size_t n) {
    return ListValueWriteAllowed("Host") && SetText(entry, "Host", m_friendlyHosts[n]);
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
