#include "shell/json_report.h"

#include <cstring>

#include <nlohmann/json.hpp>

#include "engine/browsers.h"
#include "engine/sweep_worker.h"
#include "morvane_version.h"
#include "rules/rule_set.h"
#include "shell/console_report.h"

using nlohmann::ordered_json;

namespace {

// One line: no indentation, UTF-8 as it is, and bytes that are not UTF-8
// replaced rather than thrown at (a name on disk may hold anything).
std::string Dump(const ordered_json& object) {
  return object.dump(-1, ' ', /*ensure_ascii=*/false, ordered_json::error_handler_t::replace);
}

ordered_json CategoryValue(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return nullptr;
  return SweepCategoryName(static_cast<SweepCategory>(category));
}

// Sizes to the byte: the text report prints three decimals, so does this.
double RoundKB(double kb) { return static_cast<double>(static_cast<long long>(kb * 1000.0 + 0.5)) / 1000.0; }

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kRemoved: return "removed";
    case Outcome::kScheduled: return "scheduled";
    case Outcome::kGuarded: return "guarded";
    case Outcome::kRefused: return "refused";
    case Outcome::kHeld: return "held";
    case Outcome::kFailed: return "failed";
    case Outcome::kNotScheduled: return "not scheduled";
    case Outcome::kHoldsLeftItem: return "left";
  }
  return "failed";
}

bool IsDatabaseRecord(const OutcomeRecord& record, std::string* browser) {
  // The database cleaners record under the browser's own entries; what they
  // leave is the file as a whole (rows they remove are items like any other).
  if (record.outcome == Outcome::kRemoved || record.outcome == Outcome::kGuarded) return false;
  if (record.outcome == Outcome::kScheduled && record.reason.empty()) return false;
  size_t count = 0;
  const BrowserInfo* all = Browsers(&count);
  for (size_t i = 0; i < count; ++i) {
    if (record.entry != all[i].historyChoice && record.entry != all[i].cookieChoice) continue;
    if (browser != nullptr) *browser = all[i].name;
    return true;
  }
  return false;
}

std::string JsonRecordLine(const OutcomeRecord& record) {
  ordered_json line;
  std::string browser;
  if (IsDatabaseRecord(record, &browser)) {
    line["type"] = "database";
    line["browser"] = browser;
    line["entry"] = record.entry;
    line["file"] = record.item;
    line["outcome"] = OutcomeName(record.outcome);
    line["reason"] = record.reason;
    return Dump(line);
  }
  return JsonItemLine(record);
}

std::string JsonItemLine(const OutcomeRecord& record) {
  ordered_json line;
  line["type"] = "item";
  line["category"] = CategoryValue(record.category);
  line["entry"] = record.entry;
  line["item"] = record.item;
  line["kb"] = RoundKB(record.kb);
  line["outcome"] = OutcomeName(record.outcome);
  line["reason"] = record.reason;
  return Dump(line);
}

std::vector<std::string> JsonRuleLines(const RuleSet& rules) {
  std::vector<std::string> lines;
  for (const RuleFileReport& file : rules.Files()) {
    if (file.skipped.empty()) continue;
    ordered_json line;
    line["type"] = "rule_file";
    line["file"] = file.path;
    line["reason"] = file.skipped;
    lines.push_back(Dump(line));
  }
  // The entries a sweep would run: a community entry nobody switched on
  // refuses keys that never matter here.
  for (const RuleEntry& entry : rules.Entries()) {
    if (!entry.builtin && !RuleEntryOn(entry)) continue;
    for (const RuleRefusal& refusal : entry.refused) {
      ordered_json line;
      line["type"] = "rule";
      line["source"] = entry.source;
      line["entry"] = entry.name;
      line["key"] = refusal.key;
      line["whole"] = entry.refusedWhole;
      line["reason"] = refusal.reason;
      lines.push_back(Dump(line));
    }
  }
  return lines;
}

std::string JsonTotalsLine(const JsonTotals& totals) {
  ordered_json line;
  line["type"] = "totals";
  line["format"] = kJsonReportFormat;
  line["version"] = MORVANE_VERSION_TEXT;
  line["preview"] = totals.preview;
  line["items"] = totals.items;
  line["kb"] = RoundKB(totals.kb);
  line["not_removed"] = totals.notRemoved;
  line["exit_code"] = totals.exitCode;
  line["duration_seconds"] = RoundKB(totals.seconds);
  if (!totals.declined.empty()) line["declined"] = totals.declined;
  return Dump(line);
}

void JsonReport::Record(const OutcomeRecord& record) {
  // An item is what the log numbers, rows of a database included: its
  // numbered line is the item's one line here. A removal's own record would
  // tell the same item again (or, inside a folder or a database, a part of
  // it); what stays has no numbered line and is told by its record.
  if (record.numbered) {
    WriteLine(JsonItemLine(record));
    return;
  }
  if (record.outcome == Outcome::kRemoved || record.outcome == Outcome::kScheduled) return;
  // A folder that stays only because it holds an item left behind is no
  // item: that item's own line tells why.
  if (record.outcome == Outcome::kHoldsLeftItem) return;
  WriteLine(JsonRecordLine(record));
}

void JsonReport::WriteLine(const std::string& line) { m_out.AppendLog(line.c_str()); }
