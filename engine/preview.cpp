#include "engine/preview.h"

#include <set>
#include <utility>

#include "engine/removal_guard.h"
#include "winlib/unique_handle.h"

namespace {
thread_local bool t_bPreview = false;
thread_local std::set<std::pair<DWORD, uint64_t>> t_taken;
}  // namespace

bool PreviewActive() { return t_bPreview; }

PreviewScope::PreviewScope(bool on) : m_bPrevious(t_bPreview) {
  if (on != t_bPreview) t_taken.clear();
  t_bPreview = on;
}

PreviewScope::~PreviewScope() {
  if (m_bPrevious != t_bPreview) t_taken.clear();
  t_bPreview = m_bPrevious;
}

void NoteTakenInPreview(const std::string& path) {
  if (!t_bPreview || path.empty()) return;
  ScopedFile file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FolderIdentity id;
  if (file.Get() == INVALID_HANDLE_VALUE || !IdentityOf(file.Get(), &id)) return;
  t_taken.emplace(id.volume, id.index);
}

bool TakenInPreview(HANDLE file) {
  if (!t_bPreview || t_taken.empty()) return false;
  FolderIdentity id;
  return IdentityOf(file, &id) && t_taken.count(std::make_pair(id.volume, id.index)) != 0;
}
