// Registry changes of a sweep, each behind the preview switch and each
// recorded in the outcome ledger after the call, with what happened.
#include "engine/reg_primitives.h"

#include <algorithm>
#include <vector>

#include "engine/nt_calls.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/registry_guard.h"
#include "engine/removal_guard.h"
#include "winlib/trace.h"

namespace {

const char* RootName(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

// The error is the registry's answer; a key or value that is not there was
// not ours to remove and is not recorded.
RegChange Settle(LONG error, const std::string& item) {
  if (error == ERROR_SUCCESS) {
    RecordOutcome(Outcome::kRemoved, item, 0.0);
    return RegChange::kDone;
  }
  if (error == ERROR_FILE_NOT_FOUND) return RegChange::kAbsent;
  RecordLeft(OutcomeOfError(static_cast<unsigned long>(error)), item, ErrorReason(static_cast<unsigned long>(error)));
  return RegChange::kFailed;
}

RegChange Previewed(const std::string& item) {
  RecordOutcome(Outcome::kRemoved, item, 0.0);
  return RegChange::kPreviewed;
}

bool IsLink(HKEY key) {
  DWORD type = 0, size = 0;
  return ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
         type == REG_LINK;
}

// The buffer is sized from the longest name the key holds (a character
// takes up to three bytes here) and grows on the rare answer that it is
// still short: a long name never ends the walk, and the keys after it are
// walked too.
std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  DWORD longest = 0;
  ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
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

std::string Below(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }

// One key deletion: walks the tree below the key it was given, key by key,
// and collects what went; a key that goes whole stands for all it held.
class TreeRemoval {
 public:
  TreeRemoval(HKEY root, bool preview) : m_root(root), m_preview(preview) {}

  // Opens name below parent without following a link. ERROR_SUCCESS or the
  // registry's answer.
  LONG Open(HKEY parent, const std::string& name, HKEY* out) const {
    const REGSAM access = m_preview ? KEY_READ : KEY_READ | KEY_SET_VALUE | DELETE;
    *out = nullptr;
    const LONG rc = ::RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, access, out);
    if (rc != ERROR_SUCCESS) *out = nullptr;
    return rc;
  }

  // Removes the open key root\path with what it holds; true when it went.
  bool Remove(HKEY key, const std::string& path) {
    const std::string item = RegItemText(m_root, path, nullptr);
    const RegistryKeeping keep = RegistryKeyKept(m_root, path, key);
    if (keep == RegistryKeeping::kWhole) return false;
    if (IsLink(key)) {
      // What the link points at is not ours to judge or touch; a link the
      // entry keeps something "below" stays with it.
      if (keep != RegistryKeeping::kNone) return false;
      return DeleteOpened(key, path, m_gone.size());
    }
    if (const char* why = RegistryHandleRefusal(m_root, path, key, keep == RegistryKeeping::kNone)) {
      RecordOutcome(Outcome::kGuarded, item, 0.0, why);
      LogRegistryRefusal(item, why);
      return false;
    }
    const size_t mark = m_gone.size();
    if (keep == RegistryKeeping::kPart) RemoveValues(key, path);
    bool emptied = true;
    for (const std::string& name : SubKeyNames(key)) {
      const std::string childPath = Below(path, name);
      HKEY child = nullptr;
      const LONG rc = Open(key, name, &child);
      if (rc == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
      if (rc != ERROR_SUCCESS) {
        Left(rc, RegItemText(m_root, childPath, nullptr));
        emptied = false;
        continue;
      }
      if (!Remove(child, childPath)) emptied = false;
      ::RegCloseKey(child);
    }
    if (keep != RegistryKeeping::kNone || !emptied) return false;
    return DeleteOpened(key, path, mark);
  }

  // Records what went, in order, and hands each item to removed.
  void Settle(const RegRemovedFn& removed) {
    for (const RegRemoved& r : m_gone) {
      RecordOutcome(Outcome::kRemoved, RegItemText(m_root, r.path, r.isValue ? r.value.c_str() : nullptr), 0.0);
      if (removed) removed(r);
    }
  }

  void Left(LONG error, const std::string& item) {
    RecordLeft(OutcomeOfError(static_cast<unsigned long>(error)), item, ErrorReason(static_cast<unsigned long>(error)));
  }

 private:
  // Every value but the kept ones.
  void RemoveValues(HKEY key, const std::string& path) {
    std::vector<std::pair<std::string, std::string>> values;  // name, text data
    std::vector<char> name(16384);
    std::vector<BYTE> data(4096);
    for (DWORD i = 0;; ++i) {
      DWORD cch = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size() - 2), type = 0;
      LONG rc = ::RegEnumValueA(key, i, name.data(), &cch, nullptr, &type, data.data(), &size);
      if (rc == ERROR_MORE_DATA) {
        cch = static_cast<DWORD>(name.size());
        size = 0;
        rc = ::RegEnumValueA(key, i, name.data(), &cch, nullptr, &type, nullptr, nullptr);
      }
      if (rc != ERROR_SUCCESS) break;
      std::string shown;
      if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < data.size() - 1) {
        data[size] = 0;
        shown = reinterpret_cast<const char*>(data.data());
      }
      values.emplace_back(std::string(name.data(), cch), shown);
    }
    for (const auto& v : values) {
      if (RegistryValueKept(m_root, path, v.first, key)) continue;
      const LONG rc = m_preview ? ERROR_SUCCESS : ::RegDeleteValueA(key, v.first.c_str());
      if (rc == ERROR_FILE_NOT_FOUND) continue;
      if (rc != ERROR_SUCCESS) {
        Left(rc, RegItemText(m_root, path, v.first.c_str()));
        continue;
      }
      RegRemoved r;
      r.path = path;
      r.isValue = true;
      r.value = v.first;
      r.data = v.second;
      m_gone.push_back(r);
    }
  }

  // Deletes the key behind the handle that was judged; what went below it
  // (from mark on) is then stood for by the key.
  bool DeleteOpened(HKEY key, const std::string& path, size_t mark) {
    if (!m_preview) {
      const LONG status = nt::DeleteKey(key);
      if (status != nt::kSuccess) {
        Left(static_cast<LONG>(nt::ErrorOfStatus(status)), RegItemText(m_root, path, nullptr));
        return false;
      }
    }
    m_gone.resize(mark);
    RegRemoved r;
    r.path = path;
    m_gone.push_back(r);
    return true;
  }

  HKEY m_root;
  bool m_preview;
  std::vector<RegRemoved> m_gone;
};

// Deletes root\path, opened as name below parent (the same key).
RegChange DeleteTree(HKEY root, const std::string& path, HKEY parent, const std::string& name,
                     const RegRemovedFn& removed) {
  TreeRemoval walk(root, PreviewActive());
  // The keys on the way are opened one by one, none of them through a link:
  // past one lies a key that the path does not name.
  std::string last = name;
  HKEY at = parent;
  for (size_t slash; (slash = last.find('\\')) != std::string::npos;) {
    HKEY next = nullptr;
    const LONG step = ::RegOpenKeyExA(at, last.substr(0, slash).c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &next);
    if (at != parent) ::RegCloseKey(at);
    if (step == ERROR_FILE_NOT_FOUND || step == ERROR_PATH_NOT_FOUND) return RegChange::kAbsent;
    // As below: a key on the way behind an access list that a real sweep
    // opens first does not stop a preview.
    if (step == ERROR_ACCESS_DENIED && PreviewActive()) return Previewed(RegItemText(root, path, nullptr));
    if (step != ERROR_SUCCESS) {
      walk.Left(step, RegItemText(root, path, nullptr));
      return RegChange::kFailed;
    }
    if (IsLink(next)) {
      ::RegCloseKey(next);
      const std::string item = RegItemText(root, path, nullptr);
      const char* why = "a key on its way is a link";
      RecordOutcome(Outcome::kGuarded, item, 0.0, why);
      LogRegistryRefusal(item, why);
      return RegChange::kFailed;
    }
    at = next;
    last = last.substr(slash + 1);
  }
  HKEY key = nullptr;
  const LONG rc = walk.Open(at, last, &key);
  if (at != parent) ::RegCloseKey(at);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return RegChange::kAbsent;
  if (rc != ERROR_SUCCESS) {
    // A key behind an access list that a real sweep opens first is there
    // all the same.
    if (PreviewActive() && rc == ERROR_ACCESS_DENIED) return Previewed(RegItemText(root, path, nullptr));
    walk.Left(rc, RegItemText(root, path, nullptr));
    return RegChange::kFailed;
  }
  const bool gone = walk.Remove(key, path);
  ::RegCloseKey(key);
  walk.Settle(removed);
  if (!gone) return RegChange::kFailed;
  return PreviewActive() ? RegChange::kPreviewed : RegChange::kDone;
}

}  // namespace

std::string RegItemText(HKEY root, const std::string& path, const char* name) {
  std::string text;
  if (const char* rootName = RootName(root)) text = rootName;
  if (!path.empty()) text += (text.empty() ? "" : "\\") + path;
  if (name != nullptr) text += std::string(text.empty() ? "" : "\\") + (*name == '\0' ? "(Default)" : name);
  return text;
}

std::string RegItemText(const RegKey& key, const char* name) { return RegItemText(key.Hive(), key.FullPath(), name); }

RegChange SweepDeleteValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return RegChange::kFailed;
  const std::string item = RegItemText(key, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::RegDeleteValueA(key.IsOpen(), name), item);
}

RegChange SweepSetValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size) {
  if (!key.IsOpen()) return RegChange::kFailed;
  const std::string item = RegItemText(key, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::RegSetValueExA(key.IsOpen(), name, 0, type, static_cast<const BYTE*>(data), size), item);
}

HKEY OpenSubKeyNoLink(HKEY parent, const std::string& name) {
  HKEY h = nullptr;
  LONG rc = ::RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &h);
  // A key the user may only read still shows what it holds; its changes
  // then fail one by one, where the caller sees them.
  if (rc == ERROR_ACCESS_DENIED) rc = ::RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &h);
  if (rc != ERROR_SUCCESS) return nullptr;
  if (IsLink(h)) {
    ::RegCloseKey(h);
    return nullptr;
  }
  return h;
}

RegChange SweepDeleteSubKey(RegKey& key, const char* name, const RegRemovedFn& removed) {
  // An empty name would name the key itself: never what a cleaner that
  // names a subkey means.
  if (!key.IsOpen() || name == nullptr || *name == '\0') return RegChange::kFailed;
  return DeleteTree(key.Hive(), Below(key.FullPath(), name), key.IsOpen(), name, removed);
}

RegChange SweepDeleteKey(HKEY root, const char* path, const RegRemovedFn& removed) {
  if (root == nullptr || path == nullptr || *path == '\0') {
    Trace("Refused to delete a registry root.\n");
    return RegChange::kFailed;
  }
  return DeleteTree(root, path, root, path, removed);
}
