// The operations table and the one walker of target rows that every table
// cleaner of the catalogue uses.
#include "engine/clean_ops.h"

#include "engine/folder_clean.h"
#include "engine/reg_clean.h"
#include "engine/reg_primitives.h"
#include "settings/reg_key.h"
#include "winlib/trace.h"

// The order is fixed: rows and callers refer to entries by CleanOpId.
const CleanOp kCleanOps[OP_COUNT] = {
    {"CleanNothing", RowForm::kNone, nullptr, nullptr, nullptr},
    {"CleanDirByValue", RowForm::kFolder, nullptr, CleanDirByValue, nullptr},
    {"CleanDirTreeByValue", RowForm::kFolder, nullptr, CleanDirTreeByValue, nullptr},
    {"CleanSubDirByValue", RowForm::kSubFolder, nullptr, CleanSubDirByValue, nullptr},
    {"CleanDirQuiet", RowForm::kFolder, nullptr, CleanDirQuiet, nullptr},
    {"CleanEnvDir", RowForm::kEnvironment, nullptr, nullptr, CleanEnvDir},
    {"CleanEnvDirGuarded", RowForm::kEnvironment, nullptr, nullptr, CleanEnvDirGuarded},
    {"CleanRegKey", RowForm::kKey, CleanRegKey, nullptr, nullptr},
    {"CleanRegKeyTree", RowForm::kKey, CleanRegKeyTree, nullptr, nullptr},
    {"CleanMRU", RowForm::kKey, CleanMRU, nullptr, nullptr},
    {"CleanSubKeyMRU", RowForm::kKey, CleanSubKeyMRU, nullptr, nullptr},
    {"CleanFileExt", RowForm::kKey, CleanFileExt, nullptr, nullptr},
    {"CleanOfficeCommon", RowForm::kKey, CleanOfficeCommon, nullptr, nullptr},
};

void CleanNothing() {}

namespace {

constexpr DWORD kExpandSize = 1024;

// The expansion of an environment folder, or false when it fails or does not
// fit in 1024 characters.
bool ExpandFolder(const char* folder, std::string& out) {
  char buffer[kExpandSize];
  const DWORD n = ::ExpandEnvironmentStringsA(folder, buffer, kExpandSize);
  if (n == 0 || n >= kExpandSize) return false;
  buffer[kExpandSize - 1] = '\0';
  out = buffer;
  return true;
}

// A row's form must be the one its operation takes: a row whose fields do
// not match the call would hand nulls or the wrong texts to it.
const CleanOp* OpFor(const CleanItem& row) {
  if (row.op < 0 || row.op >= OP_COUNT) return nullptr;
  const CleanOp& op = kCleanOps[row.op];
  if (op.form == RowForm::kNone) return nullptr;
  if (op.form != row.form) {
    Trace("Row %s does not fit %s.\n", row.path != nullptr ? row.path : "(null)", op.name);
    return nullptr;
  }
  return &op;
}

}  // namespace

void CleanRows(RegKey& base, const CleanItem* rows, size_t n, int statusId, int* count, float* kb,
               std::string* doneFolder) {
  bool haveLastEnv = false;
  std::string lastEnv;
  for (size_t i = 0; i < n; ++i) {
    const CleanItem& row = rows[i];
    const CleanOp* op = OpFor(row);
    if (op == nullptr || row.path == nullptr) continue;
    switch (row.form) {
      case RowForm::kKey: {
        TargetKey key(base, row.path);
        if (!key.IsOpen()) break;  // nothing recorded there: no line
        key.NameBelow(base, row.path);
        op->keyOp(row.kind, key, statusId, count, kb);
        break;
      }
      case RowForm::kFolder:
      case RowForm::kSubFolder: {
        TargetKey key(base, row.path);
        if (!key.IsOpen()) break;
        key.NameBelow(base, row.path);
        op->folderOp(row.kind, key, row.valueName, row.pattern, statusId, count, kb, doneFolder, row.subfolder);
        break;
      }
      case RowForm::kEnvironment: {
        std::string expanded;
        if (!ExpandFolder(row.path, expanded)) break;
        // Two names for one folder (%TEMP% and %TMP%) clean it once.
        if (haveLastEnv && expanded == lastEnv) break;
        op->envOp(row.kind, row.path, row.pattern, statusId, count, kb);
        lastEnv = expanded;
        haveLastEnv = true;
        break;
      }
      case RowForm::kNone:
        break;
    }
  }
}

void CleanRows(HKEY root, const char* basePath, const CleanItem* rows, size_t n, int statusId, int* count,
               float* kb, std::string* doneFolder) {
  // A base key that cannot be opened opens no subkey, so only environment
  // rows, which need no key, still run.
  TargetKey base(basePath != nullptr ? basePath : "", root);
  CleanRows(base, rows, n, statusId, count, kb, doneFolder);
}
