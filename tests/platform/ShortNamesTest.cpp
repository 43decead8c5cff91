#include "platform/names/ShortNames.h"
#include "platform/posix/Text.h"
#include "tests/support/CaseNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
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
                      {{L"Track01.mp3", "TRACK01.MP3"}, {L"track01.mp3", "TRACK0~1.MP3"}}}),
    tw::test::namedBy([](const ShortNameCase& c) { return c.siblings.back(); }));

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
            const std::string shortName(table.shortName(entry));
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

// Names for a table that changes, in kinds picked with about equal chances, so that names of
// every kind meet often: a crowd on one basis long enough for tails of three digits; a basis
// that shares five characters with it, and short bases that share four or five (so tails of
// two and three digits are contested); 8.3 names with a "~" that take forms the crowd would
// hold, with their case twins; families of case twins; other extensions, names that are not
// ASCII or that are mostly dots.
// Decode counts on this when a file's decoder may fail: without some of a folder's names,
// every short name the others hold is one that some name held before, so a short name that
// named nothing still names nothing.
TEST(ShortNameTableProperty, FewerNamesHoldNoShortNameThatWasFree) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 2000; ++round) {
        const std::vector<std::string> names = randomSiblings(random);
        std::vector<std::string> fewer;
        for (const std::string& name : names)
            if (random() % 4 != 0)
                fewer.push_back(name);
        const ShortNameTable all(names);
        std::set<std::string, std::less<>> held;
        for (const ShortNameTable::Entry* entry : all.entries())
            held.emplace(all.shortName(entry));
        const ShortNameTable some(fewer);
        for (const ShortNameTable::Entry* entry : some.entries())
            ASSERT_TRUE(held.count(some.shortName(entry)))
                << some.shortName(entry) << " of " << ShortNameTable::nativeName(entry);
    }
}

struct ChangingNames {
    std::vector<std::string> crowd;   // LONGSO.MP3
    std::vector<std::string> sharing; // LONGSA.MP3, sorting before and after the crowd
    std::vector<std::vector<std::string>> kinds;

    ChangingNames() {
        for (int i = 0; i < 480; ++i)
            crowd.push_back("Long Song Title " + std::to_string(1000 + i) + ".mp3");
        // One basis on both sides of the crowd in listing order: "long sa" < "long so" < "longsa".
        for (int i = 0; i < 120; ++i)
            sharing.push_back((i % 2 ? "Longsa Other " : "Long Sa ") + std::to_string(100 + i) +
                              ".mp3");
        kinds.push_back({"longso~1.mp3", "LONGSO~1.MP3", "Longso~1.mp3", "LONGSO~2.MP3",
                         "longso~5.mp3", "longs~10.mp3", "LONGS~10.MP3", "LONGS~11.MP3",
                         "Longs~15.mp3", "longs~99.mp3", "long~100.mp3", "LONG~101.MP3",
                         "long~150.mp3", "longsa~1.mp3", "LONGSA~3.MP3", "longso~1.wav"});
        kinds.push_back({"track01.mp3", "TRACK01.MP3", "Track01.mp3", "trAck01.mp3", "Track 01.mp3",
                         "x.mpe", "X.MPE", "X.mpe", "x y.mpeg", "x.mpeg", "a", "A", "a b", "a~1",
                         "Lon gs.mp3", "L ongs.mp3", "lon gs.mp3", "Lo ng.mp3", "L ong.mp3"});
        std::vector<std::string> others{"..odd",    ".hidden",   "Café 1.mp3", "CAFÉ 1.mp3",
                                        "café.mp3", "caf~1.mp3", "日本.mp3",   "__~1.MP3"};
        for (int i = 0; i < 12; ++i) {
            others.push_back("LONG SONG TITLE " + std::to_string(1000 + i) + ".MP3");
            others.push_back("Long Song Title " + std::to_string(1000 + i) + ".wav");
        }
        kinds.push_back(std::move(others));
    }

    // Small tables draw on the first names of the crowds only, so the same names come back.
    const std::string& pick(std::mt19937& random, bool crowded) const {
        const std::size_t kind = random() % 5;
        if (kind < 2) {
            const auto& names = kind == 0 ? crowd : sharing;
            return names[random() % (crowded ? names.size() : 24)];
        }
        const auto& names = kinds[kind - 2];
        return names[random() % names.size()];
    }
};

// Texts to look up: short forms with a "~" around where the tails of these names fall.
std::vector<std::wstring> tailProbes() {
    std::vector<std::wstring> probes;
    for (const wchar_t* stem : {L"LONGSO~", L"longs~", L"LONGSA~", L"LONG~", L"Lon~", L"TRACK0~"})
        for (int n : {1, 2, 3, 5, 9, 10, 11, 12, 42, 99, 100, 101, 150, 480, 999})
            for (const wchar_t* extension : {L".MP3", L".wav", L""})
                probes.push_back(stem + std::to_wstring(n) + extension);
    for (const wchar_t* probe : {L"X~1.MPE", L"X~2.mpe", L"CAF_~1.MP3", L"CAF~1.MP3", L"__~1.MP3",
                                 L"__~2.mp3", L"A~1", L"AB~1", L"ODD~1", L"HIDDEN~1"})
        probes.emplace_back(probe);
    return probes;
}

std::string nativeOf(const ShortNameTable::Entry* entry) {
    return entry ? ShortNameTable::nativeName(entry) : "(none)";
}

// What a changed table answers, against a table built afresh from its names and against
// makeShortNames: every entry's short name, and lookups of probes and of some of the short
// names (as they are and in lower case).
void expectSameAsFresh(const ShortNameTable& table, const std::set<std::string>& names,
                       const std::vector<std::wstring>& probes, std::mt19937& random) {
    const ShortNameTable fresh(std::vector<std::string>(names.begin(), names.end()));
    std::vector<std::wstring> ordered;
    for (const std::string& name : names)
        ordered.push_back(tw::posix::fromUtf8(name));
    tw::text::sortForListing(ordered);
    const std::vector<std::string> expected = makeShortNames(ordered);

    const auto lookUp = [&](const std::wstring& text) {
        ASSERT_EQ(nativeOf(table.resolve(text)), nativeOf(fresh.resolve(text)))
            << tw::posix::toUtf8(text);
    };
    // Lookups first, so that a lookup is what makes a changed table settle.
    for (int i = 0; i < 8; ++i)
        lookUp(probes[random() % probes.size()]);
    ASSERT_EQ(table.size(), names.size());
    const auto entries = table.entries();
    const auto freshEntries = fresh.entries();
    ASSERT_EQ(entries.size(), ordered.size());
    ASSERT_EQ(freshEntries.size(), ordered.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& native = ShortNameTable::nativeName(entries[i]);
        ASSERT_EQ(native, tw::posix::toUtf8(ordered[i]));
        ASSERT_EQ(ShortNameTable::nativeName(freshEntries[i]), native);
        ASSERT_EQ(table.shortName(entries[i]), expected[i]) << native;
        ASSERT_EQ(fresh.shortName(freshEntries[i]), expected[i]) << native;
        ASSERT_EQ(table.findExact(native), entries[i]);
    }
    for (int i = 0; i < 12 && !expected.empty(); ++i) {
        const std::string& shortName = expected[random() % expected.size()];
        std::string lower = shortName;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        lookUp(tw::posix::fromUtf8(shortName));
        lookUp(tw::posix::fromUtf8(lower));
    }
}

// A table takes inserts and erases in bursts (erase and insert again, insert and erase, a
// copy halfway, lookups that may settle it or not); after each burst it must give exactly
// what a fresh table of its names gives.
TEST(ShortNameTableProperty, ChangesGiveWhatAFreshTableGives) {
    const ChangingNames pool;
    const std::vector<std::wstring> probes = tailProbes();
    std::mt19937 random(20260321);

    for (int run = 0; run < 33; ++run) {
        // Most runs start small; some with the crowd on the table, as a folder on disk.
        std::set<std::string> names;
        const bool crowded = run % 11 == 0;
        if (crowded) {
            names.insert(pool.crowd.begin(), pool.crowd.begin() + 420);
            names.insert(pool.sharing.begin(), pool.sharing.begin() + 40);
        }
        for (std::size_t count = random() % 30; count > 0; --count)
            names.insert(pool.pick(random, crowded));
        const ShortNameTable onDisk(std::vector<std::string>(names.begin(), names.end()));
        auto table = std::make_unique<ShortNameTable>(onDisk);

        const int steps = crowded ? 12 : 50;
        for (int step = 0; step < steps; ++step) {
            std::string log;
            const int changes = 1 + random() % 4;
            for (int change = 0; change < changes; ++change) {
                const std::string& name = pool.pick(random, crowded);
                const ShortNameTable::Entry* there = table->findExact(name);
                switch (random() % 6) {
                case 0:
                case 1:
                    log += " +" + name;
                    ASSERT_EQ(table->insert(name) == nullptr, there != nullptr) << log;
                    names.insert(name);
                    break;
                case 2:
                    if (there) {
                        log += " -" + name;
                        table->erase(there);
                        names.erase(name);
                    }
                    break;
                case 3:
                    // Gone and back before anything is looked up: the tails stay as they were.
                    if (there) {
                        log += " -+" + name;
                        table->erase(there);
                        ASSERT_NE(table->insert(name), nullptr) << log;
                    }
                    break;
                case 4:
                    // There for a moment only, looked up by its own name.
                    if (!there) {
                        log += " +-" + name;
                        const auto* entry = table->insert(name);
                        ASSERT_EQ(table->resolve(tw::posix::fromUtf8(name)), entry) << log;
                        table->erase(entry);
                    }
                    break;
                default:
                    log += " ?";
                    (void)table->resolve(probes[random() % probes.size()]);
                    if (random() % 8 == 0) {
                        log += " copy";
                        table = std::make_unique<ShortNameTable>(*table);
                    }
                    break;
                }
            }
            SCOPED_TRACE("run " + std::to_string(run) + " step " + std::to_string(step) + ":" +
                         log);
            expectSameAsFresh(*table, names, probes, random);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
}

// Changes played through a copy of a folder's table, as a script's model does: "+name" appears,
// "-name" goes, "?text" is looked up on the way. The table then answers as a fresh one.
struct ChangeCase {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::string> changes;
};

void PrintTo(const ChangeCase& c, std::ostream* out) {
    *out << c.what;
}

std::string batchOutput(int i) {
    const std::string number = std::to_string(100000 + i).substr(1);
    return "Some Artist - Long Song Title Number " + number + ".wav";
}

ChangeCase fillingUp() {
    ChangeCase c{"a fresh folder fills up through a short name with a ~", {}, {}};
    for (int i = 1; i <= 120; ++i)
        c.changes.insert(c.changes.end(), {"+SOMEAR~1.wav", "?SOMEAR~1.wav", "-SOMEAR~1.wav",
                                           "+" + batchOutput(i), "?SOMEAR~2.wav"});
    return c;
}

ChangeCase decodedAgain() {
    ChangeCase c{"a folder decoded again ends as it began", {}, {}};
    for (int i = 1; i <= 120; ++i)
        c.names.push_back(batchOutput(i));
    for (int i = 1; i <= 120; ++i)
        c.changes.insert(c.changes.end(), {"?SOMEA~42.wav", "+SOMEAR_1.wav", "-" + batchOutput(i),
                                           "+" + batchOutput(i), "-SOMEAR_1.wav"});
    return c;
}

ChangeCase crowd(const char* what, std::vector<std::string> changes) {
    ChangeCase c{what, {}, std::move(changes)};
    for (int i = 1; i <= 120; ++i)
        c.names.push_back(batchOutput(i));
    return c;
}

class ShortNameTableChanges : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ShortNameTableChanges, AnswerAsAFreshTable) {
    const ShortNameTable onDisk(GetParam().names);
    ShortNameTable table(onDisk);
    std::set<std::string> names(GetParam().names.begin(), GetParam().names.end());
    for (const std::string& change : GetParam().changes) {
        const std::string name = change.substr(1);
        if (change[0] == '+') {
            ASSERT_NE(table.insert(name), nullptr) << change;
            names.insert(name);
        } else if (change[0] == '-') {
            table.erase(table.findExact(name));
            names.erase(name);
        } else {
            (void)table.resolve(tw::posix::fromUtf8(name));
        }
    }
    std::mt19937 random(7);
    expectSameAsFresh(table, names, tailProbes(), random);
    // The disk's table is not touched by its copy.
    EXPECT_EQ(onDisk.size(), GetParam().names.size());
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, ShortNameTableChanges,
    ::testing::Values(
        fillingUp(), decodedAgain(),
        crowd("erasing the first of a crowd shifts every later tail",
              {"-" + batchOutput(1), "?SOMEA~42.wav"}),
        crowd("an 8.3 name with a ~ takes a form from the crowd, then gives it back",
              {"+somea~42.wav", "?SOMEA~43.wav", "-somea~42.wav", "?SOMEA~43.wav"}),
        crowd("a name comes and goes early in the crowd before anything is looked up",
              {"+Some Artist - A.wav", "-Some Artist - A.wav", "?SOMEA~42.wav"}),
        ChangeCase{"an owner that gives way and comes back hands the walk on",
                   {"Long Song Title 1013.mp3", "Long Song Title 1018.mp3",
                    "Long Song Title 1019.mp3", "Longso~1.mp3", "longso~1.mp3", "longso~5.mp3"},
                   {"-longso~5.mp3", "+LONGSO~1.MP3", "?LONGSO~1.MP3", "-LONGSO~1.MP3"}},
        ChangeCase{"case twins: the upper-case one owns the form wherever it sorts",
                   {"track01.mp3", "Track01.mp3", "Track 01.mp3"},
                   {"+TRACK01.MP3", "?TRACK0~1.MP3", "-track01.mp3", "-TRACK01.MP3"}},
        ChangeCase{"a form let go by one basis is taken by another sharing five characters",
                   {"Long Sa 1.mp3",    "Long Sa 2.mp3",   "Long Song 1.mp3", "Long Song 2.mp3",
                    "Long Song 3.mp3",  "Long Song 4.mp3", "Long Song 5.mp3", "Long Song 6.mp3",
                    "Long Song 7.mp3",  "Long Song 8.mp3", "Long Song 9.mp3", "Long Song 10.mp3",
                    "Long Song 11.mp3", "Longsa 1.mp3",    "Longsa 2.mp3",    "Longsa 3.mp3",
                    "Longsa 4.mp3",     "Longsa 5.mp3",    "Longsa 6.mp3",    "Longsa 7.mp3",
                    "Longsa 8.mp3",     "Longsa 9.mp3",    "Longsa 10.mp3"},
                   {"-Long Song 11.mp3", "?LONGS~10.MP3", "+Long Song 11.mp3", "-Long Song 1.mp3",
                    "?LONGS~12.MP3"}}),
    [](const ::testing::TestParamInfo<ChangeCase>& tested) {
        std::string name;
        for (const char c : std::string(tested.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

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
