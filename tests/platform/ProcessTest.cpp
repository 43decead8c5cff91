// Finding programs, starting them detached and running them to their end.
#include "platform/posix/Process.h"
#include "platform/posix/PosixLauncher.h"
#include "tests/support/CaseNames.h"

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

TEST(SplitSearchPath, KeepsTheOrderAndLeavesOutEmptyEntries) {
    using Folders = std::vector<std::string>;
    EXPECT_EQ(tw::posix::splitSearchPath(":/usr/bin::/bin:"), (Folders{"/usr/bin", "/bin"}));
    EXPECT_EQ(tw::posix::splitSearchPath("/opt/a b:rel"), (Folders{"/opt/a b", "rel"}));
    EXPECT_EQ(tw::posix::splitSearchPath(""), Folders{});
    EXPECT_EQ(tw::posix::splitSearchPath(":"), Folders{});
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
                      SearchPathCase{"/usr/bin", "/opt/a:b", "/usr/bin"}),
    tw::test::namedBy([](const SearchPathCase& c) {
        return std::string(c.path) + " " + c.folder;
    }));

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
    // A file the program opens and closes while starting may be gone by the time it is read.
    std::error_code gone;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        EXPECT_NE(fs::read_symlink(fd.path(), gone), held) << "our descriptor reached the program";
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
    int watchMilliseconds = 0;
};

class SpawnFailure : public ProcessStart, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SpawnFailure, IsReportedWithItsStepAndReason) {
    const FailureCase& c = GetParam();
    if (c.programText)
        writeProgram(c.program, c.programText);
    const std::string program = c.program[0] == '/' ? c.program : path(c.program);
    const auto result = tw::posix::spawnDetached(
        {program}, *c.folder ? path(c.folder) : std::string(), {}, c.watchMilliseconds);
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
                    ENOENT},
        // Watched: a failing end in that time is reported, a good one or none is a start.
        FailureCase{"EndsWhileWatched", "refuses", "#!/bin/sh\nexit 3\n", "", Failure::Ended, 3,
                    5000},
        FailureCase{"KilledWhileWatched", "killed", "#!/bin/sh\nkill -9 $$\n", "", Failure::Ended,
                    128 + SIGKILL, 5000},
        FailureCase{"HandsOnWhileWatched", "hands", "#!/bin/sh\nexit 0\n", "", Failure::None, 0,
                    5000},
        FailureCase{"RunsOnPastTheWatch", "runs", "#!/bin/sh\nsleep 1\nexit 3\n", "", Failure::None,
                    0, 100}),
    [](const auto& tested) { return std::string(tested.param.name); });

// --- Running a program to its end ---

TEST_F(ProcessStart, RunAndWaitWaitsInOurGroupWithDefaultSignalsAndNoneOfOurFiles) {
    const int heldFd = ::open(path("held-open").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(heldFd, 0);
    ASSERT_EQ(::dup2(heldFd, 57), 57); // no close-on-exec
    struct sigaction ignore {
    }, oldTerm{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ignore, &oldTerm);
    sigset_t usr1, oldMask;
    ::sigemptyset(&usr1);
    ::sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    // Each program looks at itself: a shell would block signals of its own while it forks.
    const auto result = tw::posix::runAndWait({"/bin/cp", "/proc/self/status", path("status")});
    const auto heldFdSeen = tw::posix::runAndWait({"/usr/bin/test", "-e", "/proc/self/fd/57"});
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::close(57);
    ::close(heldFd);

    ASSERT_TRUE(result.started()) << result.start.error;
    ASSERT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.status;
    // It has ended and been reaped by the time we are back.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    const std::string status = tw::test::readFile(path("status"));
    const auto field = [&](const std::string& name) {
        const std::size_t at = status.find("\n" + name + ":\t");
        if (at == std::string::npos)
            return std::string();
        const std::size_t from = at + name.size() + 3;
        return status.substr(from, status.find('\n', from) - from);
    };
    EXPECT_EQ(field("PPid"), std::to_string(::getpid()));
    EXPECT_EQ(field("NSpgid"), std::to_string(::getpgrp())) << "not in our process group";
    EXPECT_EQ(std::stoull(field("SigIgn"), nullptr, 16) & (1ULL << (SIGTERM - 1)), 0u);
    EXPECT_EQ(std::stoull(field("SigBlk"), nullptr, 16) & (1ULL << (SIGUSR1 - 1)), 0u)
        << field("SigBlk");
    ASSERT_TRUE(heldFdSeen.started());
    EXPECT_EQ(WEXITSTATUS(heldFdSeen.status), 1) << "our descriptor reached the program";
}

struct RunCase {
    const char* name;
    std::vector<std::string> argv; // "@x" is the file x in the test folder
    const char* programText;       // written to "prog" (not executable when it starts "-")
    Failure failure;
    int error;
    int exitCode; // -1 when not expected to exit
    int signal;   // 0 when not expected to be ended by one
};

class RunAndWait : public ProcessStart, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunAndWait, TellsAStartFailureFromTheProgramsOwnEnd) {
    const RunCase& c = GetParam();
    if (c.programText)
        writeProgram("prog", c.programText[0] == '-' ? c.programText + 1 : c.programText,
                     c.programText[0] != '-');
    std::vector<std::string> argv;
    for (const std::string& arg : c.argv)
        argv.push_back(arg[0] == '@' ? path(arg.substr(1)) : arg);
    const auto result = tw::posix::runAndWait(argv);
    EXPECT_EQ(result.start.failure, c.failure);
    EXPECT_EQ(result.start.error, c.error) << std::strerror(result.start.error);
    if (!result.started())
        return;
    EXPECT_EQ(WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1, c.exitCode);
    EXPECT_EQ(WIFSIGNALED(result.status) ? WTERMSIG(result.status) : 0, c.signal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunAndWait,
    ::testing::Values(
        RunCase{"ExitCode", {"/bin/sh", "-c", "exit 3"}, nullptr, Failure::None, 0, 3, 0},
        RunCase{"Signal", {"/bin/sh", "-c", "kill -9 $$"}, nullptr, Failure::None, 0, -1, 9},
        RunCase{"ArgumentsAsGiven",
                {"@prog", "a b", "*", "$HOME"},
                "#!/bin/sh\n[ \"$1|$2|$3\" = 'a b|*|$HOME' ] && [ $# = 3 ]\n",
                Failure::None,
                0,
                0,
                0},
        RunCase{"MissingProgram", {"@gone"}, nullptr, Failure::Program, ENOENT, -1, 0},
        RunCase{"NoProgramFormat", {"@prog"}, "not a program", Failure::Program, ENOEXEC, -1, 0},
        RunCase{"NotExecutable", {"@prog"}, "-#!/bin/sh\n", Failure::Program, EACCES, -1, 0},
        RunCase{"NoArguments", {}, nullptr, Failure::Program, ENOENT, -1, 0}),
    [](const auto& tested) { return std::string(tested.param.name); });

} // namespace
