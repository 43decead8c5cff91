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
