#include "OneThread.h"
#include "LibraryMessages.h"
#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace tw::decoder {

namespace {

// How many MPEG frames pass between two progress reports (about a second of audio).
constexpr int kFramesPerReport = 40;
// More frames than this in a row in another format are another stream, not a false frame.
constexpr int kMaxForeignFrames = 8;

} // namespace

OneThreadDecode::OneThreadDecode(const Options& options, const InputFile& input, OutputFile& output,
                                 Stream& stream, Listener* listener, Outcome& outcome)
    : m_options(options), m_input(input), m_output(output), m_stream(stream), m_listener(listener),
      m_outcome(outcome) {
    m_size = blockSize();
    m_block = newBlock(m_size);
}

bool OneThreadDecode::run() {
    Step step = Step::On;
    while (step == Step::On)
        step = decodeFrame();
    if (step == Step::Done && !flush())
        step = failed("cannot write " + m_options.output + ": " + errnoText(m_output.error()));
    return step == Step::Done;
}

// A short stream gets a block of its size.
std::size_t OneThreadDecode::blockSize() const {
    const off_t expected = mpg123_length(m_stream.mh.get());
    const std::size_t fits =
        expected > 0 ? (static_cast<std::size_t>(expected) * m_stream.bytesPerFrame + 0xFFFF) &
                           ~std::size_t{0xFFFF}
                     : kOutputBlock;
    return std::max(std::min(kOutputBlock, fits), 2 * m_stream.frameBytes);
}

OneThreadDecode::Step OneThreadDecode::decodeFrame() {
    if (m_size - m_filled < m_stream.frameBytes && !flush())
        return failed("cannot write " + m_options.output + ": " + errnoText(m_output.error()));
    mpg123_handle* mh = m_stream.mh.get();
    mpg123_replace_buffer(mh, m_block.get() + m_filled, m_size - m_filled);
    off_t frameNumber = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const long heard = LibraryMessages::heardOnThisThread();
    const int rc = mpg123_decode_frame(mh, &frameNumber, &audio, &bytes);
    if (heard != LibraryMessages::heardOnThisThread())
        noteDamage();
    if (!keepSamples(audio, bytes))
        return Step::Failed;
    if (rc == MPG123_DONE) {
        m_outcome.cutShort = endsInsideAFrame();
        return Step::Done;
    }
    if (rc == MPG123_NEW_FORMAT) {
        noteFormat();
        return Step::On;
    }
    if (rc != MPG123_OK)
        return afterError();
    if (!reportProgress())
        return failed("decoding " + m_options.input + " was stopped");
    return Step::On;
}

// Takes a frame's samples into the block, unless they are in another format; more such frames
// in a row than damage explains fail the run, unless -ign.
bool OneThreadDecode::keepSamples(unsigned char* audio, std::size_t bytes) {
    unsigned char* freeEnd = m_block.get() + m_filled;
    if (bytes > 0 && !m_foreign) {
        if (audio != freeEnd)
            std::memmove(freeEnd, audio, bytes);
        m_filled += bytes;
    } else if (bytes > 0 && ++m_foreignFrames > kMaxForeignFrames && !m_options.ignoreErrors) {
        failed("the stream in " + m_options.input + " changes its sample rate or channels midway");
        return false;
    }
    return true;
}

// Complaints of the library within a second of the output of each other are one damaged place;
// the first one's time is where the output had come to.
void OneThreadDecode::noteDamage() {
    const long long at =
        m_outcome.frames + static_cast<long long>(m_filled / m_stream.bytesPerFrame);
    if (m_outcome.damagedPlaces == 0)
        m_outcome.firstDamageAt = static_cast<double>(at) / static_cast<double>(m_stream.rate);
    if (m_outcome.damagedPlaces == 0 || at > m_lastDamage + m_stream.rate)
        ++m_outcome.damagedPlaces;
    m_lastDamage = at;
}

// The frames from here on are in the stream's own format or in another.
void OneThreadDecode::noteFormat() {
    const bool wasForeign = m_foreign;
    m_foreign = !inFormat(m_stream.mh.get(), m_stream.rate, m_stream.channels);
    if (m_foreign && !wasForeign) {
        m_foreignFrames = 0;
        ++m_outcome.damagedParts;
    }
}

// A frame the library could not decode ends the run; under -ign the search goes on from where
// the library gave up, as long as that moves forward.
OneThreadDecode::Step OneThreadDecode::afterError() {
    if (!m_options.ignoreErrors)
        return failed(whyDecodingFailed());
    const off_t at = m_stream.reader->position();
    if (at <= m_lastErrorAt || m_stream.reader->error())
        return Step::Done;
    m_lastErrorAt = at;
    ++m_outcome.damagedParts;
    return Step::On;
}

// Whether the input ends in the middle of a frame, where the library stopped: bytes are left
// after the last frame it decoded, and they begin as a frame does (an ID3v1 tag or other
// trailing data does not).
bool OneThreadDecode::endsInsideAFrame() const {
    mpg123_frameinfo2 fi{};
    if (mpg123_info2(m_stream.mh.get(), &fi) != MPG123_OK)
        return false;
    const off_t end = mpg123_framepos(m_stream.mh.get()) + fi.framesize;
    unsigned char b[2];
    return m_input.regular() && end + 4 <= m_input.size() &&
           ::pread(m_input.fd(), b, 2, end) == 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0;
}

std::string OneThreadDecode::whyDecodingFailed() const {
    const std::string& in = m_options.input;
    const InputReader& reader = *m_stream.reader;
    if (reader.error())
        return "cannot read " + in + ": " + errnoText(reader.error());
    if (mpg123_errcode(m_stream.mh.get()) == MPG123_RESYNC_FAIL)
        return "lost synchronization in " + in + " at byte " + std::to_string(reader.position()) +
               " and found no next frame nearby (-sa searches on)";
    return "decoding " + in + " failed: " + mpg123_strerror(m_stream.mh.get());
}

// Every kFramesPerReport frames, how far the input has been read; false when the listener stops
// the run.
bool OneThreadDecode::reportProgress() {
    if (!m_listener || ++m_framesSinceReport < kFramesPerReport)
        return true;
    m_framesSinceReport = 0;
    const double fraction = m_input.size() > 0 ? static_cast<double>(m_stream.reader->position()) /
                                                     static_cast<double>(m_input.size())
                                               : 0.0;
    return tellProgress(m_listener, fraction);
}

bool OneThreadDecode::flush() {
    if (m_filled && !m_output.append(m_block.get(), m_filled))
        return false;
    m_outcome.frames += static_cast<long long>(m_filled / m_stream.bytesPerFrame);
    m_filled = 0;
    return true;
}

OneThreadDecode::Step OneThreadDecode::failed(std::string why) {
    m_outcome.message = std::move(why);
    return Step::Failed;
}

} // namespace tw::decoder
