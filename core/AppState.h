#pragma once

#include <cstdint>
#include <string>

namespace tw {

// The values that outlive one user action. One instance, owned by the main window for the
// whole run; dialogs reach it through the main window.
struct AppState {
    std::wstring Destination;  // folder that receives the decoded files
    std::int16_t LoadMode = 0; // console window: 1 = minimized, anything else normal
    std::wstring DecoderPath;  // folder of L3DEC.EXE; TEMP.BAT is written and run there
    std::wstring AppPath;      // the program's folder, always ending in "\"
};

} // namespace tw
