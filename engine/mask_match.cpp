#include "engine/mask_match.h"

#include <windows.h>

#include <vector>

namespace {

std::wstring Folded(std::wstring w) {
  if (!w.empty()) ::CharUpperBuffW(&w[0], static_cast<DWORD>(w.size()));
  return w;
}

std::wstring FoldedFromAnsi(const std::string& s) {
  bool ascii = true;
  for (char c : s) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::wstring w(s.size(), L'\0');
    for (size_t i = 0; i < s.size(); ++i) w[i] = static_cast<wchar_t>(s[i] >= 'a' && s[i] <= 'z' ? s[i] - 32 : s[i]);
    return w;
  }
  const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return Folded(std::move(w));
}

// The first maskLength characters of mask against the whole name. On a
// mismatch the mask returns to just after the last star and that star takes
// one more character; nothing before the last star is ever tried again, so
// no mask can make the work grow faster than name length times mask length.
bool PlainMatch(const std::wstring& name, const std::wstring& mask, size_t maskLength) {
  size_t n = 0, m = 0, starM = std::wstring::npos, starN = 0;
  while (n < name.size()) {
    if (m < maskLength && mask[m] == L'*') {
      starM = m++;
      starN = n;
    } else if (m < maskLength && (mask[m] == L'?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (starM != std::wstring::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < maskLength && mask[m] == L'*') ++m;
  return m == maskLength;
}

std::vector<std::string> Segments(const std::string& path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t cut = path.find_first_of("\\/", start);
    if (cut == std::string::npos) cut = path.size();
    if (cut > start) out.push_back(path.substr(start, cut - start));
    start = cut + 1;
  }
  return out;
}

}  // namespace

bool FoldedMaskMatches(const std::wstring& name, const std::wstring& mask) {
  if (mask.empty() || mask == L"*" || mask == L"*.*") return true;
  if (PlainMatch(name, mask, mask.size())) return true;
  // A name without a dot cannot meet the literal '.' of a trailing ".*":
  // the folder search lets every trailing ".*" match nothing for it.
  if (name.find(L'.') != std::wstring::npos) return false;
  size_t length = mask.size();
  while (length >= 2 && mask[length - 1] == L'*' && mask[length - 2] == L'.') length -= 2;
  return length != mask.size() && (length == 0 || PlainMatch(name, mask, length));
}

bool MaskMatches(const std::wstring& name, const std::wstring& mask) {
  return FoldedMaskMatches(Folded(name), Folded(mask));
}

bool MaskMatches(const std::string& name, const std::string& mask) {
  return FoldedMaskMatches(FoldedFromAnsi(name), FoldedFromAnsi(mask));
}

bool SegmentsMatch(const std::string& pattern, const std::string& path, bool below) {
  const std::vector<std::string> p = Segments(pattern);
  const std::vector<std::string> s = Segments(path);
  if (below ? s.size() < p.size() : s.size() != p.size()) return false;
  for (size_t i = 0; i < p.size(); ++i)
    if (!MaskMatches(s[i], p[i])) return false;
  return true;
}
