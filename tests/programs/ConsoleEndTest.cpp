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
    if (c.decoderFails)
        EXPECT_NE(answer.err.find("A.wav is not there: L3DEC failed to make it"), std::string::npos)
            << answer.err;
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

} // namespace
