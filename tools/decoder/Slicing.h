#pragma once

// What decoding a stream on several threads rests on: how many threads a run may use, and where
// the frames of a stream lie, so that it can be cut at frame boundaries.

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace tw::decoder {

// The threads a decode may use: `requested` when positive (the -j switch), else the
// L3DEC_THREADS environment variable when it holds a positive number, else every core this
// process may run on. A batch that runs several decoders at once shares the cores out through
// L3DEC_THREADS, so that together they never ask for more than there are.
int decodeThreads(int requested);

// Reads `count` bytes at `offset` into `into`; false when the file has fewer.
using ReadAt = std::function<bool(off_t offset, std::size_t count, unsigned char* into)>;

// The byte offsets of the frames of an MPEG-1 Layer III stream of `size` bytes, when it is one
// without a flaw: tags at the start (ID3v2) and the end (ID3v1) aside, nothing but frames whose
// headers agree with the first in everything that shapes decoding (see Header in Slicing.cpp),
// one right after the other, the last one whole.
// Anything else (another layer or version, free format, junk, a cut, another stream joined
// on) gives nothing: such a stream is decoded in one piece.
std::optional<std::vector<off_t>> scanCleanLayer3(off_t size, const ReadAt& read);

} // namespace tw::decoder
