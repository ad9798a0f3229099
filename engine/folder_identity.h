// What a folder is, whatever name reached it, and what holds it: the
// identities the removal guard and a rule's exclusions are judged by.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct FolderIdentity {
  DWORD volume = 0;
  uint64_t index = 0;
  bool operator==(const FolderIdentity& o) const { return volume == o.volume && index == o.index; }
};
// The identity of the file or folder an open handle reaches. False on failure.
bool IdentityOf(HANDLE h, FolderIdentity* out);
// The same, from what GetFileInformationByHandle already gave.
FolderIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info);
// Whether the system is Wine, whose files are names more than objects: a
// volume serial follows the drive letter, and a file marked for removal goes
// by the name it was opened under when its handle closes.
bool RunningUnderWine();

// Opens a folder to learn what it is, following every link on the way (the
// identity of what the path reaches is what counts). INVALID_HANDLE_VALUE
// on failure.
HANDLE OpenToJudge(const std::string& folder);
// The identity of what the folder's name opens. False when it does not open.
bool IdentityOfFolder(const std::string& folder, FolderIdentity* out);

// The identities of the folder behind h and of each of its parents up to
// the root of its volume, nearest first (after every link), and under Wine
// on up past a drive letter that leads to a folder. False when any of them
// cannot be read. named: how many of them the handle's final path names (the
// folder and its parents up to the root it is named under). Under Wine the
// system drive is a folder too; what holds it is added only when
// pastSystemDrive (for a rule's exclusions: the protected places are judged
// as on Windows, where the system drive is a volume).
bool AncestorIdentities(HANDLE h, std::vector<FolderIdentity>& out, size_t* named = nullptr,
                        bool pastSystemDrive = false);
// Whether the last AncestorIdentities on this thread failed because a drive
// letter kept moving under it (not because a folder could not be read).
bool LastAncestryUnsettled();
// Under Wine: the clock's second in which names are given now. Within one
// second Wine names every folder by the drive letters as it read them once.
uint64_t NamingSecond();

// Under Wine: the system's list of mounts, as it stands now (read again at
// each judgement, so that a mount made during a sweep is seen). Empty on
// Windows.
std::string ReadMountList();
// The folders that the list shows in a second place (a folder of a file
// system mounted again elsewhere, as a bind mount does). Such a folder has
// two sets of parents, and a name tells only one: what it is and what it
// holds are judged by neither. A mount point that cannot be opened (a name
// that is not UTF-8) gives the nearest folder above it that can. False when
// even that fails, or when the list was cut short or could not be read: it
// cannot be judged. files: the files mounted onto other files, whose data
// is another place's.
bool FoldersMountedTwice(const std::string& mountList, std::vector<FolderIdentity>* out,
                         std::vector<FolderIdentity>* files = nullptr);

// True when the drive letter leads to a folder rather than to a volume's
// root (subst on Windows; under Wine any letter but the system drive's whose
// folder is neither the top of a file system nor mounted). False when it
// cannot be told.
bool LetterMapsToFolder(wchar_t letter);

// The letter's folder named from above, as the drive that holds its parent
// names it ("\??\D:\lt\w" when G: leads to D:\lt\w; "\??\unix\..." where
// no drive holds it): its parent's system name, and the entry there
// that is that very folder (for a mount's root, its mount point). Empty on
// Windows, for the system drive (a volume, though Wine keeps it in a folder)
// and for the top of the file system. *id: the identity of what the letter
// reaches. False when it cannot be read, or cannot be told.
bool LetterFolderFromAbove(wchar_t letter, std::wstring* above, FolderIdentity* id);
// The letter of the drive the Windows folder is on, upper case; 0 when unknown.
wchar_t SystemDriveLetter();

// Under Wine: reads what the drive letter leads to, and when that differs
// from when it was last read in this process (or it was never read), waits
// until Wine has read its letters again, so that the names it gives from then
// on follow the letter. True when it waited: names read before may be out of
// date. False at once on Windows and for the system drive.
bool FollowDriveLetter(wchar_t letter);
// The same for every letter but the system drive's, at the start of a sweep.
void FollowDriveLetters();
// Moves on whenever a letter is found to lead elsewhere: what was learnt
// by a name under a letter holds only while it stands.
uint64_t DriveLetterGeneration();
