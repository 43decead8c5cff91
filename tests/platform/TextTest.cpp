#include "platform/posix/Text.h"
#include "tests/support/CaseNames.h"

#include <gtest/gtest.h>

namespace {

using tw::posix::fromUtf8;
using tw::posix::toUtf8;

TEST(EightBitText, RoundTripsEveryScript) {
    for (const std::wstring text :
         {L"", L"plain ASCII", L"café é", L"日本語のファイル.mp3", L"emoji \U0001F3B5\U0001F600",
          L"\u00FF\u0100\uFFFD\U0010FFFF"}) {
        EXPECT_EQ(fromUtf8(toUtf8(text)), text);
        EXPECT_TRUE(tw::posix::isValidUtf8(toUtf8(text)));
    }
    EXPECT_EQ(toUtf8(L"é"), "\xC3\xA9");
    EXPECT_EQ(toUtf8(L"日"), "\xE6\x97\xA5");
    EXPECT_EQ(toUtf8(L"\U0001F3B5"), "\xF0\x9F\x8E\xB5");
}

struct InvalidBytes {
    std::string bytes;
    std::wstring text;
};

class EightBitInvalid : public ::testing::TestWithParam<InvalidBytes> {};

// Each byte that is not part of a well-formed sequence becomes one U+FFFD.
TEST_P(EightBitInvalid, DecodesEachBadByteAsReplacementCharacter) {
    EXPECT_EQ(fromUtf8(GetParam().bytes), GetParam().text);
    EXPECT_FALSE(tw::posix::isValidUtf8(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, EightBitInvalid,
    ::testing::Values(InvalidBytes{"a\xFF"
                                   "b",
                                   L"a\uFFFDb"},
                      InvalidBytes{"\x80", L"\uFFFD"},                     // stray continuation
                      InvalidBytes{"\xC3", L"\uFFFD"},                     // cut short
                      InvalidBytes{"\xE6\x97", L"\uFFFD\uFFFD"},           // cut short
                      InvalidBytes{"\xC0\xAF", L"\uFFFD\uFFFD"},           // overlong "/"
                      InvalidBytes{"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"}, // surrogate
                      InvalidBytes{"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"}, // > U+10FFFF
                      InvalidBytes{"\xC3\xA9\xFF\xC3\xA9", L"é\uFFFDé"}),
    tw::test::namedBy([](const InvalidBytes& c) { return c.bytes; }));

TEST(EightBitText, ValuesThatAreNoCharactersBecomeReplacementCharacters) {
    const std::wstring text{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                            L'b'};
    EXPECT_EQ(toUtf8(text), "a\xEF\xBF\xBD\xEF\xBF\xBD"
                            "b");
}

struct WildcardCase {
    const wchar_t* pattern;
    const wchar_t* name;
    bool matches;
};

class Wildcards : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(Wildcards, MatchWithoutRegardToCase) {
    EXPECT_EQ(tw::posix::wildcardMatch(GetParam().pattern, GetParam().name), GetParam().matches)
        << toUtf8(GetParam().pattern) << " / " << toUtf8(GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Wildcards,
    ::testing::Values(
        WildcardCase{L"*.mp3", L"A.MP3", true}, WildcardCase{L"*.mp3", L"a.mp3", true},
        WildcardCase{L"*.mp3", L".mp3", true}, WildcardCase{L"*.mp3", L"a.mp3.wav", false},
        WildcardCase{L"*.mp3", L"a.mp30", false}, WildcardCase{L"*.MP3", L"song.mp3", true},
        WildcardCase{L"track??.mp3", L"TRACK01.mp3", true},
        WildcardCase{L"track??.mp3", L"track1.mp3", false}, WildcardCase{L"*", L"anything", true},
        WildcardCase{L"*.*", L"README", true}, WildcardCase{L"*a*b*", L"xxaYYbzz", true},
        WildcardCase{L"*a*b", L"ab_a", false}, WildcardCase{L"*.mp3;*.wav", L"x.WAV", true},
        WildcardCase{L"*.mp3;*.wav", L"x.aif", false}, WildcardCase{L"CAFÉ.*", L"café.mp3", true},
        WildcardCase{L"", L"x", false}),
    tw::test::namedBy([](const WildcardCase& c) {
        return c.pattern + std::wstring(L" ") + c.name;
    }));

TEST(ListingOrder, IgnoresCaseThenBreaksTiesByExactText) {
    EXPECT_TRUE(tw::posix::listingLess(L"apple", L"Banana"));
    EXPECT_TRUE(tw::posix::listingLess(L"B", L"b"));
    EXPECT_FALSE(tw::posix::listingLess(L"b", L"B"));
    EXPECT_TRUE(tw::posix::listingLess(L"a", L"A b"));
    EXPECT_TRUE(tw::posix::listingLess(L"Éclair", L"éclairs"));
    // No non-ASCII letter folds onto an ASCII one (Kelvin sign, dotted capital I).
    EXPECT_NE(tw::posix::foldCase(L'\u212A'), L'k');
    EXPECT_NE(tw::posix::foldCase(L'\u0130'), L'i');
}

TEST(CarriableNames, RejectBackslashControlAndInvalidBytes) {
    EXPECT_TRUE(tw::posix::isCarriableName("Long Song Title.mp3"));
    EXPECT_TRUE(tw::posix::isCarriableName("日本.mp3"));
    for (const std::string& bad : {std::string("a\\b"), std::string("a\nb"), std::string("a\x7f"),
                                   std::string("\xC2\x85"), std::string("\xFF"), std::string()})
        EXPECT_FALSE(tw::posix::isCarriableName(bad));
}

} // namespace
