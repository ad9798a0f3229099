// Target records and the operations table. Most catalogue targets are data:
// small arrays of CleanItem rows, each naming a place (a registry key, or a
// folder found through a registry value or an environment string) and one of
// the thirteen cleaning operations. CleanRows is the one loop that walks them.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

class RegKey;

// Entries of the operations table, in their fixed order.
enum CleanOpId : int {
  OP_CLEAN_NOTHING = 0,
  OP_CLEAN_DIR_BY_VALUE = 1,
  OP_CLEAN_DIR_TREE_BY_VALUE = 2,
  OP_CLEAN_SUBDIR_BY_VALUE = 3,
  OP_CLEAN_DIR_QUIET = 4,
  OP_CLEAN_ENV_DIR = 5,
  OP_CLEAN_ENV_DIR_GUARDED = 6,
  OP_CLEAN_REG_KEY = 7,
  OP_CLEAN_REG_KEY_TREE = 8,
  OP_CLEAN_MRU = 9,
  OP_CLEAN_SUBKEY_MRU = 10,
  OP_CLEAN_FILE_EXT = 11,
  OP_CLEAN_OFFICE_COMMON = 12,
  OP_COUNT = 13,
};

// The four forms a row takes.
enum class RowForm { kNone, kKey, kFolder, kSubFolder, kEnvironment };

// Kind codes. The kind is handed to the operation and has no effect.
constexpr int kKindKey = 4;
constexpr int kKindRunKey = 0x40;
constexpr int kKindFolder = 0x10;

// One target record. Unused fields are null.
//   key row:         kind, path = subkey below the base key
//   folder row:      kind, path = key path below the base key, valueName,
//                    pattern ("\..." or null for "\*.*")
//   subfolder row:   as a folder row, plus subfolder
//   environment row: kind, path = folder with environment references,
//                    pattern without a leading backslash ("*.*", "History.*")
struct CleanItem {
  int kind;
  RowForm form;
  const char* path;
  const char* valueName;
  const char* pattern;
  const char* subfolder;
  CleanOpId op;
};

constexpr CleanItem KeyRow(int kind, const char* subkey, CleanOpId op) {
  return CleanItem{kind, RowForm::kKey, subkey, nullptr, nullptr, nullptr, op};
}
constexpr CleanItem FolderRow(int kind, const char* keyPath, const char* valueName, const char* pattern,
                              CleanOpId op) {
  return CleanItem{kind, RowForm::kFolder, keyPath, valueName, pattern, nullptr, op};
}
constexpr CleanItem SubFolderRow(int kind, const char* keyPath, const char* valueName, const char* pattern,
                                 const char* subfolder, CleanOpId op) {
  return CleanItem{kind, RowForm::kSubFolder, keyPath, valueName, pattern, subfolder, op};
}
constexpr CleanItem EnvRow(int kind, const char* folder, const char* pattern, CleanOpId op) {
  return CleanItem{kind, RowForm::kEnvironment, folder, nullptr, pattern, nullptr, op};
}

// The done folder of one array walk: empty, or the full search pattern
// (folder + "\*.*") of a folder already cleaned. At most 1023 characters.
constexpr size_t kDoneFolderSize = 1024;

// Argument lists of the table's entries, after the kind code.
using KeyOp = void (*)(int kind, RegKey& key, int statusId, int* count, float* kb);
using FolderOp = void (*)(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId,
                          int* count, float* kb, std::string* doneFolder, const char* subfolder);
using EnvOp = void (*)(int kind, const char* folder, const char* pattern, int statusId, int* count, float* kb);

// One entry: the form of row it takes and the function for that form (the
// other two are null). CleanNothing has form kNone and no function.
struct CleanOp {
  const char* name;
  RowForm form;
  KeyOp keyOp;
  FolderOp folderOp;
  EnvOp envOp;
};

// The thirteen entries, indexed by CleanOpId.
extern const CleanOp kCleanOps[OP_COUNT];

// Does nothing (entry 0; the Yahoo toolbar target calls it directly).
void CleanNothing();

// Walks rows in order below an open base key: key rows open their subkey
// (missing: skipped silently) and call the operation on it with the key's
// path text set to the row's path; folder rows likewise with the value name,
// pattern, done folder and subfolder; environment rows expand their folder
// (1024 characters), skip it when that fails, does not fit, or equals the
// expansion of the last environment row cleaned, and call the operation.
// doneFolder may be null (no folder is skipped or recorded).
void CleanRows(RegKey& base, const CleanItem* rows, size_t n, int statusId, int* count, float* kb,
               std::string* doneFolder);
// The same, opening root\basePath first; a base key that cannot be opened
// skips every row. Environment rows need no base key and always run.
void CleanRows(HKEY root, const char* basePath, const CleanItem* rows, size_t n, int statusId, int* count,
               float* kb, std::string* doneFolder);

template <size_t N>
void CleanRows(HKEY root, const char* basePath, const CleanItem (&rows)[N], int statusId, int* count, float* kb,
               std::string* doneFolder) {
  CleanRows(root, basePath, rows, N, statusId, count, kb, doneFolder);
}
