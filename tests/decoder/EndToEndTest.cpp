// Decode writes TEMP.BAT for real MP3 files with awkward long names; the console interpreter
// runs it with the real decoder. No window: the launch is recorded and the test runs the script.
// The outputs must be playable and hold what the MP3 decodes to, under the long names, with
// nothing else left in the destination.
#include "core/Decode.h"
#include "platform/Text.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/ConsoleTestSupport.h"
#include "tests/support/Programs.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/ReferenceDecode.h"
#include "tools/console/Console.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

using namespace tw::test;

namespace {

// What libsndfile reads from a decoded file; `container` is its SF_FORMAT_TYPEMASK part.
struct ReadBack {
    int container = 0;
    Sound sound;
};

std::optional<ReadBack> readOutput(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return std::nullopt;
    ReadBack back;
    back.container = info.format & SF_FORMAT_TYPEMASK;
    back.sound.rate = info.samplerate;
    back.sound.channels = info.channels;
    back.sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_short(f, back.sound.samples.data(), info.frames);
    sf_close(f);
    if (got != info.frames)
        return std::nullopt;
    return back;
}

// The three tracks: channels, rates and content differ, and so do their troubles in a name.
struct Track {
    std::wstring name;
    int rate;
    int channels;
    std::string synth;   // sox synth effect arguments
    std::string bitrate; // kbit/s for lame
};

const std::vector<Track>& tracks() {
    static const std::vector<Track> list{
        {L"Rock & Roll 100%.mp3", 44100, 2, "1.5 sine 440", "128"},
        {L"Café é.mp3", 22050, 1, "1.2 sine 660", "64"},
        {L"A long title with blanks.mp3", 32000, 2, "1.1 pinknoise", "96"},
    };
    return list;
}

// One way to run Decode: the format button and the two check boxes.
struct Case {
    const char* label;
    int format;        // 0..3: WAV, SND, AIFF, AIFC
    bool searchAgain;  // Check1
    bool ignoreErrors; // Check2
    int damaged;       // index of a track replaced by bytes that are no MP3, or -1
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.label;
}

const tw::OutputFormat kFormats[] = {tw::OutputFormat::Wav, tw::OutputFormat::Snd,
                                     tw::OutputFormat::Aiff, tw::OutputFormat::Aifc};
const wchar_t* const kExtensions[] = {L"wav", L"snd", L"aiff", L"aifc"};
const int kContainers[] = {SF_FORMAT_WAV, SF_FORMAT_AU, SF_FORMAT_AIFF, SF_FORMAT_AIFF};

class RealDecoder : public ::testing::TestWithParam<Case> {
protected:
    // The MP3s are made once for all cases: sox writes a tone or noise, lame encodes it.
    static void SetUpTestSuite() {
        if (!onPath("sox") || !onPath("lame")) {
            s_skipReason = "sox and lame are needed to make the MP3s (scripts/setup.sh installs "
                           "them)";
            return;
        }
        s_sources = std::make_unique<TempFolder>();
        for (std::size_t i = 0; i < tracks().size(); ++i) {
            const Track& t = tracks()[i];
            const std::string mp3 = *s_sources / ("t" + std::to_string(i) + ".mp3");
            if (!makeMp3(mp3, t.rate, t.channels, "synth " + t.synth + " gain -6",
                         "-b " + t.bitrate)) {
                s_skipReason = "sox or lame failed to make " + mp3;
                return;
            }
            s_mp3s.push_back(mp3);
        }
    }
    static void TearDownTestSuite() {
        s_mp3s.clear();
        s_sources.reset();
    }

    void SetUp() override {
        if (!s_skipReason.empty())
            GTEST_SKIP() << s_skipReason;
        fs::create_directories(m_root / "c/MPEG Tools");
        fs::create_directories(m_root / "c/My Music");
        fs::create_directories(m_root / "d/WAVES");
        fs::copy_file(TW_L3DEC, m_root / "c/MPEG Tools/l3dec");
    }

    static inline std::unique_ptr<TempFolder> s_sources;
    static inline std::vector<std::string> s_mp3s;
    static inline std::string s_skipReason;

    TempFolder m_root;
    tw::posix::PosixPlatform m_platform{{{L'C', m_root / "c"}, {L'D', m_root / "d"}}};
};

TEST_P(RealDecoder, EveryTrackBecomesAPlayableFileUnderItsLongName) {
    const Case& c = GetParam();
    const std::string music = m_root / "c/My Music";
    tw::DecodeInput input;
    input.sourceFolder = L"C:\\My Music";
    input.format = kFormats[c.format];
    input.searchAgain = c.searchAgain;
    input.ignoreErrors = c.ignoreErrors;
    for (std::size_t i = 0; i < tracks().size(); ++i) {
        const std::string path = music + "/" + tw::text::toUtf8(tracks()[i].name);
        if (static_cast<int>(i) == c.damaged)
            writeFile(path, std::string(4000, 'x')); // no frame sync anywhere in it
        else
            fs::copy_file(s_mp3s[i], path);
        input.entries.push_back(tracks()[i].name);
        input.selected.push_back(true);
    }
    // Listed but not selected: it must not be decoded.
    fs::copy_file(s_mp3s[0], music + "/Not this one.mp3");
    input.entries.push_back(L"Not this one.mp3");
    input.selected.push_back(false);

    tw::AppState state;
    state.DecoderPath = L"C:\\MPEG Tools";
    state.Destination = L"D:\\WAVES\\";
    state.LoadMode = 1;

    {
        ScopedCurrentDirectory keep(m_root.path());
        RecordingPlatform recorder(m_platform);
        const auto result = tw::decodeNow(recorder, input, state);
        ASSERT_EQ(result.kind, tw::DecodeResult::Kind::Started) << tw::text::toUtf8(result.message);
        ASSERT_EQ(recorder.batchStarts.size(), 1u);
    }

    // The script runs where the launcher starts it: in the decoder's folder, which is the only
    // place the decoder is found.
    ScopedCurrentDirectory cd(m_root / "c/MPEG Tools");
    std::ostringstream out, err;
    tw::console::Interpreter interpreter(m_platform, out, err);
    interpreter.setSearchPath("");
    const bool ran = interpreter.runScript("TEMP.BAT");
    if (c.damaged < 0) {
        EXPECT_TRUE(ran) << err.str() << "\n" << out.str();
        EXPECT_EQ(err.str(), "");
    } else {
        // The decoder's failure and the rename of the output it never made are both reported.
        EXPECT_FALSE(ran) << out.str();
        EXPECT_GE(interpreter.failures(), 1u) << err.str();
    }

    const std::wstring extension = kExtensions[c.format];
    std::set<std::string> expected;
    for (std::size_t i = 0; i < tracks().size(); ++i) {
        if (static_cast<int>(i) == c.damaged)
            continue;
        const std::wstring& name = tracks()[i].name;
        const std::string output = tw::text::toUtf8(name.substr(0, name.size() - 3) + extension);
        expected.insert(output);
        SCOPED_TRACE(output);

        const auto reference = decodeReference(s_mp3s[i]);
        ASSERT_TRUE(reference);
        ASSERT_EQ(reference->rate, tracks()[i].rate); // the MP3 is what the test meant to make
        ASSERT_EQ(reference->channels, tracks()[i].channels);
        ASSERT_GT(reference->frames(), 0);

        const auto back = readOutput(m_root / ("d/WAVES/" + output));
        ASSERT_TRUE(back) << "libsndfile cannot read it: " << sf_strerror(nullptr);
        EXPECT_EQ(back->container, kContainers[c.format]);
        EXPECT_EQ(back->sound.rate, reference->rate);
        EXPECT_EQ(back->sound.channels, reference->channels);
        ASSERT_EQ(back->sound.frames(), reference->frames());
        // The same sound, sample for sample; a step of rounding is allowed, a shift, a swapped
        // byte order or a lost channel is not.
        int worst = 0;
        for (std::size_t k = 0; k < reference->samples.size(); ++k)
            worst = std::max(worst, std::abs(back->sound.samples[k] - reference->samples[k]));
        EXPECT_LE(worst, 2);
    }

    // Nothing else in the destination: no short-named leftover, no partial file.
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(m_root / "d/WAVES"))
        present.insert(entry.path().filename().string());
    EXPECT_EQ(present, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RealDecoder,
    ::testing::Values(Case{"Wav", 0, true, false, -1}, Case{"Snd", 1, false, false, -1},
                      Case{"Aiff", 2, false, true, -1}, Case{"Aifc", 3, true, true, -1},
                      Case{"WavWithADamagedTrack", 0, true, false, 1},
                      Case{"AiffWithADamagedTrackIgnoringErrors", 2, false, true, 0}),
    [](const ::testing::TestParamInfo<Case>& tested) { return tested.param.label; });

} // namespace
