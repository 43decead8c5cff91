// How drive paths are read, the buffer rule of short paths, and the wording of path failures:
// one reading for the platforms, the windows and the console.
#include "platform/DrivePath.h"
#include "tests/support/CaseNames.h"

#include <gtest/gtest.h>

namespace {

struct Reading {
    std::wstring text;
    bool valid;
    std::wstring normalized{}; // when valid
    bool trailingSeparator = false;
};

class DrivePathReading : public ::testing::TestWithParam<Reading> {};

TEST_P(DrivePathReading, IsValidOnlyWithALetterAndARoot) {
    const Reading& r = GetParam();
    const tw::DrivePath parsed = tw::parseDrivePath(r.text);
    ASSERT_EQ(parsed.valid, r.valid);
    if (r.valid) {
        EXPECT_EQ(parsed.normalized(), r.normalized);
        EXPECT_EQ(parsed.trailingSeparator, r.trailingSeparator);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DrivePathReading,
    ::testing::Values(Reading{L"C:\\MUSIC\\Track.mp3", true, L"C:\\MUSIC\\Track.mp3"},
                      Reading{L"c:", true, L"C:\\"}, Reading{L"d:\\", true, L"D:\\"},
                      Reading{L"C:/Music//Rock/", true, L"C:\\Music\\Rock", true},
                      Reading{L"C:\\a\\.\\b\\..\\..\\..\\c", true, L"C:\\c"},
                      Reading{L"C:MUSIC", false}, Reading{L"\\MUSIC", false},
                      Reading{L"MUSIC\\A.MP3", false}, Reading{L"1:\\x", false},
                      Reading{L":\\x", false}, Reading{std::wstring(L"C:\\A\0B", 6), false},
                      Reading{L"", false}),
    tw::test::namedBy([](const Reading& r) { return r.text; }));

TEST(PathFailures, SayWhatWasTriedOnWhatAndWhy) {
    EXPECT_EQ(tw::noDriveFailure(L"Cannot read", L"Q:\\X").message,
              L"Cannot read Q:\\X: there is no drive Q:");
    EXPECT_EQ(tw::noDriveFailure(L"Cannot write", L"MUSIC").message,
              L"Cannot write MUSIC: not a full path with a drive letter");
    EXPECT_FALSE(tw::pathFailure(L"Cannot read", L"C:\\A", L"it is a folder").ok);
}

TEST(ShortPathBuffer, FillsWhatFitsAndAsksForWhatDoesNot) {
    char buffer[6] = "-----";
    EXPECT_EQ(tw::answerInBuffer("C:\\AB", buffer, 6), 5u);
    EXPECT_STREQ(buffer, "C:\\AB");
    char small[5] = "----";
    EXPECT_EQ(tw::answerInBuffer("C:\\AB", small, 5), 6u); // room for the NUL too
    EXPECT_STREQ(small, "----");
    EXPECT_EQ(tw::answerInBuffer("C:\\AB", nullptr, 0), 6u);
}

TEST(ShortPathBuffer, AsksAgainWhileTheAnswerGrowsAndGivesUpOnFailure) {
    // The text grows between calls, as a folder renamed meanwhile would make it.
    std::string text = "C:\\LONGER~1";
    int calls = 0;
    const auto call = [&](char* buffer, std::size_t size) {
        ++calls;
        const std::uint32_t n = tw::answerInBuffer(text, buffer, static_cast<std::uint32_t>(size));
        if (calls < 3)
            text += "\\SUB";
        return n;
    };
    EXPECT_EQ(tw::fetchGrowing<char>(call, 4), "C:\\LONGER~1\\SUB\\SUB");
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(tw::fetchGrowing<char>([](char*, std::size_t) { return 0u; }, 4), "");
    EXPECT_EQ(tw::fetchGrowing<char>([](char*, std::size_t size) { return size + 1; }, 4, 3), "");
}

} // namespace
