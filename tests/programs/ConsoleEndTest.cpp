// How the console ends a batch: a last line that says what was done, and a word to the
// desktop's notification service, when nothing failed; when something did, neither.
#include "tests/support/Programs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempFolder.h"

#include <set>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tw::test::TempFolder;

// The script's drive path of a native path: C: is the root of the file system.
std::string drivePathOf(std::string native) {
    for (char& c : native)
        if (c == '/')
            c = '\\';
    return "C:" + native;
}

struct EndCase {
    const char* name;
    bool decoderFails;
    int exitCode;
    std::string lastLine; // before the folder's drive path, when the files were decoded
    std::string told;     // what the desktop hears
};

class ConsoleEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ConsoleEnd, SaysWhatWasDoneAndTellsTheDesktop) {
    const EndCase& c = GetParam();
    TempFolder folder;
    tw::test::writeFile(folder / "a.mp3", "a");
    tw::test::writeFile(folder / "b.mp3", "b");
    tw::test::writeFile(folder / "l3dec",
                        c.decoderFails ? "#!/bin/sh\nexit 1\n" : "#!/bin/sh\ncp \"$1\" \"$2\"\n",
                        true);
    // A stand-in for the desktop's notifier, that notes what it was told.
    tw::test::writeFile(folder / "bin/notify-send",
                        "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/told\"\n", true);
    const std::string here = drivePathOf(folder.path());
    tw::test::writeFile(folder / "TEMP.BAT", "L3DEC " + here + "\\a.mp3 " + here +
                                                 "\\A.wav -wav \r\n" + "REN " + here +
                                                 "\\A.wav \"First Song.wav\"\r\n" + "L3DEC " +
                                                 here + "\\b.mp3 " + here + "\\B.wav -wav \r\n" +
                                                 "REN " + here + "\\B.wav \"Second Song.wav\"\r\n");
    tw::test::ScopedEnv path("PATH", (folder / "bin:/usr/bin:/bin").c_str());
    tw::test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-bus");

    const std::string saved = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const tw::test::ProgramAnswer answer =
        tw::test::runAndCatch({TW_CONSOLE, "TEMP.BAT"}, folder.path());
    std::filesystem::current_path(saved);

    EXPECT_EQ(answer.exitCode, c.exitCode) << answer.err;
    std::string told;
    for (int i = 0; i < 100 && told.empty(); ++i) {
        told = tw::test::readFile(folder / "bin/told");
        if (told.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string folderText = c.decoderFails ? "" : here + "\\";
    const std::string expected = "tonwright-console: " + c.lastLine + folderText + "\n";
    ASSERT_GE(answer.out.size(), expected.size()) << answer.out;
    EXPECT_EQ(answer.out.substr(answer.out.size() - expected.size()), expected);
    EXPECT_EQ(told, "--app-name=Tonwright|--icon=tonwright|" + c.told + folderText + "|");
    // Without a terminal there is no status line: nothing is drawn over.
    EXPECT_EQ(answer.out.find_first_of("\r\x1b"), std::string::npos);
    // A failed decoder's REN is explained by it, and not counted again.
    if (c.decoderFails) {
        EXPECT_NE(answer.err.find("A.wav is not there: L3DEC failed to make it"), std::string::npos)
            << answer.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, ConsoleEnd,
    ::testing::Values(EndCase{"WithoutAFailure", false, 0,
                              "done without a failure: 2 files decoded into ",
                              "Tonwright: decoding finished|2 files decoded into "},
                      EndCase{"WithFailures", true, 1,
                              "2 of 2 files failed (see above); 0 files decoded.",
                              "Tonwright: decoding failed|2 of 2 files failed; the console "
                              "window shows why"}),
    [](const auto& tested) { return std::string(tested.param.name); });

// Three files for the stand-in decoder in a folder of their own, and TEMP.BAT for them.
struct ThreeFiles {
    explicit ThreeFiles(const std::vector<std::string>& contents) {
        std::filesystem::copy_file(TW_STANDIN, folder / "l3dec");
        const std::string here = drivePathOf(folder.path());
        std::string script;
        const char* names[] = {"a", "b", "c"};
        for (std::size_t i = 0; i < contents.size(); ++i) {
            const std::string name = names[i];
            tw::test::writeFile(folder / (name + ".mp3"), contents[i]);
            script += "L3DEC " + here + "\\" + name + ".mp3 " + here + "\\" + name +
                      ".WAV -wav\r\n" + "REN " + here + "\\" + name + ".WAV \"Song " + name +
                      ".wav\"\r\n";
        }
        tw::test::writeFile(folder / "TEMP.BAT", script);
    }
    // The names in the folder that the batch made (its outputs and anything half done).
    std::set<std::string> made() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            const std::string name = entry.path().filename();
            if (name.find(".mp3") == std::string::npos && name != "l3dec" && name != "TEMP.BAT" &&
                name != "log" && name != "l3dec.log" && name != "out" && name != "err")
                names.insert(name);
        }
        return names;
    }
    TempFolder folder;
};

// Stopped mid-batch (a task manager's SIGTERM, a closed window's SIGHUP, Ctrl+C): the running
// decoder ends too and its partial output goes, the file before it keeps its long name, and
// the last line says what was done.
class ConsoleStopped : public ::testing::TestWithParam<int> {};

TEST_P(ConsoleStopped, NoDecoderOutlivesItAndNothingIsLeftHalfDone) {
    ThreeFiles batch({"go", "held", "go"});
    const std::string log = batch.folder / "log";
    tw::test::ScopedEnv logEnv("TW_STANDIN_LOG", log.c_str());
    tw::test::ScopedEnv release("TW_STANDIN_RELEASE", (batch.folder / "never").c_str());
    tw::test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (batch.folder / "out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (batch.folder / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, batch.folder.path().c_str());
    const char* argv[] = {TW_CONSOLE, "TEMP.BAT", nullptr};
    pid_t console = 0;
    ASSERT_EQ(
        posix_spawn(&console, TW_CONSOLE, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The second decoder holds its partial output until it is stopped.
    pid_t decoder = 0;
    for (int i = 0; i < 1000 && !decoder; ++i) {
        const std::string text = tw::test::readFile(log);
        const std::size_t second = text.find("pid ", text.find("pid ") + 1);
        const auto made = batch.made();
        const bool partial = std::any_of(made.begin(), made.end(), [](const std::string& name) {
            return name.rfind(".l3dec-", 0) == 0;
        });
        if (second != std::string::npos && partial)
            decoder = std::atoi(text.c_str() + second + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(decoder, 0) << tw::test::readFile(log);
    ASSERT_EQ(::kill(console, GetParam()), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(console, &status, 0), console);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + GetParam()) << status;
    EXPECT_TRUE(::kill(decoder, 0) != 0 && errno == ESRCH) << "the decoder still runs";
    EXPECT_EQ(batch.made(), std::set<std::string>{"Song a.wav"});
    const std::string out = tw::test::readFile(batch.folder / "out");
    EXPECT_NE(out.find("the batch was stopped"), std::string::npos) << out;
    EXPECT_NE(out.find("1 file decoded into"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Signals, ConsoleStopped, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& tested) { return std::to_string(tested.param); });

// On a terminal one status line stands at its foot, redrawn in place: the file, "file n of N",
// the share done; the lines above scroll past it, and the terminal is as it was at the end.
TEST(ConsoleStatus, OneLineAtTheFootOfATerminal) {
    ThreeFiles batch({"first", "second"});
    tw::test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal = -1;
    const pid_t console = ::forkpty(&terminal, nullptr, nullptr, &size);
    ASSERT_GE(console, 0);
    if (console == 0) {
        if (::chdir(batch.folder.path().c_str()) == 0)
            ::execl(TW_CONSOLE, TW_CONSOLE, "TEMP.BAT", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(n));
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(console, &status, 0), console);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_NE(shown.find("\x1b[1;23r"), std::string::npos) << "a region above the last row";
    for (const char* line : {"file 1 of 2", "file 2 of 2", "a.mp3", "b.mp3"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    EXPECT_NE(shown.rfind("\x1b[r"), std::string::npos) << "the whole screen scrolls again";
    EXPECT_EQ(batch.made(), (std::set<std::string>{"Song a.wav", "Song b.wav"}));
}

} // namespace
