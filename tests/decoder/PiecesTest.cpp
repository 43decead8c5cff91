// l3dec on several threads: whatever the stream, the output is byte for byte the one a single
// thread writes, and only a flawless MPEG-1 Layer III stream is cut into pieces at all.
#include "tools/decoder/Decoder.h"
#include "tools/decoder/Slicing.h"

#include "tests/support/CaseNames.h"
#include "tests/support/Mp3Cache.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SoundChunks.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>

using tw::decoder::Format;
using tw::decoder::Options;

namespace {

using tw::test::readFile;
using tw::test::writeFile;

// `seconds` of a tone over noise (silence for a while, so the bit reservoir fills and empties),
// encoded by lame with `lameArgs`; made once for the whole program.
std::string toneMp3(int rate, int channels, double seconds, const std::string& lameArgs) {
    std::string name = std::to_string(rate) + "_" + std::to_string(channels) + "_" +
                       std::to_string(static_cast<int>(seconds * 1000)) + lameArgs + ".mp3";
    for (char& c : name)
        if (c == ' ' || c == '/')
            c = '_';
    return tw::test::Mp3Cache::get().make(name, rate, channels,
                                          "synth " + std::to_string(seconds) +
                                              " sine 300-3000 pinknoise gain -12 tremolo 0.5 100",
                                          lameArgs);
}

// What is done to an encoded stream before it is decoded.
enum class Damage {
    None,
    JunkInTheMiddle,    // 4 KB of text between two frames' worth of bytes
    Truncated,          // cut in the middle of a frame
    OtherStreamJoined,  // an MPEG-2 stream put in the middle
    NoiseInAFrame,      // bytes inside the payload changed, headers intact
    JunkBeforeTheStart, // bytes before the first frame
    CopiesJoined,       // the same file three times, info frames and all
    CrcClaimed,         // every header says a CRC follows, and none does
};

// Where the frames of an undamaged stream begin.
std::vector<off_t> frameOffsets(const std::string& bytes) {
    const auto read = [&](off_t at, std::size_t count, unsigned char* to) {
        std::memcpy(to, bytes.data() + at, count);
        return true;
    };
    return tw::decoder::scanCleanLayer3(static_cast<off_t>(bytes.size()), read)
        .value_or(std::vector<off_t>{});
}

std::string damaged(const std::string& bytes, Damage damage) {
    const std::size_t middle = bytes.size() / 2;
    switch (damage) {
    case Damage::None:
        return bytes;
    case Damage::JunkInTheMiddle:
        return bytes.substr(0, middle) + std::string(4096, 'x') + bytes.substr(middle);
    case Damage::Truncated:
        return bytes.substr(0, middle + 100);
    case Damage::OtherStreamJoined:
        return bytes.substr(0, middle) + readFile(toneMp3(22050, 1, 1.0, "-b 32")) +
               bytes.substr(middle);
    case Damage::NoiseInAFrame: {
        std::string noisy = bytes;
        unsigned state = 12345;
        for (std::size_t i = middle; i < middle + 40; ++i) {
            state = state * 1103515245u + 12345u;
            noisy[i] = static_cast<char>((state >> 16) & 0x7F); // never a frame sync byte
        }
        return noisy;
    }
    case Damage::JunkBeforeTheStart:
        return std::string(1000, 'j') + bytes;
    case Damage::CopiesJoined:
        return bytes + bytes + bytes;
    case Damage::CrcClaimed: {
        std::string claimed = bytes;
        for (const off_t frame : frameOffsets(bytes))
            claimed[static_cast<std::size_t>(frame) + 1] &= '\xFE';
        return claimed;
    }
    }
    return bytes;
}

enum class Split { Yes, No, Either };

struct PieceCase {
    const char* name;
    int rate;
    int channels;
    double seconds;
    const char* lameArgs;
    Damage damage = Damage::None;
    bool searchAgain = false;
    bool ignoreErrors = false;
    Split split = Split::Yes; // whether the threads may cut the stream
};

void PrintTo(const PieceCase& c, std::ostream* os) {
    *os << c.name;
}

class PiecesTest : public ::testing::TestWithParam<PieceCase> {
protected:
    void SetUp() override {
        if (!tw::test::Mp3Cache::get().ready())
            GTEST_SKIP() << "lame and sox make the test files; scripts/setup.sh installs them";
    }
    tw::test::TempFolder m_out;
};

TEST_P(PiecesTest, AnyNumberOfThreadsWritesWhatOneThreadWrites) {
    const PieceCase& c = GetParam();
    const std::string mp3 = m_out / "in.mp3";
    writeFile(mp3, damaged(readFile(toneMp3(c.rate, c.channels, c.seconds, c.lameArgs)), c.damage));
    auto decode = [&](int threads, Format format, const std::string& name) {
        Options o;
        o.input = mp3;
        o.output = m_out / name;
        o.format = format;
        o.searchAgain = c.searchAgain;
        o.ignoreErrors = c.ignoreErrors;
        o.threads = threads;
        o.minSliceFrames = 8; // a few seconds are cut into as many pieces as there are threads
        return tw::decoder::decode(o);
    };
    // Every container: the header is written at the end, from the count of samples.
    const Format formats[] = {Format::Wav, Format::Snd, Format::Aiff, Format::Aifc};
    for (const Format format : formats) {
        const auto one = decode(1, format, "one");
        EXPECT_EQ(one.threads, 1);
        for (const int threads : {2, 3, 8}) {
            const auto many = decode(threads, format, "many");
            const std::string at = std::to_string(threads) + " threads, format " +
                                   std::to_string(static_cast<int>(format));
            ASSERT_EQ(many.ok, one.ok) << at << ": " << many.message << " / " << one.message;
            EXPECT_EQ(many.message, one.message) << at;
            if (c.split == Split::Yes) {
                EXPECT_GT(many.threads, 1) << at;
            } else if (c.split == Split::No) {
                EXPECT_EQ(many.threads, 1) << at;
            }
            if (!one.ok)
                continue;
            EXPECT_EQ(many.frames, one.frames) << at;
            EXPECT_EQ(many.damagedParts, one.damagedParts) << at;
            EXPECT_TRUE(readFile(m_out / "many") == readFile(m_out / "one")) << at;
            // Tags make the header longer: the pieces' samples follow it all the same.
            if (!one.tags.title.empty() && format != Format::Snd) {
                EXPECT_EQ(tw::test::textChunks(
                              readFile(m_out / "many"))[format == Format::Wav ? "INAM" : "NAME"],
                          one.tags.title)
                    << at;
            }
        }
        if (c.split != Split::Yes)
            break; // the other containers add nothing to a stream decoded in one piece
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PiecesTest,
    ::testing::Values(
        PieceCase{"Mpeg1Cbr", 44100, 2, 4.0, "-b 128"},
        PieceCase{"Mpeg1Vbr", 44100, 2, 4.0, "-V 4"},
        PieceCase{"Mpeg1VbrLowest", 32000, 2, 4.0, "-V 9 --resample 32"},
        PieceCase{"Mpeg1MonoLowRate", 32000, 1, 4.0, "-b 32 --resample 32"},
        PieceCase{"Mpeg1Mono48k", 48000, 1, 4.0, "-b 64"},
        PieceCase{"Mpeg1Highest", 48000, 2, 4.0, "-b 320"},
        PieceCase{"Mpeg1Stereo", 44100, 2, 4.0, "-m s -b 160"},
        PieceCase{"Mpeg1WithoutInfoFrame", 44100, 2, 4.0, "-t -b 128"},
        PieceCase{"Mpeg1WithTags", 44100, 2, 4.0, "-b 128 --tt Title --ta Artist --add-id3v2"},
        PieceCase{"Mpeg1Crc", 44100, 2, 4.0, "-p -b 192"},
        PieceCase{"Mpeg1Short", 44100, 2, 0.05, "-b 128", Damage::None, false, false, Split::No},
        PieceCase{"Mpeg2Mono", 22050, 1, 4.0, "-b 32", Damage::None, false, false, Split::No},
        PieceCase{"Mpeg2StereoVbr", 24000, 2, 4.0, "-V 6", Damage::None, false, false, Split::No},
        PieceCase{"Mpeg25Stereo", 11025, 2, 4.0, "-b 24", Damage::None, false, false, Split::No},
        PieceCase{"Mpeg25Mono", 8000, 1, 4.0, "-b 8", Damage::None, false, false, Split::No},
        PieceCase{"SearchAgain", 44100, 2, 4.0, "-b 128", Damage::None, true, false, Split::No},
        PieceCase{"IgnoreErrors", 44100, 2, 4.0, "-b 128", Damage::None, false, true, Split::No},
        PieceCase{"Junk", 44100, 2, 4.0, "-b 128", Damage::JunkInTheMiddle, false, false,
                  Split::No},
        PieceCase{"JunkSearchAgain", 44100, 2, 4.0, "-b 128", Damage::JunkInTheMiddle, true, false,
                  Split::No},
        PieceCase{"JunkIgnoreErrors", 44100, 2, 4.0, "-b 128", Damage::JunkInTheMiddle, false, true,
                  Split::No},
        PieceCase{"Truncated", 44100, 2, 4.0, "-b 128", Damage::Truncated, false, false, Split::No},
        PieceCase{"OtherStreamJoined", 44100, 2, 4.0, "-b 128", Damage::OtherStreamJoined, false,
                  true, Split::No},
        PieceCase{"NoiseInAFrame", 44100, 2, 4.0, "-b 128", Damage::NoiseInAFrame, false, false,
                  Split::Either},
        PieceCase{"JunkBeforeTheStart", 44100, 2, 4.0, "-b 128", Damage::JunkBeforeTheStart, false,
                  false, Split::No},
        PieceCase{"CopiesJoined", 44100, 2, 2.0, "-b 128", Damage::CopiesJoined, false, false,
                  Split::Either},
        PieceCase{"CrcClaimed", 44100, 2, 4.0, "-b 128", Damage::CrcClaimed, false, false,
                  Split::No}),
    [](const auto& tested) { return std::string(tested.param.name); });

// The fields of a frame header as (first bit, bits): sync, version, layer, protection, bit rate,
// rate, padding, private, mode, mode extension, copyright, original, emphasis.
constexpr unsigned kFields[][2] = {{0, 11}, {11, 2}, {13, 2}, {15, 1}, {16, 4}, {20, 2}, {22, 1},
                                   {23, 1}, {24, 2}, {26, 2}, {28, 1}, {29, 1}, {30, 2}};

// Header bits damaged at random, 1 to 3 fields, each in one frame or in every frame from one on:
// two and eight threads write what one thread writes, or fail as it fails.
TEST(PiecesPropertyTest, DamagedHeadersDecodeAlikeOnAnyNumberOfThreads) {
    if (!tw::test::Mp3Cache::get().ready())
        GTEST_SKIP() << "lame and sox make the test files";
    // Three seconds: cut into two or three pieces, so that most damage falls near a cut.
    const std::string sources[] = {readFile(toneMp3(44100, 2, 3.0, "-b 128")),
                                   readFile(toneMp3(44100, 2, 3.0, "-p -b 128")),
                                   readFile(toneMp3(48000, 2, 3.0, "-V 4")),
                                   readFile(toneMp3(32000, 1, 3.0, "-b 48 --resample 32"))};
    tw::test::TempFolder out;
    std::mt19937 random(21);
    int split = 0;
    for (int stream = 0; stream < 300; ++stream) {
        std::string bytes = sources[stream % std::size(sources)];
        const auto frames = frameOffsets(bytes);
        std::string damage = "stream " + std::to_string(stream) + ":";
        for (auto hits = 1 + random() % 3; hits > 0; --hits) {
            const auto* field = kFields[random() % std::size(kFields)];
            const unsigned bit = field[0] + static_cast<unsigned>(random() % field[1]);
            const std::size_t frame = random() % frames.size();
            const bool onwards = random() % 3 == 0;
            for (std::size_t k = frame; k < (onwards ? frames.size() : frame + 1); ++k)
                bytes[static_cast<std::size_t>(frames[k]) + bit / 8] ^=
                    static_cast<char>(0x80 >> (bit % 8));
            damage += " bit " + std::to_string(bit) + " of frame " + std::to_string(frame) +
                      (onwards ? " on" : "");
        }
        SCOPED_TRACE(damage);
        writeFile(out / "in.mp3", bytes);
        std::string one;
        for (const int threads : {1, 2, 8}) {
            Options o;
            o.input = out / "in.mp3";
            o.output = out / "out";
            o.threads = threads;
            o.minSliceFrames = 8;
            const auto outcome = tw::decoder::decode(o);
            const std::string written = outcome.ok ? readFile(o.output) : outcome.message;
            one = threads == 1 ? written : one;
            ASSERT_TRUE(written == one) << threads << " threads: " << outcome.message;
            split += outcome.threads > 1;
        }
    }
    // Damage to fields that may differ from frame to frame leaves many streams to the pieces.
    EXPECT_GT(split, 30);
}

// The thread count: the switch, else the batch's share, else the cores this process may use.
struct ThreadsCase {
    int requested;
    const char* environment; // L3DEC_THREADS, or nullptr for none
    int expected;            // 0: the cores of the affinity mask
};

void PrintTo(const ThreadsCase& c, std::ostream* os) {
    *os << "-j " << c.requested << ", L3DEC_THREADS " << (c.environment ? c.environment : "unset");
}

class DecodeThreadsTest : public ::testing::TestWithParam<ThreadsCase> {};

TEST_P(DecodeThreadsTest, TheSwitchThenTheEnvironmentThenTheCoresAllowed) {
    // One core allowed: the machine's count would give more wherever there are more.
    cpu_set_t before, one;
    ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &before)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    tw::test::ScopedEnv env("L3DEC_THREADS", GetParam().environment);
    const int threads = tw::decoder::decodeThreads(GetParam().requested);
    ::sched_setaffinity(0, sizeof before, &before);
    EXPECT_EQ(threads, GetParam().expected ? GetParam().expected : 1);
}

INSTANTIATE_TEST_SUITE_P(Sources, DecodeThreadsTest,
                         ::testing::Values(ThreadsCase{0, nullptr, 0}, ThreadsCase{3, nullptr, 3},
                                           ThreadsCase{0, "5", 5}, ThreadsCase{2, "5", 2},
                                           ThreadsCase{0, "", 0}, ThreadsCase{0, "0", 0},
                                           ThreadsCase{0, "-2", 0}, ThreadsCase{0, "4x", 0},
                                           ThreadsCase{0, "100000", 256},
                                           ThreadsCase{1000, nullptr, 256}),
                         tw::test::namedByValue());

// The program: the batch's L3DEC_THREADS is honoured, -j outranks it, and the summary says so.
TEST(PiecesProgramTest, TheEnvironmentAndTheSwitchSetTheThreads) {
    if (!tw::test::Mp3Cache::get().ready())
        GTEST_SKIP() << "lame and sox make the test files";
    const std::string mp3 = toneMp3(44100, 2, 40.0, "-b 128");
    tw::test::TempFolder out;
    struct Case {
        const char* environment;
        std::vector<std::string> switches;
        const char* said; // in the summary, or nullptr for nothing about threads
    };
    const Case cases[] = {{"3", {}, " on 3 threads\n"},
                          {"3", {"-j", "2"}, " on 2 threads\n"},
                          {"4", {"-J1"}, nullptr},
                          {nullptr, {"-j", "2", "-sa"}, nullptr}};
    std::string first;
    for (const Case& c : cases) {
        tw::test::ScopedEnv env("L3DEC_THREADS", c.environment);
        std::vector<std::string> args{TW_L3DEC, mp3, out / "out.wav", "-wav"};
        args.insert(args.end(), c.switches.begin(), c.switches.end());
        const auto answer = tw::test::runAndCatch(args, out.path());
        ASSERT_EQ(answer.exitCode, 0) << answer.err;
        if (c.said)
            EXPECT_TRUE(answer.out.ends_with(c.said)) << answer.out;
        else
            EXPECT_EQ(answer.out.find(" threads"), std::string::npos) << answer.out;
        const std::string written = readFile(out / "out.wav");
        if (first.empty())
            first = written;
        EXPECT_TRUE(written == first);
    }
}

} // namespace
