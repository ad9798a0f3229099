// The URL cache cleaner: enumeration with a growing entry buffer, the two
// deletion sequences with their replacement files, and the entry lines.
#include "engine/url_cache.h"

#include <cstdio>
#include <new>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"

namespace {

constexpr DWORD kFirstBufferSize = 4248;
// No entry of a real cache comes near this; a larger size is a fault of the
// cache or of the call, and ends the walk instead of the process.
constexpr DWORD kLargestEntryBuffer = 1024 * 1024;
constexpr DWORD kContainerBits = 0x100000 | 0x200000;  // cookie, URL history

// What the deletion needs of one entry, copied out of the search buffer.
struct CacheEntry {
  std::string url;
  std::string localFile;
  bool hasLocalFile = false;
  DWORD type = 0;
  FILETIME lastModified = {};
  FILETIME expires = {};
};

// One walk of the cache. The system's filtered search is asked first; where
// it is missing (Wine answers every call with ERROR_FILE_NOT_FOUND), the plain
// search walks every container and the filter is applied here.
class CacheSearch {
 public:
  explicit CacheSearch(DWORD filter) : m_filter(filter), m_buffer(kFirstBufferSize) {}
  ~CacheSearch() {
    if (m_find != nullptr) g_platform.FindCloseUrlCache(m_find);
  }
  CacheSearch(const CacheSearch&) = delete;
  CacheSearch& operator=(const CacheSearch&) = delete;

  bool First(CacheEntry& entry) {
    for (;;) {
      DWORD size = Prepare();
      HANDLE h = m_plain ? g_platform.FindFirstUrlCacheEntryA(nullptr, Info(), &size)
                         : g_platform.FindFirstUrlCacheEntryExA(nullptr, 0, m_filter, 0, Info(), &size, nullptr,
                                                                nullptr, nullptr);
      if (h != nullptr) {
        m_find = h;
        if (Accept(entry)) return true;
        return Next(entry);
      }
      const DWORD error = ::GetLastError();
      if (error == ERROR_INSUFFICIENT_BUFFER && size > m_buffer.size()) {
        if (!Grow(size)) return false;
        continue;
      }
      if (!m_plain && error != ERROR_NO_MORE_ITEMS && error != ERROR_INSUFFICIENT_BUFFER) {
        m_plain = true;
        continue;
      }
      Trace("Error in FindFirst %lu\n", static_cast<unsigned long>(error));
      return false;
    }
  }

  bool Next(CacheEntry& entry) {
    for (;;) {
      DWORD size = Prepare();
      BOOL ok = m_plain ? g_platform.FindNextUrlCacheEntryA(m_find, Info(), &size)
                        : g_platform.FindNextUrlCacheEntryExA(m_find, Info(), &size, nullptr, nullptr, nullptr);
      if (ok) {
        if (Accept(entry)) return true;
        continue;
      }
      const DWORD error = ::GetLastError();
      if (error == ERROR_INSUFFICIENT_BUFFER && size > m_buffer.size() && Grow(size)) continue;
      if (error == ERROR_NO_MORE_ITEMS)
        Trace("Error in FindNext %lu No More.\n", static_cast<unsigned long>(error));
      else
        Trace("Error in FindNext %lu default.\n", static_cast<unsigned long>(error));
      g_platform.FindCloseUrlCache(m_find);
      m_find = nullptr;
      return false;
    }
  }


 private:
  INTERNET_CACHE_ENTRY_INFOA* Info() { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(m_buffer.data()); }

  DWORD Prepare() {
    Info()->dwStructSize = static_cast<DWORD>(m_buffer.size());
    return static_cast<DWORD>(m_buffer.size());
  }

  // A block of exactly the reported size, never smaller than the header the
  // call writes into. False (traced) when the size is absurd or the memory
  // cannot be had: the walk ends there, the buffer stays as it was.
  bool Grow(DWORD size) {
    if (size > kLargestEntryBuffer) {
      Trace("URL cache entry of %lu bytes refused: the cache walk ends.\n", static_cast<unsigned long>(size));
      return false;
    }
    try {
      std::vector<char> bigger(size < sizeof(INTERNET_CACHE_ENTRY_INFOA) ? sizeof(INTERNET_CACHE_ENTRY_INFOA) : size);
      m_buffer.swap(bigger);
    } catch (const std::bad_alloc&) {
      Trace("No memory for a URL cache entry of %lu bytes: the cache walk ends.\n", static_cast<unsigned long>(size));
      return false;
    }
    return true;
  }

  bool Accept(CacheEntry& entry) {
    const INTERNET_CACHE_ENTRY_INFOA* info = Info();
    if (m_plain && !CacheEntryMatches(info->CacheEntryType, m_filter)) return false;
    if (info->lpszSourceUrlName == nullptr) return false;  // nothing to name the entry by
    entry.url = info->lpszSourceUrlName;
    entry.hasLocalFile = info->lpszLocalFileName != nullptr && info->lpszLocalFileName[0] != '\0';
    entry.localFile = entry.hasLocalFile ? info->lpszLocalFileName : "";
    entry.type = info->CacheEntryType;
    entry.lastModified = info->LastModifiedTime;
    entry.expires = info->ExpireTime;
    return true;
  }

  DWORD m_filter;
  std::vector<char> m_buffer;
  HANDLE m_find = nullptr;
  bool m_plain = false;
};

// The empty file that stands in for a local file the cache holds on to.
void CreateEmptyFile(const char* name) {
  HANDLE h = ::CreateFileA(name, 0x10010000, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Trace("Cannot Generate File.\n");
    return;
  }
  ::CloseHandle(h);
  Trace("Generate A File.\n");
}

bool CommitReplacement(const CacheEntry& entry, const char* file) {
  if (g_platform.CommitUrlCacheEntryA(entry.url.c_str(), file, entry.expires, entry.lastModified, entry.type, nullptr,
                                      0, nullptr, nullptr))
    return true;
  Trace("Cannot Commit This New Cache.\n");
  return false;
}

bool DeleteEntry(const CacheEntry& entry) { return g_platform.DeleteUrlCacheEntryA(entry.url.c_str()) != FALSE; }

// Deletes one entry; when the cache refuses, asks it for a fresh file name for
// the entry, puts an empty replacement file there, commits it and deletes
// again. For every entry after the first of a walk the fresh name alone often
// frees the entry, so retryBeforeReplacing tries once more before writing.
// True when the entry is gone in the end.
bool DeleteEntryReplacingFile(const CacheEntry& entry, const char* extension, bool retryBeforeReplacing) {
  if (DeleteEntry(entry)) {
    Trace("Delete This Cache Successfully.\n");
    return true;
  }
  Trace("Cannot Delete This Cache.\n");
  char file[MAX_PATH] = {};
  if (!g_platform.CreateUrlCacheEntryA(entry.url.c_str(), 0, extension, file, 0)) {
    Trace("Cannot Create Cache Again.\n");
    return false;
  }
  if (retryBeforeReplacing) {
    if (DeleteEntry(entry)) return true;
    Trace("Cannot Delete This Cache Again.\n");
  }
  CreateEmptyFile(file);
  CommitReplacement(entry, file);
  if (DeleteEntry(entry)) return true;
  Trace("Cannot Delete This Cache Again.\n");
  return false;
}

void CleanCache(const StringPairList* keepList, DWORD filter, const char* extension, const char* cacheName,
                int statusId, int* count, float* kb) {
  LogFormat(0, "  Clean up : %s.\n", cacheName);
  if (extension == nullptr) extension = "";
  CacheSearch search(filter);
  CacheEntry entry;
  bool first = true;
  // A cache of thousands of entries stops at the next one once the sweep is cancelled.
  for (bool more = search.First(entry); more && !SweepCancelRequested(); more = search.Next(entry), first = false) {
    if (keepList != nullptr && entry.hasLocalFile && ListHasPath(*keepList, entry.localFile)) continue;
    const float sizeKB = entry.hasLocalFile ? FileSizeKB(entry.localFile) : 0.0f;
    if (!PreviewActive()) {
      if (ShredderOn() && entry.hasLocalFile) OverwriteFile(entry.localFile);
      // An entry the cache keeps is named as left and counts nothing.
      if (!DeleteEntryReplacingFile(entry, extension, /*retryBeforeReplacing=*/!first)) {
        RecordLeft(Outcome::kFailed, entry.url, "the cache refused to delete it");
        continue;
      }
    } else if (entry.hasLocalFile) {
      // The entry takes its local file with it: the folder walk that follows
      // must not count that file as an item of its own.
      NoteTakenInPreview(entry.localFile);
    }
    const int number = NumberItem(count, entry.url, sizeKB);
    LogLine(FormatCacheLine(number, cacheName, entry.url.c_str(), entry.localFile.c_str(), sizeKB).c_str(),
            statusId);
    RecordOutcome(Outcome::kRemoved, entry.url, sizeKB);
    if (kb != nullptr) *kb += sizeKB;
  }
}

}  // namespace

bool CacheEntryMatches(DWORD entryType, DWORD filter) {
  if ((entryType & kContainerBits) != (filter & kContainerBits)) return false;
  const DWORD own = entryType & ~kContainerBits;
  return own == 0 || (own & filter & ~kContainerBits) != 0;
}

std::string FormatCacheLine(int number, const char* cacheName, const char* url, const char* localFile, float sizeKB) {
  // Any length: the line names the entry in full, however long its address.
  const char* format = number > 0 ? "Item %d, %s: delete %s-%s:%f(KB)\n" : "%s: delete %s-%s:%f(KB)\n";
  const double size = static_cast<double>(sizeKB);
  const int n = number > 0 ? std::snprintf(nullptr, 0, format, number, cacheName, url, localFile, size)
                           : std::snprintf(nullptr, 0, format, cacheName, url, localFile, size);
  if (n < 0) return std::string();
  std::string line(static_cast<size_t>(n) + 1, '\0');
  if (number > 0)
    std::snprintf(&line[0], line.size(), format, number, cacheName, url, localFile, size);
  else
    std::snprintf(&line[0], line.size(), format, cacheName, url, localFile, size);
  line.resize(static_cast<size_t>(n));
  return line;
}

void CleanUrlCache(DWORD filter, const char* extension, const char* cacheName, int statusId, int* count,
                   float* kb) {
  CleanCache(nullptr, filter, extension, cacheName, statusId, count, kb);
}

void CleanCookieCache(const StringPairList& keepList, DWORD filter, const char* extension, const char* cacheName,
                      int statusId, int* count, float* kb) {
  CleanCache(&keepList, filter, extension, cacheName, statusId, count, kb);
}
