// The registry tree walk: opening without following links, and deleting by handle.
#include "winlib/reg_tree.h"

#include <algorithm>

namespace {
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

std::string Below(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }
}  // namespace

bool IsRegistryLink(HKEY key) {
  DWORD type = 0, size = 0;
  return ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
         type == REG_LINK;
}

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  DWORD longest = 0;
  ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
  // A character takes up to three bytes in the multibyte names.
  std::vector<char> name(std::max<size_t>(1024, (static_cast<size_t>(longest) + 1) * 3 + 1));
  for (DWORD i = 0;;) {
    DWORD cch = static_cast<DWORD>(name.size());
    const LONG rc = ::RegEnumKeyExA(key, i, name.data(), &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA && name.size() < (1u << 20)) {
      name.resize(name.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name.data(), cch);
    ++i;
  }
  return names;
}

LONG OpenKeyNoLink(HKEY parent, const std::string& path, REGSAM access, HKEY* out) {
  *out = nullptr;
  std::string last = path;
  HKEY at = parent;
  for (size_t slash; (slash = last.find('\\')) != std::string::npos;) {
    HKEY next = nullptr;
    const LONG step = ::RegOpenKeyExA(at, last.substr(0, slash).c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &next);
    if (at != parent) ::RegCloseKey(at);
    if (step != ERROR_SUCCESS) return step;
    if (IsRegistryLink(next)) {
      // Past a link lies a key the path does not name.
      ::RegCloseKey(next);
      return kLinkOnTheWay;
    }
    at = next;
    last = last.substr(slash + 1);
  }
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExA(at, last.c_str(), REG_OPTION_OPEN_LINK, access, &key);
  if (at != parent) ::RegCloseKey(at);
  if (rc == ERROR_SUCCESS) *out = key;
  return rc;
}

LONG DeleteOpenedKey(HKEY key) {
  static const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  static const auto del = reinterpret_cast<NtDeleteKeyFn>(::GetProcAddress(ntdll, "NtDeleteKey"));
  static const auto toDos = reinterpret_cast<RtlNtStatusToDosErrorFn>(::GetProcAddress(ntdll, "RtlNtStatusToDosError"));
  if (del == nullptr || key == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  const LONG status = del(key);
  if (status == 0) return ERROR_SUCCESS;
  return toDos != nullptr ? static_cast<LONG>(toDos(status)) : ERROR_GEN_FAILURE;
}

bool KeyTreeRemoval::Remove(HKEY key, const std::string& path) {
  const bool link = IsRegistryLink(key);
  const Visit visit = Judge(key, path, link);
  if (visit == Visit::kLeave) return false;
  // What a link leads to is not below it: it goes as it is, or stays.
  if (link) return visit == Visit::kRemove && Delete(key, path);
  bool emptied = true;
  for (const std::string& name : SubKeyNames(key)) {
    const std::string childPath = Below(path, name);
    HKEY child = nullptr;
    const LONG rc = ::RegOpenKeyExA(key, name.c_str(), REG_OPTION_OPEN_LINK, Access(), &child);
    if (rc == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
    if (rc != ERROR_SUCCESS) {
      OpenFailed(rc, childPath);
      emptied = false;
      continue;
    }
    if (!Remove(child, childPath)) emptied = false;
    ::RegCloseKey(child);
  }
  return visit == Visit::kRemove && emptied && Delete(key, path);
}
