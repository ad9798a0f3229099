// RegKey: the one way Morvane touches the registry. It owns one open key, keeps
// a snapshot of the key's sizes taken when it was opened, and walks the key's
// values and subkeys with two cursors that callers step back after deleting
// the item just returned.
#pragma once
#include <windows.h>

#include <string>

// The program's own key, below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
extern const char kProductKeyPath[];  // "SOFTWARE\Calderix\Morvane"

// Creates (or opens) the program's own key under both roots and closes it at
// once. Failures are ignored: a user without rights on the machine hive still
// gets the per-user key.
void EnsureProductKeys();

class RegKey {
 public:
  // Opens root\path; IsOpen() is null when that fails. A key the user may
  // only read is opened for reading (its changes then fail one by one).
  RegKey(const std::string& path, HKEY root);
  // Takes ownership of an open handle (null gives a closed key).
  explicit RegKey(HKEY handle);
  virtual ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  HKEY IsOpen() const { return m_hKey; }

  // Opens root\path, or creates it when it does not exist (making sure the
  // program's own keys exist first). False, and closed, when both fail.
  bool Create();

  // `size` in: the buffer size; out: the data size. The type is not asked for.
  bool QueryValue(const char* name, void* data, DWORD* size);
  bool SetValue(const char* name, DWORD type, const void* data, DWORD size);
  bool DeleteValue(const char* name);
  // Removes the subkey with everything below it; a registry link goes as a
  // link, never through it (see winlib/reg_tree.h).
  bool DeleteSubKey(const char* name);
  // A new handle for the caller to wrap in a RegKey; null when it cannot be opened.
  HKEY OpenSubKey(const char* path);

  // Return the subkey / value at the cursor and advance it, also on failure.
  // After deleting the item just returned, a caller decreases the matching
  // cursor by one so that the item moving into the freed index is not skipped.
  bool EnumKey(std::string& name);
  // `size` in: the data buffer size; out: this value's data size, so the
  // caller resets it before the next call. `type` may be null.
  bool EnumValue(std::string& name, void* data, DWORD* size, DWORD* type);

  // Size of a data buffer that holds any value of the key as of the snapshot,
  // plus one byte for a terminator (257 when the key reports no data).
  DWORD DataBufferSize() const { return m_cbMaxValueData != 0 ? m_cbMaxValueData + 1 : 257; }

  // A key wrapped from OpenSubKey of parent, named as the registry knows it:
  // parent's hive and whole path, for the names the ledger and the removal
  // guard see. m_strPath stays path, the part the log lines show.
  void NameBelow(const RegKey& parent, const std::string& path);
  // The predefined root the key lies under (HKEY_CURRENT_USER and the like),
  // or m_hRoot when it was never named below one.
  HKEY Hive() const { return m_hHive != nullptr ? m_hHive : m_hRoot; }
  // The key's whole path below Hive().
  std::string FullPath() const { return m_strParentPath.empty() ? m_strPath : m_strParentPath + "\\" + m_strPath; }

  std::string m_strPath;  // below the root; empty for a wrapped handle
  HKEY m_hRoot = nullptr;
  HKEY m_hHive = nullptr;         // set by NameBelow
  std::string m_strParentPath;    // set by NameBelow: the parent's FullPath()
  HKEY m_hKey = nullptr;
  int m_nValueIndex = 0;
  int m_nSubKeyIndex = 0;

  char m_szClass[MAX_PATH] = {};
  DWORD m_cchClass = MAX_PATH;
  DWORD m_nSubKeys = 0;
  DWORD m_cchMaxSubKey = 0;
  DWORD m_cchMaxClass = 0;
  DWORD m_nValues = 0;
  DWORD m_cchMaxValueName = 0;
  DWORD m_cbMaxValueData = 0;
  DWORD m_cbSecurityDescriptor = 0;
  FILETIME m_ftLastWrite = {};

 private:
  void QueryInfo();
  void Close();
};
