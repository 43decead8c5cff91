#pragma once

#include "SettingsHost.h"

namespace tw {

class Platform;

// Reads tonwright.ini into the main window's state; runs Setup when reading fails.
void loadSettings(const Platform& platform, SettingsHost& host);

} // namespace tw
