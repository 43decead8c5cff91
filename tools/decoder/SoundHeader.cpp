#include "SoundHeader.h"

#include <cstdint>
#include <string_view>

namespace tw::decoder {

namespace {

class Bytes {
public:
    Bytes& text(std::string_view s) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& little(std::uint64_t value, int count) {
        for (int i = 0; i < count; ++i)
            m_bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }
    Bytes& big(std::uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i)
            m_bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }
    // The 80-bit extended float AIFF gives its sample rate in.
    Bytes& extended(long rate) {
        int exponent = 0;
        while ((std::uint64_t{1} << (exponent + 1)) <= static_cast<std::uint64_t>(rate))
            ++exponent;
        big(16383 + static_cast<std::uint64_t>(exponent), 2);
        return big(static_cast<std::uint64_t>(rate) << (63 - exponent), 8);
    }
    Bytes& bytes(const Bytes& other) {
        m_bytes.insert(m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
        return *this;
    }
    Bytes& pad() {
        if (m_bytes.size() & 1)
            m_bytes.push_back(0);
        return *this;
    }
    std::size_t size() const { return m_bytes.size(); }
    std::vector<unsigned char> take() { return std::move(m_bytes); }

private:
    std::vector<unsigned char> m_bytes;
};

struct TextChunk {
    const char* id;
    const std::string Tags::*field;
};

// A WAV's LIST INFO chunk: each text with its terminating zero, padded to an even length that
// the entry's size counts. Empty when there is nothing to say.
Bytes listInfo(const Tags& tags) {
    static constexpr TextChunk entries[] = {{"INAM", &Tags::title},  {"IART", &Tags::artist},
                                            {"IPRD", &Tags::album},  {"ITRK", &Tags::track},
                                            {"ICRD", &Tags::date},   {"IGNR", &Tags::genre},
                                            {"ICMT", &Tags::comment}};
    Bytes body;
    for (const TextChunk& entry : entries) {
        const std::string& text = tags.*entry.field;
        if (text.empty())
            continue;
        const std::size_t size = text.size() + 1;
        body.text(entry.id).little(size + (size & 1), 4).text(text).little(0, 1).pad();
    }
    Bytes chunk;
    if (body.size() > 0)
        chunk.text("LIST").little(4 + body.size(), 4).text("INFO").bytes(body);
    return chunk;
}

// An AIFF's text chunks: the text without a zero, its size not counting the pad byte.
Bytes aiffTexts(const Tags& tags) {
    static constexpr TextChunk chunks[] = {
        {"NAME", &Tags::title}, {"AUTH", &Tags::artist}, {"ANNO", &Tags::comment}};
    Bytes b;
    for (const TextChunk& chunk : chunks) {
        const std::string& text = tags.*chunk.field;
        if (!text.empty())
            b.text(chunk.id).big(text.size(), 4).text(text).pad();
    }
    return b;
}

} // namespace

std::optional<std::vector<unsigned char>> soundHeader(Format format, long rate, int channels,
                                                      long long frames, const Tags& tags) {
    if (rate <= 0 || channels <= 0 || frames < 0)
        return std::nullopt;
    const std::uint64_t block = 2 * static_cast<std::uint64_t>(channels);
    const std::uint64_t data = static_cast<std::uint64_t>(frames) * block;
    const Bytes texts = format == Format::Wav   ? listInfo(tags)
                        : format == Format::Snd ? Bytes{}
                                                : aiffTexts(tags);
    // The most any of the four headers adds to the data's size.
    if (data + 64 + texts.size() > 0xFFFFFFFFu)
        return std::nullopt;
    Bytes b;
    switch (format) {
    case Format::Wav:
        b.text("RIFF").little(36 + texts.size() + data, 4).text("WAVE");
        b.text("fmt ").little(16, 4).little(1, 2).little(static_cast<std::uint64_t>(channels), 2);
        b.little(static_cast<std::uint64_t>(rate), 4)
            .little(static_cast<std::uint64_t>(rate) * block, 4)
            .little(block, 2)
            .little(16, 2);
        b.bytes(texts);
        b.text("data").little(data, 4);
        break;
    case Format::Snd:
        // Encoding 3: 16-bit linear PCM.
        b.text(".snd").big(24, 4).big(data, 4).big(3, 4);
        b.big(static_cast<std::uint64_t>(rate), 4).big(static_cast<std::uint64_t>(channels), 4);
        break;
    case Format::Aiff:
        b.text("FORM").big(46 + texts.size() + data, 4).text("AIFF");
        b.text("COMM").big(18, 4).big(static_cast<std::uint64_t>(channels), 2);
        b.big(static_cast<std::uint64_t>(frames), 4).big(16, 2).extended(rate);
        b.bytes(texts);
        b.text("SSND").big(8 + data, 4).big(0, 4).big(0, 4);
        break;
    case Format::Aifc:
        // Version 1 of AIFF-C; little-endian samples ("sowt") with an empty name.
        b.text("FORM").big(64 + texts.size() + data, 4).text("AIFC");
        b.text("FVER").big(4, 4).big(0xA2805140u, 4);
        b.text("COMM").big(24, 4).big(static_cast<std::uint64_t>(channels), 2);
        b.big(static_cast<std::uint64_t>(frames), 4).big(16, 2).extended(rate);
        b.text("sowt").big(0, 2);
        b.bytes(texts);
        b.text("SSND").big(8 + data, 4).big(0, 4).big(0, 4);
        break;
    }
    return b.take();
}

} // namespace tw::decoder
