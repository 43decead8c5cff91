#include "platform/posix/ShortNames.h"
#include "platform/posix/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace {

using tw::posix::makeShortNames;
using tw::posix::ShortNameTable;

std::vector<std::wstring> sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return tw::posix::listingLess(a, b);
    });
    return names;
}

// Short name of each name when all of them are siblings.
std::map<std::wstring, std::string> shortNamesOf(const std::vector<std::wstring>& names) {
    const std::vector<std::wstring> ordered = sorted(names);
    const std::vector<std::string> shorts = makeShortNames(ordered);
    std::map<std::wstring, std::string> out;
    for (std::size_t i = 0; i < ordered.size(); ++i)
        out[ordered[i]] = shorts[i];
    return out;
}

struct ShortNameCase {
    std::vector<std::wstring> siblings;
    std::map<std::wstring, std::string> expected; // a subset of the siblings
};

class ShortNameGeneration : public ::testing::TestWithParam<ShortNameCase> {};

TEST_P(ShortNameGeneration, GivesTheExpectedShortNames) {
    const auto actual = shortNamesOf(GetParam().siblings);
    for (const auto& [name, expected] : GetParam().expected)
        EXPECT_EQ(actual.at(name), expected) << tw::posix::toUtf8(name);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ShortNameGeneration,
    ::testing::Values(
        ShortNameCase{{L"track01.mp3", L"Long Song Title.mp3"},
                      {{L"track01.mp3", "TRACK01.MP3"}, {L"Long Song Title.mp3", "LONGSO~1.MP3"}}},
        // Valid 8.3 names keep themselves, in upper case, whatever else is there.
        ShortNameCase{{L"a", L"readme.txt", L"x.y", L"{a}~#.$%&", L"12345678.123"},
                      {{L"a", "A"},
                       {L"readme.txt", "README.TXT"},
                       {L"x.y", "X.Y"},
                       {L"{a}~#.$%&", "{A}~#.$%&"},
                       {L"12345678.123", "12345678.123"}}},
        // Not 8.3: too long, blank, two dots, leading dot, trailing dot, bad characters.
        ShortNameCase{{L"123456789.mp3", L"a b.mp3", L"a.b.c", L".bashrc", L"abc.", L"a+b=c[1].txt",
                       L"x.mpeg", L"café.mp3", L"日本.mp3", L"...", L"  .mp3"},
                      {{L"123456789.mp3", "123456~1.MP3"},
                       {L"a b.mp3", "AB~1.MP3"},
                       {L"a.b.c", "AB~1.C"},
                       {L".bashrc", "BASHRC~1"},
                       {L"abc.", "ABC~1"},
                       {L"a+b=c[1].txt", "A_B_C_~1.TXT"},
                       {L"x.mpeg", "X~1.MPE"},
                       {L"café.mp3", "CAF_~1.MP3"},
                       {L"日本.mp3", "__~1.MP3"},
                       {L"...", "_~1"},
                       {L"  .mp3", "MP3~1"}}},
        // Numbers count per basis in listing order.
        ShortNameCase{
            {L"Long Song B.mp3", L"Long Song A.mp3", L"Long Song C.wav", L"longsoxx yy.mp3"},
            {{L"Long Song A.mp3", "LONGSO~1.MP3"},
             {L"Long Song B.mp3", "LONGSO~2.MP3"},
             {L"Long Song C.wav", "LONGSO~1.WAV"},
             {L"longsoxx yy.mp3", "LONGSO~3.MP3"}}},
        // Forms a sibling already has are skipped.
        ShortNameCase{
            {L"Long Song Title.mp3", L"longso~1.mp3", L"LONGSO~3.MP3", L"Long Song Two.mp3"},
            {{L"longso~1.mp3", "LONGSO~1.MP3"},
             {L"LONGSO~3.MP3", "LONGSO~3.MP3"},
             {L"Long Song Title.mp3", "LONGSO~2.MP3"},
             {L"Long Song Two.mp3", "LONGSO~4.MP3"}}},
        // Case variants of one 8.3 name: the upper-case one keeps it, the others get tails.
        ShortNameCase{{L"track01.mp3", L"TRACK01.MP3", L"Track01.mp3"},
                      {{L"TRACK01.MP3", "TRACK01.MP3"},
                       {L"Track01.mp3", "TRACK0~1.MP3"},
                       {L"track01.mp3", "TRACK0~2.MP3"}}},
        ShortNameCase{{L"track01.mp3", L"Track01.mp3"},
                      {{L"Track01.mp3", "TRACK01.MP3"}, {L"track01.mp3", "TRACK0~1.MP3"}}}));

TEST(ShortNameGeneration, CutsTheBaseAsTheNumberGrows) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 120; ++i)
        names.push_back(L"Long Song " + std::to_wstring(1000 + i) + L".mp3");
    const auto shorts = shortNamesOf(names);
    EXPECT_EQ(shorts.at(L"Long Song 1000.mp3"), "LONGSO~1.MP3");
    EXPECT_EQ(shorts.at(L"Long Song 1008.mp3"), "LONGSO~9.MP3");
    EXPECT_EQ(shorts.at(L"Long Song 1009.mp3"), "LONGS~10.MP3");
    EXPECT_EQ(shorts.at(L"Long Song 1098.mp3"), "LONGS~99.MP3");
    EXPECT_EQ(shorts.at(L"Long Song 1099.mp3"), "LONG~100.MP3");
}

TEST(ShortNameValidity, FollowsTheEightDotThreeRules) {
    for (const wchar_t* valid :
         {L"A", L"ABCDEFGH", L"ABCDEFGH.IJK", L"a.b", L"!#$%&'()", L"-@^_`{}~.~"})
        EXPECT_TRUE(tw::posix::isValidShortName(valid)) << tw::posix::toUtf8(valid);
    for (const wchar_t* invalid : {L"", L".a", L"a.", L"ABCDEFGHI", L"A.BCDE", L"a.b.c", L"a b",
                                   L"a+b", L"a,b", L"a;b", L"a=b", L"a[b]", L"é", L"a\\b"})
        EXPECT_FALSE(tw::posix::isValidShortName(invalid)) << tw::posix::toUtf8(invalid);
}

// Random sibling sets built from pieces that collide on purpose: case variants, names that
// look like numeric tails, many names on one basis, names that are not 8.3.
std::vector<std::string> randomSiblings(std::mt19937& random) {
    static const std::vector<std::string> stems = {
        "track01",         "TRACK01",   "Track01",  "longso~1", "LONGSO~2", "Long Song Title",
        "long song title", "LongSong",  "longsong", "a",        "A",        "a b",
        ".hidden",         "x.y",       "Café",     "CAFÉ",     "café",     "日本",
        "abcdefgh",        "ABCDEFGHI", "longs~10", "LONGS~11", "..odd",    "a.b"};
    static const std::vector<std::string> extensions = {"",      ".mp3", ".MP3", ".Mp3",
                                                        ".mpeg", ".wav", "."};
    std::set<std::string> names;
    // Now and then a crowd, so one basis runs past ~9.
    const int count = random() % 20 == 0 ? 400 : std::uniform_int_distribution<int>(1, 40)(random);
    for (int i = 0; i < count; ++i) {
        std::string name = stems[random() % stems.size()];
        if (random() % 3 == 0) {
            name += ' ';
            name += std::to_string(random() % 14);
        }
        name += extensions[random() % extensions.size()];
        names.insert(name);
    }
    return {names.begin(), names.end()};
}

TEST(ShortNameTableProperty, ResolvingAShortNameGivesBackItsEntry) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> names = randomSiblings(random);
        const ShortNameTable table(names);
        ASSERT_EQ(table.size(), names.size());

        std::set<std::string> seen;
        for (const ShortNameTable::Entry* entry : table.entries()) {
            const std::string& shortName = table.shortName(entry);
            EXPECT_TRUE(tw::posix::isValidShortName(tw::posix::fromUtf8(shortName))) << shortName;
            EXPECT_TRUE(seen.insert(shortName).second) << "duplicate " << shortName;
            // Exact inverse; also typed in lower case, unless that is another entry's name.
            EXPECT_EQ(table.resolve(tw::posix::fromUtf8(shortName)), entry)
                << shortName << " of " << ShortNameTable::nativeName(entry);
            std::string lower = shortName;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            if (!table.findExact(lower) || table.findExact(lower) == entry) {
                EXPECT_EQ(table.resolve(tw::posix::fromUtf8(lower)), entry) << lower;
            }
            // Every long name still names itself.
            EXPECT_EQ(table.resolve(ShortNameTable::name(entry)), entry)
                << ShortNameTable::nativeName(entry);
        }

        // The input order does not matter.
        std::shuffle(names.begin(), names.end(), random);
        const ShortNameTable shuffled(names);
        const auto first = table.entries();
        const auto second = shuffled.entries();
        ASSERT_EQ(first.size(), second.size());
        for (std::size_t i = 0; i < first.size(); ++i) {
            ASSERT_EQ(ShortNameTable::nativeName(second[i]), ShortNameTable::nativeName(first[i]));
            ASSERT_EQ(shuffled.shortName(second[i]), table.shortName(first[i]));
        }
    }
}

TEST(ShortNameTable, LeavesOutNamesADrivePathCannotCarry) {
    const ShortNameTable table(
        {"good.mp3", "bad\\name.mp3", "tab\tname", std::string("\xff\xfe.mp3"), ".", ".."});
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(ShortNameTable::nativeName(table.entries().at(0)), "good.mp3");
}

TEST(ShortNameTable, ResolvesCaseInsensitivelyOnlyWhenUnique) {
    const ShortNameTable table({"Music", "notes.txt", "NOTES.TXT", "Long Song Title.mp3"});
    EXPECT_EQ(ShortNameTable::nativeName(table.resolve(L"MUSIC")), "Music");
    EXPECT_EQ(ShortNameTable::nativeName(table.resolve(L"long song TITLE.MP3")),
              "Long Song Title.mp3");
    // Two names differ only in case: the exact one, else the owner of the short name.
    EXPECT_EQ(ShortNameTable::nativeName(table.resolve(L"notes.txt")), "notes.txt");
    EXPECT_EQ(ShortNameTable::nativeName(table.resolve(L"Notes.Txt")), "NOTES.TXT");
    EXPECT_EQ(table.resolve(L"missing"), nullptr);
}

} // namespace
