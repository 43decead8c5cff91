// How the console ends a batch: a last line that says what was done, and a word to the
// desktop's notification service, when nothing failed; when something did, neither.
#include "tests/support/Programs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <thread>

#include <sched.h>

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
    std::string lastLine; // "" when the batch failed
};

class ConsoleEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ConsoleEnd, SaysWhatWasDoneOnlyWhenNothingFailed) {
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
        if (told.empty() && !c.lastLine.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (c.lastLine.empty()) {
        EXPECT_EQ(answer.out.find("done without a failure"), std::string::npos) << answer.out;
        EXPECT_EQ(told, "");
    } else {
        const std::string expected = c.lastLine + here + "\\\n";
        ASSERT_GE(answer.out.size(), expected.size());
        EXPECT_EQ(answer.out.substr(answer.out.size() - expected.size()), expected);
        EXPECT_EQ(told, "--app-name=Tonwright|--icon=tonwright|Tonwright: decoding finished|2 "
                        "files decoded into " +
                            here + "\\|");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, ConsoleEnd,
    ::testing::Values(EndCase{"WithoutAFailure", false, 0,
                              "tonwright-console: done without a failure: 2 files decoded into "},
                      EndCase{"WithFailures", true, 1, ""}),
    [](const auto& tested) { return std::string(tested.param.name); });

// TONWRIGHT_CONSOLE_JOBS=1 runs one decoder after another, as the console always did; any more
// share the processors out among the decoders through L3DEC_THREADS; what the window shows is
// the same either way.
TEST(ConsoleJobs, OneRunsAsBeforeMoreShareTheProcessors) {
    TempFolder folder;
    tw::test::writeFile(folder / "a.mp3", "a");
    tw::test::writeFile(folder / "b.mp3", "b");
    tw::test::writeFile(
        folder / "l3dec",
        "#!/bin/sh\necho \"${L3DEC_THREADS:-none}\" >> threads\necho \"$1\"\ncp \"$1\" \"$2\"\n",
        true);
    std::filesystem::create_directory(folder / "waves");
    const std::string here = drivePathOf(folder.path());
    const std::string out = here + "\\waves";
    tw::test::writeFile(folder / "TEMP.BAT",
                        "L3DEC " + here + "\\a.mp3 " + out + "\\A.WAV -wav\r\nREN " + out +
                            "\\A.WAV \"First Song.wav\"\r\nL3DEC " + here + "\\b.mp3 " + out +
                            "\\B.WAV -wav\r\nREN " + out + "\\B.WAV \"Second Song.wav\"\r\n");
    tw::test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-bus");
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
    const std::string share = std::to_string(std::max(1, CPU_COUNT(&set) / 2)) + "\n";

    std::string shown;
    for (const auto& [jobs, threads] :
         {std::pair<std::string, std::string>{"1", "none\nnone\n"}, {"2", share + share}}) {
        tw::test::ScopedEnv count("TONWRIGHT_CONSOLE_JOBS", jobs.c_str());
        std::filesystem::remove_all(folder / "waves");
        std::filesystem::create_directory(folder / "waves");
        std::filesystem::remove(folder / "threads");
        const std::string saved = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
        const tw::test::ProgramAnswer answer =
            tw::test::runAndCatch({TW_CONSOLE, "TEMP.BAT"}, folder.path());
        std::filesystem::current_path(saved);
        EXPECT_EQ(answer.exitCode, 0) << answer.err;
        EXPECT_EQ(tw::test::readFile(folder / "waves/Second Song.wav"), "b");
        EXPECT_EQ(tw::test::readFile(folder / "threads"), threads) << jobs;
        if (shown.empty())
            shown = answer.out;
        else
            EXPECT_EQ(answer.out, shown);
    }
}

} // namespace
