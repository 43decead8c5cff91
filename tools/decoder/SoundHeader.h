#pragma once

#include "Format.h"
#include "Tags.h"

#include <optional>
#include <vector>

namespace tw::decoder {

// What goes before the samples of a 16-bit PCM file in `format` holding `frames` sample frames
// of `channels` channels at `rate` Hz: the classic layout of each container, chunk for chunk
// what the common sound-file libraries write. The tags go into it as far as the container keeps
// them (WAV: a LIST INFO chunk with every field; AIFF and AIFC: NAME, AUTH and ANNO chunks with
// title, artist and comment; SND: none), so its length, and with it where the samples begin,
// depends on the tags alone and not on `frames`. Nothing when the sizes do not fit the
// container's 32-bit fields.
std::optional<std::vector<unsigned char>> soundHeader(Format format, long rate, int channels,
                                                      long long frames, const Tags& tags = {});

} // namespace tw::decoder
