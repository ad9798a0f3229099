// Removal of single files: the Shredder (rename, overwrite twice, remove),
// in-place overwriting, the wipe of a locked index.dat, and file sizes.
// Every file a sweep deletes is deleted through RemoveFile or, inside a
// walked folder, RemoveFileAt. Every primitive here honours PreviewActive():
// in preview it checks, logs and counts as for real and changes nothing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "engine/folder_open.h"  // ReachesOwnEntry, for callers that check as the removals do
#include "winlib/file_status.h"

// The General options that steer removal, read where they are needed.
bool ShredderOn();
bool DeepSweepOn();

// Removes one file, shredding it first when the Shredder is on (never a path
// that holds "index.dat"). Throws FileException when the file stays; its
// m_strFileName is the name the file has by then (the shred name when the
// rename succeeded). Paths the removal guard refuses are never touched.
// The outcome is recorded in the outcome ledger after the call (a file that
// stays also gets its "Not removed" line), so a caller logs only removals.
//
// The calls that work on an open folder (RemoveFileAt, RemoveLinkAt,
// RemoveOpenFolder) record nothing: their callers know the final outcome
// (a file left now may yet be scheduled for restart) and record that.
// OverwriteFile and WipeIndexFile change data in place and remove nothing.
void RemoveFile(const std::string& path);

// Overwrites the file in place with 0xFF, then 0x00, over its whole length;
// the file keeps its name. -1 when it cannot be opened (or is a link or has
// other hard links, whose data lives on under other names), else nonzero.
int OverwriteFile(const std::string& path);

// Zeroes the file from byte 64 to its end in place, opened with read and
// write sharing so that a file the system holds open can be wiped. The first
// 64 bytes stay. 0 when it cannot be opened, 1 otherwise.
int WipeIndexFile(const std::string& path);

// Removes a junction or symbolic link itself, never what it points to. The
// link is opened as a link and deleted only when the handle shows that it is
// one: where the system follows the link anyway (Wine resolves it and would
// delete the target folder), the link is left. False when it stays.
bool RemoveLink(const std::string& path);

// The file's size in kilobytes; 0 when its status cannot be read.
float FileSizeKB(const std::string& path);
// bytes / 1024 as the tallies hold it.
float BytesToKB(uint64_t bytes);

// The name the Shredder gives a file: every character of the file name that
// is not '.' becomes 'A' (report.doc -> AAAAAA.AAA); folder and dots stay.
std::string ShredName(const std::string& path);

// How one overwrite pass splits size bytes into writes of at most block
// bytes: `whole` writes of block bytes, then one of `last` bytes (0 writes
// for an empty file).
struct WritePlan {
  uint64_t whole;
  uint32_t last;
};
WritePlan PlanWrites(uint64_t size, uint32_t block);

// Sees every overwrite write (file name as opened, fill byte, bytes written).
// For tests; set it while no sweep runs. An empty function removes it.
using OverwriteObserver = std::function<void(const std::string& name, unsigned char fill, uint32_t bytes)>;
void SetOverwriteObserver(OverwriteObserver observer);

// RemoveFile for a file named exactly, also from a drive root or the Windows
// folder: its folder is judged by identity (NamedFileFolderRefusal), never
// by text. Still never acts through a link that leads out of the folder.
void RemoveFileInGuardedFolder(const std::string& path);

// Why a file or folder stays when what a rule keeps cannot be judged for it.
constexpr char kUnjudgedKept[] = "what the rule keeps cannot be judged for it";

// How the removal of one entry of an open folder went.
enum class RemovalResult {
  kRemoved,                // gone (shredded first when the Shredder asked for it)
  kRemovedNotOverwritten,  // gone, but the Shredder could not overwrite it first
  kFailed,                 // still there; *nowPath names it (its shred name once renamed)
  kLeftLink,               // a link that leads out of the folder: left as it is
  kKept,                   // a rule's exclusion keeps it (KeptFilesScope): untouched, not set out to go
  kUnjudged,               // what a rule keeps cannot be judged for it: untouched, and not removed
  kTakenBefore,            // preview only: an earlier step of this preview takes it (TakenInPreview)
  kStayed,                 // the system took the removal, yet the file is still there (kStayedReason)
  kMovedAway,              // under Wine, moved out of its folder before its removal took (kMovedReason)
};

// Why a file the system took the removal of is still there (under Wine, a
// file whose folder was moved as it was removed, or one the file system
// itself will not let go).
constexpr char kStayedReason[] = "it is still there after its removal";
// Why a file or folder is left that was moved out of its folder while it was
// being removed: Wine removes by the name it was opened under, so it would
// stay, unseen, where it went.
constexpr char kMovedReason[] = "it was moved away before its removal";

// The folder a removal works in: its open handle (listing and delete access)
// and the system's name of it (nt::ObjectName), against which every entry
// opened in it is checked.
struct OpenFolder {
  HANDLE handle;
  const std::wstring& objectName;
  const std::string& path;  // the folder as the log names it
};

// Removes the file `name` of folder, opened relative to the folder's handle
// without following a link. Before anything changes, the opened file must be
// the folder's own entry: a file that leads elsewhere (a link, or an entry
// swapped between the listing and the open) is never overwritten, never has
// its attributes changed and is never removed. attributes come from the
// folder listing; the read-only bit is cleared before removal. shred: rename
// and overwrite first. In preview every check runs and nothing changes.
// What a KeptFilesScope keeps is left untouched (kKept), before any open.
RemovalResult RemoveFileAt(const OpenFolder& folder, const std::wstring& name, DWORD attributes, bool shred,
                           std::string* nowPath);
// For tests: called after a file or a walk's folder is marked for removal
// and before its handle closes (a test moves or refills its folder there).
// Set it while no sweep runs; an empty function removes it.
void SetMarkedHookForTests(std::function<void()> hook);
// For tests: called under Wine as the folders on a removed item's way are
// about to be listed (a test hides a link there). Set it while no sweep runs.
void SetLookHookForTests(std::function<void()> hook);
// For tests: called with the path of a file or an emptied folder once it is
// judged and just before it is marked for removal (a test moves it, or a
// folder above it, there); for a walk's own folder, also before it is
// opened to be judged. RemovalHookForTests calls it, when set.
void SetRemovalHookForTests(std::function<void(const std::string& path)> hook);
void RemovalHookForTests(const std::string& path);

// Removes the link `name` of folder as a link. False when it stays (under
// Wine a link cannot be told from what it leads to once opened, so it stays).
bool RemoveLinkAt(const OpenFolder& folder, const std::wstring& name);

// Removes an empty folder through its own open handle (opened with DELETE).
bool RemoveOpenFolder(HANDLE folder);
// Whether `parent` still holds the folder folderId under name once its
// removal was taken and its last handle of ours closed, nobody else holding
// it (Wine removes a folder only then, by name, and says nothing when that
// fails: the folder filled again, or the system would not remove it), or
// another program holding it where parent will refuse its removal.
bool FolderStillThere(HANDLE parent, const std::wstring& name, uint64_t folderId);
// Under Wine a removal takes effect at the last close, by the system name the
// handle was opened under (nt::ObjectName), through whatever links stand on
// that path by then. Whether objectName now leads, through no link, to the
// file or folder fileId (kind: FILE_NON_DIRECTORY_FILE or
// FILE_DIRECTORY_FILE); with alone, when nobody else holds it open, or
// another program does in a folder that will refuse its removal at the close
// (the folder objectName names above it; where it names none, as a letter's
// root, the folder above, if known; if not, held is enough).
bool ReachedByOwnName(const std::wstring& objectName, uint64_t fileId, ULONG kind, bool alone = false,
                      HANDLE above = nullptr);
// Before its removal: ReachedByOwnName for the item our handle (system name
// objectName) is open on, reached by path. Wine drops a trailing dot (or
// space) from the names of the folders on the way in the names it gives;
// there path itself is opened, and must reach the same file under the same
// system name.
bool StillReachedAsOpened(const std::wstring& objectName, const std::string& path, uint64_t fileId, ULONG kind);

