#include "engine/nt_calls.h"

#include <winternl.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace nt {
namespace {

using NtOpenFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
using NtQueryDirectoryFileFn = LONG(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, int,
                                           BOOLEAN, PUNICODE_STRING, BOOLEAN);
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

// Information classes and flags, as the native headers number them.
constexpr int kFileDirectoryInformation = 1;
constexpr int kFileBasicInformation = 4;
constexpr int kFileIdBothDirectoryInformation = 37;
constexpr int kFileRenameInformation = 10;
constexpr int kFileDispositionInformation = 13;
constexpr int kFileDispositionInformationEx = 64;
constexpr int kObjectNameInformation = 1;
constexpr int kKeyNameInformation = 3;
constexpr ULONG kDispositionDelete = 0x1, kDispositionPosix = 0x2, kDispositionIgnoreReadOnly = 0x10;

struct DirectoryInformation {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, EndOfFile, AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;
  WCHAR FileName[1];
};

struct IdBothDirectoryInformation {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, EndOfFile, AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;
  ULONG EaSize;
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
};

struct BasicInformation {
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  ULONG FileAttributes;
};

struct Calls {
  Calls() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    open = reinterpret_cast<NtOpenFileFn>(::GetProcAddress(ntdll, "NtOpenFile"));
    query = reinterpret_cast<NtQueryDirectoryFileFn>(::GetProcAddress(ntdll, "NtQueryDirectoryFile"));
    set = reinterpret_cast<NtSetInformationFileFn>(::GetProcAddress(ntdll, "NtSetInformationFile"));
    info = reinterpret_cast<NtQueryInformationFileFn>(::GetProcAddress(ntdll, "NtQueryInformationFile"));
    object = reinterpret_cast<NtQueryObjectFn>(::GetProcAddress(ntdll, "NtQueryObject"));
    toDos = reinterpret_cast<RtlNtStatusToDosErrorFn>(::GetProcAddress(ntdll, "RtlNtStatusToDosError"));
    queryKey = reinterpret_cast<NtQueryKeyFn>(::GetProcAddress(ntdll, "NtQueryKey"));
  }
  NtOpenFileFn open;
  NtQueryDirectoryFileFn query;
  NtSetInformationFileFn set;
  NtQueryInformationFileFn info;
  NtQueryObjectFn object;
  RtlNtStatusToDosErrorFn toDos;
  NtQueryKeyFn queryKey;
};

const Calls& Ntdll() {
  static const Calls calls;
  return calls;
}

void SetErrorFrom(LONG status) {
  const Calls& c = Ntdll();
  ::SetLastError(c.toDos != nullptr ? c.toDos(status) : ERROR_GEN_FAILURE);
}

// Cleared the first time the system turns the POSIX disposition down
// (Wine 8, Windows before 10 1607); the classic form is used from then on.
std::atomic<bool> g_posixDisposition{true};

}  // namespace

HANDLE OpenRelative(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG options,
                    LONG* status, bool exactCase) {
  const Calls& c = Ntdll();
  LONG st = static_cast<LONG>(0xC0000002);  // not implemented
  HANDLE h = nullptr;
  if (c.open != nullptr && name.size() < 32767) {
    UNICODE_STRING us;
    us.Buffer = const_cast<PWSTR>(name.c_str());
    us.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    us.MaximumLength = us.Length;
    OBJECT_ATTRIBUTES oa;
    InitializeObjectAttributes(&oa, &us, exactCase ? 0 : OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io;
    st = c.open(&h, access | SYNCHRONIZE, &oa, &io, share,
                options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT);
  }
  if (status != nullptr) *status = st;
  if (st != kSuccess) {
    SetErrorFrom(st);
    return nullptr;
  }
  return h;
}

LONG QueryDirectory(HANDLE dir, void* buffer, ULONG size, bool restart) {
  const Calls& c = Ntdll();
  if (c.query == nullptr) return static_cast<LONG>(0xC0000002);
  IO_STATUS_BLOCK io;
  const LONG st = c.query(dir, nullptr, nullptr, nullptr, &io, buffer, size, kFileDirectoryInformation, FALSE,
                          nullptr, restart ? TRUE : FALSE);
  if (st != kSuccess) SetErrorFrom(st);
  return st;
}

bool ListedEntry(HANDLE dir, const std::wstring& name, DWORD* attributes, uint64_t* fileId, bool exactCase) {
  const Calls& c = Ntdll();
  if (c.query == nullptr || name.empty() || name.size() > 255 || name.find_first_of(L"*?<>\"\\/") != std::wstring::npos)
    return false;
  alignas(8) char buffer[sizeof(IdBothDirectoryInformation) + 256 * sizeof(wchar_t)];
  UNICODE_STRING mask;
  mask.Buffer = const_cast<PWSTR>(name.c_str());
  mask.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  mask.MaximumLength = mask.Length;
  IO_STATUS_BLOCK io;
  if (c.query(dir, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer, kFileIdBothDirectoryInformation, TRUE, &mask,
              TRUE) != kSuccess)
    return false;
  IdBothDirectoryInformation info;
  std::memcpy(&info, buffer, offsetof(IdBothDirectoryInformation, FileName));
  const size_t chars = info.FileNameLength / sizeof(wchar_t);
  if (offsetof(IdBothDirectoryInformation, FileName) + info.FileNameLength > sizeof buffer) return false;
  const wchar_t* listed = reinterpret_cast<const wchar_t*>(buffer + offsetof(IdBothDirectoryInformation, FileName));
  if (::CompareStringOrdinal(listed, static_cast<int>(chars), name.c_str(), static_cast<int>(name.size()),
                            exactCase ? FALSE : TRUE) !=
      CSTR_EQUAL)
    return false;
  *attributes = info.FileAttributes;
  *fileId = static_cast<uint64_t>(info.FileId.QuadPart);
  return true;
}

namespace {

// One entry of a folder's listing, as the walk below hands it on.
struct Listed {
  DWORD attributes;
  uint64_t fileId;
  std::wstring_view name;
};

enum class Walked { kToEnd, kStopped, kFailed };

// Reads dir's listing from its start, of the names mask fits (all when
// empty), handing each entry to each until it answers false (kStopped).
// kFailed: the listing could not be read, or an entry overran the buffer.
Walked EachListed(HANDLE dir, const std::wstring& mask, const std::function<bool(const Listed&)>& each) {
  const Calls& c = Ntdll();
  if (c.query == nullptr) return Walked::kFailed;
  UNICODE_STRING us;
  us.Buffer = const_cast<PWSTR>(mask.c_str());
  us.Length = static_cast<USHORT>(mask.size() * sizeof(wchar_t));
  us.MaximumLength = us.Length;
  std::vector<char> buffer(64 * 1024);
  for (bool restart = true;; restart = false) {
    IO_STATUS_BLOCK io;
    const LONG st = c.query(dir, nullptr, nullptr, nullptr, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                            kFileIdBothDirectoryInformation, FALSE, mask.empty() ? nullptr : &us, restart);
    if (st == kNoMoreFiles) return Walked::kToEnd;
    if (st != kSuccess) return Walked::kFailed;
    for (size_t at = 0;;) {
      const size_t text = at + offsetof(IdBothDirectoryInformation, FileName);
      IdBothDirectoryInformation info;
      if (text > buffer.size()) return Walked::kFailed;
      std::memcpy(&info, buffer.data() + at, offsetof(IdBothDirectoryInformation, FileName));
      if (text + info.FileNameLength > buffer.size()) return Walked::kFailed;
      const Listed entry{info.FileAttributes, static_cast<uint64_t>(info.FileId.QuadPart),
                         std::wstring_view(reinterpret_cast<const wchar_t*>(buffer.data() + text),
                                           info.FileNameLength / sizeof(wchar_t))};
      if (!each(entry)) return Walked::kStopped;
      if (info.NextEntryOffset == 0) break;
      at += info.NextEntryOffset;
    }
  }
}

// Reads dir's whole listing: true, with the names of its folders that are
// reparse points (links, mount points) up to kMaxNames, unless an entry that
// is none has fileId (then *listed). A link is listed with the id of what it
// leads to (Wine): it never holds what it leads to.
// listedNames: when given, the listing is read to its end, and the names
// listed under fileId gathered there instead of stopping at the first.
bool ScanListing(HANDLE dir, uint64_t fileId, bool* listed, std::vector<std::wstring>* folders,
                 std::vector<std::wstring>* listedNames = nullptr) {
  constexpr size_t kMaxNames = 4096;
  return EachListed(dir, std::wstring(), [&](const Listed& e) {
           const bool reparse = (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
           const bool sameId = e.fileId == fileId;
           if (sameId && !reparse) {
             *listed = true;
             if (listedNames == nullptr) return false;
             if (listedNames->size() < 16) listedNames->emplace_back(e.name);
           }
           if (folders != nullptr && !sameId && reparse && (e.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
               folders->size() < kMaxNames && e.name != L"." && e.name != L"..")
             folders->emplace_back(e.name);
           return true;
         }) != Walked::kFailed;
}

}  // namespace

bool ListedAsNamed(HANDLE dir, const std::wstring& name, std::wstring* listed, DWORD* attributes, uint64_t* fileId,
                   bool asFolder) {
  constexpr DWORD kFolderLike = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (name.empty() || name.size() > 255 || name.find_first_of(L"*?<>\"\\/") != std::wstring::npos) return false;
  if (name.size() == 255) {
    // Nothing longer can be listed: the name alone is asked.
    if (!ListedEntry(dir, name, attributes, fileId, true) || (asFolder && (*attributes & kFolderLike) == 0))
      return false;
    *listed = name;
    return true;
  }
  int fits = 0;
  const Walked walked = EachListed(dir, name + L"*", [&](const Listed& e) {
    if (e.name.size() >= name.size() && e.name.compare(0, name.size(), name) == 0 &&
        e.name.find_first_not_of(L". ", name.size()) == std::wstring_view::npos &&
        (!asFolder || (e.attributes & kFolderLike) != 0) && ++fits == 1) {
      *listed = std::wstring(e.name);
      *attributes = e.attributes;
      *fileId = e.fileId;
    }
    return true;
  });
  return walked == Walked::kToEnd && fits == 1;
}

bool NamesListedAs(HANDLE dir, uint64_t fileId, std::vector<std::wstring>* names,
                   std::vector<std::wstring>* linkedFolders) {
  bool listed = false;
  names->clear();
  if (linkedFolders != nullptr) linkedFolders->clear();
  return ScanListing(dir, fileId, &listed, linkedFolders, names);
}

Holds HoldsFolder(HANDLE dir, uint64_t fileId, const std::function<bool(const std::wstring&)>& mountedHere,
                  const std::function<bool(HANDLE)>& confirm) {
  bool listed = false;
  std::vector<std::wstring> folders, listedNames;
  if (!ScanListing(dir, fileId, &listed, &folders, confirm ? &listedNames : nullptr)) return Holds::kNo;
  const auto opensAsIt = [&](const std::wstring& name, bool* same) {
    HANDLE h = OpenRelative(dir, name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            FILE_DIRECTORY_FILE, nullptr);
    if (h == nullptr) return false;
    BY_HANDLE_FILE_INFORMATION info;
    *same = ::GetFileInformationByHandle(h, &info) &&
            ((static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow) == fileId;
    const bool confirmed = *same && (!confirm || confirm(h));
    ::CloseHandle(h);
    return confirmed;
  };
  if (listed && !confirm) return Holds::kListed;
  bool same = false;
  for (const auto& name : listedNames)
    if (opensAsIt(name, &same)) return Holds::kListed;
  for (const auto& name : folders) {
    const bool confirmed = opensAsIt(name, &same);
    if (same && confirmed && mountedHere(name)) return Holds::kMounted;
  }
  return Holds::kNo;
}

Sameness SameObject(HANDLE a, HANDLE b) {
  uint64_t idA = 0, idB = 0;
  if (!FileIdOf(a, &idA) || !FileIdOf(b, &idB)) return Sameness::kUnknown;
  if (idA != idB) return Sameness::kOther;
  constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043);
  constexpr ULONG kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // A hold that reads but will not share writing (or deleting), and an open
  // for writing (or deleting). Writing first: a walk holds its folders open
  // for deletion, and a process's current folder will not share deleting.
  const struct {
    ULONG holdShare;
    ACCESS_MASK ask;
  } ways[] = {{FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_WRITE_DATA}, {FILE_SHARE_READ | FILE_SHARE_WRITE, DELETE}};
  const auto open = [&](HANDLE h, ACCESS_MASK access, ULONG share, LONG* st) {
    return OpenRelative(h, std::wstring(), access, share, 0, st);
  };
  // second's file is opened so first with nothing held (no one else turns
  // it away), then again while first's is held (only the same file does).
  // False: cannot be asked.
  const auto turnedAway = [&](HANDLE first, HANDLE second, size_t way, bool* away) {
    LONG st = kSuccess;
    HANDLE ask = open(second, ways[way].ask, kAll, &st);
    if (ask == nullptr) return false;
    ::CloseHandle(ask);
    HANDLE hold = open(first, FILE_READ_DATA, ways[way].holdShare, nullptr);
    if (hold == nullptr) return false;
    ask = open(second, ways[way].ask, kAll, &st);
    if (ask != nullptr) ::CloseHandle(ask);
    ::CloseHandle(hold);
    *away = ask == nullptr && st == kSharingViolation;
    return ask != nullptr || *away;
  };
  for (size_t way = 0; way < 2; ++way) {
    bool away = false, back = false;
    if (!turnedAway(a, b, way, &away)) continue;
    if (!away) return Sameness::kOther;
    if (!turnedAway(b, a, way, &back)) return Sameness::kUnknown;
    return back ? Sameness::kSame : Sameness::kOther;
  }
  return Sameness::kUnknown;
}

ULONG DecodeEntry(const void* p, DirEntry& out) {
  DirectoryInformation info;
  std::memcpy(&info, p, offsetof(DirectoryInformation, FileName));
  const wchar_t* name = reinterpret_cast<const wchar_t*>(static_cast<const char*>(p) +
                                                         offsetof(DirectoryInformation, FileName));
  out.name.assign(name, info.FileNameLength / sizeof(wchar_t));
  out.attributes = info.FileAttributes;
  out.size = static_cast<uint64_t>(info.EndOfFile.QuadPart);
  return info.NextEntryOffset;
}

bool MarkForDeletion(HANDLE h) {
  const Calls& c = Ntdll();
  if (c.set == nullptr) return false;
  IO_STATUS_BLOCK io;
  if (g_posixDisposition.load(std::memory_order_relaxed)) {
    ULONG flags = kDispositionDelete | kDispositionPosix | kDispositionIgnoreReadOnly;
    const LONG st = c.set(h, &io, &flags, sizeof flags, kFileDispositionInformationEx);
    if (st == kSuccess) return true;
    // Only "this form is unknown" moves to the classic one for good; any other
    // refusal (a folder not empty, access denied) is the answer for this file.
    const bool unknown = st == static_cast<LONG>(0xC0000002) || st == static_cast<LONG>(0xC0000003) ||
                         st == static_cast<LONG>(0xC000000D);
    if (!unknown) {
      SetErrorFrom(st);
      return false;
    }
    g_posixDisposition.store(false, std::memory_order_relaxed);
  }
  BOOLEAN del = TRUE;
  const LONG st = c.set(h, &io, &del, sizeof del, kFileDispositionInformation);
  if (st != kSuccess) SetErrorFrom(st);
  return st == kSuccess;
}

bool FileIdOf(HANDLE h, uint64_t* fileId) {
  const Calls& c = Ntdll();
  if (c.info == nullptr) return false;
  constexpr int kFileInternalInformation = 6;
  LARGE_INTEGER id;
  IO_STATUS_BLOCK io;
  const LONG st = c.info(h, &io, &id, sizeof id, kFileInternalInformation);
  if (st != kSuccess) {
    SetErrorFrom(st);
    return false;
  }
  *fileId = static_cast<uint64_t>(id.QuadPart);
  return true;
}

bool SetAttributes(HANDLE h, DWORD attributes) {
  const Calls& c = Ntdll();
  if (c.set == nullptr) return false;
  BasicInformation basic;
  std::memset(&basic, 0, sizeof basic);  // zero times: leave them as they are
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  IO_STATUS_BLOCK io;
  const LONG st = c.set(h, &io, &basic, sizeof basic, kFileBasicInformation);
  if (st != kSuccess) SetErrorFrom(st);
  return st == kSuccess;
}

bool RenameRelative(HANDLE h, HANDLE dir, const std::wstring& name) {
  const Calls& c = Ntdll();
  if (c.set == nullptr) return false;
  // FILE_RENAME_INFORMATION: ReplaceIfExists, RootDirectory, FileNameLength, FileName.
  struct Head {
    BOOLEAN replace;
    HANDLE root;
    ULONG length;
  };
  const size_t nameOffset = offsetof(Head, length) + sizeof(ULONG);
  std::string buffer(nameOffset + (name.size() + 1) * sizeof(wchar_t), '\0');
  Head head = {FALSE, dir, static_cast<ULONG>(name.size() * sizeof(wchar_t))};
  std::memcpy(&buffer[0], &head, sizeof head);
  std::memcpy(&buffer[nameOffset], name.data(), head.length);
  IO_STATUS_BLOCK io;
  const LONG st = c.set(h, &io, &buffer[0], static_cast<ULONG>(buffer.size()), kFileRenameInformation);
  if (st != kSuccess) SetErrorFrom(st);
  return st == kSuccess;
}

std::wstring ObjectName(HANDLE h) {
  const Calls& c = Ntdll();
  if (c.object == nullptr) return std::wstring();
  alignas(8) char buffer[4096];
  ULONG needed = 0;
  std::string big;
  void* at = buffer;
  LONG st = c.object(h, kObjectNameInformation, buffer, sizeof buffer, &needed);
  if (st != kSuccess && needed > sizeof buffer) {
    big.assign(needed + 16, '\0');
    at = &big[0];
    st = c.object(h, kObjectNameInformation, at, static_cast<ULONG>(big.size()), &needed);
  }
  if (st != kSuccess) return std::wstring();
  const UNICODE_STRING* us = static_cast<const UNICODE_STRING*>(at);
  if (us->Buffer == nullptr) return std::wstring();
  return std::wstring(us->Buffer, us->Length / sizeof(wchar_t));
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring LongPathForm(const std::string& path) {
  std::wstring w = Widen(path);
  for (wchar_t& ch : w)
    if (ch == L'/') ch = L'\\';
  if (w.compare(0, 4, L"\\\\?\\") == 0) return w;
  if (w.size() >= 3 && w[1] == L':' && w[2] == L'\\') return L"\\\\?\\" + w;
  if (w.compare(0, 2, L"\\\\") == 0 && w.size() > 2 && w[2] != L'.') return L"\\\\?\\UNC\\" + w.substr(2);
  return w;
}

std::wstring KeyName(HKEY key) {
  if (Ntdll().queryKey == nullptr || key == nullptr) return std::wstring();
  ULONG need = 0;
  std::vector<char> buffer(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const LONG status =
        Ntdll().queryKey(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &need);
    if (status == kSuccess) {
      ULONG bytes = 0;
      std::memcpy(&bytes, buffer.data(), sizeof bytes);
      if (bytes > buffer.size() - sizeof(ULONG)) return std::wstring();
      return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)), bytes / sizeof(wchar_t));
    }
    if (need <= buffer.size() || need > 65536) return std::wstring();
    buffer.resize(need);
  }
  return std::wstring();
}

DWORD ErrorOfStatus(LONG status) {
  const Calls& c = Ntdll();
  return c.toDos != nullptr ? c.toDos(status) : ERROR_GEN_FAILURE;
}

}  // namespace nt
