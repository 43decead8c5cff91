// Reading whole files by native path.
#include "platform/posix/Files.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using tw::test::TempFolder;

struct ReadCase {
    const char* name;
    std::function<void(const TempFolder&)> make; // makes "it" in the folder
    int error;
    std::string bytes; // what is read; "kept" when the read fails
};

class ReadWholeFile : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadWholeFile, ReadsRegularFilesOnly) {
    const ReadCase& c = GetParam();
    TempFolder folder;
    c.make(folder);
    std::string bytes = "kept";
    EXPECT_EQ(tw::posix::readWholeFile(folder / "it", bytes), c.error) << std::strerror(c.error);
    EXPECT_EQ(bytes, c.bytes);
}

// More than one chunk, with a NUL and a line end that must come through as they are.
const std::string bigText = std::string(200000, 'x') + std::string(1, '\0') + "\r\nend";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadWholeFile,
    ::testing::Values(
        ReadCase{"Large", [](const TempFolder& f) { tw::test::writeFile(f / "it", bigText); }, 0,
                 bigText},
        ReadCase{"Empty", [](const TempFolder& f) { tw::test::writeFile(f / "it", ""); }, 0, ""},
        ReadCase{"ThroughALink",
                 [](const TempFolder& f) {
                     tw::test::writeFile(f / "target", "linked");
                     ASSERT_EQ(::symlink("target", (f / "it").c_str()), 0);
                 },
                 0, "linked"},
        ReadCase{"Missing", [](const TempFolder&) {}, ENOENT, "kept"},
        ReadCase{"Folder",
                 [](const TempFolder& f) { ASSERT_EQ(::mkdir((f / "it").c_str(), 0700), 0); },
                 EISDIR, "kept"},
        // No writer will ever come: the read must not wait for one.
        ReadCase{"Fifo",
                 [](const TempFolder& f) { ASSERT_EQ(::mkfifo((f / "it").c_str(), 0600), 0); },
                 EINVAL, "kept"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// A cap: the whole read refuses a longer file; the start read takes what fits.
struct CapCase {
    std::size_t size;
    std::size_t cap;
    int wholeError;
    std::size_t startBytes;
};

class ReadWithACap : public ::testing::TestWithParam<CapCase> {};

TEST_P(ReadWithACap, TakesNoMoreThanTheCap) {
    const CapCase& c = GetParam();
    TempFolder folder;
    const std::string content(c.size, 'x');
    tw::test::writeFile(folder / "it", content);
    std::string whole = "kept";
    EXPECT_EQ(tw::posix::readWholeFile(folder / "it", whole, c.cap), c.wholeError);
    EXPECT_EQ(whole, c.wholeError ? "kept" : content);
    std::string start;
    EXPECT_EQ(tw::posix::readFileStart(folder / "it", start, c.cap), 0);
    EXPECT_EQ(start, content.substr(0, c.startBytes));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadWithACap,
                         ::testing::Values(CapCase{10, 10, 0, 10}, CapCase{11, 10, EFBIG, 10},
                                           CapCase{0, 0, 0, 0}, CapCase{1, 0, EFBIG, 0},
                                           CapCase{300000, 70000, EFBIG, 70000},
                                           CapCase{70000, 300000, 0, 70000}));

} // namespace
