#include "support/generated_cases.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "engine/outcome_ledger.h"
#include "engine/removal_guard.h"
#include "rules/rule_keys.h"
#include "rules/rule_set.h"
#include "support/snapshot.h"
#include "support/test_env.h"

namespace {

// --- the generator's own randomness: the same seed gives the same case on
// every compiler (no std distributions, whose results are the library's).
class Rng {
 public:
  explicit Rng(unsigned seed) : m_state(0x9E3779B97F4A7C15ULL ^ (uint64_t(seed) * 0xD1B54A32D192ED03ULL)) {}
  uint32_t Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
  }
  size_t Pick(size_t n) { return n == 0 ? 0 : Next() % n; }
  bool Chance(unsigned percent) { return Next() % 100 < percent; }
  template <class T>
  const T& Of(const std::vector<T>& v) { return v[Pick(v.size())]; }

 private:
  uint64_t m_state;
};

// Names in several scripts, with the feature each one exercises.
struct Name {
  const char* text;
  const char* feature;
};
const std::vector<Name> kFolderNames = {
    {"Cache", nullptr},          {"Temp Files", "8.3 name"},      {"logs", nullptr},
    {"Profile 1", "8.3 name"},   {"Long Folder Name", "8.3 name"}, {"\xE7\xBC\x93\xE5\xAD\x98", "CJK name"},
    {"\xD0\x9A\xD1\x8D\xD1\x88", "Cyrillic name"}, {"\xF0\x9F\x93\xA6" "box", "emoji name"},
    {"Cafe\xCC\x81", "decomposed accent"},         {"data", nullptr}};
const std::vector<Name> kFileStems = {
    {"a", nullptr},       {"report", nullptr},  {"Long File Name", "8.3 name"}, {"\xE6\x95\xB0\xE6\x8D\xAE", "CJK name"},
    {"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB", "Cyrillic name"}, {"\xF0\x9F\x8E\xB5" "song", "emoji name"},
    {"nai\xCC\x88ve", "decomposed accent"},                {"trace", nullptr}};
const std::vector<std::string> kExtensions = {".tmp", ".log", ".txt", ".dat"};

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The checker's own mask match ('*' and '?', ASCII case folded); patterns
// here are a few characters long, so plain recursion is enough.
bool MaskMatches(const char* p, const char* s) {
  if (*p == '\0') return *s == '\0';
  if (*p == '*') return MaskMatches(p + 1, s) || (*s != '\0' && MaskMatches(p, s + 1));
  if (*s == '\0') return false;
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  // '?' stands for one character; a character of a name in UTF-8 takes one to four bytes.
  if (*p == '?') {
    size_t len = 1;
    const unsigned char lead = static_cast<unsigned char>(*s);
    if (lead >= 0xF0) len = 4;
    else if (lead >= 0xE0) len = 3;
    else if (lead >= 0xC0) len = 2;
    for (size_t i = 1; i < len; ++i)
      if (s[i] == '\0') return false;
    return MaskMatches(p + 1, s + len);
  }
  return fold(*p) == fold(*s) && MaskMatches(p + 1, s + 1);
}

std::string Parent(const std::string& rel) {
  const size_t at = rel.rfind('\\');
  return at == std::string::npos ? std::string() : rel.substr(0, at);
}
std::string Leaf(const std::string& rel) {
  const size_t at = rel.rfind('\\');
  return at == std::string::npos ? rel : rel.substr(at + 1);
}
bool AtOrBelow(const std::string& rel, const std::string& dir) {
  return rel == dir || (rel.size() > dir.size() && rel.compare(0, dir.size(), dir) == 0 && rel[dir.size()] == '\\');
}

std::wstring Wide(const std::string& s) {
  std::wstring w(s.size() + 1, L'\0');
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], static_cast<int>(w.size()));
  w.resize(n > 0 ? n - 1 : 0);
  return w;
}
std::string Narrow(const std::wstring& w) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 1, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  s.resize(n > 0 ? n - 1 : 0);
  return s;
}

// --- the Unix side: Win32 code cannot make a link under Wine, but Wine
// starts a Unix program named by its \\?\unix\ path.
std::string UnixPath(const std::string& dosPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  static ToUnix toUnix =
      reinterpret_cast<ToUnix>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (toUnix == nullptr) return std::string();
  char* p = toUnix(Wide(dosPath).c_str());
  if (p == nullptr) return std::string();
  std::string out = p;
  ::HeapFree(::GetProcessHeap(), 0, p);
  return out;
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Under Wine the handle of a Unix process cannot be waited on, so the script
// leaves its exit status in a file of its own, which appears whole (mv).
bool RunShell(const std::string& script) {
  static unsigned serial = 0;
  // The mark's folder, for a test program run on its own.
  ::CreateDirectoryA("D:\\fixtures", nullptr);
  ::CreateDirectoryA("D:\\fixtures\\generated", nullptr);
  const std::string mark = "D:\\fixtures\\generated\\done-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(++serial);
  const std::string unixMark = UnixPath(mark);
  if (unixMark.empty()) return false;
  const std::string whole = "(" + script + "); echo $? >" + Quote(unixMark + ".part") + " && mv " +
                            Quote(unixMark + ".part") + " " + Quote(unixMark);
  std::string cmd = "/bin/sh -c \"";
  // Wine splits the line by the Windows rules: only a double quote needs a backslash (the scripts hold none).
  for (char ch : whole) cmd += ch == '"' ? std::string("\\\"") : std::string(1, ch);
  cmd += "\"";
  std::wstring wcmd = Wide(cmd);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(L"\\\\?\\unix\\bin\\sh", &wcmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  // Wine starts a Unix program without a process handle and fills the rest of
  // pi with whatever its own stack held (once: the number of our standard
  // output, and closing it lost every line the test program wrote after).
  if (pi.hProcess != nullptr) {
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
  }
  std::string status;
  for (DWORD waited = 0; waited < 30000; waited += 2) {
    HANDLE h = ::CreateFileA(mark.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      char buf[16] = {};
      DWORD n = 0;
      ::ReadFile(h, buf, sizeof buf - 1, &n, nullptr);
      ::CloseHandle(h);
      ::DeleteFileA(mark.c_str());
      return std::atoi(buf) == 0;
    }
    ::Sleep(2);
  }
  return false;
}

// --- identity, asked of the system directly: volume and file index of what a name opens.
bool Identity(const std::string& path, std::string* id) {
  HANDLE h = ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  ::CloseHandle(h);
  if (!ok) return false;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%08lx:%08lx", info.nFileIndexHigh, info.nFileIndexLow);
  *id = buf;
  return true;
}

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
  BYTE buf[256];
  DWORD size = 0;
  std::string out;
  if (::GetTokenInformation(token, TokenUser, buf, sizeof buf, &size)) {
    char* text = nullptr;
    if (::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buf)->User.Sid, &text)) {
      out = text;
      ::LocalFree(text);
    }
  }
  ::CloseHandle(token);
  return out;
}

// --- the registry picture: links are listed as links and never entered.
std::string Hash(const BYTE* p, size_t n) {
  uint64_t h = 1469598103934665603ULL;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

void PictureKey(HKEY root, const std::string& path, const std::string& label, SnapshotMap& out) {
  HKEY h = nullptr;
  if (::RegOpenKeyExW(root, Wide(path).c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &h) != ERROR_SUCCESS) {
    // A key the picture cannot open is still there: say so rather than drop it.
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(root, Wide(path).c_str(), REG_OPTION_OPEN_LINK, 0, &probe) == ERROR_SUCCESS) {
      ::RegCloseKey(probe);
      out[label] = "key (unreadable)";
    }
    return;
  }
  BYTE data[4096];
  DWORD type = 0, size = sizeof data;
  if (::RegQueryValueExW(h, L"SymbolicLinkValue", nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_LINK) {
    out[label] = "link " + Hash(data, size);
    ::RegCloseKey(h);
    return;
  }
  out[label] = "key";
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512;
    size = sizeof data;
    const LONG rc = ::RegEnumValueW(h, i, name, &nameLen, nullptr, &type, data, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    out[label + "|" + Narrow(name)] = "value " + std::to_string(type) + " " + Hash(data, size);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512;
    const LONG rc = ::RegEnumKeyExW(h, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_SUCCESS) subkeys.push_back(Narrow(name));
  }
  ::RegCloseKey(h);
  for (const auto& s : subkeys) PictureKey(root, path + "\\" + s, label + "\\" + s, out);
}

bool DeleteLinkKey(HKEY root, const std::string& path) {
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  static NtDeleteKeyFn del =
      reinterpret_cast<NtDeleteKeyFn>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
  HKEY h = nullptr;
  if (del == nullptr ||
      ::RegOpenKeyExW(root, Wide(path).c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_READ, &h) != ERROR_SUCCESS)
    return false;
  const bool ok = del(h) == 0;
  ::RegCloseKey(h);
  return ok;
}

bool SetValue(HKEY root, const std::string& key, const std::string& name, const std::string& data) {
  HKEY h = nullptr;
  if (::RegCreateKeyExW(root, Wide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring d = Wide(data);
  const bool ok = ::RegSetValueExW(h, Wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(d.c_str()),
                                   static_cast<DWORD>((d.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  ::RegCloseKey(h);
  return ok;
}

// --- the case.
enum class Kind { kDir, kFile, kFileLink, kDirLink };

struct Node {
  Kind kind;
  std::string rel;     // below the case folder: "t\Cache\a.tmp"
  std::string target;  // links: what they lead to, below the case folder
};

struct RegNode {
  std::string rel;  // below the case's key: "A\B"
  std::vector<std::string> values;
  bool link = false;
  std::string linkTo;  // below the outside key; a name that does not exist for a dangling link
};

enum Flag { kNone = 0, kRecurse = 1, kRemoveSelf = 2 };

struct FileRule {
  std::string key;  // "FileKey1"
  std::string dir;  // the folder it means, below the case folder ("" when it leads through a link)
  std::vector<std::string> patterns;
  int flag = kNone;
  bool plain = true;  // spelt in a way every sound reader takes as an ordinary folder
};

struct ExcludeRule {
  std::string key;
  enum { kFileKind, kPathKind, kRegKind } kind = kFileKind;
  std::string dir, pattern;     // FILE, PATH
  std::string reg, value;       // REG, below the case's key
  bool hasValue = false;
};

struct RegRule {
  std::string key;
  std::string reg;  // below the case's key
  bool hasValue = false;
  std::string value;
  bool plain = true;
};

}  // namespace

struct GeneratedCase {
  unsigned seed = 0;
  std::string root, unixRoot;  // the case folder
  std::string regBase, regOut;  // below HKCU: "Software\Gen7", "Software\GenOut7"
  std::string sid, sandboxPath;
  std::vector<Node> nodes;
  std::vector<RegNode> regNodes, outNodes;
  std::string protectedDir;  // below the case folder, "" for none
  char letter = 0;
  std::string letterDir;  // what the letter leads to, below the case folder
  std::vector<FileRule> files;
  std::vector<ExcludeRule> excludes;
  std::vector<RegRule> regs;
  std::string ruleText;
  std::set<std::string> features;
  std::string shellSetup, shellCleanup;

  std::string Full(const std::string& rel) const { return rel.empty() ? root : root + "\\" + rel; }
  std::vector<std::string> Dirs(const std::string& under) const {
    std::vector<std::string> out;
    for (const auto& n : nodes)
      if (n.kind == Kind::kDir && AtOrBelow(n.rel, under)) out.push_back(n.rel);
    return out;
  }
  std::vector<std::string> FilesIn(const std::string& dir) const {
    std::vector<std::string> out;
    for (const auto& n : nodes)
      if ((n.kind == Kind::kFile || n.kind == Kind::kFileLink) && Parent(n.rel) == dir) out.push_back(n.rel);
    return out;
  }
};

namespace {

std::string UniqueChild(const GeneratedCase& c, const std::string& dir, std::string name) {
  for (int n = 2;; ++n) {
    bool clash = false;
    for (const auto& node : c.nodes) clash = clash || LowerAscii(node.rel) == LowerAscii(dir + "\\" + name);
    if (!clash) return name;
    name += " " + std::to_string(n);
  }
}

void BuildTree(GeneratedCase& c, Rng& rng) {
  c.nodes.push_back({Kind::kDir, "t", ""});
  const size_t dirs = 3 + rng.Pick(4);
  for (size_t i = 0; i < dirs; ++i) {
    std::vector<std::string> parents;
    for (const auto& d : c.Dirs("t"))
      if (std::count(d.begin(), d.end(), '\\') < 3) parents.push_back(d);
    const std::string parent = rng.Of(parents);
    const Name& name = rng.Of(kFolderNames);
    if (name.feature != nullptr) c.features.insert(name.feature);
    c.nodes.push_back({Kind::kDir, parent + "\\" + UniqueChild(c, parent, name.text), ""});
  }
  for (const std::string& dir : c.Dirs("t")) {
    const size_t files = rng.Pick(4);
    for (size_t i = 0; i < files; ++i) {
      const Name& stem = rng.Of(kFileStems);
      if (stem.feature != nullptr) c.features.insert(stem.feature);
      c.nodes.push_back({Kind::kFile, dir + "\\" + UniqueChild(c, dir, stem.text + rng.Of(kExtensions)), ""});
    }
  }
  // Outside every target: what links lead to.
  for (const char* rel : {"o", "o\\x1", "o\\x2"}) c.nodes.push_back({Kind::kDir, rel, ""});
  for (const char* rel : {"o\\x1\\a.tmp", "o\\x1\\secret.log", "o\\x2\\trace.tmp", "o\\f.tmp"})
    c.nodes.push_back({Kind::kFile, rel, ""});
  const std::vector<std::string> inside = c.Dirs("t");
  if (rng.Chance(55)) {
    const std::string at = rng.Of(inside);
    c.nodes.push_back({Kind::kDirLink, at + "\\" + UniqueChild(c, at, "link"), rng.Chance(50) ? "o\\x1" : "o\\x2"});
    c.features.insert("folder link");
  }
  if (rng.Chance(35)) {
    const std::string at = rng.Of(inside);
    c.nodes.push_back({Kind::kFileLink, at + "\\" + UniqueChild(c, at, "flink" + rng.Of(kExtensions)), "o\\f.tmp"});
    c.features.insert("file link");
  }
  if (rng.Chance(35) && inside.size() > 1) {
    c.protectedDir = inside[1 + rng.Pick(inside.size() - 1)];
    c.features.insert("protected folder");
  }
  if (rng.Chance(40)) {
    c.letter = static_cast<char>('m' + (c.seed % 13));
    c.letterDir = !c.protectedDir.empty() && rng.Chance(50) ? c.protectedDir : rng.Of(inside);
    c.features.insert("drive letter that is a folder");
  }
}

void BuildRegistry(GeneratedCase& c, Rng& rng) {
  c.outNodes = {{"A", {"v1", "v2"}}, {"B", {"w"}}, {"B\\Deep", {"x"}}};
  c.regNodes.push_back({"", {"root"}});
  const size_t keys = 2 + rng.Pick(4);
  const std::vector<std::string> names = {"App", "Recent", "Settings", "MRU", "\xD0\x9F\xD1\x83\xD1\x82\xD0\xB8", "Keep"};
  for (size_t i = 0; i < keys; ++i) {
    std::vector<std::string> parents;
    for (const auto& n : c.regNodes)
      if (!n.link && std::count(n.rel.begin(), n.rel.end(), '\\') < 2) parents.push_back(n.rel);
    const std::string parent = rng.Of(parents);
    std::string rel = (parent.empty() ? "" : parent + "\\") + rng.Of(names);
    bool clash = false;
    for (const auto& n : c.regNodes) clash = clash || LowerAscii(n.rel) == LowerAscii(rel);
    if (clash) rel += std::to_string(i);
    RegNode node{rel, {}};
    for (size_t v = rng.Pick(3); v > 0; --v) node.values.push_back("Item " + std::to_string(v));
    c.regNodes.push_back(node);
  }
  if (rng.Chance(45)) {
    std::vector<std::string> parents;
    for (const auto& n : c.regNodes)
      if (!n.rel.empty()) parents.push_back(n.rel);
    RegNode link{rng.Of(parents) + "\\Shortcut", {}, true, rng.Chance(25) ? "Missing" : rng.Chance(50) ? "A" : "B"};
    c.regNodes.push_back(link);
    c.features.insert(link.linkTo == "Missing" ? "dangling registry link" : "registry link");
  }
}

// One spelling of a folder of the case, checked against the system: it must
// open the same folder, or the plain long form is used. plain says whether a
// sound reader must take it as an ordinary folder (long, short, case, the
// variable); the other forms may be refused, but never misread.
std::string SpellFolder(GeneratedCase& c, Rng& rng, const std::string& rel, bool* plain) {
  *plain = true;
  std::string id;
  if (!Identity(c.Full(rel), &id)) return c.Full(rel);
  std::vector<std::string> features;
  bool ordinary = true;
  std::string text;
  const unsigned form = rng.Pick(6);
  if (form == 0) {
    text = "%LocalAppData%\\" + rel;
    features.push_back("rule variable");
  } else if (form == 1) {
    wchar_t shortPath[MAX_PATH * 2];
    if (::GetShortPathNameW(Wide(c.Full(rel)).c_str(), shortPath, MAX_PATH * 2) > 0) {
      text = Narrow(shortPath);
      if (LowerAscii(text) != LowerAscii(c.Full(rel))) features.push_back("8.3 spelling");
    }
  } else if (form == 2 && c.letter != 0 && AtOrBelow(rel, c.letterDir)) {
    text = std::string(1, c.letter) + ":" + rel.substr(c.letterDir.size());
    if (text.size() == 2) text += "\\";
    features.push_back("drive letter spelling");
    ordinary = false;
  } else if (form == 3) {
    text = "\\\\?\\" + c.Full(rel);
    features.push_back("\\\\?\\ spelling");
    ordinary = false;
  }
  if (text.empty()) text = c.Full(rel);
  if (rng.Chance(35) && text[0] != '%') {
    // Case: only ASCII letters past the drive, which fold the same everywhere.
    bool flipped = false;
    for (size_t i = text.find('\\'); i < text.size(); ++i) {
      char& ch = text[i];
      if (((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) && rng.Chance(50)) {
        ch = static_cast<char>(ch ^ 0x20);
        flipped = true;
      }
    }
    if (flipped) features.push_back("case spelling");
  }
  if (rng.Chance(15) && text.back() != '\\') {
    text += ".";
    features.push_back("trailing dot spelling");
    ordinary = false;
  }
  std::string check = text;
  if (check.compare(0, 14, "%LocalAppData%") == 0) check = c.root + check.substr(14);
  std::string got;
  if (!Identity(check, &got) || got != id) return c.Full(rel);
  for (const auto& f : features) c.features.insert(f);
  *plain = ordinary;
  return text;
}

std::string SpellKey(GeneratedCase& c, Rng& rng, const std::string& rel, bool* plain) {
  std::string path = "Software\\" + c.regBase.substr(9) + (rel.empty() ? "" : "\\" + rel);
  *plain = true;
  std::string hive = "HKCU";
  switch (rng.Pick(4)) {
    case 1:
      hive = "HKEY_CURRENT_USER";
      c.features.insert("HKEY_CURRENT_USER spelling");
      break;
    case 2:
      if (!c.sid.empty()) {
        hive = (rng.Chance(50) ? "HKU\\" : "HKEY_USERS\\") + c.sid + "\\" + c.sandboxPath;
        c.features.insert("HKU\\<sid> spelling");
        *plain = false;
      }
      break;
    default:
      break;
  }
  if (rng.Chance(30)) {
    for (char& ch : path)
      if (ch >= 'a' && ch <= 'z' && rng.Chance(50)) ch = static_cast<char>(ch - 'a' + 'A');
    c.features.insert("case spelling");
  }
  return hive + "\\" + path;
}

std::string PatternFor(GeneratedCase& c, Rng& rng, const std::string& dir) {
  const std::vector<std::string> files = c.FilesIn(dir);
  switch (rng.Pick(5)) {
    case 0:
      return "*";
    case 1:
      if (!files.empty()) return Leaf(rng.Of(files));
      return "*";
    case 2:
      if (!files.empty()) {
        std::string name = Leaf(rng.Of(files));
        if (static_cast<unsigned char>(name[0]) < 0x80) {
          name[0] = '?';
          return name;
        }
      }
      return "*" + rng.Of(kExtensions);
    default:
      return "*" + rng.Of(kExtensions);
  }
}

void BuildRule(GeneratedCase& c, Rng& rng) {
  std::ostringstream text;
  text << "[Generated " << c.seed << " *]\nLangSecRef=3021\n";
  const std::vector<std::string> inside = c.Dirs("t");
  const size_t fileKeys = 1 + rng.Pick(3);
  for (size_t i = 0; i < fileKeys; ++i) {
    FileRule r;
    r.key = "FileKey" + std::to_string(i + 1);
    std::string folder;
    std::vector<const Node*> links;
    for (const auto& n : c.nodes)
      if (n.kind == Kind::kDirLink) links.push_back(&n);
    if (!links.empty() && rng.Chance(12)) {
      // Through a folder link: never passed through, so no target.
      folder = c.Full(rng.Of(links)->rel);
      r.plain = false;
      c.features.insert("rule through a folder link");
    } else if (c.letter != 0 && rng.Chance(30)) {
      // A named file at what looks like a drive root.
      r.dir = c.letterDir;
      folder = std::string(1, static_cast<char>(c.letter - 'a' + 'A')) + ":\\";
      r.plain = false;
      const std::vector<std::string> files = c.FilesIn(r.dir);
      r.patterns.push_back(files.empty() ? "notes.txt" : Leaf(rng.Of(files)));
      c.features.insert("named file at a letter's root");
    } else {
      r.dir = rng.Of(inside);
      folder = SpellFolder(c, rng, r.dir, &r.plain);
    }
    if (r.patterns.empty()) {
      r.patterns.push_back(PatternFor(c, rng, r.dir));
      if (rng.Chance(30)) r.patterns.push_back(PatternFor(c, rng, r.dir));
      r.flag = static_cast<int>(rng.Pick(3));
    }
    if (r.flag == kRecurse) c.features.insert("RECURSE");
    if (r.flag == kRemoveSelf) c.features.insert("REMOVESELF");
    text << r.key << "=" << folder << "|";
    for (size_t p = 0; p < r.patterns.size(); ++p) text << (p ? ";" : "") << r.patterns[p];
    text << (r.flag == kRecurse ? "|RECURSE" : r.flag == kRemoveSelf ? "|REMOVESELF" : "") << "\n";
    c.files.push_back(r);
  }
  const size_t regKeys = rng.Pick(3);
  for (size_t i = 0; i < regKeys; ++i) {
    RegRule r;
    r.key = "RegKey" + std::to_string(i + 1);
    std::vector<const RegNode*> keys;
    for (const auto& n : c.regNodes)
      if (!n.rel.empty() && !n.link) keys.push_back(&n);
    const RegNode& n = *rng.Of(keys);
    r.reg = n.rel;
    if (!n.values.empty() && rng.Chance(35)) {
      r.hasValue = true;
      r.value = rng.Of(n.values);
      c.features.insert("RegKey of a value");
    }
    text << r.key << "=" << SpellKey(c, rng, r.reg, &r.plain) << (r.hasValue ? "|" + r.value : "") << "\n";
    c.regs.push_back(r);
  }
  const size_t excludeKeys = rng.Pick(4);
  for (size_t i = 0; i < excludeKeys; ++i) {
    ExcludeRule e;
    e.key = "ExcludeKey" + std::to_string(i + 1);
    std::string keyName = e.key;
    if (rng.Chance(6)) {
      keyName = "ExcludeKey " + std::to_string(i + 1);
      c.features.insert("misspelt ExcludeKey");
    }
    std::string line;
    if (!c.regs.empty() && rng.Chance(40)) {
      e.kind = ExcludeRule::kRegKind;
      const RegRule& of = rng.Of(c.regs);
      std::vector<const RegNode*> under;
      for (const auto& n : c.regNodes)
        if (!n.link && AtOrBelow(n.rel, of.reg)) under.push_back(&n);
      const RegNode& n = *rng.Of(under);
      e.reg = n.rel;
      if (!n.values.empty() && rng.Chance(40)) {
        e.hasValue = true;
        e.value = rng.Of(n.values);
      }
      bool plain = true;
      line = "REG|" + SpellKey(c, rng, e.reg, &plain) + (e.hasValue ? "|" + e.value : "");
      c.features.insert("REG exclusion");
    } else {
      e.kind = rng.Chance(50) ? ExcludeRule::kFileKind : ExcludeRule::kPathKind;
      std::string from = "t";
      for (const auto& f : c.files)
        if (!f.dir.empty() && rng.Chance(70)) from = f.dir;
      e.dir = rng.Of(c.Dirs(from));
      e.pattern = PatternFor(c, rng, e.dir);
      bool plain = true;
      const std::string folder = SpellFolder(c, rng, e.dir, &plain);
      line = std::string(e.kind == ExcludeRule::kFileKind ? "FILE|" : "PATH|") + folder +
             (folder.back() == '\\' ? "" : "\\") + "|" + e.pattern;
      c.features.insert(e.kind == ExcludeRule::kFileKind ? "FILE exclusion" : "PATH exclusion");
    }
    if (rng.Chance(6)) {
      line += "|";
      c.features.insert("ExcludeKey with an extra field");
    }
    text << keyName << "=" << line << "\n";
    c.excludes.push_back(e);
  }
  c.ruleText = text.str();
}

bool Plant(const std::string& path, const std::string& content) {
  HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &n, nullptr) != 0;
  ::CloseHandle(h);
  return ok;
}

}  // namespace

// Wine reads its drive letters again only once the clock's second has turned
// since it last read them; until then a letter just made or removed gives
// folders the names, and the volume numbers, of the old set. A case is built,
// swept and judged under one set of letters, so after a change the harness
// waits for the next second.
void SettleDriveLetters() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const ULONGLONG ms = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
  ::Sleep(static_cast<DWORD>(1000 - ms % 1000) + 20);
}

namespace {

std::string DosDevices() {
  char buf[1024];
  const DWORD n = ::GetEnvironmentVariableA("WINEPREFIX", buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf) + "/dosdevices" : std::string();
}

// Makes the case on disk and in the registry. False with why.
bool Materialise(GeneratedCase& c, std::string* why) {
  std::ostringstream setup, cleanup;
  cleanup << "rm -rf " << Quote(c.unixRoot);
  // A case folder left by a run that ended early goes first (rm never follows the links in it).
  if (::GetFileAttributesW(Wide(c.root).c_str()) != INVALID_FILE_ATTRIBUTES && !RunShell(cleanup.str()))
    return *why = "cannot remove " + c.unixRoot, false;
  if (!::CreateDirectoryW(Wide(c.root).c_str(), nullptr)) return *why = "cannot make " + c.root, false;
  setup << "set -e";
  for (const auto& n : c.nodes) {
    if (n.kind == Kind::kDir && !::CreateDirectoryW(Wide(c.Full(n.rel)).c_str(), nullptr))
      return *why = "cannot make " + n.rel, false;
    if (n.kind == Kind::kFile && !Plant(c.Full(n.rel), "generated " + n.rel))
      return *why = "cannot make " + n.rel, false;
    if (n.kind == Kind::kFileLink || n.kind == Kind::kDirLink) {
      std::string from = n.rel, to = n.target;
      std::replace(from.begin(), from.end(), '\\', '/');
      std::replace(to.begin(), to.end(), '\\', '/');
      setup << "; ln -s " << Quote(c.unixRoot + "/" + to) << " " << Quote(c.unixRoot + "/" + from);
    }
  }
  if (c.letter != 0) {
    const std::string dos = DosDevices();
    if (dos.empty()) return *why = "WINEPREFIX is not set", false;
    std::string to = c.letterDir;
    std::replace(to.begin(), to.end(), '\\', '/');
    const std::string letter = dos + "/" + std::string(1, c.letter) + ":";
    setup << "; ln -sfn " << Quote(c.unixRoot + "/" + to) << " " << Quote(letter);
    cleanup << "; rm -f " << Quote(letter);
  }
  c.shellCleanup = cleanup.str();
  if (!RunShell(setup.str())) return *why = "cannot make the links: " + setup.str(), false;
  if (c.letter != 0) SettleDriveLetters();
  // The registry: the case's keys, and the keys outside that links lead to.
  for (const auto& n : c.outNodes)
    for (const auto& v : n.values)
      if (!SetValue(HKEY_CURRENT_USER, c.regOut + "\\" + n.rel, v, "outside " + v))
        return *why = "cannot make " + n.rel, false;
  for (const auto& n : c.regNodes) {
    const std::string path = c.regBase + (n.rel.empty() ? "" : "\\" + n.rel);
    if (n.link) {
      HKEY target = nullptr;
      std::wstring name;
      if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(c.regOut).c_str(), 0, KEY_READ, &target) == ERROR_SUCCESS) {
        // The registry's own name of the outside key, from the system.
        using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
        static NtQueryKeyFn query =
            reinterpret_cast<NtQueryKeyFn>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryKey"));
        BYTE buf[2048] = {};
        ULONG got = 0;
        if (query != nullptr && query(target, 3 /* KeyNameInformation */, buf, sizeof buf, &got) == 0) {
          const ULONG len = *reinterpret_cast<ULONG*>(buf);
          name.assign(reinterpret_cast<wchar_t*>(buf + sizeof(ULONG)), len / sizeof(wchar_t));
        }
        ::RegCloseKey(target);
      }
      if (name.empty()) return *why = "cannot name the outside key", false;
      name += L"\\" + Wide(n.linkTo);
      HKEY link = nullptr;
      if (::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
        return *why = "cannot make the registry link " + path, false;
      ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(name.c_str()),
                       static_cast<DWORD>(name.size() * sizeof(wchar_t)));
      ::RegCloseKey(link);
      continue;
    }
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                          nullptr) != ERROR_SUCCESS)
      return *why = "cannot make " + path, false;
    ::RegCloseKey(h);
    for (const auto& v : n.values)
      if (!SetValue(HKEY_CURRENT_USER, path, v, "data " + v)) return *why = "cannot set " + v, false;
  }
  if (!c.protectedDir.empty() && !ProtectDataFolderForTests(c.Full(c.protectedDir), "Documents"))
    return *why = "cannot protect " + c.protectedDir, false;
  return true;
}

void Dematerialise(const GeneratedCase& c) {
  // Clearing makes the guard take the system's folders afresh (about a second under Wine): only when needed.
  if (!c.protectedDir.empty()) ClearExtraProtectedFolders();
  for (const auto& n : c.regNodes)
    if (n.link) DeleteLinkKey(HKEY_CURRENT_USER, c.regBase + "\\" + n.rel);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(c.regBase).c_str());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(c.regOut).c_str());
  RunShell(c.shellCleanup);
  if (c.letter != 0) SettleDriveLetters();
}

// --- the model: what the entry may change, and what it must remove.
struct Model {
  std::set<std::string> may;   // picture names a sweep may change or remove
  std::set<std::string> must;  // picture names the entry set out to remove
};

std::string FileName(const std::string& rel) { return "f\\" + rel; }
std::string KeyName(const GeneratedCase& c, const std::string& rel) {
  return "r\\" + c.regBase.substr(9) + (rel.empty() ? "" : "\\" + rel);
}

bool Accepted(const RuleEntry* e, const std::string& key) {
  if (e == nullptr || e->refusedWhole) return false;
  for (const auto& r : e->refused)
    if (r.key == key) return false;
  return true;
}

Model Expect(const GeneratedCase& c, const RuleEntry* entry) {
  Model m;
  auto kept = [&](const Node& n) {
    if (!c.protectedDir.empty() && AtOrBelow(n.rel, c.protectedDir)) return true;
    if (n.kind == Kind::kDir) {
      // A folder an exclusion names is kept whole, and so is every folder below a kept PATH.
      for (const auto& e : c.excludes)
        if (e.kind != ExcludeRule::kRegKind && (n.rel == e.dir || (e.kind != ExcludeRule::kFileKind && AtOrBelow(n.rel, e.dir))))
          return true;
      return false;
    }
    for (const auto& e : c.excludes) {
      if (e.kind == ExcludeRule::kRegKind) continue;
      const bool inPlace = e.kind == ExcludeRule::kFileKind ? Parent(n.rel) == e.dir : AtOrBelow(Parent(n.rel), e.dir);
      if (inPlace && MaskMatches(e.pattern.c_str(), Leaf(n.rel).c_str())) return true;
    }
    return false;
  };
  // The FileKey that first removes each file name: the keys run in order, so a
  // folder goes with its key only when nothing in it waits for a later one.
  std::map<std::string, size_t> firstKey;
  for (size_t k = 0; k < c.files.size(); ++k) {
    const auto& r = c.files[k];
    if (r.dir.empty()) continue;  // through a link: nothing is a target
    const bool counts = r.plain && Accepted(entry, r.key);
    std::set<std::string> scope;
    for (const auto& n : c.nodes) {
      if (n.rel == "t" && r.dir != "t") continue;
      const bool direct = Parent(n.rel) == r.dir;
      const bool below = AtOrBelow(Parent(n.rel), r.dir);
      bool hit = false, mustGo = false;
      if (n.kind == Kind::kFile || n.kind == Kind::kFileLink || n.kind == Kind::kDirLink) {
        bool matches = false;
        for (const auto& p : r.patterns) matches = matches || MaskMatches(p.c_str(), Leaf(n.rel).c_str());
        hit = matches && (direct || (r.flag != kNone && below));
        // A folder link goes (as a link) only where folders go: REMOVESELF,
        // when a pattern chooses it; another kept by name keeps its folder.
        mustGo = hit && (n.kind != Kind::kDirLink || r.flag == kRemoveSelf);
        if (n.kind == Kind::kDirLink && r.flag == kRemoveSelf && below) hit = true;
      } else if (r.flag == kRemoveSelf && AtOrBelow(n.rel, r.dir)) {
        hit = mustGo = true;
      }
      if (!hit || kept(n)) continue;
      m.may.insert(FileName(n.rel));
      if (counts && mustGo) {
        m.must.insert(FileName(n.rel));
        firstKey.emplace(FileName(n.rel), k);
      }
    }
  }
  // A folder the entry must remove holds nothing that stays.
  for (auto it = m.must.begin(); it != m.must.end();) {
    bool holdsStaying = false;
    for (const auto& n : c.nodes)
      if (AtOrBelow(FileName(n.rel), *it) && FileName(n.rel) != *it &&
          (!m.must.count(FileName(n.rel)) || firstKey[FileName(n.rel)] > firstKey[*it]))
        holdsStaying = true;
    // A file link's target and a folder link's contents are not in the picture below it.
    it = holdsStaying ? m.must.erase(it) : std::next(it);
  }
  // The registry.
  auto regKept = [&](const std::string& rel, const std::string* value) {
    for (const auto& e : c.excludes) {
      if (e.kind != ExcludeRule::kRegKind) continue;
      if (e.hasValue ? (value != nullptr && rel == e.reg && LowerAscii(*value) == LowerAscii(e.value))
                     : AtOrBelow(rel, e.reg))
        return true;
    }
    return false;
  };
  auto holdsKept = [&](const std::string& rel) {
    for (const auto& e : c.excludes)
      if (e.kind == ExcludeRule::kRegKind && AtOrBelow(e.reg, rel)) return true;
    return false;
  };
  for (const auto& r : c.regs) {
    const bool counts = r.plain && Accepted(entry, r.key);
    for (const auto& n : c.regNodes) {
      if (r.hasValue) {
        if (n.rel != r.reg || regKept(n.rel, &r.value)) continue;
        m.may.insert(KeyName(c, n.rel) + "|" + r.value);
        if (counts) m.must.insert(KeyName(c, n.rel) + "|" + r.value);
        continue;
      }
      if (!AtOrBelow(n.rel, r.reg) || regKept(n.rel, nullptr)) continue;
      m.may.insert(KeyName(c, n.rel));
      if (counts && !holdsKept(n.rel)) m.must.insert(KeyName(c, n.rel));
      for (const auto& v : n.values) {
        if (regKept(n.rel, &v)) continue;
        m.may.insert(KeyName(c, n.rel) + "|" + v);
        if (counts) m.must.insert(KeyName(c, n.rel) + "|" + v);
      }
    }
  }
  return m;
}

SnapshotMap Picture(const GeneratedCase& c) {
  SnapshotMap m;
  SnapshotFolder("f", c.root, m);
  PictureKey(HKEY_CURRENT_USER, "Software", "r", m);
  return m;
}

std::string Describe(const GeneratedCase& c) {
  std::ostringstream out;
  out << "case folder " << c.root << "; registry HKCU\\" << c.regBase << " (outside: HKCU\\" << c.regOut << ")\n";
  for (const auto& n : c.nodes) {
    const char* kind = n.kind == Kind::kDir ? "folder" : n.kind == Kind::kFile ? "file" : n.kind == Kind::kFileLink
                                                                                              ? "file link"
                                                                                              : "folder link";
    out << "  " << kind << " " << n.rel << (n.target.empty() ? "" : " -> " + n.target) << "\n";
  }
  if (!c.protectedDir.empty()) out << "  protected (as Documents): " << c.protectedDir << "\n";
  if (c.letter != 0) out << "  drive " << static_cast<char>(c.letter - 'a' + 'A') << ": -> " << c.letterDir << "\n";
  for (const auto& n : c.regNodes) {
    out << "  key " << (n.rel.empty() ? "(case key)" : n.rel);
    if (n.link) out << " = registry link -> outside\\" << n.linkTo;
    for (const auto& v : n.values) out << " [" << v << "]";
    out << "\n";
  }
  out << "rule file (%LocalAppData% = " << c.root << "):\n" << c.ruleText;
  out << "features:";
  for (const auto& f : c.features) out << " [" << f << "]";
  return out.str();
}

}  // namespace

std::string GeneratedResult::Report() const {
  std::ostringstream out;
  out << "seed " << seed << ": " << outside.size() << " changed outside, " << uncounted.size()
      << " left uncounted (Not removed: " << notRemoved << "); rerun alone with MORVANE_GEN_SEED=" << seed
      << " MORVANE_GEN_COUNT=1 tools/run-bench.sh generated_safety\n";
  for (const auto& s : outside) out << "  changed outside the targets: " << s << "\n";
  for (const auto& s : uncounted) out << "  stayed, not counted: " << s << "\n";
  out << description << "\nsweep log:\n" << log;
  return out.str();
}

bool MakeUnixLink(const std::string& link, const std::string& target) {
  const std::string from = UnixPath(link), to = UnixPath(target);
  return !from.empty() && !to.empty() && RunShell("ln -s " + Quote(to) + " " + Quote(from));
}

bool RunUnixCommand(const std::string& script) { return RunShell(script); }
std::string DriveLetterLink(char letter) {
  const std::string dos = DosDevices();
  return dos.empty() ? dos : dos + "/" + letter + ":";
}
std::string UnixPathOf(const std::string& windowsPath) { return UnixPath(windowsPath); }

bool RemoveGeneratedFolder(const std::string& folder) {
  const std::string path = UnixPath(folder);
  return !path.empty() && RunShell("rm -rf " + Quote(path));
}

bool GeneratedCasesSupported(std::string* why) {
  ::CreateDirectoryA("D:\\fixtures", nullptr);
  ::CreateDirectoryA("D:\\fixtures\\generated", nullptr);
  if (UnixPath("D:\\").empty()) return *why = "no Unix path for D:", false;
  if (DosDevices().empty()) return *why = "WINEPREFIX is not set", false;
  if (!RunShell("true")) return *why = "cannot start /bin/sh", false;
  return true;
}

GeneratedResult RunGeneratedCase(unsigned seed, GeneratedTamper tamper) {
  GeneratedResult result;
  result.seed = seed;
  RegistrySandbox sandbox;
  GeneratedCase c;
  c.seed = seed;
  ::CreateDirectoryA("D:\\fixtures", nullptr);
  ::CreateDirectoryA("D:\\fixtures\\generated", nullptr);
  c.root = "D:\\fixtures\\generated\\s" + std::to_string(seed);
  c.unixRoot = UnixPath("D:\\fixtures\\generated") + "/s" + std::to_string(seed);
  c.regBase = "Software\\Gen" + std::to_string(seed);
  c.regOut = "Software\\GenOut" + std::to_string(seed);
  c.sid = CurrentUserSid();
  c.sandboxPath = sandbox.UserPath();
  Rng rng(seed);
  BuildTree(c, rng);
  BuildRegistry(c, rng);
  std::string why;
  const DWORD t0 = ::GetTickCount();
  if (!Materialise(c, &why)) {
    result.outside.push_back("the case could not be built: " + why);
    Dematerialise(c);
    return result;
  }
  // Spellings are checked against the system, so the rule is made once the case exists.
  BuildRule(c, rng);
  SetRuleVariableForTests("LocalAppData", {c.root});
  result.features.assign(c.features.begin(), c.features.end());
  result.description = Describe(c);

  RuleSet rules;
  rules.LoadText(c.ruleText, "generated.ini", false);
  const RuleEntry* entry = rules.Entries().empty() ? nullptr : &rules.Entries().back();
  const Model model = Expect(c, entry);
  result.mustGo = model.must.size();
  // As a sweep starts (the letters noted); and the guard takes the system's
  // folders when it first judges: not the sweep's doing.
  RefreshProtectedPlaces();
  RemovalRefusal(c.root + "\\*.*");
  const SnapshotMap before = Picture(c);
  const DWORD t1 = ::GetTickCount();
  ResetOutcomes();
  {
    ProgressRecorder rec;
    int count = 0;
    float kb = 0;
    if (entry != nullptr) SweepRuleEntry(*entry, 0, &count, &kb);
    for (const auto& l : rec.LogLines()) result.log += l;
  }
  result.notRemoved = NotRemovedCount();
  const DWORD t2 = ::GetTickCount();
  if (entry != nullptr)
    for (const auto& r : entry->refused) result.log += "refused " + r.key + ": " + r.reason + "\n";
  if (tamper == GeneratedTamper::kTouchOutside) ::DeleteFileA((c.root + "\\o\\x1\\secret.log").c_str());
  if (tamper == GeneratedTamper::kRestoreTarget) {
    result.notRemoved = 0;
    for (const auto& name : model.must)
      if (name.compare(0, 2, "f\\") == 0 && before.count(name) && before.at(name).compare(0, 4, "file") == 0) {
        Plant(c.root + "\\" + name.substr(2), "restored");
        break;
      }
  }
  const SnapshotMap after = Picture(c);
  ResetOutcomes();
  ResetRuleVariablesForTests();

  const SnapshotDiff diff = CompareSnapshots(before, after);
  result.removed = diff.removed.size();
  for (const auto* list : {&diff.removed, &diff.changed})
    for (const auto& name : *list) {
      // A registry link's own entry may go with the link; nothing below another name may.
      if (!model.may.count(name)) result.outside.push_back(name + (list == &diff.changed ? " (changed)" : ""));
    }
  for (const auto& name : diff.added) result.outside.push_back(name + " (added)");
  if (result.notRemoved == 0)
    for (const auto& name : model.must)
      if (after.count(name)) result.uncounted.push_back(name);
  if (result.Failed()) result.description += "\nwhat went:\n" + diff.Describe();
  const DWORD t3 = ::GetTickCount();
  Dematerialise(c);
  result.timing = "build " + std::to_string(t1 - t0) + " ms, sweep " + std::to_string(t2 - t1) + " ms, check " +
                  std::to_string(t3 - t2) + " ms, clean up " + std::to_string(::GetTickCount() - t3) + " ms";
  return result;
}
