#include "engine/recycle_bin.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "engine/file_removal.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"

bool QueryRecycleBins(uint64_t* bytes, uint64_t* items) {
  *bytes = 0;
  *items = 0;
  SHQUERYRBINFO info = {};
  // The record's own size for this build: 20 bytes when packed for 32-bit
  // code, 24 for 64-bit code, and the shell checks it.
  info.cbSize = sizeof info;
  if (FAILED(g_platform.SHQueryRecycleBinA(nullptr, &info))) return false;
  *bytes = static_cast<uint64_t>(info.i64Size);
  *items = static_cast<uint64_t>(info.i64NumItems);
  return true;
}

bool EmptyRecycleBins() {
  uint64_t bytes = 0, items = 0;
  QueryRecycleBins(&bytes, &items);
  const std::string item = "Recycle Bin (" + std::to_string(items) + " item(s))";
  if (PreviewActive()) {
    if (items > 0) RecordOutcome(Outcome::kRemoved, item, BytesToKB(bytes));
    return true;
  }
  const HRESULT hr =
      g_platform.SHEmptyRecycleBinA(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
  if (FAILED(hr)) {
    Trace("Cannot Empty All RecycleBin\n");
    // An empty bin that "fails" to empty has lost nothing.
    if (items > 0) RecordLeft(Outcome::kFailed, item, "the shell refused to empty it");
    return false;
  }
  if (items > 0) RecordOutcome(Outcome::kRemoved, item, BytesToKB(bytes));
  return true;
}
