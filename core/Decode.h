#pragma once

#include "AppState.h"
#include "DecodeInput.h"

#include <string>

namespace tw {

class Platform;

struct DecodeResult {
    enum class Kind {
        Started,         // TEMP.BAT written and started
        NothingSelected, // the window shows the "Yikes!" box
        Refused,         // a folder is missing, or no selected file can be decoded safely;
                         // nothing was written
        Failed           // a step failed; what was written stays on disk
    };
    Kind kind = Kind::Started;
    // Refused and Failed: what and why, for a message box. NothingSelected: the box's text.
    // Started: empty, or the files that were left out and why, for a message box.
    std::wstring message;
};

// The Decode operation: writes TEMP.BAT afresh in state.DecoderPath (made the current
// directory first) and starts it in a console window, minimized when LoadMode is 1. The
// script is built and checked in full before anything is touched, so a refusal changes
// nothing; buildBatchScript (Script.h) gives the same text without writing it. Files that
// cannot be decoded safely are left out and the others go ahead.
[[nodiscard]] DecodeResult decodeNow(Platform& platform, const DecodeInput& input,
                                     const AppState& state);

} // namespace tw
