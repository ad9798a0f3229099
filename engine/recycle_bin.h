// The recycle bin: how much all bins hold, and emptying them. The empty goes
// through the preview switch like every other change a sweep makes; both
// calls go through the platform table, because under Wine the recycle bin is
// the host's trash, which tests must never empty.
#pragma once
#include <cstdint>

// Total bytes and item count of all recycle bins. False when the query fails
// (both left at 0).
bool QueryRecycleBins(uint64_t* bytes, uint64_t* items);

// Empties all recycle bins without confirmation, progress window or sound.
// In preview nothing is emptied and the result is true. A failure is traced
// ("Cannot Empty All RecycleBin") and gives false. What the bins held is
// recorded in the outcome ledger as removed, or, when the shell refuses,
// as not removed with its line.
bool EmptyRecycleBins();
