#include "engine/path_text.h"

#include <windows.h>

#include "engine/nt_calls.h"
#include "winlib/ansi_text.h"

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string LeafOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::wstring FoldCase(std::wstring w) {
  if (!w.empty()) ::CharUpperBuffW(&w[0], static_cast<DWORD>(w.size()));
  return w;
}

std::wstring FoldCase(const std::string& s) {
  if (IsAscii(s)) {
    std::wstring w(s.size(), L'\0');
    for (size_t i = 0; i < s.size(); ++i) w[i] = static_cast<wchar_t>(s[i] >= 'a' && s[i] <= 'z' ? s[i] - 32 : s[i]);
    return w;
  }
  return FoldCase(nt::Widen(s));
}

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (IsAscii(a) && IsAscii(b)) return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
  return SameNoCase(nt::Widen(a), nt::Widen(b));
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
