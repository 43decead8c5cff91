#include "Slicing.h"

#include <sched.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace tw::decoder {

namespace {

constexpr int kMaxThreads = 256;

int positive(const char* text) {
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno || *end || value < 1)
        return 0;
    return static_cast<int>(value > kMaxThreads ? kMaxThreads : value);
}

int availableCores() {
    // The affinity mask, not the machine: taskset and container limits leave fewer cores.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const unsigned cores = std::thread::hardware_concurrency();
    return cores ? static_cast<int>(cores) : 1;
}

struct Header {
    // The fields every frame must share with the first for the stream to be cut: version,
    // layer, the protection bit (a CRC moves the side information), sample rate, channel mode
    // and emphasis. A frame that differs in one of them is damage or another stream, which
    // the library may decode in part only, so that the frames after it come out differently
    // from a piece that starts past it. Free to vary, as they do in sound streams: the bit
    // rate and the padding (the frame's length, followed frame by frame), the mode extension
    // (which stereo coding this frame uses, read for this frame alone), and the private,
    // copyright and original bits, which decoding never reads.
    unsigned shape;
    std::size_t length;
};

// An MPEG-1 Layer III frame header with a bit rate of the table, or nothing.
std::optional<Header> layer3Header(const unsigned char* b) {
    if (b[0] != 0xFF || (b[1] & 0xFE) != 0xFA) // sync, MPEG-1, Layer III (CRC either way)
        return std::nullopt;
    static constexpr int kbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                   112, 128, 160, 192, 224, 256, 320};
    static constexpr int rates[] = {44100, 48000, 32000};
    const int bitrate = b[2] >> 4;
    const int rate = (b[2] >> 2) & 3;
    if (bitrate == 0 || bitrate == 15 || rate == 3) // free format, or a value the table lacks
        return std::nullopt;
    const std::size_t length =
        static_cast<std::size_t>(144000 * kbps[bitrate] / rates[rate] + ((b[2] >> 1) & 1));
    const unsigned shape = (unsigned{b[1]} << 16) | (unsigned{b[2] & 0x0Cu} << 8) | (b[3] & 0xC3u);
    return Header{shape, length};
}

} // namespace

int decodeThreads(int requested) {
    if (requested > 0)
        return requested > kMaxThreads ? kMaxThreads : requested;
    if (const int fromBatch = positive(std::getenv("L3DEC_THREADS")))
        return fromBatch;
    return availableCores();
}

std::optional<std::vector<off_t>> scanCleanLayer3(off_t size, const ReadAt& read) {
    off_t at = 0;
    unsigned char b[10];
    // ID3v2 tags: "ID3", version, flags, a size in four 7-bit bytes, and maybe a footer.
    while (at + 10 <= size && read(at, 10, b) && b[0] == 'I' && b[1] == 'D' && b[2] == '3') {
        if ((b[6] | b[7] | b[8] | b[9]) & 0x80)
            return std::nullopt;
        const off_t body = (off_t{b[6]} << 21) | (off_t{b[7]} << 14) | (off_t{b[8]} << 7) | b[9];
        at += 10 + body + ((b[5] & 0x10) ? 10 : 0);
    }
    std::vector<off_t> frames;
    std::optional<Header> first;
    while (at < size) {
        if (size - at == 128 && read(at, 3, b) && b[0] == 'T' && b[1] == 'A' && b[2] == 'G')
            break; // ID3v1 at the very end
        if (size - at < 4 || !read(at, 4, b))
            return std::nullopt;
        const auto header = layer3Header(b);
        if (!header || (first && header->shape != first->shape))
            return std::nullopt;
        if (!first)
            first = header;
        if (static_cast<off_t>(header->length) > size - at)
            return std::nullopt; // the last frame is cut short
        frames.push_back(at);
        at += static_cast<off_t>(header->length);
    }
    if (frames.empty())
        return std::nullopt;
    return frames;
}

} // namespace tw::decoder
