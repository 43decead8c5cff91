#include "core/Module1.h"
#include "tests/support/CaseNames.h"

#include <gtest/gtest.h>

namespace {

struct LastPathPartCase {
    const wchar_t* path;
    const wchar_t* expected;
};

class LastPathPartTest : public ::testing::TestWithParam<LastPathPartCase> {};

TEST_P(LastPathPartTest, TakesTextAfterLastBackslashButNeverTheFinalCharacter) {
    EXPECT_EQ(tw::LastPathPart(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LastPathPartTest,
    ::testing::Values(LastPathPartCase{L"C:\\MUSIC\\TRACK01.MP3", L"TRACK01.MP3"},
                      LastPathPartCase{L"TRACK01.MP3", L"TRACK01.MP3"},
                      LastPathPartCase{L"C:\\MUSIC\\", L"MUSIC\\"},
                      LastPathPartCase{L"\\FOO", L"FOO"}, LastPathPartCase{L"", L""},
                      LastPathPartCase{L"\\", L"\\"}, LastPathPartCase{L"x", L"x"},
                      LastPathPartCase{L"\\\\", L"\\"}, LastPathPartCase{L"C:\\", L"C:\\"},
                      LastPathPartCase{L"D:\\WAVES\\LONGSO~1.wav", L"LONGSO~1.wav"}),
    tw::test::namedBy([](const LastPathPartCase& c) { return std::wstring(c.path); }));

} // namespace
