#include "Settings.h"

namespace tw {

void loadSettings(const Platform&, SettingsHost&) {}

} // namespace tw
