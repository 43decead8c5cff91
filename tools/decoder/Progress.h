#pragma once

// How far a decode has come, told to its listener.

#include "Decoder.h"

#include <algorithm>

namespace tw::decoder {

// The most progress told while decoding: the whole (1.0) is told once, when the output is
// complete, however the reports fall on the last frames.
constexpr double kBeforeTheEnd = 0.999;

// Tells `listener`, if any, that `fraction` of the input is decoded; false when it stops the run.
inline bool tellProgress(Listener* listener, double fraction) {
    return !listener || listener->progress(std::min(fraction, kBeforeTheEnd));
}

} // namespace tw::decoder
