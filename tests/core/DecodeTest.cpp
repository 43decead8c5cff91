// What Decode writes, starts and refuses, over an in-memory platform.
#include "core/Decode.h"
#include "core/Script.h"
#include "platform/Text.h"
#include "tests/support/CaseNames.h"
#include "tests/support/MemoryPlatform.h"

#include <gtest/gtest.h>

namespace {

using tw::DecodeResult;
using tw::test::MemoryPlatform;
using Kind = DecodeResult::Kind;
using tw::text::toUtf8;

// C:\MUSIC with two tracks, output folder D:\WAVES\, decoder folder C:\MPEG.
struct Scene {
    MemoryPlatform platform;
    tw::DecodeInput input;
    tw::AppState state;

    Scene() {
        platform.addFile(L"C:\\MUSIC\\track01.mp3", L"C:\\MUSIC\\TRACK01.MP3");
        platform.addFile(L"C:\\MUSIC\\Long Song Title.mp3", L"C:\\MUSIC\\LONGSO~1.MP3");
        platform.addDirectory(L"D:\\WAVES");
        platform.addDirectory(L"C:\\MPEG");
        input.entries = {L"track01.mp3", L"Long Song Title.mp3"};
        input.selected = {true, true};
        input.sourceFolder = L"C:\\MUSIC";
        state.Destination = L"D:\\WAVES\\";
        state.DecoderPath = L"C:\\MPEG";
    }
    DecodeResult decode() { return tw::decodeNow(platform, input, state); }
    // What Decode must write for `of`: the builder's text in the console's characters.
    std::string builtScript(const tw::DecodeInput& of) {
        return tw::buildBatchScript(platform, of, state).bytes;
    }
    void expectUntouched() {
        EXPECT_TRUE(platform.currentDirectoryCalls.empty());
        EXPECT_TRUE(platform.files.empty());
        EXPECT_TRUE(platform.batchStarts.empty());
    }
};

TEST(DecodeTest, EntersTheDecoderFolderWritesTempBatThereAndStartsIt) {
    Scene s;
    const DecodeResult result = s.decode();
    ASSERT_EQ(result.kind, Kind::Started) << toUtf8(result.message);
    EXPECT_EQ(s.platform.currentDirectoryCalls, std::vector<std::wstring>{L"C:\\MPEG"});
    EXPECT_EQ(s.platform.files.count(L"C:\\MPEG\\TEMP.BAT"), 1u);
    ASSERT_EQ(s.platform.batchStarts.size(), 1u);
    EXPECT_EQ(s.platform.batchStarts[0].directory, L"C:\\MPEG");
    EXPECT_EQ(s.platform.batchStarts[0].scriptName, L"TEMP.BAT");
}

TEST(DecodeTest, DecoderFolderAtADriveRootGetsOneBackslash) {
    Scene s;
    s.state.DecoderPath = L"C:\\";
    ASSERT_EQ(s.decode().kind, Kind::Started);
    EXPECT_EQ(s.platform.files.count(L"C:\\TEMP.BAT"), 1u);
}

class LoadModeTest : public ::testing::TestWithParam<std::pair<std::int16_t, bool>> {};

TEST_P(LoadModeTest, OnlyOneMeansMinimized) {
    Scene s;
    s.state.LoadMode = GetParam().first;
    ASSERT_EQ(s.decode().kind, Kind::Started);
    ASSERT_EQ(s.platform.batchStarts.size(), 1u);
    EXPECT_EQ(s.platform.batchStarts[0].minimized, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Modes, LoadModeTest,
                         ::testing::Values(std::pair<std::int16_t, bool>{1, true},
                                           std::pair<std::int16_t, bool>{0, false},
                                           std::pair<std::int16_t, bool>{-1, false},
                                           std::pair<std::int16_t, bool>{5, false},
                                           std::pair<std::int16_t, bool>{257, false}),
                         tw::test::namedByValue());

struct SelectionCase {
    const char* label;
    std::vector<std::wstring> entries;
    std::vector<bool> selected;
};
std::ostream& operator<<(std::ostream& out, const SelectionCase& c) {
    return out << c.label;
}

class NothingSelectedTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(NothingSelectedTest, WritesAndStartsNothing) {
    Scene s;
    s.input.entries = GetParam().entries;
    s.input.selected = GetParam().selected;
    const DecodeResult result = s.decode();
    EXPECT_EQ(result.kind, Kind::NothingSelected);
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NothingSelectedTest,
    ::testing::Values(SelectionCase{"EmptyList", {}, {}},
                      SelectionCase{"NoneSelected", {L"track01.mp3", L"b.mp3"}, {false, false}},
                      SelectionCase{"OnlyAnEmptyEntrySelected", {L"", L"b.mp3"}, {true, false}},
                      SelectionCase{"SelectionShorterThanList", {L"track01.mp3"}, {}}),
    [](const auto& tested) { return std::string(tested.param.label); });

// Each step that can fail ends Decode there; what was done before stays done.
struct FailingStep {
    const char* label;
    tw::Status MemoryPlatform::*result; // the step's answer, made a failure
    const wchar_t* reason;
    const wchar_t* named; // what the message names besides the reason
    bool scriptOnDisk;
    std::size_t startsTried;
};

class FailingStepTest : public ::testing::TestWithParam<FailingStep> {};

TEST_P(FailingStepTest, EndsDecodeThereKeepingWhatWasDone) {
    const FailingStep& step = GetParam();
    Scene s;
    s.platform.*step.result = tw::Status::failure(step.reason);
    const DecodeResult result = s.decode();
    EXPECT_EQ(result.kind, Kind::Failed);
    EXPECT_NE(result.message.find(step.reason), std::wstring::npos) << toUtf8(result.message);
    EXPECT_NE(result.message.find(step.named), std::wstring::npos) << toUtf8(result.message);
    EXPECT_EQ(s.platform.files.count(L"C:\\MPEG\\TEMP.BAT"), step.scriptOnDisk ? 1u : 0u);
    EXPECT_EQ(s.platform.batchStarts.size(), step.startsTried);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailingStepTest,
    ::testing::Values(FailingStep{"EnterDecoderFolder", &MemoryPlatform::setCurrentResult,
                                  L"No such folder.", L"C:\\MPEG", false, 0},
                      FailingStep{"WriteScript", &MemoryPlatform::writeResult,
                                  L"Read-only file system.", L"C:\\MPEG\\TEMP.BAT", false, 0},
                      FailingStep{"StartScript", &MemoryPlatform::batchResult,
                                  L"No terminal found.", L"C:\\MPEG\\TEMP.BAT", true, 1}),
    [](const auto& tested) { return std::string(tested.param.label); });

// A folder that is missing or that the script cannot name refuses the whole Decode, before
// anything happens; the message names it.
struct RefusalCase {
    const char* label;
    int field; // 1 Dir1's path, 2 Destination, 3 DecoderPath
    std::wstring text;
    const wchar_t* named; // what the message must say
};
std::ostream& operator<<(std::ostream& out, const RefusalCase& c) {
    return out << c.label;
}

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RefusesBeforeAnythingIsWritten) {
    const RefusalCase& c = GetParam();
    Scene s;
    switch (c.field) {
    case 1:
        s.input.sourceFolder = c.text;
        break;
    case 2:
        s.state.Destination = c.text;
        break;
    case 3:
        s.state.DecoderPath = c.text;
        break;
    }
    const DecodeResult result = s.decode();
    EXPECT_EQ(result.kind, Kind::Refused);
    EXPECT_NE(result.message.find(c.named), std::wstring::npos) << toUtf8(result.message);
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RefusalTest,
    ::testing::Values(
        RefusalCase{"QuoteInFolder", 1, L"C:\\MU\"SIC", L"The folder"},
        RefusalCase{"LineFeedInDestination", 2, L"D:\\WA\nVES\\", L"The output folder"},
        RefusalCase{"QuoteInDecoderFolder", 3, L"C:\\MP\"EG", L"The decoder folder"},
        RefusalCase{"MissingOutputFolder", 2, L"E:\\GONE\\",
                    L"The output folder E:\\GONE\\ does not exist"},
        RefusalCase{"OutputFolderIsAFile", 2, L"C:\\MUSIC\\track01.mp3", L"is not a folder"},
        RefusalCase{"MissingSourceFolder", 1, L"C:\\GONE",
                    L"The folder of the selected files C:\\GONE does not exist"}),
    [](const auto& tested) { return std::string(tested.param.label); });

// A file whose name the script cannot carry is left out, the others go ahead, and one message
// says which file and why.
struct LeftOutCase {
    const char* label;
    std::wstring name;
    const wchar_t* named; // what the message must say
};
std::ostream& operator<<(std::ostream& out, const LeftOutCase& c) {
    return out << c.label;
}

class LeftOutTest : public ::testing::TestWithParam<LeftOutCase> {};

TEST_P(LeftOutTest, TheOthersGoAhead) {
    const LeftOutCase& c = GetParam();
    Scene s;
    s.platform.addFile(L"C:\\MUSIC\\" + c.name);
    s.input.entries[1] = c.name;
    tw::DecodeInput without = s.input;
    without.selected[1] = false;
    const std::string expected = s.builtScript(without);
    const DecodeResult result = s.decode();
    ASSERT_EQ(result.kind, Kind::Started) << toUtf8(result.message);
    EXPECT_NE(result.message.find(c.named), std::wstring::npos) << toUtf8(result.message);
    EXPECT_EQ(s.platform.files[L"C:\\MPEG\\TEMP.BAT"], expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LeftOutTest,
    ::testing::Values(LeftOutCase{"QuoteInName", L"say \"hi\".mp3", L"double quote"},
                      LeftOutCase{"CarriageReturnInName", L"a\rb.mp3", L"carriage return"},
                      LeftOutCase{"LineFeedInName", L"a\nREN x y.mp3", L"line feed"},
                      LeftOutCase{"TabInName", L"a\tb.mp3", L"tab"},
                      LeftOutCase{"BellInName", L"a\u0007b.mp3", L"U+0007"},
                      LeftOutCase{"DeleteInName", L"a\u007fb.mp3", L"U+007F"},
                      LeftOutCase{"C1ControlInName", L"a\u0085b.mp3", L"U+0085"},
                      LeftOutCase{"NulInName", std::wstring(L"a\0b.mp3", 7), L"U+0000"},
                      LeftOutCase{"OutsideTheCodePage", L"\u65e5\u672c.mp3", L"8-bit"},
                      LeftOutCase{"OutsideTheConsolesCodePage", L"\u00d8resund.mp3",
                                  L"console's character set"}),
    [](const auto& tested) { return std::string(tested.param.label); });

TEST(LeftOutTest, OneMessageSaysWhichFileAndWhyAndThatTheOthersGoAhead) {
    Scene s;
    s.platform.addFile(L"D:\\WAVES\\Track01.wav", L"D:\\WAVES\\TRACK01.WAV"); // another album's
    const DecodeResult result = s.decode();
    ASSERT_EQ(result.kind, Kind::Started) << toUtf8(result.message);
    EXPECT_EQ(result.message, L"These files were left out of the decode:\n\n"
                              L"\"track01.mp3\": the output folder holds \"Track01.wav\", which "
                              L"differs from its output name \"track01.wav\" only in case.\n\n"
                              L"The other files are being decoded.")
        << toUtf8(result.message);
}

// A message box shows a screenful: twenty files by name, the rest counted.
TEST(LeftOutTest, AScreenfulIsNamedAndTheRestCounted) {
    Scene s;
    for (int i = 0; i < 23; ++i) {
        const std::wstring name = L"say \"" + std::to_wstring(i) + L"\".mp3";
        s.platform.addFile(L"C:\\MUSIC\\" + name);
        s.input.entries.push_back(name);
        s.input.selected.push_back(true);
    }
    const DecodeResult result = s.decode();
    ASSERT_EQ(result.kind, Kind::Started) << toUtf8(result.message);
    std::size_t named = 0;
    for (std::size_t at = 0; (at = result.message.find(L"double quote", at)) != std::wstring::npos;
         ++at)
        ++named;
    EXPECT_EQ(named, 20u);
    EXPECT_NE(result.message.find(L"\"say \"19\".mp3\""), std::wstring::npos);
    EXPECT_NE(result.message.find(L".\n... and 3 more.\n\nThe other files are being decoded."),
              std::wstring::npos)
        << toUtf8(result.message);
}

TEST(LeftOutTest, NothingIsWrittenWhenNoFileIsLeft) {
    Scene s;
    s.input.entries = {L"gone.mp3", L"say \"hi\".mp3"};
    const DecodeResult result = s.decode();
    EXPECT_EQ(result.kind, Kind::Refused);
    EXPECT_NE(result.message.find(L"None of the selected files"), std::wstring::npos);
    EXPECT_NE(result.message.find(L"\"gone.mp3\": it is no longer in C:\\MUSIC"),
              std::wstring::npos)
        << toUtf8(result.message);
    s.expectUntouched();
}

TEST(RefusalTest, UnselectedEntriesAreNotLookedAt) {
    Scene s;
    s.input.entries.push_back(L"bad\"name.mp3");
    s.input.selected.push_back(false);
    EXPECT_EQ(s.decode().kind, Kind::Started);
}

// The console reads the script in its own code page, not in the one the names came through.
TEST(RefusalTest, LatinOneNameIsWrittenInTheConsolesCodePage) {
    Scene s;
    s.platform.addFile(L"C:\\MUSIC\\caf\u00e9.mp3", L"C:\\MUSIC\\CAF\u00c9.MP3");
    s.input.entries = {L"caf\u00e9.mp3"};
    s.input.selected = {true};
    ASSERT_EQ(s.decode().kind, Kind::Started);
    const std::string& bytes = s.platform.files[L"C:\\MPEG\\TEMP.BAT"];
    EXPECT_NE(bytes.find("C:\\MUSIC\\CAF\x90.MP3 "), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\"caf\x82.wav\"\r\n"), std::string::npos) << bytes;
}

// Short names are the system's: a folder's can hold a letter the console's code page lacks
// even where the file's own name has none.
TEST(RefusalTest, ShortPathsTheConsoleCannotReadAreNotWritten) {
    const std::wstring folder = L"\u00d8resund Live";
    const std::wstring shortFolder = L"\u00d8RESUN~1";
    {
        Scene s;
        s.platform.addDirectory(L"C:\\" + folder, L"C:\\" + shortFolder);
        s.platform.addFile(L"C:\\" + folder + L"\\track01.mp3",
                           L"C:\\" + shortFolder + L"\\TRACK01.MP3");
        s.input.sourceFolder = L"C:\\" + folder;
        s.input.entries = {L"track01.mp3"};
        s.input.selected = {true};
        const DecodeResult result = s.decode();
        EXPECT_EQ(result.kind, Kind::Refused);
        EXPECT_NE(result.message.find(L"its short path"), std::wstring::npos)
            << toUtf8(result.message);
        EXPECT_NE(result.message.find(L"console's character set"), std::wstring::npos);
        s.expectUntouched();
    }
    {
        Scene s;
        s.platform.addDirectory(L"D:\\" + folder, L"D:\\" + shortFolder);
        s.state.Destination = L"D:\\" + folder + L"\\";
        const DecodeResult result = s.decode();
        EXPECT_EQ(result.kind, Kind::Refused);
        EXPECT_NE(result.message.find(L"The short name of the output folder"), std::wstring::npos)
            << toUtf8(result.message);
        EXPECT_NE(result.message.find(L"console's character set"), std::wstring::npos);
        s.expectUntouched();
    }
}

// A short form that is really the long path (a file system without short names) would split
// the unquoted decoder arguments at its blanks.
TEST(RefusalTest, ShortFormWithABlankIsRefused) {
    Scene s;
    s.platform.addFile(L"C:\\MUSIC\\My Song.mp3", L"C:\\MUSIC\\My Song.mp3");
    s.input.entries = {L"My Song.mp3"};
    s.input.selected = {true};
    const DecodeResult result = s.decode();
    EXPECT_EQ(result.kind, Kind::Refused);
    EXPECT_NE(result.message.find(L"blank"), std::wstring::npos);
    s.expectUntouched();
}

TEST(CollisionTest, EarlierOutputOfTheSameTrackMayBeReplaced) {
    Scene s;
    s.platform.addFile(L"D:\\WAVES\\Long Song Title.wav", L"D:\\WAVES\\LONGSO~1.WAV");
    s.platform.addFile(L"D:\\WAVES\\track01.wav", L"D:\\WAVES\\TRACK01.WAV");
    EXPECT_EQ(s.decode().kind, Kind::Started);
}

} // namespace
