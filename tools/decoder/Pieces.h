#pragma once

// Decoding a long stream in pieces, one per thread, into the very bytes one thread writes.

#include "Decoder.h"
#include "Input.h"
#include "Output.h"
#include "Stream.h"

#include <string>

namespace tw::decoder {

enum class Pieces {
    Whole,   // not a stream to cut: the handle is where it was, for one thread to go on
    Written, // every piece shown to be what one thread gives
    NotSame, // not shown: the samples must be decoded again from the start on one thread
    Failed,  // the output could not be written, or the listener stopped the run
};

struct PiecesResult {
    Pieces result = Pieces::Whole;
    std::string message; // why, when Failed: the system's words, or "stopped"
    long long bytes = 0; // of samples written, when Written
    int threads = 1;
};

// What the pieces work on: the run's options and files and the stream opened from its start,
// whose samples go to the output from `dataStart` on.
struct PiecesInput {
    const Options& options;
    const InputFile& input;
    const OutputFile& output;
    Stream& stream;
    off_t dataStart;
    bool hearing; // the library's complaints are heard (LibraryMessages)
};

// Decodes a long MPEG-1 Layer III stream without flaws in pieces, on as many threads as the run
// may use; any other stream is left Whole.
PiecesResult decodeInPiecesIfLong(const PiecesInput& in, Listener* listener);

} // namespace tw::decoder
