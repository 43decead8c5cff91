#pragma once

#include "Decoder.h"

#include <optional>
#include <vector>

namespace tw::decoder {

// What goes before the samples of a 16-bit PCM file in `format` holding `frames` sample frames
// of `channels` channels at `rate` Hz: the classic layout of each container, chunk for chunk
// what the common sound-file libraries write. Nothing when the sizes do not fit the
// container's 32-bit fields.
std::optional<std::vector<unsigned char>> soundHeader(Format format, long rate, int channels,
                                                      long long frames);

} // namespace tw::decoder
