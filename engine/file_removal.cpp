#include "engine/file_removal.h"

#include <cstring>

#include "engine/folder_identity.h"
#include "engine/letter_places.h"
#include "engine/nt_calls.h"
#include "engine/outcome_ledger.h"
#include "engine/path_text.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"
#include "winlib/unique_handle.h"

namespace {

const uint32_t kShredBlock = 1024;
const uint32_t kWipeBlock = 10240;
const uint64_t kIndexHeader = 64;
const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OverwriteObserver& Observer() {
  static OverwriteObserver observer;
  return observer;
}

// Writes `size` bytes of fill from the current position. False when a write
// fails or falls short: the file then still holds some of its data.
template <uint32_t kBlock>
bool WriteFill(HANDLE h, const std::string& name, unsigned char fill, uint64_t size) {
  unsigned char buffer[kBlock];
  std::memset(buffer, fill, sizeof buffer);
  const WritePlan plan = PlanWrites(size, kBlock);
  const OverwriteObserver& observer = Observer();
  DWORD written = 0;
  for (uint64_t i = 0; i < plan.whole; ++i) {
    if (!::WriteFile(h, buffer, kBlock, &written, nullptr) || written != kBlock) return false;
    if (observer) observer(name, fill, kBlock);
  }
  if (plan.last > 0) {
    if (!::WriteFile(h, buffer, plan.last, &written, nullptr) || written != plan.last) return false;
    if (observer) observer(name, fill, plan.last);
  }
  return true;
}

bool Rewind(HANDLE h) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  return ::SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) != FALSE;
}

// Both passes through the one handle that was checked, so nothing can swap
// the file between them; false (traced) when either falls short.
bool OverwriteOpenFile(HANDLE h, const std::string& name, uint64_t size) {
  if (!Rewind(h) || !WriteFill<kShredBlock>(h, name, 0xFF, size) || !Rewind(h) ||
      !WriteFill<kShredBlock>(h, name, 0x00, size)) {
    Trace("   Cannot overwrite file %s (error %lu).\n", name.c_str(), (unsigned long)::GetLastError());
    return false;
  }
  return true;
}

// A file whose data lives on under another name (other hard links) is not
// overwritten: that data is not only ours.
bool SizeIfPrivate(HANDLE h, uint64_t* size) {
  FILE_STANDARD_INFO standard;
  if (!::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) || standard.Directory ||
      standard.NumberOfLinks > 1)
    return false;
  // A file mounted onto another (Wine: a bind mount) holds another place's data.
  if (IsFileMountedElsewhere(h)) return false;
  *size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  return true;
}

// Opens the folder that holds path for removals inside it, never through a
// final link. Null when it cannot be opened.
HANDLE OpenFolderOf(const std::string& path) {
  std::wstring w = nt::LongPathForm(FolderOf(path));
  if (w.empty()) return INVALID_HANDLE_VALUE;
  if (w.back() != L'\\') w += L'\\';
  return ::CreateFileW(w.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Opens the file at path the way the loops do, for the single-file calls.
// Null with the error set when it cannot be opened or leads out of its folder.
// The folder is opened through open-and-check and judged by the guard on
// that same handle: what is overwritten is what was judged.
HANDLE OpenOwnFile(const std::string& path, ACCESS_MASK access, ULONG share) {
  if (const char* why = TextRefusal(path)) {
    LogRefusal(path, why);
    return nullptr;
  }
  const std::string canonical = CanonicalFolderOf(path);
  HANDLE raw = nullptr;
  std::vector<FolderIdentity> opened;
  if (canonical.empty() ||
      OpenFolderChecked(canonical, ParentLength(canonical), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        &raw, &opened) != FolderOpen::kOpen)
    return nullptr;
  ScopedHandle folder(raw);
  if (const char* why = FolderHandleRefusal(folder.Get(), GuardScope::kReference, opened)) {
    LogRefusal(path, why);
    return nullptr;
  }
  const std::wstring name = nt::Widen(LeafOf(path));
  HANDLE h = nt::OpenRelative(folder.Get(), name, access, share, FILE_NON_DIRECTORY_FILE, nullptr);
  if (h == nullptr) return nullptr;
  if (!ReachesOwnEntry(h, nt::ObjectName(folder.Get()), name)) {
    Trace("   Left %s: it leads out of its folder.\n", path.c_str());
    ::CloseHandle(h);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return h;
}

}  // namespace

bool ShredderOn() { return (g_GeneralSettings.m_nTargets & GENERAL_SHREDDER) != 0; }
bool DeepSweepOn() { return (g_GeneralSettings.m_nTargets & GENERAL_DEEP_SWEEP) != 0; }

void SetOverwriteObserver(OverwriteObserver observer) { Observer() = std::move(observer); }

WritePlan PlanWrites(uint64_t size, uint32_t block) {
  if (size == 0 || block == 0) return {0, 0};
  const uint64_t whole = (size - 1) / block;
  return {whole, static_cast<uint32_t>(size - whole * block)};
}

float BytesToKB(uint64_t bytes) { return static_cast<float>(static_cast<double>(bytes) / 1024.0); }

std::string ShredName(const std::string& path) {
  std::string name = path;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == '\\' || name[i] == '/') break;
    if (name[i] != '.') name[i] = 'A';
  }
  return name;
}

namespace {

// Under Wine, too, a removal another program's handle holds up is made at
// that program's close, and one refused then (the item or its folder
// immutable, append-only, or a folder writable by nobody) is dropped without
// a word. Such an item or folder also refuses to have its time of last
// change set, even to what it is: it is asked that (attributes are not set:
// Wine would widen the permissions).
bool TakesItsOwnTime(HANDLE h, bool folder) {
  FILE_BASIC_INFO info;
  if (h == nullptr || !::GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info) ||
      (folder && (info.FileAttributes & FILE_ATTRIBUTE_READONLY)))
    return false;
  FILE_BASIC_INFO same = {};  // zero: left as it is
  same.LastWriteTime = info.LastWriteTime;
  return ::SetFileInformationByHandle(h, FileBasicInfo, &same, sizeof same) != 0;
}

// Whether an open of name (in root, or a whole system name) refused with
// status met an item another program holds, whose removal, waiting for that
// program, will be refused: by the item, or by folder, the folder it is in
// (null: not known, so it cannot be told to go).
bool HeldWhereItCannotGo(LONG status, HANDLE root, const std::wstring& name, ULONG kind, HANDLE folder) {
  constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043), kDeletePending = static_cast<LONG>(0xC0000056);
  if (status != kSharingViolation && status != kDeletePending) return false;
  constexpr ACCESS_MASK kTimes = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  // Wine opens a file for its attributes as for writing, which an immutable
  // or append-only file refuses: asked so first, nothing changes. One its
  // holder keeps from being written to cannot be asked; only its folder is,
  // then. A folder opens all the same, and is asked by its time, last: what
  // stays keeps its times where it can.
  LONG itemStatus = 0;
  ScopedHandle item(nt::OpenRelative(root, name, kTimes, kShareAll, kind, &itemStatus, true));
  constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
  if (item.Get() == nullptr && itemStatus == kAccessDenied) return true;
  ScopedHandle above(folder == nullptr ? nullptr
                                       : nt::OpenRelative(folder, std::wstring(), kTimes, kShareAll,
                                                          FILE_DIRECTORY_FILE, nullptr));
  if (!TakesItsOwnTime(above.Get(), true)) return true;
  return item.Get() != nullptr && kind == FILE_DIRECTORY_FILE && !TakesItsOwnTime(item.Get(), false);
}

// Whether folder still holds the file fileId under name after its removal,
// and nobody else holds it open. Asked by the exact name (a name that is gone
// costs no reading of the whole folder) relative to the folder's handle,
// which follows the folder wherever it was moved. Only a file nobody else
// holds can be had alone: one still held goes when its holder closes it (the
// open is refused as a sharing violation, or as a removal that is pending),
// unless that removal will be refused.
// kind: FILE_NON_DIRECTORY_FILE or FILE_DIRECTORY_FILE.
bool StillThere(HANDLE folder, const std::wstring& name, uint64_t fileId, ULONG kind) {
  LONG status = 0;
  ScopedHandle alone(nt::OpenRelative(folder, name, DELETE | FILE_READ_ATTRIBUTES, 0, kind, &status, true));
  uint64_t id = 0;
  if (alone.Get() == nullptr) return HeldWhereItCannotGo(status, folder, name, kind, folder);
  return nt::FileIdOf(alone.Get(), &id) && id == fileId;
}

std::function<void()>& MarkedHook() {
  static std::function<void()> hook;
  return hook;
}

std::function<void()>& LookHook() {
  static std::function<void()> hook;
  return hook;
}

std::function<void(const std::string&)>& RemovalHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

}  // namespace

void SetMarkedHookForTests(std::function<void()> hook) { MarkedHook() = std::move(hook); }

void SetLookHookForTests(std::function<void()> hook) { LookHook() = std::move(hook); }

void SetRemovalHookForTests(std::function<void(const std::string& path)> hook) { RemovalHook() = std::move(hook); }

void RemovalHookForTests(const std::string& path) {
  if (RemovalHook()) RemovalHook()(path);
}

namespace {

// Whether Wine's system name for what path reaches can be opened again:
// Wine drops a trailing dot from the names of the folders on the way (a
// trailing space too).
bool NameSurvivesInWine(const std::string& path) {
  for (size_t end = path.find('\\'); ; end = path.find('\\', end + 1)) {
    const size_t at = end == std::string::npos ? path.size() : end;
    if (at > 0 && (path[at - 1] == '.' || path[at - 1] == ' ')) return false;
    if (end == std::string::npos) return true;
  }
}

// A system name without trailing separators, but a drive's root keeps its own.
std::wstring Trimmed(std::wstring n) {
  while (n.size() > 1 && n.back() == L'\\' && n[n.size() - 2] != L':') n.pop_back();
  return n;
}

// Whether Wine's name for the folder h, spelt from above, is spelt.
bool NamedAt(HANDLE h, const std::wstring& spelt) {
  std::wstring name = Trimmed(nt::ObjectName(h));
  return !name.empty() && SpeltFromAbove(&name) && Trimmed(name) == spelt;
}

// Whether each folder on a whole system name ("\\??\\D:\\a\\b\\item") is
// listed in the folder above it as itself, not as a link, from the top: the
// name is first spelt from above any drive letter that leads to a folder
// (SpeltFromAbove), up to a volume's root or the top of the file system.
// Wine's system names drop the dots and spaces that end a name: a folder
// moved to a sibling named as it is plus a dot, with a link left at its
// name, is reached under the same system name, and only the listing shows
// the link. Each name is asked with any such end, and must be listed once:
// a folder beside it under the same name without its end (or with another)
// would leave it unknown which one the item is under.
// The item itself must be listed at the end of the way as itself (itemId),
// not as a link: folders made, since, under the names on the way hold no
// such item, even where a link is put back after the look. Names neither on
// a drive nor under the top (a share) are not asked.
bool NoLinkOnTheWay(std::wstring name, uint64_t itemId) {
  if (!SpeltFromAbove(&name)) return false;
  if (LookHook()) LookHook()();
  name = Trimmed(name);
  static const std::wstring kTop = L"\\??\\unix\\";
  size_t at = 0;
  if (name.compare(0, kTop.size(), kTop) == 0) {
    at = kTop.size() - 1;
  } else {
    const size_t colon = name.find(L':');
    if (colon == std::wstring::npos || name.find(L'\\', 4) < colon) return true;
    at = name.find(L'\\', colon);
    if (at == std::wstring::npos) return true;
  }
  ScopedHandle dir(nt::OpenRelative(nullptr, name.substr(0, at + 1), FILE_LIST_DIRECTORY, kShareAll,
                                    FILE_DIRECTORY_FILE, nullptr, true));
  while (dir.Get() != nullptr && at + 1 < name.size()) {
    const size_t next = name.find(L'\\', at + 1);
    // Each folder is asked of a handle of its own: a handle keeps the first
    // name it was asked to list.
    std::wstring entry = name.substr(at + 1, next == std::wstring::npos ? std::wstring::npos : next - at - 1);
    DWORD attributes = 0;
    uint64_t id = 0;
    std::wstring listed;
    if (next == std::wstring::npos) {
      // The item is known by its number: its name as given, listed as itself,
      // needs no look at others that fit (which would read the whole folder).
      bool found = nt::ListedEntry(dir.Get(), entry, &attributes, &id, true);
      if (!found) {
        ScopedHandle again(nt::OpenRelative(dir.Get(), std::wstring(), FILE_LIST_DIRECTORY, kShareAll,
                                            FILE_DIRECTORY_FILE, nullptr));
        found = again.Get() != nullptr && nt::ListedAsNamed(again.Get(), entry, &listed, &attributes, &id);
      }
      return found && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && id == itemId;
    }
    if (!nt::ListedAsNamed(dir.Get(), entry, &listed, &attributes, &id, true)) return false;
    const bool plain = listed == entry;
    entry = listed;
    dir.Attach(nt::OpenRelative(dir.Get(), entry, FILE_LIST_DIRECTORY, kShareAll, FILE_DIRECTORY_FILE, nullptr, true));
    // Wine lists a mount point as it lists a link. A mount point leads to
    // another file system (listed with no number) and is named where it
    // stands; a link is named where it leads.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (!plain || id != 0 || dir.Get() == nullptr ||
                                                        !NamedAt(dir.Get(), name.substr(0, next))))
      return false;
    at = next;
  }
  return dir.Get() != nullptr;
}

}  // namespace

RemovalResult RemoveFileAt(const OpenFolder& folder, const std::wstring& name, DWORD attributes, bool shred,
                           std::string* nowPath) {
  const bool preview = PreviewActive();
  const std::string path = folder.path + "\\" + nt::Narrow(name);
  *nowPath = path;
  if (const char* why = KeptFileRefusal(folder.handle, name))
    return IsKeptByRule(why) ? RemovalResult::kKept : RemovalResult::kUnjudged;
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  // A read-only file cannot be opened for writing: it is made writable
  // through a first handle, and reopened for the overwrite.
  ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | (readOnly ? FILE_WRITE_ATTRIBUTES : 0);
  if (shred && !readOnly) access |= GENERIC_WRITE;
  ULONG share = shred ? 0 : kShareAll;
  HANDLE raw = nt::OpenRelative(folder.handle, name, access, share, FILE_NON_DIRECTORY_FILE, nullptr);
  bool overwritable = shred;
  if (raw == nullptr && shred) {
    // Held open by someone else: the Shredder cannot have it to itself, but
    // its name may still go.
    raw = nt::OpenRelative(folder.handle, name, DELETE | FILE_READ_ATTRIBUTES | (readOnly ? FILE_WRITE_ATTRIBUTES : 0),
                           kShareAll, FILE_NON_DIRECTORY_FILE, nullptr);
    overwritable = false;
  }
  if (raw == nullptr) return RemovalResult::kFailed;
  ScopedHandle h(raw);
  if (!ReachesOwnEntry(h.Get(), folder.objectName, name)) {
    Trace("   Left %s: it leads out of the folder being swept.\n", path.c_str());
    return RemovalResult::kLeftLink;
  }
  // Wine opens by the folder's path, through any link put on it since the
  // folder was. Below a letter other than the system drive's, the name just
  // compared ends at the letter, and it is given by the letters as Wine read
  // them when the clock's second last turned: a letter led elsewhere and
  // back within it lends the name. Every folder on the way is listed, from
  // above, as itself.
  if (!preview && NamedByAnotherLetter(folder.objectName)) {
    std::wstring item = Trimmed(folder.objectName);
    if (item.back() != L'\\') item += L'\\';
    uint64_t id = 0;
    if (!nt::FileIdOf(h.Get(), &id) || !NoLinkOnTheWay(item + name, id)) return RemovalResult::kMovedAway;
  }
  if (preview) {
    if (TakenInPreview(h.Get())) return RemovalResult::kTakenBefore;
    return (shred && !overwritable) ? RemovalResult::kRemovedNotOverwritten : RemovalResult::kRemoved;
  }

  if (readOnly) {
    if (!nt::SetAttributes(h.Get(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
      Trace("Cannot Set File (%s) Status\n", path.c_str());
    if (overwritable) {
      // Reopened by name inside the same folder handle, and checked again.
      h.Close();
      h.Attach(nt::OpenRelative(folder.handle, name, DELETE | FILE_READ_ATTRIBUTES | GENERIC_WRITE, 0,
                                FILE_NON_DIRECTORY_FILE, nullptr));
      if (h.Get() == nullptr) return RemovalResult::kFailed;
      if (!ReachesOwnEntry(h.Get(), folder.objectName, name)) {
        Trace("   Left %s: it leads out of the folder being swept.\n", path.c_str());
        return RemovalResult::kLeftLink;
      }
    }
  }

  bool overwritten = !shred;
  std::wstring nowName = name;
  if (overwritable) {
    uint64_t size = 0;
    if (SizeIfPrivate(h.Get(), &size)) {
      // Renamed first so that the old name is gone from the folder even if
      // the file stays. A file that already has its shred name, or cannot
      // take it (the name is taken: that file is not ours), keeps its own.
      const std::string shredPath = ShredName(path);
      const std::wstring shredName = nt::Widen(LeafOf(shredPath));
      // A rename the system refuses for another reason (a file mounted in
      // a second place is busy) says the data is not this name's alone:
      // it is never overwritten.
      bool mayOverwrite = true;
      if (!SameNoCase(shredName, name)) {
        if (nt::RenameRelative(h.Get(), folder.handle, shredName)) {
          *nowPath = shredPath;
          nowName = shredName;
        } else {
          mayOverwrite = ::GetLastError() == ERROR_ALREADY_EXISTS || ::GetLastError() == ERROR_FILE_EXISTS;
        }
      }
      overwritten = mayOverwrite && OverwriteOpenFile(h.Get(), *nowPath, size);
    }
  }
  // Windows removes the file object itself; Wine removes the name it was
  // opened under, which a move of its folder meanwhile leaves behind.
  uint64_t marked = 0;
  const bool check = RunningUnderWine() && nt::FileIdOf(h.Get(), &marked);
  RemovalHookForTests(path);
  // An overwrite takes time enough for the file or a folder above it to be
  // moved: Wine would then remove nothing and say nothing, or, through a link
  // left on the way, remove it where it went. Without one, open to close
  // takes microseconds, too few to be worth a look of its own.
  if (check && overwritable &&
      !StillReachedAsOpened(nt::ObjectName(h.Get()), *nowPath, marked, FILE_NON_DIRECTORY_FILE))
    return RemovalResult::kMovedAway;
  if (!nt::MarkForDeletion(h.Get())) return RemovalResult::kFailed;
  if (MarkedHook()) MarkedHook()();
  h.Close();
  if (check && StillThere(folder.handle, nowName, marked, FILE_NON_DIRECTORY_FILE))
    return RemovalResult::kStayed;
  return overwritten ? RemovalResult::kRemoved : RemovalResult::kRemovedNotOverwritten;
}

bool RemoveLinkAt(const OpenFolder& folder, const std::wstring& name) {
  ScopedHandle h(nt::OpenRelative(folder.handle, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, 0, nullptr));
  if (h.Get() == nullptr) return false;
  // Only a handle that shows the link itself may be deleted: where the
  // system followed it (Wine), deleting would remove what it leads to.
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h.Get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !ReachesOwnEntry(h.Get(), folder.objectName, name))
    return false;
  if (PreviewActive()) return true;
  return nt::MarkForDeletion(h.Get());
}

bool RemoveOpenFolder(HANDLE folder) {
  if (PreviewActive()) return true;
  if (!nt::MarkForDeletion(folder)) return false;
  if (MarkedHook()) MarkedHook()();
  return true;
}

bool FolderStillThere(HANDLE parent, const std::wstring& name, uint64_t folderId) {
  return StillThere(parent, name, folderId, FILE_DIRECTORY_FILE);
}


namespace {

// The same file, reached by path under the system name our handle has. The
// system name may have lost a dot: then the path, which has not, is opened.
// Through a link put on it since, it reaches the file under another system
// name, or not at all.
bool ReachedByPath(const std::wstring& objectName, const std::string& path, uint64_t fileId, ULONG kind) {
  std::wstring nt = nt::LongPathForm(path);
  if (nt.compare(0, 4, L"\\\\?\\") != 0) return false;
  nt[1] = L'?';
  ScopedHandle h(nt::OpenRelative(nullptr, nt, FILE_READ_ATTRIBUTES, kShareAll, kind, nullptr, true));
  uint64_t id = 0;
  return h.Get() != nullptr && nt::FileIdOf(h.Get(), &id) && id == fileId &&
         Trimmed(nt::ObjectName(h.Get())) == Trimmed(objectName);
}

}  // namespace

bool StillReachedAsOpened(const std::wstring& objectName, const std::string& path, uint64_t fileId, ULONG kind) {
  const bool reached = NameSurvivesInWine(path) ? ReachedByOwnName(objectName, fileId, kind)
                                                : ReachedByPath(objectName, path, fileId, kind);
  return reached && NoLinkOnTheWay(Trimmed(objectName), fileId);
}

bool ReachedByOwnName(const std::wstring& objectName, uint64_t fileId, ULONG kind, bool alone, HANDLE above) {
  const std::wstring name = Trimmed(objectName);
  if (name.empty()) return false;
  LONG status = 0;
  ScopedHandle h(nt::OpenRelative(nullptr, name, alone ? (DELETE | FILE_READ_ATTRIBUTES) : FILE_READ_ATTRIBUTES,
                                  alone ? 0 : kShareAll, kind, &status, true));
  if (h.Get() == nullptr && alone) {
    // Held by another program: it goes when that program lets go, if its
    // folder takes the removal then. A drive's root (a letter that leads to
    // a folder) names no folder above it: above does, or nothing can tell.
    const size_t cut = name.find_last_of(L'\\');
    const bool root = cut == std::wstring::npos || cut + 1 == name.size();
    ScopedHandle parent(root ? nullptr
                             : nt::OpenRelative(nullptr, name.substr(0, cut > 0 && name[cut - 1] == L':' ? cut + 1 : cut),
                                                FILE_LIST_DIRECTORY, kShareAll, FILE_DIRECTORY_FILE, nullptr, true));
    return HeldWhereItCannotGo(status, nullptr, name, kind, parent.Get() != nullptr ? parent.Get() : above);
  }
  uint64_t id = 0;
  if (h.Get() == nullptr || !nt::FileIdOf(h.Get(), &id) || id != fileId) return false;
  // The name Wine gives a handle is the path it reached, every link
  // resolved: the same name means no link stands on the way. Once removed,
  // reached at all is still there.
  return alone || Trimmed(nt::ObjectName(h.Get())) == name;
}

void RemoveFileInGuardedFolder(const std::string& path) {
  const float sizeKB = FileSizeKB(path);
  ScopedHandle folder(OpenFolderOf(path));
  if (folder.Get() == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    RecordLeft(OutcomeOfError(e), path, ErrorReason(e));
    throw FileException(path, e);
  }
  // The folder is judged by what it is, not by how the path spells it.
  if (const char* why = NamedFileFolderRefusal(folder.Get())) {
    LogRefusal(path, why);
    RecordLeft(RefusedOutcome(why), path, why);
    throw FileException(path, ERROR_ACCESS_DENIED);
  }
  const std::wstring objectName = nt::ObjectName(folder.Get());
  const std::string folderPath = FolderOf(path);
  const OpenFolder at{folder.Get(), objectName, folderPath};
  const bool shred = path.find("index.dat") == std::string::npos && ShredderOn();
  std::string now;
  const RemovalResult r = RemoveFileAt(at, nt::Widen(LeafOf(path)), 0, shred, &now);
  if (r == RemovalResult::kKept) throw FileException(path, ERROR_ACCESS_DENIED);  // not set out to go: no record
  if (r == RemovalResult::kTakenBefore) return;  // counted with what takes it
  if (r == RemovalResult::kFailed || r == RemovalResult::kLeftLink || r == RemovalResult::kUnjudged ||
      r == RemovalResult::kStayed || r == RemovalResult::kMovedAway) {
    const DWORD e = r != RemovalResult::kFailed ? ERROR_ACCESS_DENIED : ::GetLastError();
    if (r == RemovalResult::kLeftLink)
      RecordLeft(Outcome::kRefused, path, "it leads out of its folder");
    else if (r == RemovalResult::kUnjudged)
      RecordLeft(Outcome::kRefused, path, kUnjudgedKept);
    else if (r == RemovalResult::kStayed)
      RecordLeft(Outcome::kFailed, path, kStayedReason);
    else if (r == RemovalResult::kMovedAway)
      RecordLeft(Outcome::kFailed, path, kMovedReason);
    else
      RecordLeft(OutcomeOfError(e), path, ErrorReason(e));
    throw FileException(now, e);
  }
  RecordOutcome(Outcome::kRemoved, path, sizeKB);
}

void RemoveFile(const std::string& path) {
  if (const char* why = RemovalRefusal(path)) {
    LogRefusal(path, why);
    RecordLeft(RefusedOutcome(why), path, why);
    throw FileException(path, ERROR_ACCESS_DENIED);
  }
  RemoveFileInGuardedFolder(path);
}

int OverwriteFile(const std::string& path) {
  ScopedHandle h(OpenOwnFile(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0));
  uint64_t size = 0;
  if (h.Get() == nullptr || !SizeIfPrivate(h.Get(), &size)) return -1;
  if (PreviewActive()) return 1;
  if (!OverwriteOpenFile(h.Get(), path, size)) return -1;
  return ::CloseHandle(h.Detach()) ? 1 : 0;
}

int WipeIndexFile(const std::string& path) {
  // Read and write sharing: the system may hold the file open.
  ScopedHandle h(OpenOwnFile(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
  uint64_t size = 0;
  if (h.Get() == nullptr || !SizeIfPrivate(h.Get(), &size)) return 0;
  if (PreviewActive()) return 1;
  if (size > kIndexHeader) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(kIndexHeader);
    if (!::SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN) ||
        !WriteFill<kWipeBlock>(h.Get(), path, 0x00, size - kIndexHeader))
      Trace("   Cannot wipe %s (error %lu).\n", path.c_str(), (unsigned long)::GetLastError());
  }
  return 1;
}

bool RemoveLink(const std::string& path) {
  ScopedHandle folder(OpenFolderOf(path));
  if (folder.Get() == INVALID_HANDLE_VALUE) return false;
  const std::wstring objectName = nt::ObjectName(folder.Get());
  const std::string folderPath = FolderOf(path);
  return RemoveLinkAt({folder.Get(), objectName, folderPath}, nt::Widen(LeafOf(path)));
}

float FileSizeKB(const std::string& path) {
  FileStatus status;
  return GetFileStatus(path, status) ? BytesToKB(status.m_size) : 0.0f;
}
