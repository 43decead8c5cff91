#pragma once

// The container l3dec writes: one value from the switch on its command line to the header and
// the byte order of the samples.

#include <optional>
#include <string>
#include <string_view>

namespace tw::decoder {

enum class Format { Wav, Snd, Aiff, Aifc };

// The format a switch names (-wav, -snd, -aif, -aic, in any case), or nothing.
std::optional<Format> formatFromSwitch(std::string_view arg);

// "WAV, 16-bit PCM" and the like: what the output file will be.
std::string describe(Format format);

// Whether the container keeps its samples big-endian; the decoder delivers them so, and they go
// to the file as they are.
bool bigEndianSamples(Format format);

} // namespace tw::decoder
