// Decode over real files with the system's own short names: they stay with their files, but
// the system picks them as files appear, and under some systems two names share one.
#include "core/Decode.h"
#include "core/Module1.h"
#include "core/Script.h"
#include "platform/Text.h"
#include "platform/win32/Win32Platform.h"
#include "tests/support/ConsoleReader.h"
#include "tests/support/ShortNameTwins.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class Win32Library : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        m_root = fs::path(temp) / (L"twlibrary" + std::to_wstring(::GetCurrentProcessId()));
        fs::create_directories(m_root / L"in");
        fs::create_directories(m_root / L"out");
        fs::create_directories(m_root / L"mpeg");
        input.sourceFolder = (m_root / L"in").wstring();
        state.Destination = (m_root / L"out").wstring() + L"\\";
        state.DecoderPath = (m_root / L"mpeg").wstring();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    void write(const fs::path& relative) {
        ASSERT_TRUE(platform.writeFile((m_root / relative).wstring(), "x"));
    }
    void select(const std::vector<std::wstring>& names) {
        input.entries = names;
        input.selected.assign(names.size(), true);
    }
    tw::BatchScript build() { return tw::buildBatchScript(platform, input, state); }

    tw::win32::Win32Platform platform;
    tw::DecodeInput input;
    tw::AppState state;
    fs::path m_root;
};

// Hash-made short names are not unique: the decoder line could not tell the two files apart.
TEST_F(Win32Library, SelectedFilesSharingAShortNameAreLeftOut) {
    const auto [first, second] = tw::test::makeShortNameTwins(input.sourceFolder, "x");
    if (second.empty())
        GTEST_SKIP() << "this file system gives every name a short name of its own";
    write(L"in\\track01.mp3");
    select({first, second, L"track01.mp3"});

    const tw::BatchScript script = build();

    ASSERT_EQ(script.leftOut.size(), 2u);
    EXPECT_EQ(script.leftOut[0].name, first);
    EXPECT_EQ(script.leftOut[1].name, second);
    const auto lines = tw::test::scriptLines(platform.fromScriptText(script.bytes));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(tw::text::foldCase(lines[0]).find(L"\\track01.mp3 "), std::wstring::npos);
}

// Every output path names nothing when Decode looks; the earlier output of a file goes only
// once its new one exists; the system's short names for the run's own files are never used.
TEST_F(Win32Library, OutputsNameNothingAndEarlierOutputsAreReplacedLast) {
    for (const wchar_t* name :
         {L"in\\Long Song A.mp3", L"in\\Long Song B.mp3", L"in\\track01.mp3",
          L"out\\Long Song Z.wav", L"out\\Long Song A.wav", L"out\\track01.wav"})
        write(name);
    select({L"Long Song A.mp3", L"Long Song B.mp3", L"track01.mp3"});

    const tw::BatchScript script = build();

    EXPECT_TRUE(script.leftOut.empty());
    const auto lines = tw::test::scriptLines(platform.fromScriptText(script.bytes));
    std::vector<std::vector<std::wstring>> commands;
    for (const std::wstring& line : lines)
        commands.push_back(tw::test::consoleArguments(line));
    ASSERT_EQ(commands.size(), 8u) << script.bytes;
    std::vector<std::wstring> outputs;
    for (const auto& command : commands)
        if (command[0] == L"L3DEC")
            outputs.push_back(command.at(2));
    ASSERT_EQ(outputs.size(), 3u);
    for (const std::wstring& output : outputs)
        EXPECT_FALSE(platform.exists(output)) << fs::path(output).string();
    // A: decode, delete the earlier A once the new one exists, rename; B; track01 likewise.
    EXPECT_EQ(commands[1], (std::vector<std::wstring>{L"IF", L"EXIST", outputs[0], L"del",
                                                      tw::ShortPath(platform, state.Destination) +
                                                          L"Long Song A.wav"}));
    EXPECT_EQ(commands[2], (std::vector<std::wstring>{L"REN", outputs[0], L"Long Song A.wav"}));
    EXPECT_EQ(commands[4], (std::vector<std::wstring>{L"REN", outputs[1], L"Long Song B.wav"}));
    EXPECT_EQ(commands[6][0], L"IF");
    EXPECT_EQ(commands[7], (std::vector<std::wstring>{L"REN", outputs[2], L"track01.wav"}));
    // After the first long-named output, a "~" output could be the short name it gets.
    EXPECT_EQ(tw::LastPathPart(outputs[1]).find(L'~'), std::wstring::npos)
        << fs::path(outputs[1]).string();
}

} // namespace
