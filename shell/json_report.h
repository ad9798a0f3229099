// The machine-readable report of "/once /report:json": one JSON object per
// line on standard output, for scripts that collect results from many
// machines. One object per item the sweep met (removed, scheduled, left),
// one per rule entry, rule key or rule file refused at load and one per
// browser database refused or held, and a last totals object.
//
// Every text goes through the JSON library's own encoder: control
// characters are escaped, a name that is not valid UTF-8 has its bad bytes
// replaced by U+FFFD, and a path of any length stays one line.
#pragma once
#include <string>
#include <vector>

#include "engine/outcome_ledger.h"

class ConsoleReport;
class RuleSet;

// The version of the line format; it changes only when a field changes
// meaning or goes away (new fields may appear without a change).
constexpr int kJsonReportFormat = 1;

// "removed", "scheduled", "guarded", "refused", "held", "failed", "not scheduled".
const char* OutcomeName(Outcome outcome);

// A browser database the record is about (held, refused, failed); false for
// every other record. browser: the browser's name when the entry or the path
// tells it ("Chrome", "Firefox"), else empty.
bool IsDatabaseRecord(const OutcomeRecord& record, std::string* browser);

// {"type":"item","category":...,"entry":...,"item":...,"kb":...,"outcome":...,"reason":...}
// or, for a database record, {"type":"database","browser":...,"file":...,"outcome":...,"reason":...}.
std::string JsonRecordLine(const OutcomeRecord& record);
// One item of the log: its category, entry, name, size and outcome.
std::string JsonItemLine(const OutcomeRecord& record);
// {"type":"rule_file",...} for each file skipped, {"type":"rule",...} for
// each entry refused whole and each key refused.
std::vector<std::string> JsonRuleLines(const RuleSet& rules);

struct JsonTotals {
  int items = 0;       // the numbered items, as "Total: N item(s)" counts them
  double kb = 0.0;
  int notRemoved = 0;  // as the "Not removed" line counts them; in a preview, the items that would stay
  int exitCode = 0;
  double seconds = 0.0;
  bool preview = false;
  // Why a "/once" run swept nothing at all (another Morvane runs); empty
  // when it swept. Written as "declined" only when set.
  std::string declined;
};
std::string JsonTotalsLine(const JsonTotals& totals);

// Writes a line per record as each is made, to out. Attach for the sweep,
// detach before reading anything else it wrote.
class JsonReport : public OutcomeSink {
 public:
  explicit JsonReport(ConsoleReport& out) : m_out(out) {}
  ~JsonReport() override { Detach(); }
  JsonReport(const JsonReport&) = delete;
  JsonReport& operator=(const JsonReport&) = delete;

  void Attach() { AttachOutcomeSink(this); }
  void Detach() { DetachOutcomeSink(this); }
  void Record(const OutcomeRecord& record) override;
  void WriteLine(const std::string& line);

 private:
  ConsoleReport& m_out;
};
