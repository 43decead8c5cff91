// What a folder's file system takes for a name, read from the folder itself: an ordinary folder,
// an exFAT stick, a FAT medium, and one whose rules cannot be read.
#include "platform/names/FolderRules.h"
#include "platform/posix/FolderProbe.h"
#include "tests/support/Medium.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

using Kind = tw::test::Medium::Kind;

struct ProbeCase {
    const char* label;
    std::optional<Kind> medium; // none: a folder of the disk the tests run on
    bool ignoresCase;
    const wchar_t* refused;
    bool refusesNonAscii;
    std::size_t maxBytes;
    std::size_t maxUnits;
};

void PrintTo(const ProbeCase& c, std::ostream* out) {
    *out << c.label;
}

class FolderProbe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(FolderProbe, ReadsTheRulesFromTheFolder) {
    const ProbeCase& c = GetParam();
    tw::test::TempFolder scratch;
    const std::string folder = scratch / "folder";
    std::filesystem::create_directory(folder);
    std::optional<tw::test::Medium> medium;
    if (c.medium) {
        medium.emplace(*c.medium, folder, scratch.path());
        if (!medium->whyNot().empty())
            GTEST_SKIP() << medium->whyNot();
    }

    const tw::FolderRules rules = tw::posix::probeFolderRules(folder);

    EXPECT_EQ(rules.ignoresCase, c.ignoresCase);
    EXPECT_EQ(rules.refused, c.refused);
    EXPECT_EQ(rules.refusesControl, *c.refused != 0);
    EXPECT_EQ(rules.refusesNonAscii, c.refusesNonAscii);
    EXPECT_EQ(rules.maxBytes, c.maxBytes);
    EXPECT_EQ(rules.maxUnits, c.maxUnits);
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "a probe stayed";
}

const wchar_t* const kWindowsRefused = L"\"*:<>?\\|";

INSTANTIATE_TEST_SUITE_P(
    Media, FolderProbe,
    ::testing::Values(ProbeCase{"Disk", std::nullopt, false, L"", false, 255, 0},
                      ProbeCase{"ExFat", Kind::ExFat, true, kWindowsRefused, false, 0, 255},
                      ProbeCase{"Fat", Kind::Fat, true, kWindowsRefused, true, 255, 0},
                      // Nothing can be created there, and FUSE says nothing of its rules.
                      ProbeCase{"ReadOnlyFat", Kind::ReadOnlyFat, true, kWindowsRefused, false, 255,
                                255}),
    [](const auto& tested) { return std::string(tested.param.label); });

struct NameCase {
    const wchar_t* name;
    const wchar_t* onDisk;  // why an ordinary folder refuses it
    const wchar_t* onStick; // why an exFAT stick does
};

TEST(FolderRules, SayWhyANameCannotBeMadeThere) {
    const std::wstring tooLong = L"the name would be longer than the output folder allows";
    const std::wstring bytes255(255, L'x'), units255(255, L'\u00E9'), units256(256, L'\u00E9');
    const NameCase cases[] = {
        {L"AC:DC.wav", L"", L"the output folder's file system cannot hold \":\" in a name"},
        {L"say \"hi\".wav", L"",
         L"the output folder's file system cannot hold a double quote in "
         L"a name"},
        {L"tab\t.wav", L"",
         L"the output folder's file system cannot hold the control character "
         L"U+0009 in a name"},
        {bytes255.c_str(), L"", L""},
        {units255.c_str(), tooLong.c_str(), L""},
        {units256.c_str(), tooLong.c_str(), tooLong.c_str()},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(tw::FolderRules::posix().whyRefused(c.name), c.onDisk);
        EXPECT_EQ(tw::FolderRules::windowsMedia().whyRefused(c.name), c.onStick);
    }
}

TEST(FolderRules, AFolderThatIgnoresCaseTakesEveryFoldingForOneName) {
    const tw::FolderRules stick = tw::FolderRules::windowsMedia();
    const tw::FolderRules disk = tw::FolderRules::posix();
    for (const auto& [a, b] : {std::pair{L"other.wav", L"OTHER.WAV"},
                               {L"\u03C2.wav", L"\u03C3.wav"},
                               {L"\u00E4rger.wav", L"\u00C4RGER.wav"}}) {
        EXPECT_EQ(stick.sameNameKey(a), stick.sameNameKey(b));
        EXPECT_NE(disk.sameNameKey(a), disk.sameNameKey(b));
    }
    EXPECT_NE(stick.sameNameKey(L"a.wav"), stick.sameNameKey(L"b.wav"));
}

} // namespace
