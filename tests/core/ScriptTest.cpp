// The script text of Decode, over an in-memory platform whose short names each case sets: a
// file system that ignores case and whose short names stay with their files, as on Windows.
// The lines, formats, switches and quoting are asserted here; the other tests of Decode compare
// what it writes with buildBatchScript's text.
#include "core/Script.h"
#include "tests/support/CaseNames.h"
#include "tests/support/MemoryPlatform.h"

#include <gtest/gtest.h>

namespace {

using tw::test::MemoryPlatform;

struct EscapeCase {
    const wchar_t* text;
    bool quoted;
    const wchar_t* expected;
};

class ScriptTextTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ScriptTextTest, EscapesOnlyWhatTheConsoleWouldAct) {
    EXPECT_EQ(tw::scriptText(GetParam().text, GetParam().quoted), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScriptTextTest,
    ::testing::Values(EscapeCase{L"C:\\MUSIC\\TRACK01.MP3", false, L"C:\\MUSIC\\TRACK01.MP3"},
                      EscapeCase{L"Long Song Title.wav", true, L"Long Song Title.wav"},
                      EscapeCase{L"100%", false, L"100%%"}, EscapeCase{L"%1%", true, L"%%1%%"},
                      EscapeCase{L"A&B.MP3", false, L"A^&B.MP3"},
                      EscapeCase{L"^|<>()", false, L"^^^|^<^>^(^)"},
                      EscapeCase{L"rock & (roll) ^ <x>", true, L"rock & (roll) ^ <x>"},
                      EscapeCase{L"!',;=~`@#$", false, L"!',;=~`@#$"},
                      EscapeCase{L"caf\u00e9 \u65e5\u672c", true, L"caf\u00e9 \u65e5\u672c"}),
    tw::test::namedBy([](const EscapeCase& c) { return std::wstring(c.text); }));

struct Entry {
    const wchar_t* name;
    bool selected;
};

struct ScriptCase {
    const char* label;
    const wchar_t* sourceFolder;
    const wchar_t* destination;
    std::vector<Entry> entries;
    tw::OutputFormat format;
    bool searchAgain;
    bool ignoreErrors;
    std::vector<std::pair<const wchar_t*, const wchar_t*>> onDisk; // files: long path, short form
    std::vector<const wchar_t*> lines;
    std::vector<const wchar_t*> leftOut{}; // names, in list order
};

std::ostream& operator<<(std::ostream& out, const ScriptCase& c) {
    return out << c.label;
}
std::string caseName(const ::testing::TestParamInfo<ScriptCase>& info) {
    return info.param.label;
}

class ScriptLinesTest : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptLinesTest, WritesTheDecoderAndRenameLines) {
    const ScriptCase& c = GetParam();
    MemoryPlatform platform;
    platform.addDirectory(L"D:\\WAVES"); // the output folder of every case
    for (const auto& [longPath, shortForm] : c.onDisk)
        platform.addFile(longPath, shortForm);
    tw::DecodeInput input;
    for (const Entry& e : c.entries) {
        input.entries.push_back(e.name);
        input.selected.push_back(e.selected);
    }
    input.sourceFolder = c.sourceFolder;
    input.format = c.format;
    input.searchAgain = c.searchAgain;
    input.ignoreErrors = c.ignoreErrors;
    tw::AppState state;
    state.Destination = c.destination;
    state.DecoderPath = L"C:\\MPEG";

    const tw::BatchScript script = tw::buildBatchScript(platform, input, state);

    ASSERT_EQ(script.outcome, tw::BatchScript::Outcome::Complete)
        << std::string(script.message.begin(), script.message.end());
    std::wstring expected;
    for (const wchar_t* line : c.lines)
        expected += std::wstring(line) + L"\r\n";
    EXPECT_EQ(platform.fromScriptText(script.bytes), expected);
    std::vector<std::wstring> leftOut;
    for (const tw::LeftOut& entry : script.leftOut)
        leftOut.push_back(entry.name);
    EXPECT_EQ(leftOut, std::vector<std::wstring>(c.leftOut.begin(), c.leftOut.end()));
}

const std::vector<std::pair<const wchar_t*, const wchar_t*>> kMusic{
    {L"C:\\MUSIC\\track01.mp3", L"C:\\MUSIC\\TRACK01.MP3"},
    {L"C:\\MUSIC\\Long Song Title.mp3", L"C:\\MUSIC\\LONGSO~1.MP3"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptLinesTest,
    ::testing::Values(
        ScriptCase{"SndIgnoreErrors",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"track01.mp3", true}},
                   tw::OutputFormat::Snd,
                   false,
                   true,
                   kMusic,
                   {L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.snd -snd -ign ",
                    L"REN D:\\WAVES\\TRACK01.snd \"track01.snd\""}},
        ScriptCase{"AifcSearchAgainAndIgnoreErrors",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"track01.mp3", true}},
                   tw::OutputFormat::Aifc,
                   true,
                   true,
                   kMusic,
                   {L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.aifc -aic -sa -ign ",
                    L"REN D:\\WAVES\\TRACK01.aifc \"track01.aifc\""}},
        ScriptCase{"DriveRootSourceAndDestinationWithoutBackslash",
                   L"C:\\",
                   L"D:\\WAVES",
                   {{L"track01.mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   {{L"C:\\track01.mp3", L"C:\\TRACK01.MP3"}},
                   {L"L3DEC C:\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav ",
                    L"REN D:\\WAVES\\TRACK01.wav \"track01.wav\""}},
        // A first start's output folder is the drive root.
        ScriptCase{"IntoADriveRoot",
                   L"C:\\MUSIC",
                   L"D:\\",
                   {{L"track01.mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   kMusic,
                   {L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\TRACK01.wav -wav ",
                    L"REN D:\\TRACK01.wav \"track01.wav\""}},
        // The worked example: WAV, search again, the selected files in list order.
        ScriptCase{"WorkedExampleInListOrderSkippingUnselectedAndEmpty",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"Long Song Title.mp3", true},
                    {L"", true},
                    {L"other.mp3", false},
                    {L"track01.mp3", true}},
                   tw::OutputFormat::Wav,
                   true,
                   false,
                   kMusic,
                   {L"L3DEC C:\\MUSIC\\LONGSO~1.MP3 D:\\WAVES\\LONGSO~1.wav -wav -sa ",
                    L"REN D:\\WAVES\\LONGSO~1.wav \"Long Song Title.wav\"",
                    L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -sa ",
                    L"REN D:\\WAVES\\TRACK01.wav \"track01.wav\""}},
        // A file that vanished after it was listed is left out; the others go ahead.
        ScriptCase{"VanishedFileIsLeftOut",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"gone.mp3", true}, {L"track01.mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   kMusic,
                   {L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav ",
                    L"REN D:\\WAVES\\TRACK01.wav \"track01.wav\""},
                   {L"gone.mp3"}},
        // Cutting three characters off so short a name would reach into the folder's name.
        ScriptCase{"NameShorterThanItsCutIsLeftOut",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"ab", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   {{L"C:\\MUSIC\\ab", L"C:\\MUSIC\\AB"}},
                   {},
                   {L"ab"}},
        // An output short name that is another file's names nothing once it is one of ours.
        ScriptCase{"OutputThatNamesAnotherFileGetsAnIntermediateName",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"Long Song Title.mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   {kMusic[1], {L"D:\\WAVES\\Long Song Other.wav", L"D:\\WAVES\\LONGSO~1.WAV"}},
                   {L"L3DEC C:\\MUSIC\\LONGSO~1.MP3 D:\\WAVES\\LONGSO_1.wav -wav ",
                    L"REN D:\\WAVES\\LONGSO_1.wav \"Long Song Title.wav\""}},
        // Decoding again replaces the earlier output, but only once the new one is complete.
        ScriptCase{
            "RedecodeDeletesTheEarlierOutputOnlyOnceTheNewOneExists",
            L"C:\\MUSIC",
            L"D:\\WAVES\\",
            {{L"track01.mp3", true}, {L"Long Song Title.mp3", true}},
            tw::OutputFormat::Aiff,
            false,
            false,
            {kMusic[0],
             kMusic[1],
             {L"D:\\WAVES\\track01.aiff", L"D:\\WAVES\\TRACK01.AIF"},
             {L"D:\\WAVES\\Long Song Title.aiff", L"D:\\WAVES\\LONGSO~1.AIF"}},
            {L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK0_1.aiff -aif ",
             L"IF EXIST \"D:\\WAVES\\TRACK0_1.aiff\" del \"D:\\WAVES\\track01.aiff\"",
             L"REN D:\\WAVES\\TRACK0_1.aiff \"track01.aiff\"",
             L"L3DEC C:\\MUSIC\\LONGSO~1.MP3 D:\\WAVES\\LONGSO_1.aiff -aif ",
             L"IF EXIST \"D:\\WAVES\\LONGSO_1.aiff\" del \"D:\\WAVES\\Long Song Title.aiff\"",
             L"REN D:\\WAVES\\LONGSO_1.aiff \"Long Song Title.aiff\""}},
        // The system gives the first long-named output a short name nobody can know in
        // advance; a later "~" output could be it.
        ScriptCase{"LaterOutputsAvoidShortNamesTheRunMakes",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"Long Song A.mp3", true}, {L"Long Song B.mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   {{L"C:\\MUSIC\\Long Song A.mp3", L"C:\\MUSIC\\LONGSO~1.MP3"},
                    {L"C:\\MUSIC\\Long Song B.mp3", L"C:\\MUSIC\\LONGSO~2.MP3"}},
                   {L"L3DEC C:\\MUSIC\\LONGSO~1.MP3 D:\\WAVES\\LONGSO~1.wav -wav ",
                    L"REN D:\\WAVES\\LONGSO~1.wav \"Long Song A.wav\"",
                    L"L3DEC C:\\MUSIC\\LONGSO~2.MP3 D:\\WAVES\\LONGSO_1.wav -wav ",
                    L"REN D:\\WAVES\\LONGSO_1.wav \"Long Song B.wav\""}},
        // Files that are not the file's own to replace, and files the decoder line cannot
        // tell apart, are left out.
        ScriptCase{"CaseTwinAndSharedShortNamesAreLeftOut",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"intro.mp3", true},
                    {L"Song 0118.mp3", true},
                    {L"Song 1002.mp3", true},
                    {L"track01.mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   {kMusic[0],
                    {L"C:\\MUSIC\\intro.mp3", L"C:\\MUSIC\\INTRO.MP3"},
                    {L"C:\\MUSIC\\Song 0118.mp3", L"C:\\MUSIC\\SONG~5CU.MP3"},
                    {L"C:\\MUSIC\\Song 1002.mp3", L"C:\\MUSIC\\SONG~5CU.MP3"},
                    {L"D:\\WAVES\\Intro.wav", L"D:\\WAVES\\INTRO.WAV"}},
                   {L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav ",
                    L"REN D:\\WAVES\\TRACK01.wav \"track01.wav\""},
                   {L"intro.mp3", L"Song 0118.mp3", L"Song 1002.mp3"}},
        ScriptCase{"ConsoleCharactersInNamesAreEscaped",
                   L"C:\\MUSIC",
                   L"D:\\WAVES\\",
                   {{L"a&b.mp3", true}, {L"100% (live).mp3", true}},
                   tw::OutputFormat::Wav,
                   false,
                   false,
                   {{L"C:\\MUSIC\\a&b.mp3", L"C:\\MUSIC\\A&B.MP3"},
                    {L"C:\\MUSIC\\100% (live).mp3", L"C:\\MUSIC\\100%(L~1.MP3"}},
                   {L"L3DEC C:\\MUSIC\\A^&B.MP3 D:\\WAVES\\A^&B.wav -wav ",
                    L"REN D:\\WAVES\\A^&B.wav \"a&b.wav\"",
                    L"L3DEC C:\\MUSIC\\100%%^(L~1.MP3 D:\\WAVES\\100%%^(L~1.wav -wav ",
                    L"REN D:\\WAVES\\100%%^(L~1.wav \"100%% (live).wav\""}}),
    caseName);

} // namespace
