// The container headers l3dec writes itself: byte for byte what libsndfile writes for the same
// samples, in every container, channel count, MPEG sample rate and length.
#include "tools/decoder/SoundHeader.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using tw::decoder::Format;

namespace {

struct Container {
    Format format;
    int sndfileFormat;
    const char* name;
};

// The whole file libsndfile writes for `frames` frames of a ramp.
std::string writtenByLibsndfile(const std::string& path, const Container& container, int rate,
                                int channels, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = container.sndfileFormat;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return {};
    std::vector<short> samples(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(i * 37);
    sf_writef_short(f, samples.data(), frames);
    sf_close(f);
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SoundHeaderTest, EveryContainerRateAndLengthAsLibsndfileWritesIt) {
    const Container containers[] = {
        {Format::Wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV"},
        {Format::Snd, SF_FORMAT_AU | SF_FORMAT_PCM_16, "SND"},
        {Format::Aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
        {Format::Aifc, SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, "AIFC"}};
    tw::test::TempFolder folder;
    for (const Container& container : containers)
        for (const int rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000})
            for (const int channels : {1, 2})
                for (const int frames : {0, 1, 1152, 100003}) {
                    const std::string at = std::string(container.name) + " " +
                                           std::to_string(rate) + " Hz, " +
                                           std::to_string(channels) + " channels, " +
                                           std::to_string(frames) + " frames";
                    const std::string theirs =
                        writtenByLibsndfile(folder / "ref", container, rate, channels, frames);
                    const auto mine =
                        tw::decoder::soundHeader(container.format, rate, channels, frames);
                    ASSERT_TRUE(mine) << at;
                    const std::size_t data = static_cast<std::size_t>(frames * channels) * 2;
                    ASSERT_EQ(theirs.size(), mine->size() + data) << at;
                    EXPECT_EQ(theirs.substr(0, mine->size()),
                              std::string(mine->begin(), mine->end()))
                        << at;
                }
}

TEST(SoundHeaderTest, SizesBeyondTheContainersFieldsAreRefused) {
    // 32-bit size fields: a little over 1 G frames of stereo does not fit.
    for (const Format format : {Format::Wav, Format::Snd, Format::Aiff, Format::Aifc}) {
        EXPECT_TRUE(tw::decoder::soundHeader(format, 44100, 2, 1000000000LL));
        EXPECT_FALSE(tw::decoder::soundHeader(format, 44100, 2, 1100000000LL));
        EXPECT_FALSE(tw::decoder::soundHeader(format, 0, 2, 10));
    }
}

} // namespace
