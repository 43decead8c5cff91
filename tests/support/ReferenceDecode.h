#pragma once

// What the MPEG library itself makes of an MP3, as 16-bit samples in the machine's byte
// order: what the decoder's output must hold.

#include <mpg123.h>

#include <optional>
#include <string>
#include <vector>

namespace tw::test {

struct Sound {
    long rate = 0;
    int channels = 0;
    std::vector<short> samples; // interleaved
    long long frames() const {
        return channels ? static_cast<long long>(samples.size()) / channels : 0;
    }
};

inline std::optional<Sound> decodeReference(const std::string& mp3) {
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h)
        return std::nullopt;
    mpg123_param2(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    Sound sound;
    int encoding = 0;
    bool ok = mpg123_open(h, mp3.c_str()) == MPG123_OK &&
              mpg123_getformat(h, &sound.rate, &sound.channels, &encoding) == MPG123_OK;
    std::vector<unsigned char> buffer(mpg123_outblock(h));
    while (ok) {
        size_t done = 0;
        const int rc = mpg123_read(h, buffer.data(), buffer.size(), &done);
        const auto* first = reinterpret_cast<const short*>(buffer.data());
        sound.samples.insert(sound.samples.end(), first, first + done / sizeof(short));
        if (rc == MPG123_DONE)
            break;
        ok = rc == MPG123_OK || rc == MPG123_NEW_FORMAT;
    }
    mpg123_close(h);
    mpg123_delete(h);
    if (!ok)
        return std::nullopt;
    return sound;
}

} // namespace tw::test
