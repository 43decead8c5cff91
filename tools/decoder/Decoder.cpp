#include "Decoder.h"
#include "Input.h"
#include "LibraryMessages.h"
#include "OneThread.h"
#include "Output.h"
#include "Pieces.h"
#include "SoundHeader.h"
#include "Stream.h"

#include <cerrno>
#include <string>

namespace tw::decoder {

namespace {

// One run of decode(): the input, the output and the stream, and what has come of it. Each step
// gives false when the run fails, with the reason in the outcome.
class Decoding {
public:
    Decoding(const Options& options, Listener* listener)
        : m_options(options), m_listener(listener), m_in(options.input), m_out(options.output) {}
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    Outcome run() {
        if (!openFiles() || !readStreamFormat() || !createOutput())
            return m_outcome;
        // From here on a failure takes the partial file away again.
        if (writePlaceholderHeader() && decodeStream() && finishOutput())
            m_outcome.ok = true;
        else
            m_output.discard();
        return m_outcome;
    }

private:
    bool fail(std::string why) {
        m_outcome.message = std::move(why);
        return false;
    }
    bool writeFailed() {
        return fail("cannot write " + m_out + ": " + errnoText(m_output.error()));
    }

    // Opens the input, and the output's folder, looking at what the output's name holds now.
    bool openFiles() {
        if (!m_input.open(m_in))
            return fail("cannot open " + m_in + ": " + errnoText(m_input.error()));
        std::string message;
        return m_output.prepare(m_out, m_input, message) || fail(message);
    }

    // Opens the stream from its start on a reader of its own. What the library says before the
    // first frame is about the header's idea of the stream's length (a file cut short or
    // joined on), which changes no sample: a cut is told from the last frame.
    bool openStream() {
        std::string message;
        m_outcome.damagedPlaces = 0;
        return tw::decoder::openStream(m_options, m_input, m_stream, message) || fail(message);
    }

    // Opens the stream and reads its rate, channels and tags; the listener hears what it is.
    bool readStreamFormat() {
        if (!openStream())
            return false;
        m_outcome.rate = m_stream.rate;
        m_outcome.channels = m_stream.channels;
        m_outcome.tags = readTags(m_in);
        if (m_listener)
            m_listener->started({m_stream.rate, m_stream.channels,
                                 describeStream(m_stream.mh.get(), m_stream.rate)});
        return true;
    }

    bool createOutput() {
        std::string message;
        return m_output.create(message) || fail(message);
    }

    // The header goes first as if the file held no samples, and again with their count at the
    // end. Its length depends on the tags alone, so the samples' place is fixed from here on,
    // for the pieces too.
    bool writePlaceholderHeader() {
        const auto placeholder =
            soundHeader(m_options.format, m_stream.rate, m_stream.channels, 0, m_outcome.tags);
        if (!placeholder || !m_output.append(placeholder->data(), placeholder->size()))
            return fail("cannot create " + m_out + ": " +
                        errnoText(m_output.error() ? m_output.error() : EINVAL));
        m_headerSize = placeholder->size();
        return true;
    }

    bool decodeStream() {
        if (!decodeInPieces())
            return false;
        if (m_outcome.threads == 1 &&
            !OneThreadDecode(m_options, m_input, m_output, m_stream, m_listener, m_outcome).run())
            return false;
        if (m_outcome.frames == 0 && m_outcome.damagedParts > 0)
            return fail("nothing in " + m_in + " could be decoded");
        return true;
    }

    // A long stream without flaws goes in pieces, on as many threads as may be used; the
    // outcome's threads say whether it did.
    bool decodeInPieces() {
        const PiecesInput in{m_options, m_input,     m_output,
                             m_stream,  dataStart(), m_messages.listening()};
        const PiecesResult pieces = decodeInPiecesIfLong(in, m_listener);
        switch (pieces.result) {
        case Pieces::Whole:
            return true;
        case Pieces::Written:
            m_outcome.frames = pieces.bytes / static_cast<long long>(m_stream.bytesPerFrame);
            m_outcome.threads = pieces.threads;
            return true;
        case Pieces::NotSame:
            return startAgain();
        case Pieces::Failed:
            break;
        }
        return fail(pieces.message == "stopped" ? "decoding " + m_in + " was stopped"
                                                : "cannot write " + m_out + ": " + pieces.message);
    }

    // The pieces were not shown to be the same: from the start again, on one thread.
    bool startAgain() {
        if (!m_output.truncate(dataStart()))
            return writeFailed();
        return openStream();
    }

    // The final header; only a complete file takes the output's name.
    bool finishOutput() {
        if (m_listener)
            m_listener->progress(1.0);
        const auto header = soundHeader(m_options.format, m_stream.rate, m_stream.channels,
                                        m_outcome.frames, m_outcome.tags);
        if (!header || header->size() != m_headerSize)
            return fail("cannot write " + m_out + ": " + errnoText(EFBIG) + " for the format");
        if (const int error = m_output.writeAt(header->data(), header->size(), 0))
            return fail("cannot write " + m_out + ": " + errnoText(error));
        if (!m_output.close())
            return writeFailed();
        std::string message;
        return m_output.land(m_input, message) || fail(message);
    }

    off_t dataStart() const { return static_cast<off_t>(m_headerSize); }

    LibraryMessages m_messages; // heard from the start to the end of the run
    const Options& m_options;
    Listener* m_listener;
    const std::string& m_in;
    const std::string& m_out;
    Outcome m_outcome;
    InputFile m_input;
    OutputFile m_output;
    Stream m_stream;
    std::size_t m_headerSize = 0; // where the samples start
};

} // namespace

Outcome decode(const Options& options, Listener* listener) {
    return Decoding(options, listener).run();
}

} // namespace tw::decoder
