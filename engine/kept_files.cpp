// What a rule entry keeps, judged by the removal guard (KeptFilesScope in
// removal_guard.h): folders by identity, file names by their long form.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>

#include "engine/mask_match.h"
#include "engine/nt_calls.h"
#include "engine/removal_guard.h"

struct KeptFilesScope::Place {
  FolderIdentity id;
  std::vector<std::wstring> masks;  // folded
  std::vector<FolderIdentity> files;  // what the masks without wildcards open, whatever they are called
  bool below = false;
};

namespace {

thread_local const KeptFilesScope* t_scope = nullptr;
thread_local size_t t_candidateOpens = 0;  // for the tests: files opened to be compared

const char kKept[] = "the rule keeps it";

// The chains of the folders judged while the scopes live: a walk asks about
// every file of a folder. Kept by the folder's identity and its name as the
// system gives it now (a folder moved since, into a kept place, is the same
// folder with other parents). Under Wine, below a drive letter other than
// the system drive's, only for the second the chain was read in: two file
// systems may number their folders alike, and a letter re-pointed from one
// to the other gives another folder the same name and number once Wine has
// read its letters again. A letter that kept moving while a folder under it
// was judged is not judged again for the entry (each try costs seconds).
//
// And only for the handle the chain was read through: a folder moved away,
// and another moved in under its old name, or (under Wine) two folders of
// two file systems that bear one number and one name, are told apart by the
// handle alone. The handle is marked (inheritable: Morvane starts no program
// that inherits handles), and a handle not yet marked drops what was kept
// for its number, so that a number closed and given to another open is not
// taken for it.
struct ChainCache {
  struct Chain {
    FolderIdentity id;
    std::wstring name;
    uint64_t letters = 0;
    uint64_t second = 0;
    std::vector<FolderIdentity> chain;
    HANDLE through = nullptr;
  };
  std::vector<Chain> chains;
  std::wstring unsettled;  // letters given up
};
// Made by the outermost scope and deleted when it ends (a plain pointer: see
// outcome_ledger.cpp on thread-locals with destructors).
thread_local ChainCache* t_chains = nullptr;

// Under Wine, a name under a drive letter other than the system drive's.
bool UnderAnotherLetter(const FolderIdentity& self, const std::wstring& name) {
  wchar_t windows[MAX_PATH] = L"";
  return self.volume == 0 && RunningUnderWine() && name.size() > 5 && name.compare(0, 4, L"\\?" L"?\\") == 0 &&
         name[5] == L':' &&
         (::GetWindowsDirectoryW(windows, MAX_PATH) == 0 || std::towupper(windows[0]) != std::towupper(name[4]));
}

bool Marked(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
}

// The folder's identity, then its parents'; false when they cannot be read.
// (No handle of the folder is kept: under Wine a folder goes only when its
// last handle closes, and a walk removes the folders it empties.)
bool ChainOf(HANDLE folder, std::vector<FolderIdentity>* chain) {
  FolderIdentity self;
  if (!IdentityOf(folder, &self)) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    // The second matters only below another letter (reading it may wait),
    // where the name is read again once the second is known.
    std::wstring name = nt::ObjectName(folder);
    bool letter = UnderAnotherLetter(self, name);
    const uint64_t second = letter ? NamingSecond() : 0;
    if (letter) {
      name = nt::ObjectName(folder);
      letter = UnderAnotherLetter(self, name);
    }
    if (letter && t_chains != nullptr && t_chains->unsettled.find(std::towupper(name[4])) != std::wstring::npos)
      return false;
    const uint64_t letters = DriveLetterGeneration();
    if (t_chains != nullptr && !Marked(folder))
      t_chains->chains.erase(std::remove_if(t_chains->chains.begin(), t_chains->chains.end(),
                                            [&](const ChainCache::Chain& c) { return c.through == folder; }),
                             t_chains->chains.end());
    if (t_chains != nullptr && !name.empty())
      for (const auto& c : t_chains->chains)
        if (c.id == self && c.name == name && c.letters == letters && (!letter || c.second == second) &&
            c.through == folder) {
          *chain = c.chain;
          return true;
        }
    if (!AncestorIdentities(folder, *chain, nullptr, true) || chain->empty()) {
      if (letter && t_chains != nullptr && LastAncestryUnsettled()) t_chains->unsettled += std::towupper(name[4]);
      return false;
    }
    if (DriveLetterGeneration() != letters) continue;
    // A folder of the chain mounted in a second place since it was entered.
    if (ChainMountedTwice(*chain)) return false;
    if (t_chains == nullptr || name.empty()) return true;
    // A chain read across the turn of a second is used once.
    if (letter && NamingSecond() != second) return true;
    if (t_chains->chains.size() > 256) t_chains->chains.erase(t_chains->chains.begin());
    if (!Marked(folder) && !::SetHandleInformation(folder, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return true;
    t_chains->chains.push_back(ChainCache::Chain{self, name, letters, second, *chain, folder});
    return true;
  }
  return false;
}

std::wstring Folded(std::wstring w) {
  if (!w.empty()) ::CharUpperBuffW(&w[0], static_cast<DWORD>(w.size()));
  return w;
}

std::wstring LeafOfW(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool HasWildcardW(const std::wstring& s) { return s.find_first_of(L"*?") != std::wstring::npos; }

// The long name the system gives path's last segment; empty when it has none.
std::wstring LongLeaf(const std::wstring& given) {
  // Short names are looked up in the plain form where it reaches (the long
  // form is not resolved by every system).
  std::wstring path = given;
  if (path.compare(0, 4, L"\\\\?\\") == 0 && path.compare(0, 8, L"\\\\?\\UNC\\") != 0 && path.size() < MAX_PATH + 4)
    path = path.substr(4);
  const DWORD n = ::GetLongPathNameW(path.c_str(), nullptr, 0);
  if (n == 0) return std::wstring();
  std::wstring out(n, L'\0');
  const DWORD m = ::GetLongPathNameW(path.c_str(), &out[0], n);
  if (m == 0 || m >= n) return std::wstring();
  out.resize(m);
  return LeafOfW(out);
}

// The folder's path as the system names what the handle reaches.
std::wstring FinalPath(HANDLE h) {
  wchar_t buf[MAX_PATH * 2];
  DWORD n = ::GetFinalPathNameByHandleW(h, buf, MAX_PATH * 2, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n > 0 && n < MAX_PATH * 2) return std::wstring(buf, n);
  if (n == 0 || n > 32768 * 2) return std::wstring();
  std::wstring out(n + 1, L'\0');
  n = ::GetFinalPathNameByHandleW(h, &out[0], n + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= out.size()) return std::wstring();
  out.resize(n);
  return out;
}

}  // namespace

KeptFilesScope::KeptFilesScope(const std::vector<KeptFiles>& kept)
    : m_places(new std::vector<Place>), m_outer(t_scope) {
  // Many exclusions name one folder: each folder is opened once.
  enum FolderState { kAbsent, kUnjudged, kJudged };
  std::map<std::wstring, std::pair<FolderState, FolderIdentity>> folders;
  for (const KeptFiles& k : kept) {
    const std::wstring folder = nt::LongPathForm(k.folder);
    std::wstring opened = folder;
    if (!opened.empty() && opened.back() != L'\\') opened += L'\\';
    auto at = folders.find(opened);
    if (at == folders.end()) {
      std::pair<FolderState, FolderIdentity> judged{kAbsent, FolderIdentity{}};
      // Following every link: what the folder's name opens is what is kept.
      HANDLE h = ::CreateFileW(opened.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) judged.first = kUnjudged;
      } else {
        judged.first = IdentityOf(h, &judged.second) ? kJudged : kUnjudged;
        ::CloseHandle(h);
      }
      at = folders.emplace(opened, judged).first;
    }
    if (at->second.first == kUnjudged) m_unjudged = true;
    if (at->second.first != kJudged) continue;
    Place p;
    p.id = at->second.second;
    p.below = k.below;
    for (const auto& m : k.masks) {
      const std::wstring w = nt::Widen(m);
      p.masks.push_back(Folded(w));
      // A name without wildcards is also kept under the long name the
      // system gives it (a short name, trailing dots).
      if (!HasWildcardW(w)) {
        std::wstring opens = w;  // trailing dots and spaces are dropped when a name is opened
        while (!opens.empty() && (opens.back() == L'.' || opens.back() == L' ')) opens.pop_back();
        if (opens.empty()) continue;
        if (opens != w) p.masks.push_back(Folded(opens));
        HANDLE f = ::CreateFileW((opened + opens).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
          FolderIdentity id;
          if (IdentityOf(f, &id)) p.files.push_back(id);
          ::CloseHandle(f);
        }
        const std::wstring leaf = LongLeaf(opened + opens);
        if (!leaf.empty()) p.masks.push_back(Folded(leaf));
      }
    }
    m_places->push_back(std::move(p));
  }
  if (t_chains == nullptr) t_chains = new ChainCache;
  t_chains->chains.clear();
  t_scope = this;
}

KeptFilesScope::~KeptFilesScope() {
  t_scope = m_outer;
  if (m_outer == nullptr) {
    delete t_chains;
    t_chains = nullptr;
  } else if (t_chains != nullptr) {
    t_chains->chains.clear();
  }
  delete m_places;
}

const char* KeptFileRefusal(HANDLE folder, const std::wstring& name) {
  if (t_scope == nullptr) return nullptr;
  std::vector<FolderIdentity> chain;
  bool chainRead = false;
  std::wstring folded, longFolded;
  bool longTried = false;
  // The candidate is opened once at most, however many kept places name
  // files exactly: its identity is compared with each of theirs.
  enum { kUnopened, kKnown, kUnknown } opened = kUnopened;
  FolderIdentity fileId;
  for (const KeptFilesScope* s = t_scope; s != nullptr; s = s->m_outer) {
    if (s->m_unjudged) return "what the rule keeps cannot be judged";
    for (const auto& p : *s->m_places) {
      if (!chainRead) {
        chainRead = true;
        if (!ChainOf(folder, &chain)) return "what the rule keeps cannot be judged";
        folded = Folded(LeafOfW(name));
      }
      bool here = chain[0] == p.id;
      for (size_t i = 1; !here && p.below && i < chain.size(); ++i) here = chain[i] == p.id;
      if (!here) continue;
      if (!longTried) {
        longTried = true;
        // A short name reaches the file its long name names.
        if (name.find(L'~') != std::wstring::npos) {
          const std::wstring at = FinalPath(folder);
          if (!at.empty()) longFolded = Folded(LongLeaf(at + L"\\" + name));
        }
      }
      for (const auto& m : p.masks)
        if (FoldedMaskMatches(folded, m) || (!longFolded.empty() && FoldedMaskMatches(longFolded, m))) return kKept;
      if (!p.files.empty()) {
        // A file named exactly is kept by what its name opens.
        if (opened == kUnopened) {
          opened = kUnknown;
          ++t_candidateOpens;
          HANDLE f = nt::OpenRelative(folder, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_NON_DIRECTORY_FILE,
                                      nullptr);
          if (f != nullptr) {
            if (IdentityOf(f, &fileId)) opened = kKnown;
            ::CloseHandle(f);
          }
        }
        if (opened == kKnown)
          for (const auto& k : p.files)
            if (k == fileId) return kKept;
      }
    }
  }
  return nullptr;
}

bool IsKeptByRule(const char* refusal) { return refusal == kKept; }

// Declared by the tests that count them.
size_t KeptCandidateOpensForTests() { return t_candidateOpens; }

const char* KeptFolderRefusal(HANDLE folder) {
  if (t_scope == nullptr) return nullptr;
  std::vector<FolderIdentity> chain;
  bool chainRead = false;
  for (const KeptFilesScope* s = t_scope; s != nullptr; s = s->m_outer) {
    if (s->m_unjudged) return "what the rule keeps cannot be judged";
    for (const auto& p : *s->m_places) {
      if (!chainRead) {
        chainRead = true;
        if (!ChainOf(folder, &chain)) return "what the rule keeps cannot be judged";
      }
      if (chain[0] == p.id) return kKept;
      for (size_t i = 1; p.below && i < chain.size(); ++i)
        if (chain[i] == p.id) return kKept;
    }
  }
  return nullptr;
}
