// Office recent-file lists (Word, Excel, Access, PowerPoint of versions 8.0,
// 9.0 and 10.0) and the shortcuts of the Office Recent folder.
//
// Each application keeps, per version, one recent-file key whose numbered
// values are removed by name prefix, and a few "File Name MRU" keys of its
// open/save dialogs, which are table rows walked by CleanRows.
#include "catalogue/office_targets.h"

#include <string>

#include "catalogue/registry_path_text.h"
#include "engine/clean_ops.h"
#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/reg_clean.h"
#include "engine/sweep_log.h"
#include "engine/reg_primitives.h"
#include "settings/reg_key.h"

namespace {

constexpr int kStatus = IDC_STATUS_APPLICATIONS;
const char kOfficeKey[] = "Software\\Microsoft\\Office";
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// One dialog's recent-name list below a version's key.
#define OFFICE_DIALOG(version, app, dialog)                                                             \
  KeyRow(kKindKey, version "\\Common\\Open Find\\Microsoft " app "\\Settings\\" dialog "\\File Name MRU", \
         OP_CLEAN_OFFICE_COMMON)

// Each application's dialogs, the same for every version.
#define WORD_DIALOGS(v)                                                                              \
  {                                                                                                  \
    OFFICE_DIALOG(v, "Word", "Create New Document"), OFFICE_DIALOG(v, "Word", "Insert Subdocument"), \
    OFFICE_DIALOG(v, "Word", "Link to File"), OFFICE_DIALOG(v, "Word", "Open"),                      \
    OFFICE_DIALOG(v, "Word", "Save As")                                                              \
  }
#define EXCEL_DIALOGS(v) \
  { OFFICE_DIALOG(v, "Excel", "Open"), OFFICE_DIALOG(v, "Excel", "Save As") }
#define ACCESS_DIALOGS(v)                                                                                  \
  {                                                                                                        \
    OFFICE_DIALOG(v, "Access", "Convert Database Into"), OFFICE_DIALOG(v, "Access", "File New Database"), \
    OFFICE_DIALOG(v, "Access", "Open")                                                                     \
  }
#define POWERPOINT_DIALOGS(v) \
  { OFFICE_DIALOG(v, "PowerPoint", "Save As") }

const CleanItem kWord8[] = WORD_DIALOGS("8.0");
const CleanItem kWord9[] = WORD_DIALOGS("9.0");
const CleanItem kWord10[] = WORD_DIALOGS("10.0");
const CleanItem kExcel8[] = EXCEL_DIALOGS("8.0");
const CleanItem kExcel9[] = EXCEL_DIALOGS("9.0");
const CleanItem kExcel10[] = EXCEL_DIALOGS("10.0");
const CleanItem kAccess8[] = ACCESS_DIALOGS("8.0");
const CleanItem kAccess9[] = ACCESS_DIALOGS("9.0");
const CleanItem kAccess10[] = ACCESS_DIALOGS("10.0");
const CleanItem kPowerPoint8[] = POWERPOINT_DIALOGS("8.0");
const CleanItem kPowerPoint9[] = POWERPOINT_DIALOGS("9.0");
const CleanItem kPowerPoint10[] = POWERPOINT_DIALOGS("10.0");

#undef WORD_DIALOGS
#undef EXCEL_DIALOGS
#undef ACCESS_DIALOGS
#undef POWERPOINT_DIALOGS
#undef OFFICE_DIALOG

struct OfficeVersion {
  const char* version;
  const char* recentKey;  // below the Office key; null: this version keeps none we clear
  const CleanItem* dialogs;
  size_t dialogCount;
};

struct OfficeApp {
  const char* openingLine;
  const char* name;  // as the version lines spell it
  // The recent-file values: names starting with prefix; with a second
  // prefix, DeleteValuesByPrefixes (which logs but does not count).
  const char* prefix;
  const char* secondPrefix;
  OfficeVersion versions[3];
};

template <size_t N>
constexpr OfficeVersion Version(const char* version, const char* recentKey, const CleanItem (&rows)[N]) {
  return OfficeVersion{version, recentKey, rows, N};
}

const OfficeApp kWord = {
    "Start clean up historical records on MS Office Word.\n",
    "Word",
    "Settings",
    nullptr,
    {Version("8.0", "8.0\\Word\\Data", kWord8), Version("9.0", "9.0\\Word\\Data", kWord9),
     Version("10.0", "10.0\\Word\\Data", kWord10)},
};
const OfficeApp kExcel = {
    "Start clean up historical records on MS Office Excel.\n",
    "Excel",
    "File",
    nullptr,
    {Version("8.0", "8.0\\Excel\\Recent Files", kExcel8), Version("9.0", "9.0\\Excel\\Recent Files", kExcel9),
     Version("10.0", "10.0\\Excel\\Recent Files", kExcel10)},
};
const OfficeApp kAccess = {
    "Start clean up historical records on MS Office Access.\n",
    "Access",
    "MRU",
    "MRUFlags",
    {Version("8.0", "8.0\\Access\\Settings", kAccess8), Version("9.0", "9.0\\Access\\Settings", kAccess9),
     Version("10.0", "10.0\\Access\\Settings", kAccess10)},
};
// PowerPoint 10.0 keeps its recent files elsewhere; only its dialog key is cleared.
const OfficeApp kPowerPoint = {
    "Start clean up historical records on MS Office PowerPoint.\n",
    "PowerPoint",
    "File",
    nullptr,
    {Version("8.0", "8.0\\PowerPoint\\Recent File List", kPowerPoint8),
     Version("9.0", "9.0\\PowerPoint\\Recent File List", kPowerPoint9), Version("10.0", nullptr, kPowerPoint10)},
};

void CleanRecentFileKey(const OfficeApp& app, RegKey& office, const char* path, int* count, float* kb) {
  TargetKey key(office, path);
  if (!key.IsOpen()) return;
  key.NameBelow(office, path);
  if (app.secondPrefix != nullptr)
    DeleteValuesByPrefixes(key, app.prefix, app.secondPrefix, kStatus, count, kb);
  else
    DeleteValuesByPrefix(key, app.prefix, kStatus, count, kb);
}

// False when the Office key is missing: then the application has left
// nothing of ours to clean, and the caller stops too.
bool CleanOfficeApp(const OfficeApp& app, int* count, float* kb) {
  LogLine(app.openingLine, 0);
  TargetKey office(kOfficeKey, HKEY_CURRENT_USER);
  if (!office.IsOpen()) return false;
  for (const OfficeVersion& v : app.versions) {
    LogFormat(0, "Clean up %s %s.\n", app.name, v.version);
    if (v.recentKey != nullptr) CleanRecentFileKey(app, office, v.recentKey, count, kb);
    CleanRows(office, v.dialogs, v.dialogCount, kStatus, count, kb, nullptr);
  }
  return true;
}

// The shortcuts Office leaves in its Recent folder below the user's local
// application data; sub-folders are not entered.
void CleanOfficeRecentFolder(int* count, float* kb) {
  RegKey shellFolders(kShellFoldersKey, HKEY_CURRENT_USER);
  if (!shellFolders.IsOpen()) return;
  LogLine("Clean up recent files for Word.\n", 0);
  std::string folder;
  if (!ReadPathText(shellFolders, "Local AppData", folder)) return;
  // One separator between the folder and what follows, however the value ends.
  if (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  DirWalker walker(folder + "\\Microsoft\\Office\\Recent" + "\\*.lnk", DeepSweepOn());
  walker.RemoveFiles(kStatus, count, kb);
}

}  // namespace

void CleanWord(SweepWorker*, int* count, float* kb) {
  if (CleanOfficeApp(kWord, count, kb)) CleanOfficeRecentFolder(count, kb);
}

void CleanExcel(SweepWorker*, int* count, float* kb) { CleanOfficeApp(kExcel, count, kb); }

void CleanAccess(SweepWorker*, int* count, float* kb) { CleanOfficeApp(kAccess, count, kb); }

void CleanPowerPoint(SweepWorker*, int* count, float* kb) { CleanOfficeApp(kPowerPoint, count, kb); }
