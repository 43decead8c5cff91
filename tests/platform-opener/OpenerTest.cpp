#include "platform/posix/PosixLauncher.h"
#include "tests/support/CaseNames.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A folder that stands first and alone on PATH, so the only xdg-open the opener can find is
// the one a test writes there.
class OpenerTest : public tw::test::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        ::setenv("PATH", m_dir.c_str(), 1);
    }

    void writeOpener(const std::string& text, bool executable = true) {
        writeProgram("xdg-open", text, executable);
    }

    // The fake opener writes its argument count and its first argument, then renames the
    // record into place, so a test never reads a half-written record.
    void writeRecordingOpener() {
        writeOpener(
            "#!/bin/sh\nPATH=/usr/bin:/bin\n{ printf '%s\\n' \"$#\"; printf '%s' \"$1\"; } > '" +
            path("record.part") + "'\nmv '" + path("record.part") + "' '" + path("record") + "'\n");
    }
};

class OpenerAddressTest : public OpenerTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(OpenerAddressTest, HandsTheAddressOverAsOneUnchangedArgument) {
    writeRecordingOpener();
    const tw::Status status = tw::posix::openAddressWithDesktop(GetParam());
    ASSERT_TRUE(status.ok);
    EXPECT_EQ(waitForFile("record"), "1\n" + GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, OpenerAddressTest,
    ::testing::Values("mailto:ilse@vandrel.example", "http://www.vandrel.example/",
                      "http://www.vandrel.example/a b  c", "mailto:\"quoted\"@vandrel.example",
                      "http://x.example/?a=1;b=2&c=3|d", "http://x.example/$(touch pwned)`id`'*'",
                      "mailto:x@vandrel.example%20&amp;\\n"),
    tw::test::namedByValue());

TEST_F(OpenerTest, MissingOpenerIsAFailure) {
    EXPECT_FALSE(tw::posix::openAddressWithDesktop("http://www.vandrel.example/").ok);
}

TEST_F(OpenerTest, OpenerThatIsNotExecutableIsAFailure) {
    writeOpener("#!/bin/sh\nexit 0\n", false);
    EXPECT_FALSE(tw::posix::openAddressWithDesktop("http://www.vandrel.example/").ok);
}

TEST_F(OpenerTest, OpenerThatCannotBeExecutedIsAFailureWithItsReason) {
    // Found and executable, but its interpreter does not exist: only exec itself can tell.
    writeOpener("#!/nonexistent/interpreter\n");
    const tw::Status status = tw::posix::openAddressWithDesktop("http://www.vandrel.example/");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(L"xdg-open"), std::wstring::npos);
}

TEST_F(OpenerTest, ReturnsWithoutWaitingAndLeavesNoChildBehind) {
    const std::string record = (fs::path(m_dir) / "done").string();
    writeOpener("#!/bin/sh\nPATH=/usr/bin:/bin\nexec >/dev/null 2>&1\nsleep 2\ntouch '" + record +
                "'\n");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(tw::posix::openAddressWithDesktop("http://www.vandrel.example/").ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // Our only child was the short-lived middle one, already reaped: nothing is left to wait for.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

} // namespace
