// Rule variables, folder checks and folder wildcards. A variable is taken
// from the system's known folders, never from the environment's text; a
// wildcard folder segment expands to the folders that exist, and a link is
// never passed through on the way.
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "engine/mask_match.h"
#include "engine/nt_calls.h"
#include "rules/rule_keys.h"
#include "winlib/ansi_text.h"
#include "winlib/trace.h"

namespace {

constexpr size_t kMaxFolderLength = 2048;
// Each variable with two values doubles a key's paths: past this many the
// key is refused, so no key can grow without bound.
constexpr size_t kMaxVariablePaths = 64;

// Known folders that have no CSIDL.
const GUID kFolderLocalAppDataLow = {0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};
const GUID kFolderPublic = {0xDFDF76A2, 0xC82A, 0x4D63, {0x90, 0x6A, 0x56, 0x44, 0xAC, 0x45, 0x73, 0x85}};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string WithoutTrailingSeparator(std::string s) {
  while (s.size() > 2 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
  if (s.size() == 3 && s[1] == ':') s.pop_back();  // "C:\" -> "C:", as %SystemDrive% reads
  return s;
}

std::string Csidl(int id) {
  char buf[MAX_PATH];
  if (FAILED(::SHGetFolderPathA(nullptr, id | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, buf)))
    return std::string();
  return WithoutTrailingSeparator(buf);
}

std::string KnownFolder(const GUID& id) {
  PWSTR path = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr)
    out = WithoutTrailingSeparator(nt::Narrow(path));
  ::CoTaskMemFree(path);
  return out;
}

std::string DriveOf(const std::string& folder) {
  return folder.size() >= 2 && folder[1] == ':' ? folder.substr(0, 2) : std::string();
}

std::string TempFolder() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return std::string();
  return WithoutTrailingSeparator(nt::Narrow(std::wstring(buf, n)));
}

void AddDistinct(std::vector<std::string>& values, const std::string& v) {
  if (v.empty()) return;
  for (const auto& have : values)
    if (FoldCase(have) == FoldCase(v)) return;
  values.push_back(v);
}

using VariableMap = std::map<std::string, std::vector<std::string>>;

VariableMap CollectVariables() {
  VariableMap m;
  auto one = [&](const char* name, const std::string& v) { AddDistinct(m[name], v); };
  const std::string windows = Csidl(CSIDL_WINDOWS);
  const std::string profile = Csidl(CSIDL_PROFILE);
  one("APPDATA", Csidl(CSIDL_APPDATA));
  one("LOCALAPPDATA", Csidl(CSIDL_LOCAL_APPDATA));
  one("LOCALLOWAPPDATA", KnownFolder(kFolderLocalAppDataLow));
  one("PROGRAMDATA", Csidl(CSIDL_COMMON_APPDATA));
  one("COMMONAPPDATA", Csidl(CSIDL_COMMON_APPDATA));
  one("USERPROFILE", profile);
  one("DOCUMENTS", Csidl(CSIDL_PERSONAL));
  one("MUSIC", Csidl(CSIDL_MYMUSIC));
  one("PICTURES", Csidl(CSIDL_MYPICTURES));
  one("VIDEO", Csidl(CSIDL_MYVIDEO));
  one("PUBLIC", KnownFolder(kFolderPublic));
  one("WINDIR", windows);
  one("SYSTEMROOT", windows);
  one("SYSTEMDRIVE", DriveOf(windows));
  one("HOMEDRIVE", DriveOf(profile));
  one("TEMP", TempFolder());
  one("TMP", TempFolder());
  one("PROGRAMFILES", Csidl(CSIDL_PROGRAM_FILES));
  one("PROGRAMFILES", Csidl(CSIDL_PROGRAM_FILESX86));
  one("COMMONPROGRAMFILES", Csidl(CSIDL_PROGRAM_FILES_COMMON));
  one("COMMONPROGRAMFILES", Csidl(CSIDL_PROGRAM_FILES_COMMONX86));
  return m;
}

struct Variables {
  std::mutex lock;
  bool loaded = false;
  VariableMap system;
  VariableMap overrides;
};

Variables& Vars() {
  static Variables v;
  return v;
}

const char* const kVariableNames[] = {
    "APPDATA",     "LOCALAPPDATA", "LOCALLOWAPPDATA", "PROGRAMDATA",       "COMMONAPPDATA",
    "USERPROFILE", "DOCUMENTS",    "MUSIC",           "PICTURES",          "VIDEO",
    "PUBLIC",      "WINDIR",       "SYSTEMROOT",      "SYSTEMDRIVE",       "HOMEDRIVE",
    "TEMP",        "TMP",          "PROGRAMFILES",    "COMMONPROGRAMFILES"};

// Call with the lock held.
void LoadLocked(Variables& v) {
  if (v.loaded) return;
  v.system = CollectVariables();
  v.loaded = true;
}

unsigned g_osVersionForTests = 0;

thread_local std::unordered_map<std::string, DWORD>* t_attributes = nullptr;

DWORD AttributesOf(const std::string& path) {
  if (t_attributes != nullptr) {
    if (auto it = t_attributes->find(path); it != t_attributes->end()) return it->second;
  }
  const DWORD a = ::GetFileAttributesW(nt::LongPathForm(path).c_str());
  if (t_attributes != nullptr) t_attributes->emplace(path, a);
  return a;
}

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Calls take(name, attributes) for every entry of folder whose name matches mask.
template <class F>
void ListMatching(const std::string& folder, const std::string& mask, F&& take) {
  WIN32_FIND_DATAW fd;
  const std::wstring pattern = nt::LongPathForm(folder + "\\*");
  HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return;
  const std::wstring wmask = nt::Widen(mask);
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (!MaskMatches(name, wmask)) continue;
    if (!take(nt::Narrow(name), fd.dwFileAttributes)) break;
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
}

// Folders for the shared expander: a wildcard segment lists the plain
// folders that match; a fixed segment past the system's part must be a
// plain folder too (never a link). A fixed segment that is a folder link is
// named in links: the rule set out to sweep there, so it is not "absent".
WildcardSource FolderSource(std::vector<std::string>* links = nullptr) {
  WildcardSource src;
  src.list = [](const std::string& base, const std::string& mask, const std::function<bool(const std::string&)>& take) {
    ListMatching(base, mask, [&](const std::string& name, DWORD attributes) {
      return !IsPlainFolder(attributes) || take(name);
    });
  };
  src.keep = [links](const std::string& path) {
    const DWORD a = AttributesOf(path);
    if (links != nullptr && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
        (a & FILE_ATTRIBUTE_REPARSE_POINT))
      links->push_back(path);
    return IsPlainFolder(a);
  };
  return src;
}

// The expander's first checked segment: the segments within rootLength are
// the system's own and taken as they are.
size_t FirstChecked(const std::string& path, size_t rootLength) {
  size_t index = 0;
  for (size_t end = 2, at = 3; at <= path.size(); ++index) {
    const size_t cut = path.find('\\', at);
    end = cut == std::string::npos ? path.size() : cut;
    if (end > rootLength) break;
    at = end + 1;
  }
  return index;
}

Expansion ExpandFolderSegments(const std::string& path, size_t rootLength, const std::vector<std::string>& segments,
                               std::vector<std::string>* links = nullptr) {
  return ExpandWildcardPath(path.substr(0, 2), segments, FirstChecked(path, rootLength), FolderSource(links));
}

std::vector<std::string> SegmentsOf(const std::string& canonical) {
  if (canonical.size() <= 3) return {};
  return SplitRuleText(canonical.substr(3), '\\');
}

}  // namespace

RuleAttributeCache::RuleAttributeCache() : m_previous(t_attributes) { t_attributes = &m_attributes; }
RuleAttributeCache::~RuleAttributeCache() { t_attributes = m_previous; }

std::vector<std::string> SplitRuleText(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t cut = s.find(sep, start);
    out.push_back(s.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
    if (cut == std::string::npos) break;
    start = cut + 1;
  }
  return out;
}

bool IsRuleVariable(const std::string& name) {
  const std::string u = Upper(name);
  for (const char* n : kVariableNames)
    if (u == n) return true;
  return false;
}

std::vector<std::string> RuleVariableValues(const std::string& name) {
  const std::string u = Upper(name);
  Variables& v = Vars();
  std::lock_guard<std::mutex> hold(v.lock);
  if (auto it = v.overrides.find(u); it != v.overrides.end()) return it->second;
  if (!IsRuleVariable(u)) return {};
  LoadLocked(v);
  return v.system[u];
}

void SetRuleVariableForTests(const std::string& name, const std::vector<std::string>& values) {
  Variables& v = Vars();
  std::lock_guard<std::mutex> hold(v.lock);
  v.overrides[Upper(name)] = values;
}

void ResetRuleVariablesForTests() {
  Variables& v = Vars();
  std::lock_guard<std::mutex> hold(v.lock);
  v.overrides.clear();
}

void SetRuleOsVersionForTests(unsigned version) { g_osVersionForTests = version; }

unsigned RuleOsVersion() {
  if (g_osVersionForTests != 0) return g_osVersionForTests;
  // RtlGetVersion tells the truth where GetVersionEx answers for the
  // program's manifest.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  static unsigned version = [] {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    auto fn = ntdll != nullptr
                  ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                  : nullptr;
    if (fn == nullptr || fn(&info) != 0) return 0u;
    return static_cast<unsigned>(info.dwMajorVersion * 100 + info.dwMinorVersion);
  }();
  return version;
}

bool ParseRuleOsVersion(const std::string& text, unsigned* out) {
  unsigned major = 0, minor = 0;
  size_t i = 0;
  if (text.empty() || text.size() > 8) return false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9')
    major = major * 10 + static_cast<unsigned>(text[i++] - '0');
  if (i == 0) return false;
  if (i < text.size()) {
    if (text[i++] != '.' || i == text.size()) return false;
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
      minor = minor * 10 + static_cast<unsigned>(text[i++] - '0');
    if (i != text.size() || i == start || minor > 99) return false;
  }
  *out = major * 100 + minor;
  return true;
}

bool ExpandRuleVariables(const std::string& text, std::vector<std::string>* out, std::vector<size_t>* rootLengths,
                         std::string* why) {
  // How many paths the variables would give, counted before any is made.
  size_t count = 1;
  for (size_t open = text.find('%'); open != std::string::npos && count <= kMaxVariablePaths;) {
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;  // said below, in order
    const std::vector<std::string> values = RuleVariableValues(text.substr(open + 1, close - open - 1));
    count *= std::max<size_t>(1, values.size());
    open = text.find('%', close + 1);
  }
  if (count > kMaxVariablePaths) {
    *why = "its variables give more than " + std::to_string(kMaxVariablePaths) + " paths";
    return false;
  }
  std::vector<std::string> paths{std::string()};
  std::vector<size_t> roots{0};
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find('%', i);
    if (open == std::string::npos) {
      for (auto& p : paths) p += text.substr(i);
      break;
    }
    for (auto& p : paths) p += text.substr(i, open - i);
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) {
      *why = "a '%' without its closing '%'";
      return false;
    }
    const std::string name = text.substr(open + 1, close - open - 1);
    if (!IsRuleVariable(name)) {
      *why = "unknown variable %" + name + "%";
      return false;
    }
    std::vector<std::string> values = RuleVariableValues(name);
    values.erase(std::remove(values.begin(), values.end(), std::string()), values.end());
    if (values.empty()) {
      *why = "variable %" + name + "% is empty or not defined here";
      return false;
    }
    if (paths.size() * values.size() > kMaxVariablePaths) {
      *why = "its variables give more than " + std::to_string(kMaxVariablePaths) + " paths";
      return false;
    }
    std::vector<std::string> grown;
    std::vector<size_t> grownRoots;
    for (size_t k = 0; k < paths.size(); ++k) {
      for (const auto& v : values) {
        grown.push_back(paths[k] + WithoutTrailingSeparator(v));
        // Only a leading variable names the system's own part of the path.
        grownRoots.push_back(open == 0 ? grown.back().size() : roots[k]);
      }
    }
    paths.swap(grown);
    roots.swap(grownRoots);
    i = close + 1;
  }
  *out = paths;
  if (rootLengths != nullptr) *rootLengths = roots;
  return true;
}

bool NormaliseRuleFolder(std::string* folder, std::string* why) {
  std::string f = *folder;
  if (f.find('\0') != std::string::npos) {
    *why = "a NUL character in the path";
    return false;
  }
  std::replace(f.begin(), f.end(), '/', '\\');
  const bool drive = f.size() >= 2 && ((f[0] >= 'A' && f[0] <= 'Z') || (f[0] >= 'a' && f[0] <= 'z')) && f[1] == ':' &&
                     (f.size() == 2 || f[2] == '\\');
  if (!drive) {
    *why = "not an absolute folder on a drive";
    return false;
  }
  std::string out = std::string(1, static_cast<char>(f[0] >= 'a' ? f[0] - 'a' + 'A' : f[0])) + ":\\";
  bool first = true;
  for (const auto& seg : SplitRuleText(f.size() > 3 ? f.substr(3) : std::string(), '\\')) {
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      *why = "a path holding '..'";
      return false;
    }
    if (seg.find(':') != std::string::npos) {
      *why = "a ':' inside the path";
      return false;
    }
    // The system drops a fixed name's trailing dots and spaces when it opens
    // it: the folder is named as it will be reached ("Cache." is "Cache").
    std::string name = seg;
    if (name.find_first_of("*?") == std::string::npos) {
      while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
      if (name.empty()) {
        *why = "a path segment of dots and spaces only";
        return false;
      }
    }
    if (!first) out += '\\';
    out += name;
    first = false;
  }
  if (AnsiCharCount(out) > kMaxFolderLength) {  // characters, as the system counts a path
    *why = "a path longer than 2048 characters";
    return false;
  }
  *folder = out;
  return true;
}

bool IsDriveTopFolder(const std::string& canonicalFolder) {
  return canonicalFolder.size() > 3 && canonicalFolder.find('\\', 3) == std::string::npos;
}

std::vector<std::string> ExpandRuleFolder(const RuleFolder& folder, std::string* refused,
                                          std::vector<std::string>* links) {
  const std::vector<std::string> segments = SegmentsOf(folder.path);
  if (segments.empty()) return {folder.path};
  Expansion found = ExpandFolderSegments(folder.path, folder.rootLength, segments, links);
  if (refused != nullptr) *refused = found.refused;
  // Every segment within the variable's part went unchecked: the folder
  // itself must exist.
  found.places.erase(std::remove_if(found.places.begin(), found.places.end(),
                                    [](const std::string& f) { return !IsPlainFolder(AttributesOf(f)); }),
                     found.places.end());
  return found.places;
}

std::vector<std::string> ExpandRuleKeptFolder(const RuleFolder& folder, std::string* refused) {
  // What an exclusion keeps is named by what its folder opens: a folder
  // link or junction on the way is followed (keeping more is safe, keeping
  // nothing is not), and a place whose kind cannot be read refuses the
  // whole expansion rather than reading as "nothing to keep".
  std::string unjudged;
  const auto folderKind = [&unjudged](const std::string& path) {
    const DWORD a = ::GetFileAttributesW(nt::LongPathForm(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND && unjudged.empty())
        unjudged = "the kind of " + path + " cannot be read (error " + std::to_string(e) + ")";
      return false;
    }
    return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  };
  const std::vector<std::string> segments = SegmentsOf(folder.path);
  std::vector<std::string> places;
  if (segments.empty()) {
    places.push_back(folder.path);
  } else {
    WildcardSource src;
    src.list = [](const std::string& base, const std::string& mask,
                  const std::function<bool(const std::string&)>& take) {
      ListMatching(base, mask, [&](const std::string& name, DWORD attributes) {
        return !(attributes & FILE_ATTRIBUTE_DIRECTORY) || take(name);
      });
    };
    src.keep = folderKind;
    Expansion found =
        ExpandWildcardPath(folder.path.substr(0, 2), segments, FirstChecked(folder.path, folder.rootLength), src);
    if (!found.refused.empty()) {
      if (refused != nullptr) *refused = found.refused;
      return {};
    }
    places.swap(found.places);
    places.erase(std::remove_if(places.begin(), places.end(), [&](const std::string& f) { return !folderKind(f); }),
                 places.end());
  }
  if (!unjudged.empty()) {
    if (refused != nullptr) *refused = unjudged;
    return {};
  }
  if (refused != nullptr) refused->clear();
  return places;
}

bool RuleFileExists(const RuleFolder& path) {
  std::vector<std::string> segments = SegmentsOf(path.path);
  if (segments.empty()) return AttributesOf(path.path) != INVALID_FILE_ATTRIBUTES;
  const std::string last = segments.back();
  segments.pop_back();
  const std::vector<std::string> parents = segments.empty()
                                               ? std::vector<std::string>{path.path.substr(0, 2)}
                                               : ExpandFolderSegments(path.path, path.rootLength, segments).places;
  for (const auto& parent : parents) {
    if (HasWildcard(last)) {
      bool any = false;
      ListMatching(parent, last, [&](const std::string&, DWORD) {
        any = true;
        return false;
      });
      if (any) return true;
    } else if (AttributesOf(parent + "\\" + last) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
  }
  return false;
}
