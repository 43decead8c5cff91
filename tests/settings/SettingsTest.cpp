#include "settings/Settings.h"
#include "SettingsFakes.h"
#include "tests/support/CaseNames.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using tw::testing::FakeHost;
using tw::testing::SettingsMachine;

const std::wstring iniPath = L"C:\\TONWRITE\\tonwright.ini";

// The file after a run with the decoder in C:\MPEG, browsing C:\MUSIC\NEW, output to D:\WAVES
// (held with its trailing backslash) and a minimized console.
const std::string workedExample = "[Directories]\r\n"
                                  "DecoderPath = C:\\MPEG\r\n"
                                  "LastPath = C:\\MUSIC\\NEW\r\n"
                                  "Destination = D:\\WAVES\\\r\n"
                                  "[Switches]\r\n"
                                  "LoadMode = 1\r\n";

std::string withLoadMode(const std::string& line6) {
    return "[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\MUSIC\\NEW\r\n"
           "Destination = D:\\WAVES\\\r\n[Switches]\r\n" +
           line6 + "\r\n";
}

struct LoadCase {
    const char* name;
    std::optional<std::string> file; // nothing: no file at all
    const wchar_t* decoderPath;
    const wchar_t* dir1;
    const wchar_t* destination;
    std::int16_t loadMode;
    bool setupOpened;
};

// What a run starts with when nothing could be read: the root of Drive1's drive, Dir1 where
// it started, a normal console.
LoadCase defaults(const char* name, std::optional<std::string> file) {
    return {name, std::move(file), L"C:\\", L"C:\\START", L"C:\\", 0, true};
}

LoadCase fromFile(const char* name, std::string file, std::int16_t loadMode = 1) {
    return {name, std::move(file), L"C:\\MPEG", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\", loadMode, false};
}

// All three paths from the file, then a failure at line 6.
LoadCase failsAtLine6(const char* name, std::string file) {
    return {name, std::move(file), L"C:\\MPEG", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\", 0, true};
}

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, GivesStateDir1AndSetup) {
    const LoadCase& c = GetParam();
    SettingsMachine platform;
    if (c.file)
        platform.files[iniPath] = *c.file;
    FakeHost host;

    tw::loadSettings(platform, host);

    EXPECT_EQ(host.appState.AppPath, L"C:\\TONWRITE\\");
    EXPECT_EQ(host.appState.DecoderPath, c.decoderPath);
    EXPECT_EQ(host.dir1, c.dir1);
    EXPECT_EQ(host.appState.Destination, c.destination);
    EXPECT_EQ(host.appState.LoadMode, c.loadMode);
    EXPECT_EQ(host.setupOpened, c.setupOpened ? 1 : 0);
    if (c.setupOpened) { // Setup is primed with what had been read when reading stopped
        EXPECT_EQ(host.stateAtSetup.DecoderPath, c.decoderPath);
    }
    EXPECT_EQ(host.label1, c.destination);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadTest,
    ::testing::Values(
        fromFile("WorkedExample", workedExample), defaults("NoFile", std::nullopt),
        defaults("EmptyFile", ""),
        defaults("LineFeedsAloneMakeOneLine",
                 "[Directories]\nDecoderPath = C:\\MPEG\nLastPath = C:\\MUSIC\\NEW\n"
                 "Destination = D:\\WAVES\\\n[Switches]\nLoadMode = 1\n"),
        fromFile("CarriageReturnsAlone",
                 "[Directories]\rDecoderPath = C:\\MPEG\rLastPath = C:\\MUSIC\\NEW\r"
                 "Destination = D:\\WAVES\\\r[Switches]\rLoadMode = 1\r"),
        fromFile("LastLineWithoutTerminator", workedExample.substr(0, workedExample.size() - 2)),
        fromFile("HeadersAnyTextOrEmpty",
                 "\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\MUSIC\\NEW\r\n"
                 "Destination = D:\\WAVES\\\r\nwhatever=1\r\nLoadMode = 1\r\n"),
        fromFile("KeysAreSkippedUnread",
                 "[Directories]\r\nXXXXXXXXXXXXXXC:\\MPEG\r\nYYYYYYYYYYYC:\\MUSIC\\NEW\r\n"
                 "ZZZZZZZZZZZZZZD:\\WAVES\\\r\n[Switches]\r\nQQQQQQQQQQ 1\r\n"),
        LoadCase{"KeyWithoutBlanksLosesTheDrive",
                 "[Directories]\r\nDecoderPath=C:\\MPEG\r\nLastPath = C:\\MUSIC\\NEW\r\n"
                 "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = 1\r\n",
                 L"\\MPEG", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\", 1, false},
        fromFile("LoadModeWithoutBlankIsEmpty", withLoadMode("LoadMode =1"), 0),
        fromFile("LoadModeMinusOne", withLoadMode("LoadMode = -1"), -1),
        fromFile("HalfRoundsDownToEven", withLoadMode("LoadMode = 2.5"), 2),
        fromFile("HalfRoundsUpToEven", withLoadMode("LoadMode = 3.5"), 4),
        failsAtLine6("LoadModeOutOfRange", withLoadMode("LoadMode = 70000")),
        failsAtLine6("LoadModeJustOutOfRange", withLoadMode("LoadMode = 32767.5")),
        failsAtLine6("LoadModeHugeExponent", withLoadMode("LoadMode = 1E999999999999999999999")),
        fromFile("BlanksAndTabsInsideTheNumber", withLoadMode("LoadMode = 1 \t2"), 12),
        fromFile("Exponent", withLoadMode("LoadMode = 25e-1"), 2),
        fromFile("TextAfterTheNumber", withLoadMode("LoadMode = 7 windows"), 7),
        fromFile("NoNumberIsZero", withLoadMode("LoadMode = minimized"), 0),
        failsAtLine6("LoadModeLineTooShort", withLoadMode("LoadMode =")),
        failsAtLine6("FiveLines", withLoadMode("").substr(0, withLoadMode("").size() - 2)),
        LoadCase{"FourLines",
                 "[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\MUSIC\\NEW\r\n"
                 "Destination = D:\\WAVES\\\r\n",
                 L"C:\\MPEG", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\", 0, true},
        LoadCase{"LastDirectoryGone",
                 "[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\GONE\r\n"
                 "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = 1\r\n",
                 L"C:\\MPEG", L"C:\\START", L"C:\\", 0, true},
        LoadCase{"DecoderLineTooShort", "[Directories]\r\nDecoderPath =\r\n", L"C:\\", L"C:\\START",
                 L"C:\\", 0, true},
        LoadCase{"DecoderLineOfExactlyTheKey",
                 "[Directories]\r\nDecoderPath = \r\nLastPath = C:\\MUSIC\\NEW\r\n"
                 "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = 1\r\n",
                 L"", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\", 1, false},
        LoadCase{"TrailingBlanksKept",
                 "[Directories]\r\nDecoderPath = C:\\MPEG  \r\nLastPath = C:\\MUSIC\\NEW\r\n"
                 "Destination = D:\\WAVES\\ \r\n[Switches]\r\nLoadMode = 1\r\n",
                 L"C:\\MPEG  ", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\ ", 1, false},
        LoadCase{"LineFeedInsideAValueStays",
                 "[Directories]\r\nDecoderPath = C:\\MP\nEG\r\nLastPath = C:\\MUSIC\\NEW\r\n"
                 "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = \n1\r\n",
                 L"C:\\MP\nEG", L"C:\\MUSIC\\NEW", L"D:\\WAVES\\", 1, false},
        fromFile("LinesAfterTheSixthIgnored", workedExample + "LoadMode = 70000\r\n[More]\r\n")),
    [](const ::testing::TestParamInfo<LoadCase>& tested) {
        return std::string(tested.param.name);
    });

TEST(LoadTest, AppPathGetsExactlyOneBackslashAndDefaultsFollowDrive1) {
    for (const auto& [folder, appPath] :
         {std::pair{L"C:\\", L"C:\\"}, std::pair{L"D:\\APPS\\TW", L"D:\\APPS\\TW\\"}}) {
        SettingsMachine platform;
        platform.programFolder = folder;
        FakeHost host;
        host.drive = L"e: [DATA]";
        tw::loadSettings(platform, host);
        EXPECT_EQ(host.appState.AppPath, appPath);
        EXPECT_EQ(host.stateAtSetup.DecoderPath, L"e:\\");
        EXPECT_EQ(host.label1, L"e:\\");
    }
}

TEST(LoadTest, LabelShowsDestinationAfterSetupClosed) {
    SettingsMachine platform;
    FakeHost host;
    host.setupAction = [](tw::AppState& state) {
        state.DecoderPath = L"C:\\MPEG";
        state.LoadMode = 1;
    };
    tw::loadSettings(platform, host);
    EXPECT_EQ(host.appState.DecoderPath, L"C:\\MPEG");
    EXPECT_EQ(host.appState.LoadMode, 1);
    EXPECT_EQ(host.label1, L"C:\\");
}

struct NumberCase {
    const wchar_t* text;
    std::optional<std::int16_t> value;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    const std::wstring text(c.text);
    if (text.size() > 40) {
        *os << "(" << text.size() << " characters)";
        return;
    }
    *os << '"';
    for (const wchar_t ch : text)
        *os << (ch == L'\t' ? std::string("\\t") : ch == L'\n' ? "\\n" : std::string(1, char(ch)));
    *os << '"';
}

class LoadModeNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LoadModeNumberTest, ReadsRoundsAndChecksRange) {
    EXPECT_EQ(tw::readLoadMode(GetParam().text), GetParam().value) << GetParam().text;
}

const std::wstring manyZeros(400, L'0');
const std::wstring oneWithZeros = L"1" + manyZeros + L"E-400";
const std::wstring tinyHalf = L"0." + manyZeros + L"5";
const std::wstring halfAndABit = L"2.5" + manyZeros + L"1";

INSTANTIATE_TEST_SUITE_P(
    Texts, LoadModeNumberTest,
    ::testing::Values(
        NumberCase{L"", 0}, NumberCase{L"1", 1}, NumberCase{L"-1", -1}, NumberCase{L"+7", 7},
        NumberCase{L"- 1", -1}, NumberCase{L"0.5", 0}, NumberCase{L"1.5", 2},
        NumberCase{L"-2.5", -2}, NumberCase{L"-3.5", -4}, NumberCase{L"2.51", 3},
        NumberCase{halfAndABit.c_str(), 3}, NumberCase{L".5", 0}, NumberCase{L".51", 1},
        NumberCase{L"5.", 5}, NumberCase{L"1 2\t3\n4", 1234}, NumberCase{L"12abc", 12},
        NumberCase{L"abc", 0}, NumberCase{L"--1", 0}, NumberCase{L".", 0}, NumberCase{L"1.2.3", 1},
        NumberCase{L"0x10", 0}, NumberCase{L"1E4", 10000}, NumberCase{L"1e5", std::nullopt},
        NumberCase{L"1E", 1}, NumberCase{L"1E+", 1}, NumberCase{L"1E-", 1}, NumberCase{L"E5", 0},
        NumberCase{L"3.27665E4", 32766}, NumberCase{L"32767", 32767},
        NumberCase{L"32767.49", 32767}, NumberCase{L"32767.5", std::nullopt},
        NumberCase{L"-32768", -32768}, NumberCase{L"-32768.5", -32768},
        NumberCase{L"-32768.51", std::nullopt}, NumberCase{L"70000", std::nullopt},
        NumberCase{L"99999999999999999999", std::nullopt},
        NumberCase{L"000000000000000000000000000000001", 1}, NumberCase{oneWithZeros.c_str(), 1},
        NumberCase{tinyHalf.c_str(), 0}, NumberCase{L"1E999999999999999999999999", std::nullopt},
        NumberCase{L"1E-999999999999999999999999", 0}, NumberCase{L"0E999999999999", 0}),
    tw::test::namedBy([](const NumberCase& c) { return std::wstring(c.text); }));

TEST(SaveTest, WritesTheSixLinesWithCrLfThroughReplace) {
    SettingsMachine platform;
    FakeHost host;
    host.appState = {L"D:\\WAVES\\", 1, L"C:\\MPEG", L"C:\\TONWRITE\\"};
    host.dir1 = L"C:\\MUSIC\\NEW";
    ASSERT_TRUE(tw::saveSettings(platform, host).ok);
    EXPECT_EQ(platform.files[iniPath], workedExample);
}

TEST(SaveTest, SignPositionOfLoadMode) {
    EXPECT_EQ(tw::loadModeText(0), L" 0");
    EXPECT_EQ(tw::loadModeText(1), L" 1");
    EXPECT_EQ(tw::loadModeText(-1), L"-1");
    EXPECT_EQ(tw::loadModeText(32767), L" 32767");
    EXPECT_EQ(tw::loadModeText(-32768), L"-32768");
}

TEST(SaveTest, FailureNamesFileAndReasonAndKeepsOldFile) {
    SettingsMachine platform;
    platform.files[iniPath] = "old";
    platform.writeResult = tw::Status::failure(L"Permission denied");
    FakeHost host;
    host.appState.AppPath = L"C:\\TONWRITE\\";
    const tw::Status saved = tw::saveSettings(platform, host);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.message.find(iniPath), std::wstring::npos) << saved.message;
    EXPECT_NE(saved.message.find(L"Permission denied"), std::wstring::npos) << saved.message;
    EXPECT_EQ(platform.files[iniPath], "old");
}

class RoundTripTest : public ::testing::TestWithParam<std::int16_t> {};

// Saves a state, then loads it into a fresh main window.
FakeHost roundTrip(std::int16_t loadMode, SettingsMachine& platform) {
    FakeHost before;
    before.appState = {L"D:\\WAVES\\ ", loadMode, L"C:\\MPEG\\", L"C:\\TONWRITE\\"};
    before.dir1 = L"C:\\MUSIC\\NEW";
    EXPECT_TRUE(tw::saveSettings(platform, before).ok);
    FakeHost after;
    tw::loadSettings(platform, after);
    return after;
}

TEST_P(RoundTripTest, GivesBackTheSameFourValues) {
    SettingsMachine platform;
    const FakeHost after = roundTrip(GetParam(), platform);
    EXPECT_EQ(after.setupOpened, 0);
    EXPECT_EQ(after.appState.DecoderPath, L"C:\\MPEG\\");
    EXPECT_EQ(after.dir1, L"C:\\MUSIC\\NEW");
    EXPECT_EQ(after.appState.Destination, L"D:\\WAVES\\ ");
    EXPECT_EQ(after.appState.LoadMode, GetParam());
}

INSTANTIATE_TEST_SUITE_P(LoadModes, RoundTripTest, ::testing::Values(0, 1, 32767),
                         tw::test::namedByValue());

TEST(RoundTripTest, NegativeLoadModeLosesItsSignPosition) {
    SettingsMachine platform;
    const FakeHost after = roundTrip(-1, platform);
    EXPECT_NE(platform.files[iniPath].find("\r\nLoadMode =-1\r\n"), std::string::npos);
    EXPECT_EQ(after.setupOpened, 0);
    EXPECT_EQ(after.appState.LoadMode, 1);
}

} // namespace
