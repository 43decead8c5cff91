// How the console ends a batch: a last line that says what was done, and a word to the
// desktop's notification service, when nothing failed; when something did, neither.
#include "tests/support/Programs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <thread>

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

} // namespace
