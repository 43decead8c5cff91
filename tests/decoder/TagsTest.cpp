// l3dec carries an MP3's tags into the containers that have room for them, and the audio stays
// exactly what it was: the output of a tagged MP3 is that of the same MP3 without its tags,
// plus the tag chunks and nothing else.
#include "tools/decoder/Tags.h"

#include "tests/support/Id3.h"
#include "tests/support/Programs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SoundChunks.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <utility>

using tw::decoder::Tags;
using namespace tw::test;

namespace {

struct TagCase {
    const char* name;
    std::vector<std::string> lame; // lame's tag options
    std::string front;             // an ID3v2 tag of our own put in front of what lame made
    Tags expected;                 // `trouble`: the one warning's text
};

void PrintTo(const TagCase& c, std::ostream* os) {
    *os << c.name;
}

// Where each container keeps a field: libsndfile's string, the chunk a reader finds it in.
struct Place {
    int string;
    std::string Tags::*field;
    const char* chunk;
};
const std::vector<Place> kWav{
    {SF_STR_TITLE, &Tags::title, "INAM"},    {SF_STR_ARTIST, &Tags::artist, "IART"},
    {SF_STR_ALBUM, &Tags::album, "IPRD"},    {SF_STR_TRACKNUMBER, &Tags::track, "ITRK"},
    {SF_STR_DATE, &Tags::date, "ICRD"},      {SF_STR_GENRE, &Tags::genre, "IGNR"},
    {SF_STR_COMMENT, &Tags::comment, "ICMT"}};
const std::vector<Place> kAiff{{SF_STR_TITLE, &Tags::title, "NAME"},
                               {SF_STR_ARTIST, &Tags::artist, "AUTH"},
                               {SF_STR_COMMENT, &Tags::comment, "ANNO"}};
const std::vector<Place> kSnd;

struct TaggedContainer {
    const char* option;
    const char* extension;
    const std::vector<Place>* places;
    const char* chunks[3]; // what tags add to it
};
const TaggedContainer kContainers[] = {{"-wav", "wav", &kWav, {"LIST"}},
                                       {"-aif", "aiff", &kAiff, {"NAME", "AUTH", "ANNO"}},
                                       {"-aic", "aifc", &kAiff, {"NAME", "AUTH", "ANNO"}},
                                       {"-snd", "snd", &kSnd, {}}};

class TagsTest : public ::testing::TestWithParam<TagCase> {
protected:
    void SetUp() override {
        if (!onPath("lame") || !onPath("sox"))
            GTEST_SKIP() << "lame and sox make the test files; scripts/setup.sh installs them";
    }
    std::string decode(const std::string& mp3, const TaggedContainer& c, const std::string& name,
                       ProgramAnswer* answer = nullptr) {
        const std::string out = m_dir / (name + "." + c.extension);
        const auto run = runAndCatch({TW_L3DEC, mp3, out, c.option}, m_dir.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        if (answer)
            *answer = run;
        return out;
    }
    TempFolder m_dir;
};

TEST_P(TagsTest, TheOutputCarriesTheTagsAndTheSameAudio) {
    const TagCase& c = GetParam();
    const std::string made = m_dir / "made.mp3", tagged = m_dir / "tagged.mp3",
                      untagged = m_dir / "untagged.mp3";
    {
        // lame takes tag texts in the locale's encoding.
        ScopedEnv utf8("LC_ALL", "C.UTF-8");
        std::vector<std::string> args{"-b", "64"};
        args.insert(args.end(), c.lame.begin(), c.lame.end());
        ASSERT_TRUE(makeMp3(made, 44100, 1, "synth 1 sine 440 gain -6", args));
    }
    writeFile(tagged, c.front + readFile(made));
    writeFile(untagged, id3::stripped(id3::stripped(readFile(tagged))));
    const Tags& want = c.expected;

    for (const TaggedContainer& container : kContainers) {
        SCOPED_TRACE(container.extension);
        ProgramAnswer said;
        const std::string out = decode(tagged, container, "tagged", &said);
        const std::string plain = decode(untagged, container, "untagged");

        // One warning line for whatever tags were lost, and the track named in the summary.
        EXPECT_EQ(said.err, want.trouble.empty()
                                ? ""
                                : "l3dec: warning: tags of " + tagged + ": " + want.trouble + "\n");
        const std::string name = want.trackName();
        EXPECT_NE(said.out.find(out + ": " + (name.empty() ? "" : "\"" + name + "\", ") +
                                "44100 samples"),
                  std::string::npos)
            << said.out;

        // Byte for byte the decode of the untagged MP3 once the tag chunks are taken out.
        std::string bytes = readFile(out);
        for (const char* chunk : container.chunks)
            if (chunk)
                bytes = withoutChunks(bytes, chunk);
        EXPECT_TRUE(bytes == readFile(plain)) << "audio or header changed";

        // Read back by libsndfile and by a chunk reader of our own.
        SF_INFO info{};
        const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
            sf_open(out.c_str(), SFM_READ, &info), sf_close);
        ASSERT_TRUE(file);
        std::map<std::string, std::string> chunks;
        for (int type = SF_STR_FIRST; type <= SF_STR_LAST; ++type) {
            const Place* place = nullptr;
            for (const Place& p : *container.places)
                if (p.string == type)
                    place = &p;
            const std::string expected = place ? want.*place->field : "";
            const char* got = sf_get_string(file.get(), type);
            EXPECT_EQ(got ? got : "", expected) << "string " << type;
            if (!expected.empty())
                chunks[place->chunk] = expected;
        }
        if (container.places != &kSnd) {
            EXPECT_EQ(textChunks(readFile(out)), chunks);
        }
        // sox shows the annotation of an AIFF (it shows no text of a WAV's LIST chunk).
        if (container.places == &kAiff && onPath("soxi")) {
            EXPECT_EQ(runAndCatch({pathOf("soxi"), "-a", out}, m_dir.path()).out,
                      want.comment.empty() ? "" : want.comment + "\n");
        }
    }
}

const std::string kLongTitle = "a" + [] {
    std::string s;
    for (int i = 0; i < 1500; ++i)
        s += "é";
    return s;
}();

// A tag of ID3v2.`v` in front of the MP3; frame bodies begin with their text encoding: 0 Latin-1,
// 1 UTF-16 with byte order mark, 2 UTF-16BE, 3 UTF-8.
std::string v2(int v, std::vector<std::pair<const char*, std::string>> frames,
               const std::string& extra = "") {
    std::vector<std::string> bytes;
    for (const auto& [id, body] : frames)
        bytes.push_back(id3::frame(v, id, body));
    bytes.push_back(extra);
    return id3::tag(v, bytes);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Tags, TagsTest,
    ::testing::Values(
        TagCase{"BothVersions",
                {"--tt", "Title", "--ta", "Artist", "--tl", "Album", "--tn", "3/12", "--ty", "2021",
                 "--tg", "Rock", "--tc", "A comment"},
                "",
                {"Title", "Artist", "Album", "3/12", "2021", "Rock", "A comment", ""}},
        TagCase{"Utf16",
                {"--id3v2-only", "--id3v2-utf16", "--tt", "Ωμέγα", "--ta", "東京 Ensemble", "--tl",
                 "Café", "--tc", "Ünïcödé"},
                "",
                {"Ωμέγα", "東京 Ensemble", "Café", "", "", "", "Ünïcödé", ""}},
        TagCase{"Id3v1Latin1",
                {"--id3v1-only", "--tt", "Tïtle", "--ta", "Ärtist", "--tl", "Album", "--tn", "7",
                 "--ty", "1999", "--tg", "Jazz", "--tc", "Straße"},
                "",
                {"Tïtle", "Ärtist", "Album", "7", "1999", "Jazz", "Straße", ""}},
        TagCase{"AbsurdLengthsAreCutOnACharacter",
                {"--id3v2-only", "--tt", kLongTitle, "--tc", std::string(20000, 'x')},
                "",
                {kLongTitle.substr(0, 1023), "", "", "", "", "", std::string(1024, 'x'),
                 "title: cut to 1024 bytes; comment: cut to 1024 bytes"}},
        TagCase{"Version22",
                {},
                v2(2, {{"TT2", "\0Caf\xe9"s},
                       {"TP1", "\1\xff\xfe\x41\0r\0"s},
                       {"TAL", "\0Album"s},
                       {"TRK", "\0004"s},
                       {"TYE", "\0001999"s},
                       {"TCO", "\0(17)"s},
                       {"COM", "\0eng\0hello"s}}),
                {"Café", "Ar", "Album", "4", "1999", "Rock", "hello", ""}},
        TagCase{"Version24",
                {},
                v2(4, {{"TIT2", "\3Ti\xc3\xa9"s},
                       {"TPE1", "\3One\0Two"s},
                       {"TALB", "\2\0A\0l"s},
                       {"TDRC", "\0032020-05-06"s},
                       {"TCON", "\00331"s}}),
                {"Tié", "One; Two", "Al", "", "2020-05-06", "Trance", "", ""}},
        TagCase{"Id3v2WinsFieldByField",
                {"--id3v1-only", "--tt", "Old title", "--ta", "Old artist"},
                v2(3, {{"TIT2", "\0New title"s}}),
                {"New title", "Old artist", "", "", "", "", "", ""}},
        TagCase{"BadTagsAreCleanedOrLeftOut",
                {"--id3v1-only", "--tt", "Fallback title"},
                // The last frame claims more bytes than the whole tag.
                v2(4,
                   {{"TIT2", "\3Bad\xff\xfeUTF-8"s},
                    {"TPE1", "\7unknown encoding"s},
                    {"TALB", "\003A\1lbum\x1b"s},
                    {"COMM", "\3eng\0line 1\r\nline 2"s}},
                   "TYER\x7f\x7f\x7f\x7f\0\0\0032000"s),
                {"Fallback title", "", "Album", "", "", "", "line 1 line 2",
                 "title: not valid text, left out; album: control characters removed"}}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(TagTextTest, IsMadeFitForTheOutput) {
    struct Case {
        std::string text, clean;
        bool warned;
    };
    const Case cases[] = {
        {"  plain  ", "plain", false},
        {"a\tb\r\n\nc", "a b c", false},
        {"bell\a, escape\x1b, delete\x7f, C1 \xc2\x85.", "bell, escape, delete, C1 .", true},
        {"overlong \xc0\xaf", "", true},
        {"surrogate \xed\xa0\x80", "", true},
        {"cut short \xe2\x82", "", true},
        {"beyond \xf4\x90\x80\x80", "", true},
        {std::string(1023, 'x') + "€", std::string(1023, 'x'), true},
        {std::string(1021, 'x') + "€", std::string(1021, 'x') + "€", false},
    };
    for (const auto& [text, clean, warned] : cases) {
        std::string trouble;
        EXPECT_EQ(tw::decoder::cleanTagText(text, trouble), clean) << text;
        EXPECT_EQ(!trouble.empty(), warned) << text << ": " << trouble;
    }
}

TEST(TagTextTest, GenresWrittenAsNumbersAreNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"17", "Rock"},        {"(17)", "Rock"},    {"(17)Rock & Roll", "Rock & Roll"},
        {"(9)(80)", "Folk"},   {"((foo)", "(foo)"}, {"(RX)", "Remix"},
        {"147", "SynthPop"},   {"148", "148"},      {"Chiptune", "Chiptune"},
        {"(12345)", "(12345)"}};
    for (const auto& [genre, name] : cases)
        EXPECT_EQ(tw::decoder::genreName(genre), name) << genre;
}

} // namespace
