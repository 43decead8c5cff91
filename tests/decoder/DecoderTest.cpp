#include "tools/decoder/Decoder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

namespace fs = std::filesystem;
using tw::decoder::Format;
using tw::decoder::Options;

namespace {

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tw-decoder-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // One second of a 440 Hz tone in stereo, encoded as MPEG Layer-3 by libsndfile.
    std::string makeTone(const std::string& name) {
        const std::string path = (dir / name).string();
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!f)
            ADD_FAILURE() << "cannot write MP3: " << sf_strerror(nullptr);
        // Float samples: the Layer-3 writer mangles 16-bit input.
        std::vector<float> samples(44100 * 2);
        for (int k = 0; k < 44100; ++k)
            samples[2 * k] = samples[2 * k + 1] =
                static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * 440 * k / 44100.0));
        sf_write_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
        return path;
    }

    fs::path dir;
};

std::string magic(const std::string& path, std::size_t offset, std::size_t size) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(offset + size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes.substr(offset);
}

struct FormatCase {
    Format format;
    std::size_t magicOffset;
    const char* magic;
};

class DecoderFormatTest : public DecoderTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(DecoderFormatTest, WritesTheToneInTheChosenContainer) {
    const auto mp3 = makeTone("tone.mp3");
    Options options;
    options.input = mp3;
    options.output = (dir / "out.bin").string();
    options.format = GetParam().format;
    const auto outcome = tw::decoder::decode(options);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(magic(options.output, GetParam().magicOffset, 4), GetParam().magic);

    SF_INFO info{};
    SNDFILE* f = sf_open(options.output.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(static_cast<double>(info.frames), 44100.0, 1200.0);
    std::vector<short> samples(static_cast<std::size_t>(info.frames * 2));
    sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    // A 440 Hz tone swings from one side to the other about 880 times a second; the margin
    // keeps coding noise around zero from counting.
    int crossings = 0;
    int side = 0;
    for (std::size_t k = 0; k < samples.size(); k += 2) {
        const int now = samples[k] > 2000 ? 1 : samples[k] < -2000 ? -1 : 0;
        if (now != 0 && now != side) {
            crossings += side != 0;
            side = now;
        }
    }
    EXPECT_NEAR(crossings, 880, 20);
    EXPECT_FALSE(fs::exists(options.output + ".l3dec-part"));
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderFormatTest,
                         ::testing::Values(FormatCase{Format::Wav, 8, "WAVE"},
                                           FormatCase{Format::Snd, 0, ".snd"},
                                           FormatCase{Format::Aiff, 8, "AIFF"},
                                           FormatCase{Format::Aifc, 8, "AIFC"}));

TEST_F(DecoderTest, FailureLeavesNoOutputAndKeepsAnExistingOne) {
    const auto junk = (dir / "junk.mp3").string();
    std::ofstream(junk) << "this is not audio\n";
    const auto output = (dir / "out.wav").string();
    std::ofstream(output) << "earlier output";

    Options options;
    options.input = junk;
    options.output = output;
    auto outcome = tw::decoder::decode(options);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.message.find("not an MPEG audio file"), std::string::npos) << outcome.message;

    options.input = (dir / "missing.mp3").string();
    outcome = tw::decoder::decode(options);
    EXPECT_FALSE(outcome.ok);

    std::ifstream in(output);
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "earlier output");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(DecoderTest, TruncatedStreamDecodesWhatIsThere) {
    const auto mp3 = makeTone("tone.mp3");
    fs::resize_file(mp3, fs::file_size(mp3) / 2);
    Options options;
    options.input = mp3;
    options.output = (dir / "half.wav").string();
    options.ignoreErrors = true;
    options.searchAgain = true;
    const auto outcome = tw::decoder::decode(options);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_GT(outcome.frames, 10000);
    EXPECT_LT(outcome.frames, 34000);
}

struct ArgsCase {
    std::vector<std::string> args;
    bool ok;
    Format format;
    bool sa;
    bool ign;
};

class DecoderArgsTest : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(DecoderArgsTest, ReadsTheCommandLineThatTheScriptWrites) {
    Options options;
    std::string error;
    ASSERT_EQ(tw::decoder::parseArguments(GetParam().args, options, error), GetParam().ok) << error;
    if (!GetParam().ok) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(options.input, GetParam().args[0]);
    EXPECT_EQ(options.output, GetParam().args[1]);
    EXPECT_EQ(options.format, GetParam().format);
    EXPECT_EQ(options.searchAgain, GetParam().sa);
    EXPECT_EQ(options.ignoreErrors, GetParam().ign);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DecoderArgsTest,
    ::testing::Values(ArgsCase{{"a.mp3", "b.wav", "-wav"}, true, Format::Wav, false, false},
                      ArgsCase{{"a.mp3", "b.snd", "-snd", "-ign"}, true, Format::Snd, false, true},
                      ArgsCase{{"a.mp3", "b.aiff", "-aif", "-sa", "-ign"}, true, Format::Aiff,
                               true, true},
                      ArgsCase{{"a.mp3", "b.aifc", "-aic", "-sa"}, true, Format::Aifc, true,
                               false},
                      ArgsCase{{"a.mp3", "b.wav"}, true, Format::Wav, false, false},
                      ArgsCase{{"a.mp3", "-wav"}, false, Format::Wav, false, false},
                      ArgsCase{{"a.mp3", "b", "c", "-wav"}, false, Format::Wav, false, false},
                      ArgsCase{{"a.mp3", "b", "-wav", "-aic"}, false, Format::Wav, false, false},
                      ArgsCase{{"a.mp3", "b", "-x"}, false, Format::Wav, false, false}));

} // namespace
