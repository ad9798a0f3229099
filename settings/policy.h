// Settings an administrator fixes for every user of a machine, under
// HKLM\SOFTWARE\Policies\Calderix\Morvane\<group>. A value there wins over the
// per-user and the machine key, and is never copied into either.
//
// A number is fixed whole by a value of its own name ("TmSn", "Targets"), or
// bit by bit by values named after it and one bit ("Targets.0x20" = 1 sets
// Deep Sweep, 0 clears it), so that separate policies can each own one bit of
// the same setting. A value may be REG_DWORD, a 4-byte REG_BINARY or a REG_SZ
// holding a number.
#pragma once
#include <string>
#include <vector>

extern const char kPolicyRootPath[];  // "SOFTWARE\Policies\Calderix\Morvane"

// The General Settings policy value that hides the control panel: 1 leaves the
// tray menu with "Show Log Window", "About" and "Exit"; 2 shows no tray icon.
extern const char kHidePanelValueName[];  // "NoControlPanel"
enum PanelPolicy : int { PANEL_SHOWN = 0, PANEL_HIDDEN = 1, PANEL_NO_ICON = 2 };

// Which bits of one stored number policy fixes, and their values.
struct PolicyFix {
  unsigned mask = 0;
  unsigned bits = 0;
  bool Any() const { return mask != 0; }
  bool Whole() const { return mask == ~0u; }
  int Apply(int value) const {
    return static_cast<int>((static_cast<unsigned>(value) & ~mask) | (bits & mask));
  }
};

// The policy key of a settings key: "SOFTWARE\Calderix\Morvane\Windows" gives
// "SOFTWARE\Policies\Calderix\Morvane\Windows". Empty for a path outside
// the program's own key.
std::string PolicyPathFor(const std::string& settingsPath);

// Reads a number's fix from the policy key `policyPath` (below
// HKEY_LOCAL_MACHINE). `bitwise`: per-bit values count too; a per-bit value
// for a bit outside `allowedBits` is ignored.
PolicyFix ReadPolicyFix(const std::string& policyPath, const char* name, bool bitwise, unsigned allowedBits);

// One policy value as a number; false when absent or not a number.
bool ReadPolicyNumber(const std::string& policyPath, const char* name, int* value);

// The per-bit value name of `name` and `bit`: "Targets" and 0x20 give "Targets.0x20".
std::string PolicyBitValueName(const char* name, unsigned bit);

// The hide-the-control-panel policy (PanelPolicy).
int PanelPolicyNow();

// True when any value is set below the program's policy key: the Settings
// page then says that some settings are managed.
bool AnyPolicySet();
