// Before/after pictures of folders and registry keys; see snapshot.h.
#include "snapshot.h"

#include <cstdio>
#include <vector>

namespace {

constexpr unsigned long long kFnvOffset = 1469598103934665603ULL;
constexpr unsigned long long kFnvPrime = 1099511628211ULL;

unsigned long long Fnv(unsigned long long h, const unsigned char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * kFnvPrime;
  return h;
}

std::string Hex(unsigned long long h) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx", h);
  return buf;
}

// The A calls stop at MAX_PATH; the W calls with "\\?\" reach any length.
std::wstring Wide(const std::string& s) {
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) ::MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
  return w;
}
std::string Narrow(const wchar_t* w) {
  int n = ::WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_ACP, 0, w, -1, &s[0], n, nullptr, nullptr);
  return s;
}
std::wstring LongForm(const std::string& path) {
  if (path.compare(0, 4, "\\\\?\\") == 0) return Wide(path);
  if (path.compare(0, 2, "\\\\") == 0) return L"\\\\?\\UNC\\" + Wide(path.substr(2));
  return L"\\\\?\\" + Wide(path);
}

std::string HashWide(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  unsigned long long hash = kFnvOffset;
  std::vector<unsigned char> buf(65536);
  DWORD got = 0;
  while (::ReadFile(h, buf.data(), (DWORD)buf.size(), &got, nullptr) && got > 0) hash = Fnv(hash, buf.data(), got);
  ::CloseHandle(h);
  return Hex(hash);
}

void WalkFolder(const std::string& label, const std::string& folder, SnapshotMap& out,
                unsigned long long hashUpTo) {
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((LongForm(folder) + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    const std::string full = folder + "\\" + name;
    const std::string entry = label + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      out[entry] = "link";  // never entered: its target is pictured where it lives
    } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[entry] = "dir";
      WalkFolder(entry, full, out, hashUpTo);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      if (size > hashUpTo) {
        const unsigned long long written =
            (static_cast<unsigned long long>(fd.ftLastWriteTime.dwHighDateTime) << 32) | fd.ftLastWriteTime.dwLowDateTime;
        out[entry] = "file " + std::to_string(size) + " w" + std::to_string(written);
      } else {
        out[entry] = "file " + std::to_string(size) + " " + HashWide(LongForm(full));
      }
    }
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
}

void WalkKey(const std::string& label, HKEY key, SnapshotMap& out) {
  out[label] = "key";
  DWORD maxName = 0, maxData = 0, maxSub = 0;
  if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &maxSub, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<char> name(maxName + 2);
  std::vector<unsigned char> data(maxData + 1);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = (DWORD)name.size(), dataLen = (DWORD)data.size(), type = 0;
    LONG rc = ::RegEnumValueA(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      out[label + "\\:" + std::string(name.data(), nameLen) + "?"] = "unreadable " + std::to_string(rc);
      continue;
    }
    out[label + "\\:" + std::string(name.data(), nameLen)] = "value " + std::to_string(type) + " " +
                                                            std::to_string(dataLen) + " " +
                                                            Hex(Fnv(kFnvOffset, data.data(), dataLen));
  }
  std::vector<std::string> subkeys;
  std::vector<char> sub(maxSub + 2);
  for (DWORD i = 0;; ++i) {
    DWORD len = (DWORD)sub.size();
    LONG rc = ::RegEnumKeyExA(key, i, sub.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    subkeys.emplace_back(sub.data(), len);
  }
  for (const auto& s : subkeys) {
    HKEY child = nullptr;
    if (::RegOpenKeyExA(key, s.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
      out[label + "\\" + s] = "key (unopened)";
      continue;
    }
    WalkKey(label + "\\" + s, child, out);
    ::RegCloseKey(child);
  }
}

}  // namespace

void SnapshotFolder(const std::string& label, const std::string& folder, SnapshotMap& out,
                    unsigned long long hashUpTo) {
  std::string f = folder;
  while (f.size() > 3 && (f.back() == '\\' || f.back() == '/')) f.pop_back();
  WalkFolder(label, f, out, hashUpTo);
}

void SnapshotKey(const std::string& label, HKEY root, const std::string& path, SnapshotMap& out) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  WalkKey(label, key, out);
  ::RegCloseKey(key);
}

SnapshotDiff CompareSnapshots(const SnapshotMap& before, const SnapshotMap& after) {
  SnapshotDiff d;
  for (const auto& [name, what] : before) {
    auto it = after.find(name);
    if (it == after.end())
      d.removed.push_back(name);
    else if (it->second != what)
      d.changed.push_back(name);
  }
  for (const auto& [name, what] : after)
    if (before.find(name) == before.end()) d.added.push_back(name);
  return d;
}

SnapshotDiff Unexpected(const SnapshotDiff& diff, const std::function<bool(const std::string& name)>& expected) {
  SnapshotDiff d;
  for (const auto& n : diff.removed)
    if (!expected(n)) d.removed.push_back(n);
  for (const auto& n : diff.added)
    if (!expected(n)) d.added.push_back(n);
  for (const auto& n : diff.changed)
    if (!expected(n)) d.changed.push_back(n);
  return d;
}

std::string SnapshotDiff::Describe() const {
  std::string s;
  for (const auto& n : removed) s += "- " + n + "\n";
  for (const auto& n : added) s += "+ " + n + "\n";
  for (const auto& n : changed) s += "~ " + n + "\n";
  return s;
}

std::string HashFileContent(const std::string& path) { return HashWide(LongForm(path)); }
