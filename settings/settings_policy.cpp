// The settings groups under the administrator's policies: which numbers each
// group lets policy fix, applying the fixes after a load, and keeping them out
// of every save.
#include "settings/event_setting.h"
#include "settings/page_fields.h"
#include "settings/policy.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"

namespace {

// The bits that have a box on the group's page: the ones an option stands for.
template <class Fields>
unsigned BitsOf(CheckBindings<Fields> checks) {
  unsigned bits = 0;
  for (const auto& c : checks) bits |= static_cast<unsigned>(c.bit);
  return bits;
}

}  // namespace

std::vector<SettingsGroup::PolicedNumber> SettingsGroup::PolicedNumbers() { return {}; }

std::vector<SettingsGroup::PolicedNumber> GeneralSettings::PolicedNumbers() {
  return {{"Targets", &m_nTargets, BitsOf(SettingsTargetChecks())},
          {"StTm", &m_nSweepAt, BitsOf(SettingsSweepAtChecks())},
          {"TmSn", &m_nTimerSeconds, 0}};
}

std::vector<SettingsGroup::PolicedNumber> WindowsSettings::PolicedNumbers() {
  return {{"Targets", &m_nTargets, BitsOf(WindowsTargetChecks())}};
}

std::vector<SettingsGroup::PolicedNumber> InternetSettings::PolicedNumbers() {
  return {{"Targets", &m_nTargets, BitsOf(InternetTargetChecks())}};
}

std::vector<SettingsGroup::PolicedNumber> ApplicationSettings::PolicedNumbers() {
  return {{"Targets", &m_nTargets, BitsOf(ApplicationsTargetChecks())}};
}

void SettingsGroup::ApplyPolicies(const char* path) {
  m_fixed.clear();
  const std::string policyPath = PolicyPathFor(path);
  for (const PolicedNumber& number : PolicedNumbers()) {
    const PolicyFix fix = ReadPolicyFix(policyPath, number.name, number.bits != 0, number.bits);
    if (!fix.Any()) continue;
    m_fixed.push_back(Fixed{number.name, number.field, fix, *number.field});
    *number.field = fix.Apply(*number.field);
  }
}

void SettingsGroup::ReapplyPolicies() {
  for (const Fixed& f : m_fixed) *f.field = f.fix.Apply(*f.field);
}

bool SettingsGroup::IsFixed(const char* name, unsigned bit) const {
  for (const Fixed& f : m_fixed) {
    if (f.name != name) continue;
    return bit == 0 ? f.fix.Any() : (f.fix.mask & bit) != 0;
  }
  return false;
}

bool SettingsGroup::ValueToStore(const char* name, int value, int* stored) const {
  *stored = value;
  for (const Fixed& f : m_fixed) {
    if (f.name != name) continue;
    if (f.fix.Whole()) return false;
    const unsigned mask = f.fix.mask;
    *stored = static_cast<int>((static_cast<unsigned>(value) & ~mask) | (static_cast<unsigned>(f.own) & mask));
    return true;
  }
  return true;
}

std::vector<PolicyValueName> KnownPolicyValues() {
  std::vector<PolicyValueName> known;
  const struct {
    SettingsGroup* group;
    const char* path;
  } groups[] = {{&g_GeneralSettings, kGeneralSettingsPath},
                {&g_WindowsSettings, kWindowsSettingsPath},
                {&g_InternetSettings, kInternetSettingsPath},
                {&g_ApplicationSettings, kApplicationSettingsPath}};
  for (const auto& g : groups) {
    const std::string key = PolicyPathFor(g.path);
    for (const SettingsGroup::PolicedNumber& number : g.group->PolicedNumbers()) {
      known.push_back({key, number.name});
      for (unsigned bit = 1; bit != 0 && bit <= number.bits; bit <<= 1)
        if (number.bits & bit) known.push_back({key, PolicyBitValueName(number.name, bit)});
    }
  }
  known.push_back({PolicyPathFor(kGeneralSettingsPath), kHidePanelValueName});
  known.push_back({PolicyPathFor(kGeneralSettingsPath), kEventLogValueName});
  known.push_back({PolicyPathFor(kRulesSettingsPath), ""});
  return known;
}
