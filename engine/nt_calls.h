// The few native calls the removal code makes on folder handles: opening an
// entry by its name relative to its folder without following a link,
// listing a folder in large batches, marking an open file for deletion, and
// asking an open handle which object it really reaches. Resolved from ntdll
// once; a missing call fails like a refused one.
#pragma once
#include <windows.h>

#include <functional>

#include <cstdint>
#include <string>
#include <vector>

namespace nt {

// NTSTATUS values the callers tell apart.
constexpr LONG kSuccess = 0;
constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006);

// One entry of a folder listing.
struct DirEntry {
  std::wstring name;
  DWORD attributes = 0;
  uint64_t size = 0;
};

// Opens name inside the folder `dir` (never a link's target where the system
// can tell: FILE_OPEN_REPARSE_POINT). options are NtOpenFile's; the status
// is kept in *status. Null on failure (the Win32 error is set too).
// exactCase: name as the folder lists it, matched by case too (Wine looks for
// a name it does not find in another case by reading the whole folder).
HANDLE OpenRelative(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG options,
                    LONG* status, bool exactCase = false);

// Reads the next batch of dir's entries into buffer. restart starts over.
// kNoMoreFiles at the end.
LONG QueryDirectory(HANDLE dir, void* buffer, ULONG size, bool restart);
// Walks one batch: calls next(entry) for each entry of the buffer that the
// last QueryDirectory filled.
template <class F>
void ForEachEntry(const void* buffer, F&& next);
// Decodes the entry at p; returns the offset of the next one (0: last).
ULONG DecodeEntry(const void* p, DirEntry& out);

// Asks the folder `dir` for its entry `name` alone, as a listing gives it:
// its attributes (a link shows there as a reparse point) and its file id.
// False when there is no such entry, or name holds a wildcard character;
// exactCase: also when the first entry listed under name is spelt otherwise.
// The handle must not be one that is being listed.
bool ListedEntry(HANDLE dir, const std::wstring& name, DWORD* attributes, uint64_t* fileId, bool exactCase = false);
// Wine's names drop the dots and spaces that end a name: finds the one entry
// of dir listed as name, or as name with such an end ("p. " for "p"), exact
// in case. False when none is, or more than one: which is meant cannot be
// told. Reads every entry the mask name* gives. The handle must not be one
// that is being listed.
// asFolder: only folders and links are asked; a file beside a folder, named
// as it is with such an end, is no folder anything lies under.
bool ListedAsNamed(HANDLE dir, const std::wstring& name, std::wstring* listed, DWORD* attributes, uint64_t* fileId,
                   bool asFolder = false);
// How the folder dir, opened for listing by a handle not otherwise listed,
// holds the folder with the file id fileId: listed under that id, or as a
// mount point (listed as a reparse point under another id, while its name
// opens the mounted file system's root, whose id is fileId, and mountedHere
// confirms the entry is a mount point). A link, listed with the id of what it
// leads to, is neither; Wine opens a link to a mounted root as it opens a
// mount point, and lists both alike: mountedHere tells them apart.
// confirm, when given, must also accept the entry as opened (by its name
// inside dir).
enum class Holds { kNo, kListed, kMounted };
Holds HoldsFolder(HANDLE dir, uint64_t fileId, const std::function<bool(const std::wstring&)>& mountedHere,
                  const std::function<bool(HANDLE)>& confirm = nullptr);

// The names dir's listing gives, as themselves and not as links, to what
// has the file id fileId (a folder, or a file with several names); and,
// when asked, the names of its folders listed as links (mount points among
// them). False when the listing cannot be read.
bool NamesListedAs(HANDLE dir, uint64_t fileId, std::vector<std::wstring>* names,
                   std::vector<std::wstring>* linkedFolders = nullptr);

// Whether two handles are open on one file or folder. Under Wine a file's
// number does not tell its file system, and a folder's name tells only what
// that name opens now; the system's sharing rules, kept for each file of
// each file system, do tell: an open that will not share writing (or
// deleting) turns away an open of the same file for writing (or deleting).
// Each handle is asked both ways, each time first with nothing held, so
// that a third program holding one of the two cannot pass it for the other.
// kUnknown where no way can be asked (a program holds one of the two and
// shares neither writing nor deleting).
enum class Sameness { kSame, kOther, kUnknown };
Sameness SameObject(HANDLE a, HANDLE b);

// Marks the open file or folder for deletion when its last handle closes.
// Uses the POSIX-semantics form where the system has it (the name goes at
// once, even while another handle is open, and read-only files need no
// attribute change); otherwise the classic form. False when it is refused.
bool MarkForDeletion(HANDLE h);
// Sets the file's attributes (0 leaves them unchanged).
bool SetAttributes(HANDLE h, DWORD attributes);
// The file number of what h is open on, as the file system gives it (no
// question about its volume, which Wine cannot answer for a file whose
// folder moved since it was opened).
bool FileIdOf(HANDLE h, uint64_t* fileId);
// Renames the open file to name inside dir; never replaces an existing file.
bool RenameRelative(HANDLE h, HANDLE dir, const std::wstring& name);

// The system's own name of the object the handle reaches, after every link
// was followed ("\??\C:\x\y" under Wine, "\Device\HarddiskVolume2\x\y" on
// Windows). Comparable only with another result of this call. Empty on failure.
std::wstring ObjectName(HANDLE h);

// The registry's own name of an open key, after every predefined key and
// link was resolved ("\REGISTRY\MACHINE\SOFTWARE\..."). Empty on failure.
std::wstring KeyName(HKEY key);

// The Win32 error of an NTSTATUS.
DWORD ErrorOfStatus(LONG status);

// Text conversions between the program's multibyte paths and the wide ones
// the native calls take.
std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& w);
// The form a Win32 wide call takes for any length: "\\?\C:\..." or
// "\\?\UNC\server\share\...". Relative paths are returned as they are.
std::wstring LongPathForm(const std::string& path);

template <class F>
void ForEachEntry(const void* buffer, F&& next) {
  const char* p = static_cast<const char*>(buffer);
  for (;;) {
    DirEntry e;
    const ULONG step = DecodeEntry(p, e);
    next(e);
    if (step == 0) break;
    p += step;
  }
}

}  // namespace nt
