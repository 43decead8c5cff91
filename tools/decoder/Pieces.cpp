#include "Pieces.h"
#include "LibraryMessages.h"
#include "Progress.h"
#include "Slicing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace tw::decoder {

namespace {

// Decoding in pieces. A piece's handle starts kWarmUpFrames before the piece, at a frame number
// divisible by kAlign, and its output up to the piece is thrown away. MPEG-1 Layer III carries
// state from frame to frame only in the bit reservoir (at most 511 bytes back, fewer than six
// of the shortest frames), the overlap of the last granule and the synthesis filter's last 16
// blocks; all of it is rebuilt within the warm-up. The synthesis filter's place in its ring
// buffer, which the rounding of its sums follows, depends on the number of blocks since the
// start: starting at a multiple of kAlign puts it where one decode from the start has it.
// Every frame is checked to be the one expected at the byte the scan found, and the last
// frames of each warm-up to equal those of the piece before; any doubt and the whole stream is
// decoded in one piece after all. MPEG-2 and 2.5 showed differences of one in the last bit
// whatever the warm-up, so they are never cut.
constexpr off_t kAlign = 16;
constexpr off_t kWarmUpFrames = 16; // a multiple of kAlign
constexpr off_t kCheckFrames = 4;
// Frames decoded in one go before the pieces start: the gapless trim of the start falls in
// them, and every later frame gives a whole frame of samples (checked), so each piece knows
// where in the output its samples go.
constexpr off_t kLeadFrames = 8;
// The fewest bytes an MPEG-1 Layer III frame has (32 kbit/s at 48 kHz).
constexpr off_t kShortestFrame = 96;

struct Piece {
    off_t first = 0; // its frames by the library's numbers: [first, end)
    off_t end = 0;
    off_t writeAt = 0; // where its first sample goes in the output
    bool last = false; // decodes on to the end of the stream
    // What came of it.
    bool same = true; // false: it cannot show that it decoded what one piece would
    int writeError = 0;
    long long bytes = 0;
    std::vector<unsigned char> warmTail; // output of its last kCheckFrames warm-up frames
    std::vector<unsigned char> ownTail;  // output of its own last kCheckFrames frames
};

struct PieceWork {
    const Options& options;
    const InputFile& input;
    const OutputFile& output;
    std::vector<off_t> frames; // byte offset of each frame, by the library's number
    long rate;
    int channels;
    std::size_t frameBytes; // the output of one whole frame
    std::atomic<bool> stop{false};
    std::atomic<long long> framesDone{0};
};

// A handle of the piece's own, at the first frame of its warm-up; nothing when it cannot get
// there.
Handle handleAtWarmUp(const Piece& piece, const PieceWork& work, InputReader& reader) {
    std::string why;
    Handle own = openHandle(work.options, reader, why);
    const off_t start = piece.first - kWarmUpFrames;
    // Where every kAlign-th frame lies, so the seek goes straight there instead of reading
    // through every frame before.
    std::vector<off_t> index;
    for (off_t frame = 0; frame <= start; frame += kAlign)
        index.push_back(work.frames[static_cast<std::size_t>(frame)]);
    if (!own || mpg123_set_index(own.get(), index.data(), kAlign, index.size()) != MPG123_OK ||
        mpg123_seek_frame(own.get(), start, SEEK_SET) != start)
        return nullptr;
    return own;
}

// One piece's decode: its handle, the frame it expects next, and a block of its output on the
// way to the piece's place in the file.
class PieceDecode {
public:
    PieceDecode(Piece& piece, PieceWork& work, mpg123_handle* mh, off_t next)
        : m_piece(piece), m_work(work), m_mh(mh), m_next(next),
          m_blockSize(std::max<std::size_t>(kOutputBlock, 2 * work.frameBytes)),
          m_block(newBlock(m_blockSize)) {}

    void run() {
        while (!m_work.stop.load(std::memory_order_relaxed) && decodeFrame()) {
        }
        flush();
    }

private:
    // Decodes the next frame; false when the piece is done, in doubt, or cannot be written.
    bool decodeFrame() {
        if (m_blockSize - m_filled < m_work.frameBytes && !flush())
            return false;
        mpg123_replace_buffer(m_mh, m_block.get() + m_filled, m_blockSize - m_filled);
        off_t number = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const long heard = LibraryMessages::heardOnThisThread();
        const int rc = mpg123_decode_frame(m_mh, &number, &audio, &bytes);
        // A frame the library complains of may be decoded in part only, which moves the
        // rounding of every later frame: a piece cannot show that it matches one thread then.
        // (The warm-up complains of the bit reservoir it has not seen, which is no damage.)
        if (m_next >= m_piece.first && heard != LibraryMessages::heardOnThisThread()) {
            m_piece.same = false;
            return false;
        }
        if (bytes > 0 && !take(number, audio, bytes))
            return false;
        if (rc == MPG123_DONE) {
            m_piece.same = m_piece.same && m_piece.last;
            return false;
        }
        if (rc == MPG123_OK ||
            (rc == MPG123_NEW_FORMAT && inFormat(m_mh, m_work.rate, m_work.channels)))
            return true;
        m_piece.same = false;
        return false;
    }

    // A warm-up frame counts only for the check; a frame of the piece goes into the block.
    // False when the frame is not the one expected, or ends the piece.
    bool take(off_t number, unsigned char* audio, std::size_t bytes) {
        // Only the very frames expected, one after another, where the scan found them.
        if (number != m_next || number >= static_cast<off_t>(m_work.frames.size()) ||
            mpg123_framepos(m_mh) != m_work.frames[static_cast<std::size_t>(number)]) {
            m_piece.same = false;
            return false;
        }
        ++m_next;
        if (number < m_piece.first) {
            if (number >= m_piece.first - kCheckFrames)
                m_piece.warmTail.insert(m_piece.warmTail.end(), audio, audio + bytes);
            return true;
        }
        // Only the end of the stream may be trimmed: every other frame is whole.
        if (!m_piece.last && bytes != m_work.frameBytes) {
            m_piece.same = false;
            return false;
        }
        if (!m_piece.last && number >= m_piece.end - kCheckFrames)
            m_piece.ownTail.insert(m_piece.ownTail.end(), audio, audio + bytes);
        if (audio != m_block.get() + m_filled)
            std::memmove(m_block.get() + m_filled, audio, bytes);
        m_filled += bytes;
        m_work.framesDone.fetch_add(1, std::memory_order_relaxed);
        return m_piece.last || m_next != m_piece.end;
    }

    bool flush() {
        if (m_filled && m_piece.writeError == 0)
            m_piece.writeError =
                m_work.output.writeAt(m_block.get(), m_filled, m_piece.writeAt + m_piece.bytes);
        m_piece.bytes += static_cast<long long>(m_filled);
        m_filled = 0;
        return m_piece.writeError == 0;
    }

    Piece& m_piece;
    PieceWork& m_work;
    mpg123_handle* m_mh;
    off_t m_next;
    std::size_t m_blockSize;
    Block m_block;
    std::size_t m_filled = 0;
};

// Decodes one piece into its place in the output. `mh` is the handle that decoded the lead,
// for the first piece; every other piece opens a handle of its own.
void decodePiece(Piece& piece, PieceWork& work, mpg123_handle* mh) {
    if (mh) {
        PieceDecode(piece, work, mh, piece.first).run();
        return;
    }
    InputReader reader(work.input);
    const Handle own = handleAtWarmUp(piece, work, reader);
    if (!own) {
        piece.same = false;
        return;
    }
    PieceDecode(piece, work, own.get(), piece.first - kWarmUpFrames).run();
}

// Where the pieces of a stream of `frames` frames begin: one per thread, each of at least
// `minFrames`, at multiples of kAlign. Fewer than two: the stream stays whole. Every piece but
// the first opens a handle of its own and decodes a warm-up first, while the first began with
// the lead already done: the cuts move later by that work, so that the threads end together
// (a piece's thread starting, opening its handle and seeking cost about as much as
// kHandleFrames frames: 0.9 to 1.5 ms, measured on one-minute and four-minute tracks).
std::vector<off_t> pieceStarts(off_t frames, int threads, int minFrames) {
    constexpr off_t kHandleFrames = 48;
    constexpr off_t kExtra = kLeadFrames + kWarmUpFrames + kHandleFrames;
    const off_t count = std::min<off_t>(threads, frames / std::max(minFrames, 1));
    const off_t work = frames + (count - 1) * kExtra;
    std::vector<off_t> starts{0};
    for (off_t k = 1; k < count; ++k) {
        // Piece k ends where k of the count shares of all the work are done.
        const off_t start = (work * k / count - (k - 1) * kExtra) / kAlign * kAlign;
        if (start >= std::max(starts.back() + kAlign, 2 * kAlign) && start + kAlign <= frames)
            starts.push_back(start);
    }
    return starts;
}

// The lead: the stream's first kLeadFrames frames, decoded in one go like any decode from the
// start.
struct Lead {
    Block samples;
    std::size_t bytes = 0;
    off_t last = -1;  // the library's number of its last frame
    off_t shift = -1; // frames of the scan the library does not number (an info frame)
};

// Decodes the lead with `mh`; false when a frame of it is not where the scan found one, or the
// numbers do not follow the scan's, or the format changes.
bool decodeLead(const PieceWork& work, const std::vector<off_t>& scanned, mpg123_handle* mh,
                Lead& lead) {
    const std::size_t capacity = static_cast<std::size_t>(kLeadFrames) * work.frameBytes + 64;
    lead.samples = newBlock(capacity);
    while (lead.last < kLeadFrames - 1) {
        mpg123_replace_buffer(mh, lead.samples.get() + lead.bytes, capacity - lead.bytes);
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const long heard = LibraryMessages::heardOnThisThread();
        const int rc = mpg123_decode_frame(mh, &lead.last, &audio, &bytes);
        if (heard != LibraryMessages::heardOnThisThread())
            return false; // damage: see PieceDecode
        if (bytes > 0) {
            const auto at = std::lower_bound(scanned.begin(), scanned.end(), mpg123_framepos(mh));
            if (at == scanned.end() || *at != mpg123_framepos(mh))
                return false;
            const off_t index = at - scanned.begin();
            if ((lead.shift >= 0 && index - lead.last != lead.shift) || index < lead.last)
                return false;
            lead.shift = index - lead.last;
            if (audio != lead.samples.get() + lead.bytes)
                std::memmove(lead.samples.get() + lead.bytes, audio, bytes);
            lead.bytes += bytes;
        }
        if (rc != MPG123_OK && (rc != MPG123_NEW_FORMAT || !inFormat(mh, work.rate, work.channels)))
            return false;
    }
    return true;
}

// The pieces that begin at `starts`, the first one after the lead; each writes from its place
// after the lead's samples, which end at `leadEnd` in the output.
std::vector<Piece> layOutPieces(const PieceWork& work, const std::vector<off_t>& starts,
                                off_t afterLead, off_t leadEnd) {
    std::vector<Piece> pieces(starts.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        Piece& piece = pieces[k];
        piece.first = k == 0 ? afterLead : starts[k];
        piece.last = k + 1 == pieces.size();
        piece.end = piece.last ? static_cast<off_t>(work.frames.size()) : starts[k + 1];
        piece.writeAt = leadEnd + (piece.first - afterLead) * static_cast<off_t>(work.frameBytes);
        piece.warmTail.reserve(kCheckFrames * work.frameBytes);
        piece.ownTail.reserve(kCheckFrames * work.frameBytes);
    }
    return pieces;
}

// The threads that decode the pieces, and how many of them are still at work.
struct PieceThreads {
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = 0;
    std::vector<std::thread> threads;
};

// A thread for every piece, the first decoding with `mh`.
void startPieces(PieceThreads& started, std::vector<Piece>& pieces, PieceWork& work,
                 mpg123_handle* mh) {
    try {
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            {
                std::lock_guard lock(started.mutex);
                ++started.running;
            }
            started.threads.emplace_back([&started, &pieces, &work, mh, k] {
                try {
                    decodePiece(pieces[k], work, k == 0 ? mh : nullptr);
                } catch (const std::bad_alloc&) {
                    pieces[k].same = false; // no memory for a piece: one piece after all
                }
                // One piece in doubt and the others' work is wasted: they stop.
                if (!pieces[k].same || pieces[k].writeError)
                    work.stop = true;
                std::lock_guard lock(started.mutex);
                --started.running;
                started.finished.notify_one();
            });
        }
    } catch (const std::system_error&) {
        // No thread to be had: the started ones stop, and the stream goes in one piece.
        work.stop = true;
        std::lock_guard lock(started.mutex);
        --started.running;
    }
}

// Waits for every piece's thread, telling the listener how far they have come; false when the
// listener stopped the run.
bool waitForPieces(PieceThreads& started, PieceWork& work, off_t afterLead, Listener* listener) {
    bool stopped = false;
    {
        std::unique_lock lock(started.mutex);
        const double total = static_cast<double>(work.frames.size());
        while (!started.finished.wait_for(lock, std::chrono::milliseconds(100),
                                          [&] { return started.running == 0; })) {
            if (!listener || stopped)
                continue;
            lock.unlock();
            const double fraction = static_cast<double>(afterLead + work.framesDone.load()) / total;
            stopped = !tellProgress(listener, fraction);
            if (stopped)
                work.stop = true;
            lock.lock();
        }
    }
    for (auto& thread : started.threads)
        thread.join();
    return !stopped;
}

// The pieces could not show that they give what one thread gives.
PiecesResult notSame() {
    PiecesResult result;
    result.result = Pieces::NotSame;
    return result;
}

// What came of the pieces: written, all of them shown to be what one piece gives; failed; or
// not the same.
PiecesResult piecesResult(const std::vector<Piece>& pieces, const PieceThreads& started,
                          bool stopped, std::size_t leadBytes) {
    PiecesResult result = notSame();
    result.threads = static_cast<int>(started.threads.size());
    if (stopped) {
        result.result = Pieces::Failed;
        result.message = "stopped";
        return result;
    }
    for (const Piece& piece : pieces) {
        if (piece.writeError) {
            result.result = Pieces::Failed;
            result.message = errnoText(piece.writeError);
            return result;
        }
    }
    bool same = started.threads.size() == pieces.size();
    for (std::size_t k = 0; same && k < pieces.size(); ++k)
        same = pieces[k].same && (k == 0 || pieces[k].warmTail == pieces[k - 1].ownTail);
    if (!same)
        return result;
    result.result = Pieces::Written;
    result.bytes = static_cast<long long>(leadBytes);
    for (const Piece& piece : pieces)
        result.bytes += piece.bytes;
    return result;
}

// Decodes the stream in pieces on threads, straight into the output from `dataStart` on.
// `mh` has read the stream's first frame and decodes the lead and the first piece.
PiecesResult decodeInPieces(PieceWork& work, const std::vector<off_t>& scanned,
                            const std::vector<off_t>& starts, mpg123_handle* mh, off_t dataStart,
                            Listener* listener) {
    Lead lead;
    if (!decodeLead(work, scanned, mh, lead) || lead.shift < 0 || lead.shift > 1 ||
        lead.last + 1 > starts[1] - kAlign)
        return notSame();
    if (const int error = work.output.writeAt(lead.samples.get(), lead.bytes, dataStart)) {
        PiecesResult failed;
        failed.result = Pieces::Failed;
        failed.message = errnoText(error);
        return failed;
    }
    lead.samples.reset();
    // The library's numbering from here on.
    work.frames.assign(scanned.begin() + lead.shift, scanned.end());
    const off_t afterLead = lead.last + 1;
    std::vector<Piece> pieces =
        layOutPieces(work, starts, afterLead, dataStart + static_cast<off_t>(lead.bytes));
    PieceThreads started;
    startPieces(started, pieces, work, mh);
    const bool stopped = !waitForPieces(started, work, afterLead, listener);
    return piecesResult(pieces, started, stopped, lead.bytes);
}

// The frames of the input, when it is a stream that may be decoded in pieces; else nothing.
std::optional<std::vector<off_t>> framesForPieces(const Options& options, const InputFile& input,
                                                  mpg123_handle* mh, int threads, bool hearing) {
    // Only a decode that hears the library's complaints can tell a damaged frame.
    if (threads < 2 || !hearing || options.searchAgain || options.ignoreErrors ||
        !input.regular() ||
        input.size() < 2 * static_cast<off_t>(options.minSliceFrames) * kShortestFrame)
        return std::nullopt;
    mpg123_frameinfo2 fi{};
    if (mpg123_info2(mh, &fi) != MPG123_OK || fi.version != MPG123_1_0 || fi.layer != 3)
        return std::nullopt;
    auto frames = scanFile(input);
    if (!frames || static_cast<off_t>(frames->size()) < 2 * options.minSliceFrames + 1)
        return std::nullopt;
    return frames;
}

} // namespace

PiecesResult decodeInPiecesIfLong(const PiecesInput& in, Listener* listener) {
    const int threads = decodeThreads(in.options.threads);
    mpg123_handle* mh = in.stream.mh.get();
    const auto frames = framesForPieces(in.options, in.input, mh, threads, in.hearing);
    if (!frames)
        return {};
    const auto starts =
        pieceStarts(static_cast<off_t>(frames->size()) - 1, threads, in.options.minSliceFrames);
    if (starts.size() < 2)
        return {};
    PieceWork work{in.options,
                   in.input,
                   in.output,
                   {},
                   in.stream.rate,
                   in.stream.channels,
                   1152 * in.stream.bytesPerFrame}; // every MPEG-1 Layer III frame
    return decodeInPieces(work, *frames, starts, mh, in.dataStart, listener);
}

} // namespace tw::decoder
