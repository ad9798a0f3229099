// Where the protected places are, as the system names them: the known
// folders, the shell's special folders, the environment, the temporary
// folders, the stores of keys and every profile. The removal guard takes
// them from here each time it takes its set afresh and judges them by
// identity; nothing else reads this list.
#pragma once
#include <string>
#include <vector>

namespace guard {

// What a guarded folder is: never swept as a whole (system and profile
// roots); a user data folder, which nothing reached through a reference may
// sweep below either; a temporary folder, emptied but never removed; or a
// store of keys and credentials, never swept at all, whoever asks.
enum class Kind { kWhole, kData, kKeepSelf, kSealed };

struct Named {
  std::string text;
  Kind kind;
  const char* name;
};

// Every guarded folder, as the system names it. The same folder may come
// more than once, under several names; each one is judged.
std::vector<Named> CollectNamedTexts();
// The system's own folders that may lie inside a data folder moved to the
// profile or a drive root; below them, such a data folder does not protect.
std::vector<std::string> CollectSystemOwnTexts();

}  // namespace guard
