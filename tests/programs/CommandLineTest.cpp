// What each program answers to --help and --version, with no display to open a window on, and
// what the window program says when it cannot open one.
#include "tests/support/Programs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

struct CommandCase {
    const char* name;
    std::vector<std::string> args; // the program first
    int exitCode;
    std::string out; // the beginning of what it writes to its standard output
    std::string err; // a part of what it writes to its standard error; "" for nothing at all
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLine, AnswersWithoutAWindow) {
    const CommandCase& c = GetParam();
    tw::test::TempFolder scratch;
    tw::test::ScopedEnv display("DISPLAY", nullptr);
    tw::test::ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    tw::test::ScopedEnv platform("QT_QPA_PLATFORM", nullptr);
    const tw::test::ProgramAnswer answer = tw::test::runAndCatch(c.args, scratch.path());
    EXPECT_EQ(answer.exitCode, c.exitCode) << answer.err;
    EXPECT_EQ(answer.out.substr(0, c.out.size()), c.out) << answer.out;
    if (c.err.empty()) {
        EXPECT_EQ(answer.err, "");
    } else {
        EXPECT_NE(answer.err.find(c.err), std::string::npos) << answer.err;
        // One line, not the toolkit's abort.
        EXPECT_EQ(std::count(answer.err.begin(), answer.err.end(), '\n'), 1) << answer.err;
    }
}

const std::string version = TW_VERSION;

INSTANTIATE_TEST_SUITE_P(
    Programs, CommandLine,
    ::testing::Values(
        CommandCase{
            "TonwrightVersion", {TW_TONWRIGHT, "--version"}, 0, "tonwright " + version + "\n", ""},
        CommandCase{"TonwrightHelp", {TW_TONWRIGHT, "--help"}, 0, "usage: tonwright", ""},
        CommandCase{
            "TonwrightWithoutADisplay", {TW_TONWRIGHT}, 1, "", "no display to open a window on"},
        CommandCase{
            "TonwrightUnknownOption", {TW_TONWRIGHT, "--frobnicate"}, 2, "", "unknown option"},
        CommandCase{"DecoderVersion", {TW_L3DEC, "--version"}, 0, "l3dec " + version + "\n", ""},
        CommandCase{"DecoderHelp", {TW_L3DEC, "--help"}, 0, "usage: l3dec INPUT OUTPUT", ""},
        CommandCase{"ConsoleVersion",
                    {TW_CONSOLE, "--version"},
                    0,
                    "tonwright-console " + version + "\n",
                    ""},
        CommandCase{
            "ConsoleHelp", {TW_CONSOLE, "--help"}, 0, "usage: tonwright-console SCRIPT", ""}),
    [](const auto& tested) { return std::string(tested.param.name); });

} // namespace
