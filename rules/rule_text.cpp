#include "rules/rule_text.h"

#include <windows.h>

#include <cctype>

#include "engine/path_text.h"
#include "rules/rule_keys.h"

namespace {

bool WholeWordIn(const std::string& lowerText, const char* word) {
  const std::string w = word;
  for (size_t at = lowerText.find(w); at != std::string::npos; at = lowerText.find(w, at + 1)) {
    const bool startOk = at == 0 || !std::isalnum(static_cast<unsigned char>(lowerText[at - 1]));
    const size_t end = at + w.size();
    const bool endOk = end == lowerText.size() || !std::isalnum(static_cast<unsigned char>(lowerText[end]));
    if (startOk && endOk) return true;
  }
  return false;
}

}  // namespace

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

// Characters, not bytes, of valid UTF-8 text.
size_t Utf8Length(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

bool ValidUtf8(const std::string& s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    size_t len = 0;
    unsigned cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

// Printable for a report: invalid bytes and control characters become '?'.
std::string Printable(const std::string& s, size_t limit) {
  std::string out;
  const bool valid = ValidUtf8(s);
  for (char c : s.substr(0, limit)) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7F || (!valid && u >= 0x80)) ? '?' : c;
  }
  return out;
}

bool NamesBrowser(const std::string& section) {
  static const char* const kBrowsers[] = {"browser",  "chrome",    "chromium",  "firefox",   "edge",
                                          "opera",    "vivaldi",   "brave",     "safari",    "internet explorer",
                                          "waterfox", "pale moon", "seamonkey", "librewolf", "thorium"};
  const std::string lower = LowerAscii(section);
  for (const char* b : kBrowsers)
    if (WholeWordIn(lower, b)) return true;
  return false;
}

bool DecodeRuleBytes(std::string* bytes, std::string* why) {
  const std::string& b = *bytes;
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE) {
    const size_t units = (b.size() - 2) / 2;
    std::wstring w(units, L'\0');
    for (size_t i = 0; i < units; ++i)
      w[i] = static_cast<wchar_t>(static_cast<unsigned char>(b[2 + 2 * i]) |
                                  (static_cast<unsigned char>(b[3 + 2 * i]) << 8));
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &utf8[0], n, nullptr, nullptr);
    bytes->swap(utf8);
  } else if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFE && static_cast<unsigned char>(b[1]) == 0xFF) {
    *why = "UTF-16 big-endian text, which is not read";
    return false;
  } else if (b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bytes->erase(0, 3);
  }
  if (bytes->find('\0') != std::string::npos) {
    *why = "not a rule file (it holds NUL characters)";
    return false;
  }
  return true;
}


namespace {

// Characters a reader of the file does not see: spaces of every width,
// no-break spaces, the byte order mark, zero-width and joining marks.
bool Unseen(unsigned long cp) {
  return cp <= 0x20 || cp == 0x7F || cp == 0x85 || cp == 0xA0 || cp == 0xAD || cp == 0x34F || cp == 0x61C ||
         cp == 0x115F || cp == 0x1160 || cp == 0x1680 || cp == 0x180E || (cp >= 0x2000 && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202F) || (cp >= 0x205F && cp <= 0x206F) || cp == 0x3000 || cp == 0x3164 ||
         (cp >= 0xFE00 && cp <= 0xFE0F) || cp == 0xFEFF || cp == 0xFFA0 || (cp >= 0xE0000 && cp <= 0xE0FFF);
}

// The text as a reader sees it: lower case, without unseen characters and
// without the '_' and '-' a key name may be spelt with.
std::string SqueezedKeyText(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (i + len > s.size()) len = 1;
    unsigned long cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    if (!Unseen(cp) && c != '_' && c != '-') {
      if (len == 1)
        out += static_cast<char>(std::tolower(c));
      else
        out.append(s, i, len);
    }
    i += len;
  }
  return out;
}

}  // namespace

bool ReadsAsExcludeKey(const std::string& key) {
  return SqueezedKeyText(key).rfind("exclude", 0) == 0;
}

bool ReadsAsKnownKey(const std::string& line) {
  static const char* const kKeys[] = {"exclude", "filekey", "regkey", "detect", "specialdetect",
                                      "langsecref", "section", "warning", "default"};
  const std::string squeezed = SqueezedKeyText(line);
  for (const char* k : kKeys)
    if (squeezed.rfind(k, 0) == 0) return true;
  return false;
}

bool ReadsAsExclusion(const std::string& value) {
  const std::string squeezed = SqueezedKeyText(value.substr(0, 16));
  for (const char* kind : {"file|", "path|", "reg|"})
    if (squeezed.rfind(kind, 0) == 0) return true;
  return false;
}

bool HoldsExclusion(const std::string& line) {
  const std::string lower = LowerAscii(line);
  for (const char* kind : {"file|", "path|", "reg|"})
    if (lower.find(kind) != std::string::npos) return true;
  return false;
}

bool IsNumberedExcludeKey(const std::string& key) {
  const size_t n = sizeof "ExcludeKey" - 1;
  if (key.size() <= n || LowerAscii(key.substr(0, n)) != "excludekey" || key[n] == '0') return false;
  for (size_t i = n; i < key.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(key[i]))) return false;
  return true;
}

bool ProgramOrSystemFile(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return true;
  static const char* const kKept[] = {"exe", "dll", "sys", "com", "scr", "cpl", "ocx", "drv", "efi", "mui", "msc"};
  const std::string ext = LowerAscii(name.substr(dot + 1));
  for (const char* k : kKept)
    if (ext == k) return true;
  return false;
}

LangSecGroup GroupOfLangSecRef(long n) {
  static const struct {
    long n;
    LangSecGroup g;
  } kGroups[] = {
      {3021, {"Applications", SWEEP_CATEGORY_APPLICATIONS}}, {3022, {"Internet", SWEEP_CATEGORY_INTERNET}},
      {3023, {"Multimedia", SWEEP_CATEGORY_APPLICATIONS}},   {3024, {"Utilities", SWEEP_CATEGORY_APPLICATIONS}},
      {3025, {"Windows", SWEEP_CATEGORY_WINDOWS}},
  };
  for (const auto& k : kGroups)
    if (k.n == n) return k.g;
  return {nullptr, SWEEP_CATEGORY_APPLICATIONS};
}
