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
// another name, outside what was asked to be swept.
HANDLE OpenForOverwrite(const std::string& name, DWORD share) {
  HANDLE h = ::CreateFileA(name.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || info.nNumberOfLinks > 1) {
    ::CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

uint64_t SizeOf(HANDLE h) {
  LARGE_INTEGER size;
  return ::GetFileSizeEx(h, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

// Writes `size` bytes of the buffer's fill from the current position.
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

// One pass over the whole file with fill; false when it cannot be opened.
bool OverwritePass(const std::string& name, unsigned char fill, BOOL* closed) {
  HANDLE h = OpenForOverwrite(name, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  WriteFill<kShredBlock>(h, name, fill, SizeOf(h));
  const BOOL ok = ::CloseHandle(h);
  if (closed) *closed = ok;
  return true;
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
  if (path.find("index.dat") != std::string::npos || !ShredderOn()) {
    RemoveFileOrThrow(path);
    return;
  }
  // Renamed first so that the old name is gone from the folder even if the
  // file stays. A file that already has its shred name, or that cannot take
  // it (the name is taken: that file is not ours to delete), is shredded
  // under the name it has.
  std::string name = path;
  const std::string shredName = ShredName(path);
  if (!SameNameIgnoringCase(shredName, path) && ::MoveFileA(path.c_str(), shredName.c_str())) name = shredName;
  // Closing and reopening between the passes hands the first pass to the
  // system before the second is written over it.
  if (OverwritePass(name, 0xFF, nullptr)) OverwritePass(name, 0x00, nullptr);
  RemoveFileOrThrow(name);
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
  HANDLE h = OpenForOverwrite(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (h == INVALID_HANDLE_VALUE) return 0;
  const uint64_t size = SizeOf(h);
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
