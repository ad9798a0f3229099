// Reading and writing the settings groups in the registry.
// Owner: the registry settings issue; until it lands the groups keep their
// defaults and these hooks do nothing.
#include "settings/settings_groups.h"

void GeneralSettings::Load(RegKey&) {}
void GeneralSettings::Save(RegKey&) {}
void WindowsSettings::Load(RegKey&) {}
void WindowsSettings::Save(RegKey&) {}
void InternetSettings::Load(RegKey&) {}
void InternetSettings::Save(RegKey&) {}
void ApplicationSettings::Load(RegKey&) {}
void ApplicationSettings::Save(RegKey&) {}
