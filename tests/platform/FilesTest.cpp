// Reading whole files by native path.
#include "platform/posix/Files.h"
#include "tests/support/CaseNames.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include <filesystem>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
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
                                           CapCase{70000, 300000, 0, 70000}),
                         tw::test::namedBy([](const CapCase& c) {
                             return std::to_string(c.size) + " bytes cap " + std::to_string(c.cap);
                         }));

} // namespace

namespace {

using tw::posix::LinkAtName;

// What a replacing write does with each kind of entry at the name. "elsewhere" is a file the
// links point to; nothing may ever change it unless the link is followed on purpose.
struct ReplaceCase {
    const char* name;
    LinkAtName links;
    std::function<void(const TempFolder&)> make;
    int error;
    std::string it;        // what "it" reads afterwards; "" when it cannot be read
    std::string elsewhere; // what the link target reads afterwards
    bool itIsALink;
};

void makeLink(const TempFolder& f, const char* target) {
    tw::test::writeFile(f / "elsewhere", "someone else's");
    ASSERT_EQ(::symlink(target, (f / "it").c_str()), 0);
}

class ReplaceWholeFile : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceWholeFile, NeverWritesThroughOrWaits) {
    const ReplaceCase& c = GetParam();
    TempFolder folder;
    tw::test::writeFile(folder / "elsewhere", "someone else's");
    c.make(folder);
    EXPECT_EQ(tw::posix::replaceWholeFile(folder / "it", "new", c.links), c.error)
        << std::strerror(c.error);
    std::string it;
    (void)tw::posix::readWholeFile(folder / "it", it);
    EXPECT_EQ(it, c.it);
    EXPECT_EQ(tw::test::readFile(folder / "elsewhere"), c.elsewhere);
    struct stat st {};
    EXPECT_EQ(::lstat((folder / "it").c_str(), &st) == 0 && S_ISLNK(st.st_mode), c.itIsALink);
    // No temporary is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".tw-", 0), std::string::npos);
}

const auto fifo = [](const TempFolder& f) { ASSERT_EQ(::mkfifo((f / "it").c_str(), 0600), 0); };
const auto regular = [](const TempFolder& f) { tw::test::writeFile(f / "it", "old"); };

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReplaceWholeFile,
    ::testing::Values(
        ReplaceCase{"NewFile", LinkAtName::Follow, [](const TempFolder&) {}, 0, "new",
                    "someone else's", false},
        ReplaceCase{"RegularFile", LinkAtName::Follow, regular, 0, "new", "someone else's", false},
        ReplaceCase{"LinkFollowed", LinkAtName::Follow,
                    [](const TempFolder& f) { makeLink(f, "elsewhere"); }, 0, "new", "new", true},
        ReplaceCase{"LinkReplaced", LinkAtName::Replace,
                    [](const TempFolder& f) { makeLink(f, "elsewhere"); }, 0, "new",
                    "someone else's", false},
        ReplaceCase{"DanglingLinkNotFollowed", LinkAtName::Follow,
                    [](const TempFolder& f) { makeLink(f, "nowhere"); }, EINVAL, "",
                    "someone else's", true},
        ReplaceCase{"DanglingLinkReplaced", LinkAtName::Replace,
                    [](const TempFolder& f) { makeLink(f, "nowhere"); }, 0, "new", "someone else's",
                    false},
        ReplaceCase{"FifoRefused", LinkAtName::Follow, fifo, EINVAL, "", "someone else's", false},
        ReplaceCase{"FifoReplaced", LinkAtName::Replace, fifo, 0, "new", "someone else's", false},
        ReplaceCase{"LinkToAFifoRefused", LinkAtName::Follow,
                    [](const TempFolder& f) {
                        ASSERT_EQ(::mkfifo((f / "pipe").c_str(), 0600), 0);
                        makeLink(f, "pipe");
                        std::filesystem::remove(f / "elsewhere");
                        tw::test::writeFile(f / "elsewhere", "someone else's");
                    },
                    EINVAL, "", "someone else's", true},
        ReplaceCase{"FolderRefused", LinkAtName::Replace,
                    [](const TempFolder& f) { ASSERT_EQ(::mkdir((f / "it").c_str(), 0700), 0); },
                    EISDIR, "", "someone else's", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceWholeFile, KeepsTheModeOfTheFileItReplaces) {
    TempFolder folder;
    tw::test::writeFile(folder / "it", "old");
    ASSERT_EQ(::chmod((folder / "it").c_str(), 0640), 0);
    ASSERT_EQ(tw::posix::replaceWholeFile(folder / "it", "new", LinkAtName::Follow), 0);
    struct stat st {};
    ASSERT_EQ(::stat((folder / "it").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A device node of the name: root alone can make one, in the scratch folder.
TEST(ReplaceWholeFile, ADeviceIsNeverWrittenToAndOnlyItsNameReplaced) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a device node";
    for (const LinkAtName links : {LinkAtName::Follow, LinkAtName::Replace}) {
        TempFolder folder;
        // The null device's numbers: writing to it would lose the bytes without a trace.
        ASSERT_EQ(::mknod((folder / "it").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
        const int error = tw::posix::replaceWholeFile(folder / "it", "new", links);
        struct stat st {};
        ASSERT_EQ(::lstat((folder / "it").c_str(), &st), 0);
        if (links == LinkAtName::Follow) {
            EXPECT_EQ(error, EINVAL);
            EXPECT_TRUE(S_ISCHR(st.st_mode));
        } else {
            EXPECT_EQ(error, 0);
            EXPECT_EQ(tw::test::readFile(folder / "it"), "new");
        }
    }
}

// A folder we may not write, with a file in it we may: the file is rewritten in place.
TEST(ReplaceWholeFile, RewritesInPlaceWhereOnlyTheFileIsWritable) {
    TempFolder folder;
    tw::test::writeFile(folder / "it", "old");
    ASSERT_EQ(::chmod((folder / "it").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root may write any folder: an ordinary user stands in (the folder is root's).
        const bool root = ::geteuid() == 0;
        if (root ? ::setuid(65534) != 0 : ::chmod(folder.path().c_str(), 0555) != 0)
            ::_exit(3);
        ::_exit(tw::posix::replaceWholeFile(folder / "it", "new", LinkAtName::Follow) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(folder.path().c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(tw::test::readFile(folder / "it"), "new");
}

} // namespace
