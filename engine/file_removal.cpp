#include "engine/file_removal.h"

#include <cstring>

#include "engine/removal_guard.h"
#include "settings/settings_groups.h"

namespace {

const uint32_t kShredBlock = 1024;
const uint32_t kWipeBlock = 10240;
const uint64_t kIndexHeader = 64;

OverwriteObserver& Observer() {
  static OverwriteObserver observer;
  return observer;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), (int)a.size(), b.c_str(), (int)b.size()) ==
         CSTR_EQUAL;
}

// Opens a file for overwriting, never through a link. A link, or a file with
// other hard links, is refused: writing would change data that lives on under
// another name, outside what was asked to be swept. Size is set on success.
HANDLE OpenForOverwrite(const std::string& name, DWORD access, DWORD share, uint64_t* size) {
  HANDLE h = ::CreateFileA(name.c_str(), access, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  // The two small queries, not GetFileInformationByHandle: under Wine that
  // costs more than the whole overwrite of a small file.
  FILE_BASIC_INFO basic;
  FILE_STANDARD_INFO standard;
  if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
      !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) ||
      (basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) || standard.Directory ||
      standard.NumberOfLinks > 1) {
    ::CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  *size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  return h;
}

// Writes `size` bytes of fill from the current position.
template <uint32_t kBlock>
bool WriteFill(HANDLE h, const std::string& name, unsigned char fill, uint64_t size) {
  unsigned char buffer[kBlock];
  std::memset(buffer, fill, sizeof buffer);
  const WritePlan plan = PlanWrites(size, kBlock);
  const OverwriteObserver& observer = Observer();
  DWORD written = 0;
  for (uint64_t i = 0; i < plan.whole; ++i) {
    if (!::WriteFile(h, buffer, kBlock, &written, nullptr)) return false;
    if (observer) observer(name, fill, kBlock);
  }
  if (plan.last > 0) {
    if (!::WriteFile(h, buffer, plan.last, &written, nullptr)) return false;
    if (observer) observer(name, fill, plan.last);
  }
  return true;
}

// The NT form of an absolute path, which renaming through a handle needs.
std::wstring NtPath(const std::string& path) {
  std::string nt;
  if (path.compare(0, 4, "\\\\?\\") == 0)
    nt = "\\??\\" + path.substr(4);
  else if (path.compare(0, 2, "\\\\") == 0)
    nt = "\\??\\UNC\\" + path.substr(2);
  else
    nt = "\\??\\" + path;
  int n = ::MultiByteToWideChar(CP_ACP, 0, nt.c_str(), (int)nt.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, nt.c_str(), (int)nt.size(), &w[0], n);
  return w;
}

// Renames the open file; never replaces a file that has the new name.
bool RenameOpenFile(HANDLE h, const std::string& newPath) {
  const std::wstring target = NtPath(newPath);
  const size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
  std::string buffer(bytes, '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.data(), info->FileNameLength);
  return ::SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(bytes)) != FALSE;
}

// One pass over the whole file with fill. False when it cannot be opened.
bool OverwritePass(const std::string& name, unsigned char fill, BOOL* closed) {
  uint64_t size = 0;
  HANDLE h = OpenForOverwrite(name, GENERIC_WRITE, 0, &size);
  if (h == INVALID_HANDLE_VALUE) return false;
  WriteFill<kShredBlock>(h, name, fill, size);
  const BOOL ok = ::CloseHandle(h);
  if (closed) *closed = ok;
  return true;
}

// Shreds and removes a file: renamed first so that the old name is gone from
// the folder even if the file stays, then overwritten with 0xFF and 0x00.
// Closing and reopening between the passes hands the first pass to the
// system before the second is written over it. Renaming, overwriting and
// deleting all go through handles to the one file that was opened first.
void ShredAndRemove(const std::string& path) {
  const DWORD access = GENERIC_WRITE | DELETE;
  uint64_t size = 0;
  HANDLE h = OpenForOverwrite(path, access, 0, &size);
  if (h == INVALID_HANDLE_VALUE) {
    RemoveFileOrThrow(path);  // locked, a link, or shared data: only its name goes
    return;
  }
  // A file that already has its shred name, or that cannot take it (the name
  // is taken: that file is not ours to delete), is shredded under its own.
  std::string name = path;
  const std::string shredName = ShredName(path);
  if (!SameNameIgnoringCase(shredName, path) && RenameOpenFile(h, shredName)) name = shredName;
  WriteFill<kShredBlock>(h, name, 0xFF, size);
  ::CloseHandle(h);

  h = OpenForOverwrite(name, access, 0, &size);
  if (h == INVALID_HANDLE_VALUE) {
    RemoveFileOrThrow(name);
    return;
  }
  WriteFill<kShredBlock>(h, name, 0x00, size);
  FILE_DISPOSITION_INFO dispose = {TRUE};
  const bool disposed = ::SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
  ::CloseHandle(h);
  if (!disposed) RemoveFileOrThrow(name);  // reports the failure under the name it has now
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

void RemoveFileInGuardedFolder(const std::string& path) {
  if (path.find("index.dat") != std::string::npos || !ShredderOn())
    RemoveFileOrThrow(path);
  else
    ShredAndRemove(path);
}

void RemoveFile(const std::string& path) {
  if (!RemovalAllowed(path)) throw FileException(path, ERROR_ACCESS_DENIED);
  RemoveFileInGuardedFolder(path);
}

int OverwriteFile(const std::string& path) {
  if (!RemovalAllowed(path)) return -1;
  if (!OverwritePass(path, 0xFF, nullptr)) return -1;
  BOOL closed = FALSE;
  if (!OverwritePass(path, 0x00, &closed)) return -1;
  return closed;
}

int WipeIndexFile(const std::string& path) {
  if (!RemovalAllowed(path)) return 0;
  uint64_t size = 0;
  HANDLE h = OpenForOverwrite(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &size);
  if (h == INVALID_HANDLE_VALUE) return 0;
  if (size > kIndexHeader) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(kIndexHeader);
    if (::SetFilePointerEx(h, at, nullptr, FILE_BEGIN)) WriteFill<kWipeBlock>(h, path, 0x00, size - kIndexHeader);
  }
  ::CloseHandle(h);
  return 1;
}

bool RemoveLink(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool removed = false;
  if (::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    removed = ::SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
  }
  ::CloseHandle(h);
  return removed && ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

float FileSizeKB(const std::string& path) {
  FileStatus status;
  return GetFileStatus(path, status) ? BytesToKB(status.m_size) : 0.0f;
}
