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
    std::vector<unsigned char> take() { return std::move(m_bytes); }

private:
    std::vector<unsigned char> m_bytes;
};

} // namespace

std::optional<std::vector<unsigned char>> soundHeader(Format format, long rate, int channels,
                                                      long long frames) {
    if (rate <= 0 || channels <= 0 || frames < 0)
        return std::nullopt;
    const std::uint64_t block = 2 * static_cast<std::uint64_t>(channels);
    const std::uint64_t data = static_cast<std::uint64_t>(frames) * block;
    // The largest chunk any of the four headers adds to the data's size.
    if (data + 64 > 0xFFFFFFFFu)
        return std::nullopt;
    Bytes b;
    switch (format) {
    case Format::Wav:
        b.text("RIFF").little(36 + data, 4).text("WAVE");
        b.text("fmt ").little(16, 4).little(1, 2).little(static_cast<std::uint64_t>(channels), 2);
        b.little(static_cast<std::uint64_t>(rate), 4)
            .little(static_cast<std::uint64_t>(rate) * block, 4)
            .little(block, 2)
            .little(16, 2);
        b.text("data").little(data, 4);
        break;
    case Format::Snd:
        // Encoding 3: 16-bit linear PCM.
        b.text(".snd").big(24, 4).big(data, 4).big(3, 4);
        b.big(static_cast<std::uint64_t>(rate), 4).big(static_cast<std::uint64_t>(channels), 4);
        break;
    case Format::Aiff:
        b.text("FORM").big(46 + data, 4).text("AIFF");
        b.text("COMM").big(18, 4).big(static_cast<std::uint64_t>(channels), 2);
        b.big(static_cast<std::uint64_t>(frames), 4).big(16, 2).extended(rate);
        b.text("SSND").big(8 + data, 4).big(0, 4).big(0, 4);
        break;
    case Format::Aifc:
        // Version 1 of AIFF-C; little-endian samples ("sowt") with an empty name.
        b.text("FORM").big(64 + data, 4).text("AIFC");
        b.text("FVER").big(4, 4).big(0xA2805140u, 4);
        b.text("COMM").big(24, 4).big(static_cast<std::uint64_t>(channels), 2);
        b.big(static_cast<std::uint64_t>(frames), 4).big(16, 2).extended(rate);
        b.text("sowt").big(0, 2);
        b.text("SSND").big(8 + data, 4).big(0, 4).big(0, 4);
        break;
    }
    return b.take();
}

} // namespace tw::decoder
