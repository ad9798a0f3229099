// Registry cleaning: the walks over a key's values and subkeys that empty
// most-recently-used lists and whole value sets. Each item is logged and
// counted after the registry has answered, and only when the change was made:
// a refusal is recorded in the outcome ledger and named in the log by the
// primitive. The cursor steps back only when the item is gone.
#include "engine/reg_clean.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/outcome_ledger.h"
#include "engine/reg_primitives.h"
#include "engine/sweep_log.h"
#include "winlib/trace.h"

namespace {

// A value's data can be any length: it is shown up to this many characters,
// so that a line names its item in full without carrying a whole blob.
constexpr size_t kShownData = 200;

std::string Shown(const char* data) {
  std::string text = data;
  if (text.size() <= kShownData) return text;
  size_t cut = kShownData;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a UTF-8 character
  text = text.substr(0, cut) + "...";
  return text;
}


void LogResetValue(const RegKey& key, int* count, int statusId, const std::string& name, const char* data) {
  LogItemOf(count, statusId, "  ", RegItemText(key, name.c_str()), 0.0,
            "Reset Value: %s=%s to empty.\n", name.c_str(), Shown(data).c_str());
}

bool StartsWith(const std::string& name, const char* prefix) {
  return std::strncmp(name.c_str(), prefix, std::strlen(prefix)) == 0;
}

// Walks a key's values with the key's value cursor (advanced on every call,
// stepped back by the caller after a deletion, as RegKey::EnumValue does) and
// one data buffer sized from the key's snapshot. It asks the registry itself
// rather than through EnumValue because it needs the reason of a failure: a
// value that grew past the snapshot (or a longer name) reports "more data",
// and then the buffers are regrown and the same index asked again instead of
// the walk ending early. The data handed out is always terminated within the
// buffer, whatever the value holds.
class ValueCursor {
 public:
  explicit ValueCursor(RegKey& key) : m_key(key) {
    AllocateData(key.DataBufferSize());
    SizeName(key.m_cchMaxValueName);
  }
  bool Ok() const { return m_data != nullptr; }
  const char* Data() const { return m_data.get(); }

  bool Next(std::string& name) {
    HKEY handle = m_key.IsOpen();
    if (handle == nullptr) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const DWORD index = static_cast<DWORD>(m_key.m_nValueIndex++);
      DWORD cch = static_cast<DWORD>(m_name.size());
      // One byte stays free for the terminator.
      DWORD size = m_capacity - 1;
      const LONG rc = ::RegEnumValueA(handle, index, &m_name[0], &cch, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(m_data.get()), &size);
      if (rc == ERROR_SUCCESS) {
        m_data[size < m_capacity ? size : m_capacity - 1] = '\0';
        m_name.back() = '\0';
        name = m_name.data();
        if (Reachable(handle, name)) return true;
        attempt = -1;  // left and recorded: on to the next value
        continue;
      }
      if (rc != ERROR_MORE_DATA || attempt != 0 || !Regrow()) return false;
      --m_key.m_nValueIndex;
    }
    return false;
  }

 private:
  // A name the registry holds in a form the program's text cannot spell (a
  // lone surrogate) comes back converted and reaches no value: it is left,
  // and said so, instead of passing for a value already gone.
  bool Reachable(HKEY handle, const std::string& name) {
    if (::RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND)
      return true;
    RecordLeft(Outcome::kRefused, RegItemText(m_key, name.c_str()),
               "its name cannot be written in this program's text");
    return false;
  }
  void AllocateData(DWORD capacity) {
    m_data.reset(new (std::nothrow) char[capacity]());
    m_capacity = m_data ? capacity : 0;
  }
  // As RegKey sizes it: room for a short name added after the snapshot.
  void SizeName(DWORD longest) { m_name.assign(longest == 0 ? 257 : (longest > 18 ? longest : 18) + 1, '\0'); }

  bool Regrow() {
    DWORD maxName = 0, maxData = 0;
    if (::RegQueryInfoKeyA(m_key.IsOpen(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                           &maxData, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    if (maxName + 1 > m_name.size()) SizeName(maxName);
    if (maxData + 1 > m_capacity) AllocateData(maxData + 1);
    return Ok();
  }

  RegKey& m_key;
  std::unique_ptr<char[]> m_data;
  DWORD m_capacity = 0;
  std::string m_name;
};

// The next subkey at the key's subkey cursor (advanced on every call, as
// RegKey::EnumKey does). A key name has at most 255 characters, so one fixed
// buffer fits every name, also one added after the key's snapshot was taken.
bool NextSubKey(RegKey& key, std::string& name) {
  if (key.IsOpen() == nullptr) return false;
  // A name of 255 characters takes up to 765 bytes here; a longer answer
  // grows the buffer rather than ending the walk.
  std::vector<char> buffer(1024);
  const DWORD index = static_cast<DWORD>(key.m_nSubKeyIndex++);
  for (;;) {
    DWORD cch = static_cast<DWORD>(buffer.size());
    const LONG rc = ::RegEnumKeyExA(key.IsOpen(), index, buffer.data(), &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) return false;
    name.assign(buffer.data(), cch);
    return true;
  }
}

}  // namespace

void LogDeleteValue(const RegKey& key, int* count, int statusId, const std::string& name, const char* data) {
  LogItemOf(count, statusId, "  ", RegItemText(key, name.c_str()), 0.0,
            "Delete Value: %s=%s.\n", name.c_str(), Shown(data).c_str());
}

bool ResetValueToEmpty(RegKey& key, const char* name, int statusId, int* count) {
  HKEY handle = key.IsOpen();
  if (handle == nullptr) return false;
  DWORD size = 0;
  if (::RegQueryValueExA(handle, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
  std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
  if (::RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  // Nothing to take from a value that holds nothing: no change, no item.
  if (std::all_of(data.begin(), data.end(), [](char c) { return c == '\0'; })) return false;
  const char empty[1] = {0};
  if (!ChangeMade(SweepSetValue(key, name, REG_SZ, empty, 0))) return false;
  LogResetValue(key, count, statusId, name, data.data());
  return true;
}

void DeleteValues(RegKey& key, const char* keepName, int statusId, int* count, float* kb) {
  ValueCursor cursor(key);
  if (!cursor.Ok()) return;
  std::string name;
  while (cursor.Next(name)) {
    if (name == "(Default)") continue;
    const char* data = cursor.Data();
    if (keepName != nullptr) {
      if (data[0] == '\0') continue;
      if (name == keepName) {
        // The list's order value stays so that the owner still finds a list.
        if (ChangeMade(SweepSetValue(key, name.c_str(), REG_SZ, "", 0))) LogResetValue(key, count, statusId, name, data);
        continue;
      }
    }
    const RegChange change = SweepDeleteValue(key, name.c_str());
    if (ItemGone(change)) --key.m_nValueIndex;
    if (ChangeMade(change)) LogDeleteValue(key, count, statusId, name, data);
  }
}

void DeleteValuesByPrefix(RegKey& key, const char* prefix, int statusId, int* count, float* kb) {
  if (prefix == nullptr) return;
  ValueCursor cursor(key);
  if (!cursor.Ok()) return;
  std::string name;
  while (cursor.Next(name)) {
    if (name == "(Default)" || !StartsWith(name, prefix)) continue;
    const RegChange change = SweepDeleteValue(key, name.c_str());
    if (ItemGone(change)) --key.m_nValueIndex;
    if (ChangeMade(change)) LogDeleteValue(key, count, statusId, name, cursor.Data());
  }
}

void DeleteValuesByPrefixes(RegKey& key, const char* prefix1, const char* prefix2, int statusId, int* count,
                            float* kb) {
  if (prefix1 == nullptr) return;
  ValueCursor cursor(key);
  if (!cursor.Ok()) return;
  std::string name;
  while (cursor.Next(name)) {
    if (name == "(Default)") continue;
    if (!StartsWith(name, prefix1) && (prefix2 == nullptr || !StartsWith(name, prefix2))) continue;
    const RegChange change = SweepDeleteValue(key, name.c_str());
    if (ItemGone(change)) --key.m_nValueIndex;
    if (ChangeMade(change)) LogFormat(statusId, "  Delete Value: %s=%s.\n", name.c_str(), Shown(cursor.Data()).c_str());
  }
}

void DeleteSubKeysByPrefix(RegKey& key, const char* prefix, int statusId, int* count, float* kb) {
  if (prefix == nullptr) return;
  std::string name;
  while (NextSubKey(key, name)) {
    if (!StartsWith(name, prefix)) continue;
    const RegChange change = SweepDeleteSubKey(key, name.c_str());
    if (ItemGone(change)) --key.m_nSubKeyIndex;
    if (ChangeMade(change))
      LogItemOf(count, statusId, "  ", RegItemText(key, name.c_str()), 0.0,
                "Delete Key: %s.\n", name.c_str());
  }
}

void DeleteValuesInSubKeys(RegKey& key, const char* keepName, int statusId, int* count, float* kb) {
  std::string name;
  while (NextSubKey(key, name)) {
    // Never through a link: what it leads to is not this list's, and a
    // link among them stays, counted as not removed.
    TargetKey sub(key, name);
    // Named for the ledger and the log lines of its items.
    sub.m_hHive = key.m_hHive;
    sub.m_strParentPath = key.m_strParentPath;
    if (sub.IsOpen()) DeleteValues(sub, keepName, statusId, count, kb);
  }
}

void CleanRegKey(int kind, RegKey& key, int statusId, int* count, float* kb) {
  LogFormat(0, "  Clean up registry key: %s\n", key.m_strPath.c_str());
  DeleteValues(key, nullptr, statusId, count, kb);
}

void CleanRegKeyTree(int kind, RegKey& key, int statusId, int* count, float* kb) {
  LogFormat(statusId, "  Clean up registry key: %s\n", key.m_strPath.c_str());
  DeleteValues(key, nullptr, statusId, count, kb);
  // An empty keep name keeps each subkey's unnamed value, emptied.
  DeleteValuesInSubKeys(key, "", statusId, count, kb);
}

void CleanMRU(int kind, RegKey& key, int statusId, int* count, float* kb) {
  LogFormat(0, "  Clean up MRU in registry key: %s\n", key.m_strPath.c_str());
  DeleteValues(key, "MRUList", statusId, count, kb);
}

void CleanSubKeyMRU(int kind, RegKey& key, int statusId, int* count, float* kb) {
  LogFormat(0, "  Clean up MRU in sub-registry key: %s\n", key.m_strPath.c_str());
  DeleteValuesInSubKeys(key, "MRUList", statusId, count, kb);
}

void CleanFileExt(int kind, RegKey& key, int statusId, int* count, float* kb) {
  Trace("Calling CleanFileExt Function.\n");
  std::string name;
  while (NextSubKey(key, name)) {
    // Extensions (".txt") stay; only the types recorded beside them go.
    if (name.empty() || name.find('/') == std::string::npos) continue;
    const RegChange change = SweepDeleteSubKey(key, name.c_str());
    if (ItemGone(change)) --key.m_nSubKeyIndex;
    if (ChangeMade(change))
      LogItemOf(count, statusId, "  ", RegItemText(key, name.c_str()), 0.0,
                "Delete SubKey: %s\\%s.\n", key.m_strPath.c_str(), name.c_str());
  }
}

void CleanOfficeCommon(int kind, RegKey& key, int statusId, int* count, float* kb) {
  // Office lists belong to the Applications category whoever calls.
  const int officeStatus = IDC_STATUS_APPLICATIONS;
  LogFormat(0, "  Clean up Office Common registry key: %s\n", key.m_strPath.c_str());
  ValueCursor cursor(key);
  if (!cursor.Ok()) return;
  std::string name;
  auto logItem = [&](RegChange change) {
    if (!ChangeMade(change)) return;
    if (count != nullptr) {
      // The line keeps its wording; the item is named with its hive and value.
      LogFormat(officeStatus, "  Item %d: Clean a register: %s.\n",
                NumberItem(count, RegItemText(key, name.c_str())), key.m_strPath.c_str());
    } else {
      LogFormat(0, "  Clean a register: %s.\n", key.m_strPath.c_str());
    }
  };
  while (cursor.Next(name)) {
    if (name != "Value") {
      const RegChange change = SweepDeleteValue(key, name.c_str());
      if (ItemGone(change)) --key.m_nValueIndex;
      logItem(change);
      continue;
    }
    if (cursor.Data()[0] == '\0') continue;
    static const char kEmptyMultiString[4] = {0, 0, 0, 0};
    logItem(SweepSetValue(key, name.c_str(), REG_MULTI_SZ, kEmptyMultiString, sizeof kEmptyMultiString));
  }
}
