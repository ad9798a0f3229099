#include "shell/event_report.h"

#include <cstdio>

#include "engine/sweep_worker.h"
#include "events/morvane_events.h"
#include "rules/rule_set.h"
#include "settings/event_setting.h"
#include "shell/json_report.h"

// The numbers are the message table's: administrators filter on them.
static_assert(kEventSweepEnded == MORVANE_EVENT_SWEEP_ENDED, "event 1000");
static_assert(kEventNotRemoved == MORVANE_EVENT_NOT_REMOVED, "event 1001");
static_assert(kEventRulesRefused == MORVANE_EVENT_RULES_REFUSED, "event 1002");
static_assert(kEventDatabaseLeft == MORVANE_EVENT_DATABASE_LEFT, "event 1003");
static_assert(kEventStopped == MORVANE_EVENT_STOPPED, "event 1004");

namespace {

const wchar_t kSourceName[] = L"Morvane";
// An insertion string stays well inside what one event may carry (32K
// characters for all of them together).
constexpr size_t kMaxInsertion = 1024;
// One line of a list (an item left, a refusal): 20 of them stay far inside
// that limit together.
constexpr size_t kMaxListLine = 260;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  // Bytes that are not UTF-8 become U+FFFD; nothing is dropped silently.
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return L"?";
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

// Long texts keep their start and their end, where a path's name is.
std::wstring Bounded(std::wstring text, size_t limit = kMaxInsertion) {
  if (text.size() <= limit) return text;
  const size_t half = limit / 2 - 1;
  return text.substr(0, half) + L"\x2026" + text.substr(text.size() - half);
}

// The event viewer reads "%%" and a number in an insertion string as a
// reference to another message and puts that message's text in its place;
// a name a user or a rule chose must come out as it was written.
std::wstring Neutral(std::wstring text) {
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == L'%' && text[i + 1] == L'%' && iswdigit(text[i + 2])) text.insert(i + 1, 1, L' ');
  }
  return text;
}

// Folders that browsers, mail programs and the programs built on them keep
// their data in. Below such a folder names may be sites ("https+++news.x",
// "https_bank.x_0.indexeddb.leveldb"); the folder itself is not one.
bool IsDataFolder(const std::string& name) {
  static const char* const kFolders[] = {
      "Profiles", "User Data", "EBWebView", "IndexedDB", "Local Storage", "Session Storage", "Service Worker",
      "storage", "WebStorage", "Web Storage", "File System", "databases", "blob_storage", "INetCookies",
      "INetCache", "Temporary Internet Files", "Cookies", "Cache", "Cache2", "History", "Mail", "ImapMail",
      "News", "Feeds"};
  for (const char* folder : kFolders)
    if (::lstrcmpiA(name.c_str(), folder) == 0) return true;
  return false;
}

// A folder named after a site, in any layout Morvane does not know.
bool LooksLikeSite(const std::string& name) {
  return _strnicmp(name.c_str(), "http", 4) == 0 || name.find("+++") != std::string::npos;
}

// An entry about a browser or the web, whichever category a rule file filed it in.
bool IsWebEntry(const OutcomeRecord& record) {
  if (record.category == SWEEP_CATEGORY_INTERNET) return true;
  std::string entry = record.entry;
  for (char& c : entry) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  static const char* const kWords[] = {"browser", "web", "cookie", "history", "cache", "storage", "internet",
                                       "firefox", "chrome", "chromium", "edge", "opera", "mail", "session"};
  for (const char* word : kWords)
    if (entry.find(word) != std::string::npos) return true;
  return false;
}

std::wstring Number(long long n) { return std::to_wstring(n); }

std::wstring KBText(double kb) {
  wchar_t text[64];
  std::swprintf(text, sizeof text / sizeof text[0], L"%.3f", kb);
  return text;
}

bool IsPathText(const std::string& item) {
  const bool drive = item.size() >= 3 && item[1] == ':' && (item[2] == '\\' || item[2] == '/');
  return drive || item.rfind("\\\\", 0) == 0;
}

bool IsRegistryText(const std::string& item) {
  static const char* const kHives[] = {"HKEY_", "HKCU\\", "HKLM\\", "HKU\\", "HKCR\\", "HKCC\\"};
  for (const char* hive : kHives)
    if (item.rfind(hive, 0) == 0) return true;
  return false;
}

std::wstring CategoriesText(int bits) {
  static const SweepCategory kOrder[] = {SWEEP_CATEGORY_WINDOWS, SWEEP_CATEGORY_INTERNET, SWEEP_CATEGORY_APPLICATIONS};
  std::wstring text;
  for (SweepCategory c : kOrder) {
    if ((bits & (1 << c)) == 0) continue;
    if (!text.empty()) text += L", ";
    text += Wide(SweepCategoryName(c));
  }
  return text.empty() ? L"none" : text;
}

// A list of up to kEventListLength lines, each ending its own line, padded
// with empty strings to the message's fixed slots, then the rest as a count.
void AppendList(std::vector<std::wstring>& strings, const std::vector<std::wstring>& lines, size_t total) {
  for (size_t i = 0; i < kEventListLength; ++i)
    strings.push_back(i < lines.size() ? Bounded(lines[i], kMaxListLine) + L"\r\n" : std::wstring());
  const size_t rest = total > lines.size() ? total - lines.size() : 0;
  strings.push_back(rest > 0 ? L"and " + Number(static_cast<long long>(rest)) + L" more." : std::wstring());
}

}  // namespace

const char* SweepTriggerName(SweepTrigger trigger) {
  switch (trigger) {
    case SweepTrigger::kManual: return "manual";
    case SweepTrigger::kSchedule: return "schedule";
    case SweepTrigger::kExit: return "exit";
    case SweepTrigger::kLogoff: return "logoff";
    case SweepTrigger::kStartup: return "start-up";
    case SweepTrigger::kBrowserCloses: return "browser closes";
    case SweepTrigger::kOnce: return "/once";
    case SweepTrigger::kSelected: return "selected";
  }
  return "manual";
}

bool WriteEventToLog(const EventText& event) {
  HANDLE source = ::RegisterEventSourceW(nullptr, kSourceName);
  if (source == nullptr) return false;
  std::vector<const wchar_t*> strings;
  for (const std::wstring& s : event.strings) strings.push_back(s.c_str());
  const BOOL written = ::ReportEventW(source, event.type, 0, event.id, nullptr, static_cast<WORD>(strings.size()), 0,
                                      strings.empty() ? nullptr : strings.data(), nullptr);
  ::DeregisterEventSource(source);
  return written != FALSE;
}

EventWriter g_eventWriter = &WriteEventToLog;

void WriteEvents(const std::vector<EventText>& events, int level) {
  if (level <= EVENT_LOG_OFF) return;
  for (const EventText& event : events) {
    if (event.id == kEventSweepEnded && level < EVENT_LOG_ALL) continue;
    EventText written = event;
    for (std::wstring& text : written.strings) text = Neutral(std::move(text));
    g_eventWriter(written);
  }
}

std::wstring EventItemText(const OutcomeRecord& record) {
  const std::wstring reason = record.reason.empty() ? std::wstring(L"not removed") : Wide(record.reason);
  if (IsRegistryText(record.item)) return Bounded(Wide(record.item)) + L": " + reason;
  if (IsPathText(record.item)) {
    // Below a browser's or mail program's data folder names may be sites:
    // the path is written up to the first such folder (a profile folder
    // with it), which says where to look, and no further.
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
      const size_t slash = record.item.find_first_of("\\/", start);
      parts.push_back(record.item.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    size_t keep = parts.size();  // how many parts are written; all: the whole path
    for (size_t i = 1; i < parts.size(); ++i) {
      if (LooksLikeSite(parts[i])) {
        keep = i;
        break;
      }
      if (IsDataFolder(parts[i])) {
        const bool profiles = ::lstrcmpiA(parts[i].c_str(), "Profiles") == 0 ||
                              ::lstrcmpiA(parts[i].c_str(), "User Data") == 0;
        keep = i + 1;
        if (profiles && i + 2 < parts.size() && !LooksLikeSite(parts[i + 1])) keep = i + 2;
        break;
      }
    }
    // A browser's or the web's item with no known folder above it: only its entry.
    if (keep == parts.size() && IsWebEntry(record)) keep = 0;
    if (keep == parts.size()) return Bounded(Wide(record.item), kMaxListLine) + L": " + reason;
    if (keep > 1 && keep + 1 == parts.size()) {
      std::string folder;
      for (size_t i = 0; i < keep; ++i) folder += parts[i] + "\\";
      return Bounded(Wide(folder), kMaxListLine) + L" (a file in this folder): " + reason;
    }
    if (keep > 1) {
      std::string folder;
      for (size_t i = 0; i < keep; ++i) folder += parts[i] + "\\";
      return Bounded(Wide(folder), kMaxListLine) + L" (an item below this folder, of " + Bounded(Wide(record.entry)) +
             L"): " + reason;
    }
  }
  const std::wstring entry = record.entry.empty() ? std::wstring(L"an entry") : Wide(record.entry);
  return L"an item of " + Bounded(entry, kMaxListLine) + L" (not named here): " + reason;
}

std::vector<EventText> SweepEvents(const SweepSummary& summary) {
  std::vector<EventText> events;
  if (summary.preview) return events;
  const std::wstring trigger = Wide(SweepTriggerName(summary.trigger));

  EventText ended;
  ended.type = EVENTLOG_INFORMATION_TYPE;
  ended.id = kEventSweepEnded;
  ended.strings = {trigger, CategoriesText(summary.categories), Number(summary.items), KBText(summary.kb),
                   KBText(summary.seconds), Number(summary.notRemoved)};
  events.push_back(ended);

  if (summary.notRemoved > 0) {
    EventText left;
    left.type = EVENTLOG_WARNING_TYPE;
    left.id = kEventNotRemoved;
    left.strings = {Number(summary.notRemoved), trigger};
    std::vector<std::wstring> lines;
    for (const OutcomeRecord& r : summary.left) lines.push_back(EventItemText(r));
    AppendList(left.strings, lines, static_cast<size_t>(summary.notRemoved));
    events.push_back(left);
  }

  for (const OutcomeRecord& db : summary.databases) {
    std::string browser;
    IsDatabaseRecord(db, &browser);
    EventText held;
    held.type = EVENTLOG_WARNING_TYPE;
    held.id = kEventDatabaseLeft;
    held.strings = {Wide(browser.empty() ? db.entry : browser), Bounded(Wide(db.item)), Wide(OutcomeName(db.outcome)),
                    Wide(db.reason)};
    events.push_back(held);
  }
  if (!summary.stopped.empty())
    events.push_back(StoppedEvent("A sweep stopped before its end (trigger: " +
                                      std::string(SweepTriggerName(summary.trigger)) + ").",
                                  summary.stopped));
  return events;
}

std::vector<EventText> RuleEvents(const RuleSet& rules) {
  std::vector<std::wstring> lines;
  size_t total = 0;
  auto add = [&](const std::string& text) {
    ++total;
    if (lines.size() < kEventListLength) lines.push_back(Bounded(Wide(text)));
  };
  for (const RuleFileReport& file : rules.Files())
    if (!file.skipped.empty()) add("file " + file.path + ": " + file.skipped);
  // As the JSON report: only the entries a sweep would run.
  for (const RuleEntry& entry : rules.Entries()) {
    if (!entry.builtin && !RuleEntryOn(entry)) continue;
    for (const RuleRefusal& r : entry.refused) add(entry.source + " [" + entry.name + "] " + r.key + ": " + r.reason);
  }
  std::vector<EventText> events;
  if (total == 0) return events;
  EventText refused;
  refused.type = EVENTLOG_WARNING_TYPE;
  refused.id = kEventRulesRefused;
  refused.strings = {Number(static_cast<long long>(total))};
  AppendList(refused.strings, lines, total);
  events.push_back(refused);
  return events;
}

EventText StoppedEvent(const std::string& what, const std::string& reason) {
  EventText stopped;
  stopped.type = EVENTLOG_ERROR_TYPE;
  stopped.id = kEventStopped;
  stopped.strings = {Bounded(Wide(what)), Bounded(Wide(reason))};
  return stopped;
}

// --- the account of a sweep ----------------------------------------------------

void SweepAccount::SetTrigger(SweepTrigger trigger) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_pending = trigger;
}

void SweepAccount::Begin() {
  std::lock_guard<std::mutex> hold(m_lock);
  BeginLocked();
}

void SweepAccount::NoteStopped(const std::string& reason) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_bOpen && m_summary.stopped.empty()) m_summary.stopped = reason;
}

bool SweepAccount::IsOpen() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_bOpen;
}

void SweepAccount::BeginLocked() {
  if (m_bOpen) return;
  m_bOpen = true;
  m_start = ::GetTickCount64();
  m_summary = SweepSummary();
  m_summary.trigger = m_pending;
}

SweepSummary SweepAccount::End() {
  std::lock_guard<std::mutex> hold(m_lock);
  SweepSummary summary;
  if (m_bOpen) {
    summary = std::move(m_summary);
    summary.seconds = static_cast<double>(::GetTickCount64() - m_start) / 1000.0;
  } else {
    summary.trigger = m_pending;
  }
  m_bOpen = false;
  m_summary = SweepSummary();
  m_pending = SweepTrigger::kManual;
  return summary;
}

void SweepAccount::EntryOpened(int category, const std::string& entry, bool preview) {
  std::lock_guard<std::mutex> hold(m_lock);
  BeginLocked();
  if (category >= 0 && category < SWEEP_CATEGORY_COUNT) m_summary.categories |= 1 << category;
  if (preview) m_summary.preview = true;
}

void SweepAccount::Record(const OutcomeRecord& record) {
  std::lock_guard<std::mutex> hold(m_lock);
  BeginLocked();
  SweepSummary& s = m_summary;
  if (record.preview) s.preview = true;
  if (record.category >= 0 && record.category < SWEEP_CATEGORY_COUNT) s.categories |= 1 << record.category;
  if (record.numbered) {
    ++s.items;
    return;
  }
  if (record.outcome == Outcome::kRemoved || record.outcome == Outcome::kScheduled) s.kb += record.kb;
  if (!OutcomeNotRemoved(record.outcome)) return;
  ++s.notRemoved;
  if (IsDatabaseRecord(record, nullptr)) {
    // One event each; a sweep meets a handful of databases, a few more in a
    // house of profiles, so they are bounded like the list.
    if (s.databases.size() < kEventListLength) s.databases.push_back(record);
  }
  if (s.left.size() < kEventListLength) s.left.push_back(record);
}

SweepAccount& ProgramSweepAccount() {
  static SweepAccount account;
  return account;
}

void ReportSweepEnded() {
  // Two categories that end together send two notices, and the second finds
  // nothing running either: only a sweep that began is reported, once.
  SweepAccount& account = ProgramSweepAccount();
  const bool began = account.IsOpen();
  const SweepSummary summary = account.End();
  if (began) WriteEvents(SweepEvents(summary), EventLogLevelNow());
}
