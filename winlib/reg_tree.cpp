// The registry tree walk: opening without following links, and deleting by handle.
#include "winlib/reg_tree.h"

#include <algorithm>
#include <cstring>

namespace {
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

std::string Below(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }

std::wstring Upper(std::wstring s) {
  if (!s.empty()) ::CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

// The registry's own name of an open key ("\REGISTRY\USER\S-1-5-...\..."); empty on failure.
std::wstring OwnName(HKEY key) {
  using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  static const auto query =
      reinterpret_cast<NtQueryKeyFn>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryKey"));
  alignas(8) BYTE buf[2048];
  ULONG got = 0;
  if (query == nullptr || query(key, 3 /* KeyNameInformation */, buf, sizeof buf, &got) != 0) return std::wstring();
  ULONG bytes = 0;
  std::memcpy(&bytes, buf, sizeof bytes);
  if (bytes > sizeof buf - sizeof(ULONG)) return std::wstring();
  return std::wstring(reinterpret_cast<const wchar_t*>(buf + sizeof(ULONG)), bytes / sizeof(wchar_t));
}

// Where a link key leads, as the registry names it; empty on failure.
std::wstring LinkTarget(HKEY key) {
  wchar_t buf[1024];
  DWORD type = 0, size = sizeof buf - sizeof(wchar_t);
  if (::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
          ERROR_SUCCESS ||
      type != REG_LINK)
    return std::wstring();
  return std::wstring(buf, size / sizeof(wchar_t));
}
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

bool IsSystemMadeLink(const std::wstring& ownName, const std::wstring& leadsTo) {
  const std::wstring name = Upper(ownName), target = Upper(leadsTo);
  const std::wstring users = L"\\REGISTRY\\USER\\", classes = L"\\SOFTWARE\\CLASSES";
  if (name.compare(0, users.size(), users) == 0 && name.size() > users.size() + classes.size() &&
      name.compare(name.size() - classes.size(), classes.size(), classes) == 0) {
    const std::wstring sid = name.substr(users.size(), name.size() - users.size() - classes.size());
    return sid.find(L'\\') == std::wstring::npos && target == users + sid + L"_CLASSES";
  }
  // The 32-bit view's classes, on 64-bit Windows.
  if (name == L"\\REGISTRY\\MACHINE\\SOFTWARE\\WOW6432NODE\\CLASSES")
    return target == L"\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\WOW6432NODE";
  const std::wstring control = L"\\REGISTRY\\MACHINE\\SYSTEM\\CONTROLSET";
  return name == L"\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET" && target.size() == control.size() + 3 &&
         target.compare(0, control.size(), control) == 0 &&
         std::all_of(target.begin() + control.size(), target.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

LONG OpenKeyNoLink(HKEY parent, const std::string& path, REGSAM access, HKEY* out) {
  *out = nullptr;
  std::string last = path;
  HKEY at = parent;
  for (size_t slash; (slash = last.find('\\')) != std::string::npos;) {
    HKEY next = nullptr;
    const LONG step = ::RegOpenKeyExA(at, last.substr(0, slash).c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &next);
    if (step != ERROR_SUCCESS) {
      if (at != parent) ::RegCloseKey(at);
      return step;
    }
    if (IsRegistryLink(next)) {
      // Past a link lies a key the path does not name, unless Windows made it
      // (and it still leads where Windows points it once followed).
      const std::wstring target = LinkTarget(next);
      const bool systemMade = IsSystemMadeLink(OwnName(next), target);
      ::RegCloseKey(next);
      next = nullptr;
      if (!systemMade || ::RegOpenKeyExA(at, last.substr(0, slash).c_str(), 0, KEY_QUERY_VALUE, &next) !=
                             ERROR_SUCCESS ||
          Upper(OwnName(next)) != Upper(target)) {
        if (next != nullptr) ::RegCloseKey(next);
        if (at != parent) ::RegCloseKey(at);
        return kLinkOnTheWay;
      }
    }
    if (at != parent) ::RegCloseKey(at);
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
