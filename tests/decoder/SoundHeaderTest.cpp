// The container headers l3dec writes itself: byte for byte what libsndfile writes for the same
// samples, in every container, channel count, MPEG sample rate and length, and with the same
// tags set before the first sample.
#include "tools/decoder/SoundHeader.h"

#include "tests/support/CaseNames.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using tw::decoder::Format;
using tw::decoder::Tags;

namespace {

struct Container {
    Format format;
    int sndfileFormat;
    const char* name;
};

const Container kContainers[] = {
    {Format::Wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV"},
    {Format::Snd, SF_FORMAT_AU | SF_FORMAT_PCM_16, "SND"},
    {Format::Aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
    {Format::Aifc, SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, "AIFC"}};

// The whole file libsndfile writes for `frames` frames of a ramp, with the tags set as its
// strings before the first sample, field by field in the order of a WAV's LIST INFO chunk.
std::string writtenByLibsndfile(const std::string& path, const Container& container, int rate,
                                int channels, int frames, const Tags& tags = {}) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = container.sndfileFormat;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return {};
    const std::pair<int, const std::string*> strings[] = {
        {SF_STR_TITLE, &tags.title},    {SF_STR_ARTIST, &tags.artist},
        {SF_STR_ALBUM, &tags.album},    {SF_STR_TRACKNUMBER, &tags.track},
        {SF_STR_DATE, &tags.date},      {SF_STR_GENRE, &tags.genre},
        {SF_STR_COMMENT, &tags.comment}};
    // A container without a place for a string refuses it.
    for (const auto& [type, text] : strings)
        if (!text->empty())
            sf_set_string(f, type, text->c_str());
    std::vector<short> samples(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(i * 37);
    sf_writef_short(f, samples.data(), frames);
    sf_close(f);
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SoundHeaderTest, EveryContainerRateAndLengthAsLibsndfileWritesIt) {
    tw::test::TempFolder folder;
    for (const Container& container : kContainers)
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

// Tags of odd and even lengths (the pad byte), some fields only, and the longest text a tag
// keeps; what each container has no place for is left out by both.
struct TagsCase {
    const char* name;
    Tags tags;
};

void PrintTo(const TagsCase& c, std::ostream* os) {
    *os << c.name;
}

class SoundHeaderTagsTest : public ::testing::TestWithParam<TagsCase> {};

TEST_P(SoundHeaderTagsTest, TheTagChunksAsLibsndfileWritesThem) {
    const Tags& tags = GetParam().tags;
    tw::test::TempFolder folder;
    for (const Container& container : kContainers)
        // Not 0 frames: libsndfile measures an empty file for its outer size before it puts
        // the tags in, so that size leaves them out.
        for (const int frames : {1, 1153}) {
            const std::string at =
                std::string(container.name) + ", " + std::to_string(frames) + " frames";
            const std::string theirs =
                writtenByLibsndfile(folder / "ref", container, 44100, 2, frames, tags);
            const auto mine = tw::decoder::soundHeader(container.format, 44100, 2, frames, tags);
            ASSERT_TRUE(mine) << at;
            // The samples begin at the same place whatever the length.
            EXPECT_EQ(mine->size(),
                      tw::decoder::soundHeader(container.format, 44100, 2, 0, tags)->size())
                << at;
            ASSERT_EQ(theirs.size(), mine->size() + static_cast<std::size_t>(frames) * 4) << at;
            EXPECT_EQ(theirs.substr(0, mine->size()), std::string(mine->begin(), mine->end()))
                << at;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Tags, SoundHeaderTagsTest,
    ::testing::Values(
        TagsCase{"None", {}},
        TagsCase{"Every field",
                 {"Title", "Artist", "Album", "3/12", "2021", "Rock", "A comment", ""}},
        TagsCase{"Odd and even lengths", {"ab", "abc", "a", "", "", "Pop", "abcd", ""}},
        TagsCase{"Only what AIFF leaves out", {"", "", "Album", "7", "1999", "Jazz", "", ""}},
        TagsCase{"Only a comment", {"", "", "", "", "", "", "Ünïcödé", ""}},
        TagsCase{"Longest texts",
                 {std::string(1023, 'x'), "Ωμέγα", "", "", "", "", std::string(1024, 'y'), ""}}),
    tw::test::namedBy([](const TagsCase& c) { return std::string(c.name); }));

TEST(SoundHeaderTest, SizesBeyondTheContainersFieldsAreRefused) {
    // 32-bit size fields: a little over 1 G frames of stereo does not fit.
    for (const Format format : {Format::Wav, Format::Snd, Format::Aiff, Format::Aifc}) {
        EXPECT_TRUE(tw::decoder::soundHeader(format, 44100, 2, 1000000000LL));
        EXPECT_FALSE(tw::decoder::soundHeader(format, 44100, 2, 1100000000LL));
        EXPECT_FALSE(tw::decoder::soundHeader(format, 0, 2, 10));
    }
}

} // namespace
