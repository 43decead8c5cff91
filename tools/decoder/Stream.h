#pragma once

// The stream as the MPEG library reads it: a handle set up for the run, reading through an
// InputReader, and what the stream is.

#include "Input.h"
#include "Options.h"

#include <mpg123.h>

#include <cstddef>
#include <memory>
#include <string>

namespace tw::decoder {

struct HandleDeleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

using Handle = std::unique_ptr<mpg123_handle, HandleDeleter>;

// A handle set up as every decode of `options` needs it, reading through `reader`. Nothing on
// failure, with the library's reason.
Handle openHandle(const Options& options, InputReader& reader, std::string& why);

// "MPEG-1 Layer III, 192 kbit/s, 44100 Hz, joint stereo" and the like.
std::string describeStream(mpg123_handle* mh, long rate);

// Whether the handle now decodes in `rate` and `channels`, the format the stream began with.
bool inFormat(mpg123_handle* mh, long rate, int channels);

// The stream opened from its start by a handle of its own, and its format.
struct Stream {
    std::unique_ptr<InputReader> reader; // read by mh
    Handle mh;
    long rate = 0;
    int channels = 0;
    std::size_t bytesPerFrame = 0; // of decoded samples: one 16-bit sample a channel
    std::size_t frameBytes = 0;    // the most one MPEG frame decodes to
};

// Opens `input` (options.input) from its start into `stream`; false with the reason in `why`.
bool openStream(const Options& options, const InputFile& input, Stream& stream, std::string& why);

} // namespace tw::decoder
