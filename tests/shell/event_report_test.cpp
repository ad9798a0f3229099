// The event log's side of a sweep: the message table as Windows formats it,
// the account of a sweep made from the ledger's records, the events composed
// from it, what they may name, and the setting and policy that choose them.
#include "shell/event_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "rules/rule_set.h"
#include "settings/event_setting.h"
#include "settings/policy.h"
#include "shell_fixtures.h"
#include "support/test_env.h"

namespace {

// Every event written while it lives.
class EventRecorder {
 public:
  EventRecorder() : m_previous(g_eventWriter) {
    s_events.clear();
    g_eventWriter = [](const EventText& e) {
      s_events.push_back(e);
      return true;
    };
  }
  ~EventRecorder() { g_eventWriter = m_previous; }
  static std::vector<EventText> s_events;
  std::vector<DWORD> Ids() const {
    std::vector<DWORD> ids;
    for (const EventText& e : s_events) ids.push_back(e.id);
    return ids;
  }

 private:
  EventWriter m_previous;
};
std::vector<EventText> EventRecorder::s_events;

// The message as the event viewer shows it: the program's own message table,
// formatted with the event's insertion strings.
std::wstring Formatted(const EventText& event) {
  std::vector<DWORD_PTR> args;
  for (const std::wstring& s : event.strings) args.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                       FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                   ::GetModuleHandleW(nullptr), event.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<wchar_t*>(&text), 0,
                                   reinterpret_cast<va_list*>(args.empty() ? nullptr : args.data()));
  std::wstring result = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  ::LocalFree(text);
  return result;
}

// The highest %N a message asks for, read from its raw text.
int HighestInsert(DWORD id) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                       FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                   ::GetModuleHandleW(nullptr), id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0) return -1;
  const std::wstring raw(text, n);
  ::LocalFree(text);
  int highest = 0;
  for (size_t i = 0; i + 1 < raw.size(); ++i) {
    if (raw[i] != L'%' || !iswdigit(raw[i + 1])) continue;
    highest = std::max(highest, _wtoi(raw.c_str() + i + 1));
  }
  return highest;
}

OutcomeRecord Left(int category, const std::string& entry, const std::string& item, Outcome outcome,
                   const std::string& reason) {
  OutcomeRecord r;
  r.category = category;
  r.entry = entry;
  r.item = item;
  r.outcome = outcome;
  r.reason = reason;
  return r;
}

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
  return s;
}

SweepSummary SummaryWithLeft(size_t left) {
  SweepSummary s;
  s.trigger = SweepTrigger::kSchedule;
  s.categories = 1 << SWEEP_CATEGORY_WINDOWS;
  s.items = 7;
  s.kb = 12.5;
  s.notRemoved = static_cast<int>(left);
  for (size_t i = 0; i < left && i < kEventListLength; ++i)
    s.left.push_back(Left(SWEEP_CATEGORY_WINDOWS, "Temporary Files", "C:\\Temp\\f" + std::to_string(i) + ".tmp",
                          Outcome::kHeld, "another program holds it"));
  return s;
}

}  // namespace

// Each event, as composed by the program, formats in full from the message
// table: every insert it asks for is given, and what it says is there.
TEST(EventMessages, EveryEventFormatsFromTheProgramsOwnMessageTable) {
  SweepSummary summary = SummaryWithLeft(25);
  OutcomeRecord db = Left(SWEEP_CATEGORY_INTERNET, "Firefox history (bookmarks kept)",
                          "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\a.default\\places.sqlite",
                          Outcome::kHeld, "held by a running browser");
  summary.databases.push_back(db);
  std::vector<EventText> events = SweepEvents(summary);
  events.push_back(StoppedEvent("Morvane could not start.", "its main window could not be created (error 5)"));
  // A refusal in an entry a sweep runs (built-in entries always may); a
  // community entry nobody switched on is not worth a warning.
  RuleSet rules;
  rules.LoadText("[Runs *]\nLangSecRef=3021\nFileKey1=C:\\Local\\Good|*.tmp\nColour=Blue\n", "Built-in", true);
  rules.LoadText("[Off *]\nLangSecRef=3021\nFileKey1=C:\\Local\\Good|*.tmp\nColour=Red\n", "mine.ini", false);
  const std::vector<EventText> ruleEvents = RuleEvents(rules);
  ASSERT_EQ(ruleEvents.size(), 1u);
  events.push_back(ruleEvents[0]);

  struct Expect {
    DWORD id;
    WORD type;
    std::vector<const char*> texts;
  } expected[] = {
      {1000, EVENTLOG_INFORMATION_TYPE,
       {"A sweep ended.", "Trigger: schedule", "Categories: Windows", "Items swept: 7", "KB restored: 12.500",
        "Items not removed: 25"}},
      {1001, EVENTLOG_WARNING_TYPE,
       {"25 item(s) could not be removed", "(trigger: schedule)", "C:\\Temp\\f0.tmp: another program holds it\r\n",
        "C:\\Temp\\f19.tmp", "and 5 more."}},
      {1003, EVENTLOG_WARNING_TYPE,
       {"Browser: Firefox", "File: C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\a.default\\places.sqlite",
        "(held)", "Reason: held by a running browser"}},
      {1004, EVENTLOG_ERROR_TYPE, {"Morvane could not start.", "Reason: its main window could not be created"}},
      {1002, EVENTLOG_WARNING_TYPE, {"1 rule file(s), rule entries or rule keys were refused", "[Runs *] Colour: an unknown key"}},
  };
  for (const Expect& x : expected) {
    auto it = std::find_if(events.begin(), events.end(), [&](const EventText& e) { return e.id == x.id; });
    ASSERT_NE(it, events.end()) << x.id;
    EXPECT_EQ(it->type, x.type) << x.id;
    EXPECT_GE(static_cast<int>(it->strings.size()), HighestInsert(x.id)) << x.id << ": an insert has no string";
    const std::string text = Narrow(Formatted(*it));
    ASSERT_FALSE(text.empty()) << x.id << " is not in the message table";
    for (const char* t : x.texts) EXPECT_NE(text.find(t), std::string::npos) << x.id << " lacks " << t << "\n" << text;
    EXPECT_EQ(text.find("f20.tmp"), std::string::npos) << "only the first 20 items are named";
  }
  EXPECT_EQ(Narrow(Formatted(ruleEvents[0])).find("Off"), std::string::npos);
  for (DWORD id = kEventSweepEnded; id <= kEventStopped; ++id) EXPECT_GT(HighestInsert(id), 0) << id;
}

TEST(EventMessages, ASweepThatStoppedEndsWithAnError) {
  SweepSummary stopped = SummaryWithLeft(0);
  stopped.stopped = "cancelled from the tray menu";
  const std::vector<EventText> events = SweepEvents(stopped);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].id, static_cast<DWORD>(kEventStopped));
  EXPECT_EQ(events[1].type, EVENTLOG_ERROR_TYPE);
  const std::string text = Narrow(Formatted(events[1]));
  EXPECT_NE(text.find("A sweep stopped before its end (trigger: schedule)."), std::string::npos) << text;
  EXPECT_NE(text.find("Reason: cancelled from the tray menu"), std::string::npos) << text;
  // Only an open sweep can stop.
  SweepAccount account;
  account.NoteStopped("nothing runs");
  EXPECT_TRUE(account.End().stopped.empty());
  account.Begin();
  account.NoteStopped("first");
  account.NoteStopped("second");
  EXPECT_EQ(account.End().stopped, "first");
}

TEST(EventMessages, APreviewWritesNoEventsAndNothingLeftWritesNo1001) {
  SweepSummary preview = SummaryWithLeft(3);
  preview.preview = true;
  EXPECT_TRUE(SweepEvents(preview).empty());
  const std::vector<EventText> clean = SweepEvents(SummaryWithLeft(0));
  ASSERT_EQ(clean.size(), 1u);
  EXPECT_EQ(clean[0].id, static_cast<DWORD>(kEventSweepEnded));
}

// Off writes nothing; problems leave out the routine 1000; all writes all.
TEST(EventMessages, TheLevelChoosesWhichEventsAreWritten) {
  EventRecorder recorder;
  std::vector<EventText> events = SweepEvents(SummaryWithLeft(2));
  events.push_back(StoppedEvent("a", "b"));
  const struct {
    int level;
    std::vector<DWORD> ids;
  } cases[] = {
      {EVENT_LOG_OFF, {}},
      {EVENT_LOG_PROBLEMS, {1001, 1004}},
      {EVENT_LOG_ALL, {1000, 1001, 1004}},
  };
  for (const auto& c : cases) {
    EventRecorder::s_events.clear();
    WriteEvents(events, c.level);
    EXPECT_EQ(recorder.Ids(), c.ids) << "level " << c.level;
  }
}

// What an item left behind may say in the log an administrator reads.
TEST(EventMessages, ItemsLeftNameNoVisitedSite) {
  const struct {
    int category;
    const char* item;
    const char* shown;     // expected text before ": reason"
    const char* hidden;    // must not appear
  } cases[] = {
      {SWEEP_CATEGORY_WINDOWS, "C:\\Users\\u\\AppData\\Local\\Temp\\held.tmp",
       "C:\\Users\\u\\AppData\\Local\\Temp\\held.tmp", nullptr},
      // The entry speaks of the web: its file is not named, whatever its category.
      {SWEEP_CATEGORY_WINDOWS, "C:\\Users\\u\\AppData\\Local\\Temp\\site.tmp",
       "an item of Temporary Internet Files (not named here)", "site.tmp"},
      {SWEEP_CATEGORY_APPLICATIONS, "HKEY_CURRENT_USER\\Software\\Vendor\\MRU\\a", "HKEY_CURRENT_USER\\Software\\Vendor\\MRU\\a",
       nullptr},
      {SWEEP_CATEGORY_INTERNET, "C:\\Users\\u\\INetCookies\\u@tracker.example[1].txt",
       "C:\\Users\\u\\INetCookies\\ (a file in this folder)", "tracker.example"},
      {SWEEP_CATEGORY_INTERNET, "https://tracker.example/pixel.gif", "an item of Temporary Internet Files (not named here)",
       "tracker.example"},
      {SWEEP_CATEGORY_INTERNET, "cookies of tracker.example (3)", "an item of Temporary Internet Files (not named here)",
       "tracker.example"},
      {SWEEP_CATEGORY_WINDOWS, "", "an item of Temporary Internet Files (not named here)", nullptr},
  };
  for (const auto& c : cases) {
    const std::string text =
        Narrow(EventItemText(Left(c.category, &c == &cases[0] ? "Temporary Files" : "Temporary Internet Files", c.item,
                                  Outcome::kFailed, "why")));
    EXPECT_EQ(text, std::string(c.shown) + ": why") << c.item;
    if (c.hidden != nullptr) {
      EXPECT_EQ(text.find(c.hidden), std::string::npos) << c.item;
    }
  }
  // A path of any length stays within what one insertion string may carry,
  // and keeps its end, where the name is.
  const std::string deep = "C:\\" + std::string(40000, 'd') + "\\name.tmp";
  const std::wstring bounded = EventItemText(Left(SWEEP_CATEGORY_WINDOWS, "e", deep, Outcome::kFailed, "why"));
  EXPECT_LT(bounded.size(), 1100u);
  EXPECT_NE(Narrow(bounded).find("name.tmp: why"), std::string::npos);
}

// Browsers and the programs built on them name storage folders after sites,
// and rule files file some browsers' entries outside the Internet
// category: nothing below a data folder reaches the log, whatever the
// category or the entry.
TEST(EventMessages, NoSiteNamedFolderReachesTheLog) {
  const struct {
    int category;
    const char* entry;
    const char* item;
    const char* shown;  // the text before ": why"
  } cases[] = {
      {SWEEP_CATEGORY_INTERNET, "Mozilla Firefox Web Storage *",
       "C:\\users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\k3x9.default\\storage\\default\\https+++news.example\\ls\\"
       "data.sqlite",
       "C:\\users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\k3x9.default\\ (an item below this folder, of "
       "Mozilla Firefox Web Storage *)"},
      {SWEEP_CATEGORY_APPLICATIONS, "ArtisBrowser Web Storage *",
       "C:\\users\\u\\AppData\\Roaming\\ArtistScope\\ArtisBrowser\\Profiles\\p1.default\\storage\\default\\"
       "https+++bank.example\\ls\\held\t.sqlite",
       "C:\\users\\u\\AppData\\Roaming\\ArtistScope\\ArtisBrowser\\Profiles\\p1.default\\ (an item below this "
       "folder, of ArtisBrowser Web Storage *)"},
      {SWEEP_CATEGORY_INTERNET, "Google Chrome Web Storage",
       "C:\\u\\Google\\Chrome\\User Data\\Default\\IndexedDB\\https_bank.example_0.indexeddb.leveldb\\000003.log",
       "C:\\u\\Google\\Chrome\\User Data\\Default\\ (an item below this folder, of Google Chrome Web Storage)"},
      // A program's own web view, filed under Applications by a name that says nothing of the web.
      {SWEEP_CATEGORY_APPLICATIONS, "Photo Tool *",
       "C:\\u\\Photo\\webview\\EBWebView\\Default\\IndexedDB\\https_bank.example_0\\x.log",
       "C:\\u\\Photo\\webview\\EBWebView\\ (an item below this folder, of Photo Tool *)"},
      // A site folder in a layout no list knows.
      {SWEEP_CATEGORY_APPLICATIONS, "Odd Tool *", "C:\\u\\Odd\\https+++bank.example\\x.log",
       "C:\\u\\Odd\\ (an item below this folder, of Odd Tool *)"},
      // Mail, filed outside Internet, with no data folder known above it.
      {SWEEP_CATEGORY_APPLICATIONS, "Thunderbird Web Storage *", "C:\\u\\Tb\\bank.example\\x.sqlite",
       "an item of Thunderbird Web Storage * (not named here)"},
      // Neither a browser's entry nor a data folder: the whole path, to act on.
      {SWEEP_CATEGORY_APPLICATIONS, "Report Writer *", "C:\\u\\Reports\\Logs\\run.log",
       "C:\\u\\Reports\\Logs\\run.log"},
  };
  EventRecorder recorder;
  SweepSummary summary = SummaryWithLeft(0);
  for (const auto& c : cases) {
    const OutcomeRecord record = Left(c.category, c.entry, c.item, Outcome::kFailed, "why");
    EXPECT_EQ(Narrow(EventItemText(record)), std::string(c.shown) + ": why") << c.item;
    summary.left.push_back(record);
  }
  summary.notRemoved = static_cast<int>(summary.left.size());
  WriteEvents(SweepEvents(summary), EVENT_LOG_ALL);
  ASSERT_FALSE(EventRecorder::s_events.empty());
  for (const EventText& e : EventRecorder::s_events)
    for (const std::wstring& text : e.strings) {
      EXPECT_EQ(text.find(L"news.example"), std::wstring::npos) << Narrow(text);
      EXPECT_EQ(text.find(L"bank.example"), std::wstring::npos) << Narrow(text);
    }
}

// What a name holds is written as it stands, and a full list stays far
// inside what one event may carry.
TEST(EventMessages, InsertionStringsAreNeutralAndBounded) {
  EventRecorder recorder;
  SweepSummary summary = SummaryWithLeft(0);
  const std::string deep = "C:\\" + std::string(5000, 'd') + "\\%%1 %%22 %1 name.tmp";
  for (size_t i = 0; i < kEventListLength; ++i)
    summary.left.push_back(Left(SWEEP_CATEGORY_WINDOWS, "Temporary Files", deep, Outcome::kHeld, std::string(3000, 'r')));
  summary.notRemoved = 30;
  std::vector<EventText> events = SweepEvents(summary);
  events.push_back(StoppedEvent("Stopped %%1", "because %%9"));
  WriteEvents(events, EVENT_LOG_ALL);
  ASSERT_EQ(recorder.Ids(), (std::vector<DWORD>{1000, 1001, 1004}));
  for (const EventText& e : EventRecorder::s_events) {
    size_t total = 0;
    for (const std::wstring& text : e.strings) {
      total += text.size();
      for (size_t i = 0; i + 2 < text.size(); ++i)
        EXPECT_FALSE(text[i] == L'%' && text[i + 1] == L'%' && iswdigit(text[i + 2])) << Narrow(text);
    }
    EXPECT_LT(total, 8000u) << e.id;
  }
  const std::string stopped = Narrow(EventRecorder::s_events[2].strings[0]);
  EXPECT_EQ(stopped, "Stopped % %1");
  EXPECT_EQ(Narrow(EventRecorder::s_events[1].strings.back()), "and 10 more.");
}

// The account is built from what the ledger hears, on any thread: numbered
// lines are the items, removed sizes the KB, and what stayed is listed.
TEST(SweepAccountTest, CountsWhatTheLedgerRecords) {
  SweepAccount account;
  account.Attach();
  account.SetTrigger(SweepTrigger::kStartup);
  {
    EntryScope scope(SWEEP_CATEGORY_WINDOWS, "Temporary Files");
    int count = 0;
    for (int i = 0; i < 3; ++i) {
      NumberItem(&count, "C:\\t\\" + std::to_string(i), 2.0);
      RecordOutcome(Outcome::kRemoved, "C:\\t\\" + std::to_string(i), 2.0);
    }
    RecordOutcome(Outcome::kScheduled, "C:\\t\\later", 1.5);
    for (int i = 0; i < 22; ++i) RecordOutcome(Outcome::kHeld, "C:\\t\\held" + std::to_string(i), 4.0, "held");
    RecordOutcome(Outcome::kGuarded, "C:\\Windows", 0.0, "a protected place");
  }
  {
    EntryScope scope(SWEEP_CATEGORY_INTERNET, "Google Chrome cookies (friendly sites kept)");
    RecordOutcome(Outcome::kRefused, "C:\\p\\Default\\Network\\Cookies", 0.0, "damaged (quick_check failed)");
  }
  account.Detach();
  RecordOutcome(Outcome::kHeld, "C:\\after", 0.0, "not counted: detached");
  const SweepSummary s = account.End();
  EXPECT_EQ(s.trigger, SweepTrigger::kStartup);
  EXPECT_FALSE(s.preview);
  EXPECT_EQ(s.categories, (1 << SWEEP_CATEGORY_WINDOWS) | (1 << SWEEP_CATEGORY_INTERNET));
  EXPECT_EQ(s.items, 3);
  EXPECT_DOUBLE_EQ(s.kb, 7.5);
  EXPECT_EQ(s.notRemoved, 23);  // the guarded one is by design
  EXPECT_EQ(s.left.size(), kEventListLength);
  ASSERT_EQ(s.databases.size(), 1u);
  EXPECT_EQ(s.databases[0].item, "C:\\p\\Default\\Network\\Cookies");
  // The next sweep starts afresh, with the default trigger.
  EXPECT_FALSE(account.IsOpen());
  EXPECT_EQ(account.End().trigger, SweepTrigger::kManual);
}

TEST(SweepAccountTest, APreviewIsMarkedAsOne) {
  SweepAccount account;
  account.Attach();
  {
    PreviewScope preview(true);
    EntryScope scope(SWEEP_CATEGORY_WINDOWS, "Temporary Files");
  }
  account.Detach();
  EXPECT_TRUE(account.End().preview);
}

// The policy wins over the user's setting, the user's over the machine's;
// a number out of range counts as not set.
TEST(EventSetting, PolicyThenUserThenMachineThenTheDefault) {
  const std::string settings = "SOFTWARE\\Calderix\\Morvane\\General Settings";
  const std::string policy = std::string(kPolicyRootPath) + "\\General Settings";
  auto put = [](HKEY root, const std::string& path, int value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    DWORD v = static_cast<DWORD>(value);
    ::RegSetValueExA(key, kEventLogValueName, 0, root == HKEY_CURRENT_USER ? REG_BINARY : REG_DWORD,
                     reinterpret_cast<const BYTE*>(&v), sizeof v);
    ::RegCloseKey(key);
  };
  const struct {
    int machine, user, policy;  // -1: not set
    int expected;
    bool fixed;
  } cases[] = {
      {-1, -1, -1, kDefaultEventLogLevel, false},
      {2, -1, -1, 2, false},
      {2, 0, -1, 0, false},
      {2, 0, 1, 1, true},
      {-1, 7, -1, kDefaultEventLogLevel, false},
      // An administrator's value out of range fixes the default, not the user's choice.
      {-1, 0, 9, kDefaultEventLogLevel, true},
      {-1, 2, 9, kDefaultEventLogLevel, true},
  };
  for (const auto& c : cases) {
    RegistrySandbox sandbox;
    if (c.machine >= 0) put(HKEY_LOCAL_MACHINE, settings, c.machine);
    if (c.user >= 0) put(HKEY_CURRENT_USER, settings, c.user);
    if (c.policy >= 0) put(HKEY_LOCAL_MACHINE, policy, c.policy);
    EXPECT_EQ(EventLogLevelNow(), c.expected) << c.machine << " " << c.user << " " << c.policy;
    EXPECT_EQ(EventLogLevelFixedByPolicy(), c.fixed);
  }
}

// A policy value of a type that holds no number fixes the default too.
TEST(EventSetting, APolicyOfTheWrongTypeFixesTheDefault) {
  RegistrySandbox sandbox;
  const std::string settings = "SOFTWARE\\Calderix\\Morvane\\General Settings";
  const std::string policy = std::string(kPolicyRootPath) + "\\General Settings";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, settings.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  const DWORD off = EVENT_LOG_OFF;
  ::RegSetValueExA(key, kEventLogValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
  ::RegCloseKey(key);
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, policy.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  const struct {
    DWORD type;
    std::string data;
  } cases[] = {{REG_SZ, "off"}, {REG_BINARY, std::string("\0\0", 2)}, {REG_MULTI_SZ, std::string("0\0\0", 3)}};
  for (const auto& c : cases) {
    ::RegSetValueExA(key, kEventLogValueName, 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                     static_cast<DWORD>(c.data.size()));
    EXPECT_EQ(EventLogLevelNow(), kDefaultEventLogLevel) << c.type;
    EXPECT_TRUE(EventLogLevelFixedByPolicy()) << c.type;
  }
  ::RegCloseKey(key);
}
