// Finding programs and starting them detached.
#include "platform/posix/Process.h"
#include "platform/posix/PosixLauncher.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using ProcessStart = tw::test::ScratchFolderTest;

TEST_F(ProcessStart, FindOnPathTakesTheFirstExecutableAndSkipsTheCurrentFolder) {
    fs::create_directories(path("a"));
    fs::create_directories(path("b"));
    writeProgram("a/tool", "#!/bin/sh\n", false); // there, but not executable
    writeProgram("b/tool", "#!/bin/sh\n");
    fs::create_directories(path("b/dir"));
    writeProgram("here", "#!/bin/sh\n");
    const std::string oldDirectory = fs::current_path();
    fs::current_path(m_dir);

    ::setenv("PATH", ("::" + path("a") + "::" + path("b") + ":").c_str(), 1);
    EXPECT_EQ(tw::posix::findOnPath("tool"), path("b/tool"));
    EXPECT_EQ(tw::posix::findOnPath("here"), ""); // empty entries are not the current folder
    EXPECT_EQ(tw::posix::findOnPath("dir"), "");  // a folder is no program
    ::setenv("PATH", "", 1);
    EXPECT_EQ(tw::posix::findOnPath("here"), "");
    fs::current_path(oldDirectory);
}

struct SearchPathCase {
    const char* path;
    const char* folder;
    const char* expected;
};

class SearchPath : public ::testing::TestWithParam<SearchPathCase> {};

TEST_P(SearchPath, ProgramFolderGoesLast) {
    const SearchPathCase& c = GetParam();
    EXPECT_EQ(tw::posix::searchPathWithProgramFolder(c.path, c.folder), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchPath,
    ::testing::Values(SearchPathCase{"/usr/bin:/bin", "/opt/tw", "/usr/bin:/bin:/opt/tw"},
                      SearchPathCase{"", "/opt/tw", "/opt/tw"},
                      // An empty entry stays where it was, and means what it meant.
                      SearchPathCase{"/usr/bin:", "/opt/tw", "/usr/bin::/opt/tw"},
                      // Already there: its place is left alone.
                      SearchPathCase{"/opt/tw:/usr/bin", "/opt/tw", "/opt/tw:/usr/bin"},
                      SearchPathCase{"/usr/bin:/opt/tw", "/opt/tw", "/usr/bin:/opt/tw"},
                      SearchPathCase{"/opt/tw/bin:/usr/bin", "/opt/tw",
                                     "/opt/tw/bin:/usr/bin:/opt/tw"},
                      SearchPathCase{"/usr/bin", "", "/usr/bin"},
                      SearchPathCase{"/usr/bin", "/opt/a:b", "/usr/bin"}));

TEST_F(ProcessStart, SpawnRunsInTheFolderWithTheExtraEnvironment) {
    fs::create_directories(path("work"));
    writeProgram("probe",
                 "#!/bin/sh\nPATH=/usr/bin:/bin\n"
                 "{ pwd; printf '%s|%s|%s\\n' \"$TW_EXTRA\" \"$TW_KEPT\" \"$TW_NEW\"; } > '" +
                     path("out.part") + "'\nmv '" + path("out.part") + "' '" + path("out") + "'\n");
    ::setenv("TW_EXTRA", "ours", 1);
    ::setenv("TW_KEPT", "kept", 1);
    const auto result =
        tw::posix::spawnDetached({path("probe")}, path("work"), {"TW_EXTRA=given", "TW_NEW=new"});
    ::unsetenv("TW_EXTRA");
    ::unsetenv("TW_KEPT");
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(waitForFile("out"), fs::canonical(path("work")).string() + "\ngiven|kept|new\n");
    // Only the short-lived middle child was ours, and it has been reaped.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// A field of /proc/<pid>/status ("SigIgn", ...).
std::string statusField(long pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0)
            return line.substr(name.size() + 1);
    return {};
}

// The process whose command line is exactly `args`, or 0.
long findProcess(const std::vector<std::string>& args) {
    std::string wanted;
    for (const std::string& arg : args)
        wanted += arg + '\0';
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream cmdline(entry.path() / "cmdline");
        std::stringstream text;
        text << cmdline.rdbuf();
        if (text.str() == wanted)
            return std::stol(name);
    }
    return 0;
}

TEST_F(ProcessStart, SpawnedProgramIsDetachedWithDefaultSignalsAndNoneOfOurFiles) {
    const std::string held = path("held-open");
    const int heldFd = ::open(held.c_str(), O_CREAT | O_WRONLY, 0644); // no close-on-exec
    ASSERT_GE(heldFd, 0);
    // What we ignore or block ourselves must not carry over.
    struct sigaction ignore {
    }, oldTerm{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ignore, &oldTerm);
    sigset_t usr1, oldMask;
    ::sigemptyset(&usr1);
    ::sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    // A length of sleep nobody else uses, so the process can be told apart.
    const std::vector<std::string> args{"/bin/sleep", "29." + std::to_string(::getpid())};
    const auto result = tw::posix::spawnDetached(args);
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::close(heldFd);
    ASSERT_TRUE(result.ok()) << result.error;

    long pid = 0;
    for (int i = 0; i < 200 && !(pid = findProcess(args)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(pid, 0);
    const auto bits = [&](const char* field) {
        return std::stoull(statusField(pid, field), nullptr, 16);
    };
    EXPECT_EQ(bits("SigIgn") & (1ULL << (SIGTERM - 1)), 0u);
    EXPECT_EQ(bits("SigBlk") & (1ULL << (SIGUSR1 - 1)), 0u);
    EXPECT_NE(::getsid(static_cast<pid_t>(pid)), ::getsid(0)) << "not in a session of its own";
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        EXPECT_NE(fs::read_symlink(fd.path()), held) << "our descriptor reached the program";
    EXPECT_NE(std::stol(statusField(pid, "PPid")), static_cast<long>(::getpid()));
    ::kill(static_cast<pid_t>(pid), SIGKILL);
}

struct FailureCase {
    const char* name;
    const char* program;     // in the test folder unless absolute
    const char* programText; // written when not null
    const char* folder;      // in the test folder; empty for ours
    tw::posix::SpawnResult::Failure failure;
    int error;
};

class SpawnFailure : public ProcessStart, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SpawnFailure, IsReportedWithItsStepAndReason) {
    const FailureCase& c = GetParam();
    if (c.programText)
        writeProgram(c.program, c.programText);
    const std::string program = c.program[0] == '/' ? c.program : path(c.program);
    const auto result =
        tw::posix::spawnDetached({program}, *c.folder ? path(c.folder) : std::string());
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(result.error, c.error) << std::strerror(result.error);
}

using Failure = tw::posix::SpawnResult::Failure;
INSTANTIATE_TEST_SUITE_P(
    Cases, SpawnFailure,
    ::testing::Values(
        FailureCase{"MissingFolder", "/bin/true", nullptr, "gone", Failure::Folder, ENOENT},
        FailureCase{"MissingProgram", "gone", nullptr, "", Failure::Program, ENOENT},
        FailureCase{"NoProgramFormat", "junk", "not a program", "", Failure::Program, ENOEXEC},
        FailureCase{"MissingInterpreter", "script", "#!/nonexistent/sh\n", "", Failure::Program,
                    ENOENT}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
