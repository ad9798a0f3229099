#include "settings/subkey_list.h"

#include <cstdlib>
#include <cstring>

#include "settings/reg_key.h"
#include "winlib/trace.h"

bool (*g_pfnListRewriteCheckpoint)() = nullptr;
bool (*g_pfnListValueWrite)(const char* value) = nullptr;

bool ListValueWriteAllowed(const char* value) {
  return g_pfnListValueWrite == nullptr || g_pfnListValueWrite(value);
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsNoCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool StartsWithNoCase(const std::string& name, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return name.size() >= n && EqualsNoCase(name.substr(0, n), prefix);
}

int EntryNumber(const std::string& name, const char* stem) {
  const size_t n = std::strlen(stem);
  if (!StartsWithNoCase(name, stem) || name.size() < n + 2 || name[n] != '.') return -1;
  const std::string digits = name.substr(n + 1);
  if (digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) return -1;
  for (char c : digits)
    if (c < '0' || c > '9') return -1;
  return std::atoi(digits.c_str());
}

bool RewriteNumberedSubkeys(RegKey& parent, const char* stem, size_t count,
                            const std::function<bool(RegKey& entry, size_t n)>& write) {
  if (!parent.IsOpen()) return false;
  bool written = true;
  for (size_t n = 0; n < count; ++n) {
    RegKey entry(std::string(stem) + "." + std::to_string(n), parent.m_hKey);
    if (!(entry.IsOpen() || entry.Create()) || !write(entry, n)) {
      Trace("Cannot write %s.%u; the stored list is kept as it was\n", stem, static_cast<unsigned>(n));
      written = false;
    }
  }
  if (!written) return false;
  if (g_pfnListRewriteCheckpoint != nullptr && !g_pfnListRewriteCheckpoint()) return false;

  // A fresh handle, so that the name-length snapshot covers the entries just made.
  RegKey scan(std::string(), parent.m_hKey);
  bool removed = true;
  std::string name;
  while (scan.EnumKey(name)) {
    if (!StartsWithNoCase(name, stem)) continue;
    const int number = EntryNumber(name, stem);
    if (number >= 0 && static_cast<size_t>(number) < count) continue;
    if (scan.DeleteSubKey(name.c_str())) {
      --scan.m_nSubKeyIndex;  // the next subkey moved into this index
    } else {
      Trace("Cannot remove the stale entry %s\n", name.c_str());
      removed = false;
    }
  }
  return removed;
}
