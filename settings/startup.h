#pragma once

#include "settings/settings.h"

// The start-up that the window and the command line share: the application's name, and the
// settings read from the store, which a first start installs with their defaults. Fills
// urlContainsChecked with the stored filter mode; SettingsLoaded is true afterwards.
void StartUp(TSettingsRecord& settings, bool& urlContainsChecked);
