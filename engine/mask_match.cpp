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

// The literal run seg (where '?' takes any character) at name[at].
bool RunAt(const std::wstring& name, size_t at, const wchar_t* seg, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (seg[i] != L'?' && seg[i] != name[at + i]) return false;
  return true;
}

// The first maskLength characters of mask against the whole name. The mask
// is taken as runs between its stars: the first run is held to the start,
// the last to the end, and each run between goes to its leftmost place after
// the one before, which is never worse for what follows. Nothing is tried
// twice, and runs longer together than the name fail at once.
bool PlainMatch(const std::wstring& name, const std::wstring& mask, size_t maskLength) {
  std::vector<std::pair<size_t, size_t>> runs;  // start in mask, length
  size_t start = 0, total = 0;
  for (size_t i = 0; i <= maskLength; ++i) {
    if (i < maskLength && mask[i] != L'*') continue;
    runs.emplace_back(start, i - start);
    total += i - start;
    start = i + 1;
  }
  const wchar_t* m = mask.data();
  if (runs.size() == 1) return name.size() == maskLength && RunAt(name, 0, m, maskLength);
  if (total > name.size()) return false;
  const auto& first = runs.front();
  const auto& last = runs.back();
  if (!RunAt(name, 0, m + first.first, first.second)) return false;
  size_t at = first.second;
  const size_t end = name.size() - last.second;  // where the last run starts
  if (end < at || !RunAt(name, end, m + last.first, last.second)) return false;
  for (size_t k = 1; k + 1 < runs.size(); ++k) {
    const size_t length = runs[k].second;
    if (length == 0) continue;
    while (at + length <= end && !RunAt(name, at, m + runs[k].first, length)) ++at;
    if (at + length > end) return false;
    at += length;
  }
  return true;
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
