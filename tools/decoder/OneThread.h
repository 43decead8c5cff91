#pragma once

// Decoding a stream on one thread, from where its handle stands to its end: every stream that
// is not cut into pieces, damaged ones included.

#include "Decoder.h"
#include "Input.h"
#include "Output.h"
#include "Stream.h"

#include <string>

namespace tw::decoder {

// The library decodes each frame straight into the free end of a block, so samples are never
// copied before they are written; full blocks are appended to the output. What the decode
// meets on the way (damage, frames of another format, the end) goes into the outcome.
class OneThreadDecode {
public:
    OneThreadDecode(const Options& options, const InputFile& input, OutputFile& output,
                    Stream& stream, Listener* listener, Outcome& outcome);

    // Decodes to the end of the stream; false with the reason in the outcome's message.
    bool run();

private:
    enum class Step { On, Done, Failed }; // how the decode goes on after a frame

    std::size_t blockSize() const;
    Step decodeFrame();
    bool keepSamples(unsigned char* audio, std::size_t bytes);
    void noteDamage();
    void noteFormat();
    Step afterError();
    bool endsInsideAFrame() const;
    std::string whyDecodingFailed() const;
    bool reportProgress();
    bool flush();
    Step failed(std::string why);

    const Options& m_options;
    const InputFile& m_input;
    OutputFile& m_output;
    Stream& m_stream;
    Listener* m_listener;
    Outcome& m_outcome;
    Block m_block;
    std::size_t m_size = 0;
    std::size_t m_filled = 0;
    int m_framesSinceReport = 0;
    off_t m_lastErrorAt = -1;
    // Frames in another rate or channel count than the stream began with: a false frame found
    // while searching through damage, or another stream joined on. Their audio is left out.
    bool m_foreign = false;
    int m_foreignFrames = 0;
    long long m_lastDamage = 0; // sample frames written when the library last complained
};

} // namespace tw::decoder
