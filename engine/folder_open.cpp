#include "engine/folder_open.h"

#include "engine/nt_calls.h"
#include "engine/path_text.h"
#include "engine/wildcard_path.h"
#include "winlib/trace.h"
#include "winlib/unique_handle.h"

namespace {

const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FolderOpen FromError(DWORD e) {
  return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? FolderOpen::kMissing : FolderOpen::kFailed;
}

// A folder's system name is not always its parent's name and its own: under
// Wine a folder that a drive letter leads to is named by that letter
// ("\??\W:\"). It is still the parent's own entry when the parent lists it
// under that name as a folder that is no link, with the handle's file id.
bool ListedAsOwnFolder(HANDLE parent, const std::wstring& name, const BY_HANDLE_FILE_INFORMATION& info) {
  // Listed through a handle of its own: a listing's name mask stays with the
  // handle, and the parent's may be in the middle of a walk's listing.
  HANDLE own = nt::OpenRelative(parent, std::wstring(), FILE_LIST_DIRECTORY, kShareAll,
                                FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, nullptr);
  if (own == nullptr) return false;
  ScopedHandle listing(own);
  DWORD attributes = 0;
  uint64_t id = 0;
  if (!nt::ListedEntry(own, name, &attributes, &id)) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         id == IdentityOf(info).index;
}

}  // namespace

bool ReachesOwnEntry(HANDLE h, const std::wstring& folderObjectName, const std::wstring& name) {
  if (folderObjectName.empty()) return false;
  std::wstring expected = folderObjectName;
  if (expected.back() != L'\\') expected += L'\\';
  expected += name;
  return SameNoCase(nt::ObjectName(h), expected);
}

bool IsOwnFolderEntry(HANDLE parent, const std::wstring& parentObjectName, HANDLE h, const std::wstring& name,
                      const BY_HANDLE_FILE_INFORMATION& info) {
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  return ReachesOwnEntry(h, parentObjectName, name) || ListedAsOwnFolder(parent, name, info);
}

size_t ParentLength(const std::string& folder) {
  const size_t cut = folder.find_last_of('\\');
  if (cut == std::string::npos) return folder.size();
  return cut < 3 ? 3 : cut;
}

FolderOpen OpenFolderChecked(const std::string& folder, size_t trustedLength, ACCESS_MASK access, HANDLE* out,
                             std::vector<FolderIdentity>* opened) {
  *out = nullptr;
  if (folder.size() < 2 || folder[1] != ':') return FolderOpen::kFailed;
  // The trusted part ends at a segment's end: never inside a name.
  size_t trusted = trustedLength < 3 ? 3 : trustedLength;
  if (trusted < folder.size() && folder[trusted] != '\\') trusted = folder.rfind('\\', trusted);
  if (trusted == std::string::npos || trusted < 2) trusted = 3;
  if (trusted > folder.size()) trusted = folder.size();
  std::string head = folder.substr(0, trusted);
  if (head.size() == 2) head += '\\';
  const std::vector<std::string> rest = SplitPath(trusted < folder.size() ? folder.substr(trusted) : std::string());
  std::wstring w = nt::LongPathForm(head);
  if (w.back() != L'\\') w += L'\\';
  const ACCESS_MASK walk = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  HANDLE top = ::CreateFileW(w.c_str(), rest.empty() ? (access | walk) : walk, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (top == INVALID_HANDLE_VALUE) return FromError(::GetLastError());
  ScopedHandle current(top);
  if (opened != nullptr && !AncestorIdentities(top, *opened)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FolderOpen::kFailed;
  }
  for (size_t i = 0; i < rest.size(); ++i) {
    const std::wstring name = nt::Widen(rest[i]);
    const bool last = i + 1 == rest.size();
    LONG status = 0;
    HANDLE raw = nt::OpenRelative(current.Get(), name, last ? (access | walk) : walk, kShareAll,
                                  FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, &status);
    if (raw == nullptr) return FromError(::GetLastError());
    ScopedHandle next(raw);
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(raw, &info) ||
        !IsOwnFolderEntry(current.Get(), nt::ObjectName(current.Get()), raw, name, info)) {
      Trace("   %s: %s is a link or leads out of its folder.\n", folder.c_str(), rest[i].c_str());
      return FolderOpen::kLink;
    }
    if (opened != nullptr) opened->insert(opened->begin(), IdentityOf(info));
    current.Attach(next.Detach());
  }
  *out = current.Detach();
  return FolderOpen::kOpen;
}
