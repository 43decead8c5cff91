// Decode writes TEMP.BAT for real files; the interpreter runs it with a stand-in decoder.
// No window: the launch is recorded, and the test runs the script itself.
#include "tests/support/ConsoleTestSupport.h"

#include "core/Decode.h"
#include "core/Script.h"
#include "platform/Text.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/RecordingPlatform.h"
#include "tools/console/Console.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tw::test;

namespace {

// Whatever Decode writes for a name, the console reads back that very name.
TEST(ScriptTextRoundTrip, TheConsoleReadsBackEveryName) {
    const std::vector<std::wstring> names{
        L"track01.mp3", L"a&b|c<d>e^f(g)h.mp3", L"100%.mp3", L"%PATH%.mp3", L"%%x%%",
        L"^^",          L"Café_é.mp3",          L"&&rm",     L"x^",         L"(a)",
        L"!bang!"};
    for (const auto& name : names) {
        const std::wstring line = L"L3DEC " + tw::scriptText(name, false) + L" \"" +
                                  tw::scriptText(name, true) + L"\" \"" +
                                  tw::scriptText(L"with blank " + name, true) + L"\"";
        const auto words = tw::console::splitWords(tw::console::collapsePercents(line));
        EXPECT_EQ(words, (std::vector<std::wstring>{L"L3DEC", name, name, L"with blank " + name}))
            << tw::text::toUtf8(line);
    }
}

class DecodeThenRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root / "c/MPEG Tools");
        fs::create_directories(m_root / "c/My Music");
        fs::create_directories(m_root / "d/WAVES");
        fs::copy_file(TW_STANDIN_DECODER, m_root / "c/MPEG Tools/l3dec");
        ::setenv("TW_STANDIN_LOG", m_log.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TW_STANDIN_LOG"); }

    TempFolder m_root;
    TempFolder m_logFolder; // outside the drives, so it is not one of the files compared
    std::string m_log = m_logFolder / "l3dec.log";
    tw::posix::PosixPlatform m_platform{{{L'C', m_root / "c"}, {L'D', m_root / "d"}}};
};

TEST_F(DecodeThenRun, EveryOutputGetsItsLongNameAndNothingElseChanges) {
    const std::string music = m_root / "c/My Music";
    struct Entry {
        std::wstring name;
        bool selected;
    };
    const std::vector<Entry> entries{
        {L"track01.mp3", true},          {L"Long Song Title.mp3", true},
        {L"Rock & Roll 100%.mp3", true}, {L"Not this one.mp3", false},
        {L"Café é.mp3", true},           {L"A name well over twelve characters.mp3", true},
        {L"skipped.mp3", false},
    };
    tw::DecodeInput input;
    input.sourceFolder = L"C:\\My Music";
    input.searchAgain = true;
    for (const auto& e : entries) {
        writeFile(music + "/" + tw::text::toUtf8(e.name), "mp3 " + tw::text::toUtf8(e.name));
        input.entries.push_back(e.name);
        input.selected.push_back(e.selected);
    }
    writeFile(m_root / "d/WAVES/keep.wav", "an earlier output");
    tw::AppState state;
    state.DecoderPath = L"C:\\MPEG Tools";
    state.Destination = L"D:\\WAVES\\";
    state.LoadMode = 1;

    const auto before = snapshot(m_root.path());
    ScopedCurrentDirectory keep(m_root.path());
    RecordingPlatform recorder(m_platform);
    const auto result = tw::decodeNow(recorder, input, state);
    ASSERT_EQ(result.kind, tw::DecodeResult::Kind::Started) << tw::text::toUtf8(result.message);
    ASSERT_EQ(recorder.batchStarts.size(), 1u);
    EXPECT_EQ(recorder.batchStarts[0].directory, L"C:\\MPEG Tools");
    EXPECT_EQ(recorder.batchStarts[0].scriptName, L"TEMP.BAT");
    EXPECT_TRUE(recorder.batchStarts[0].minimized);

    // The script runs where the launcher would start it: in the decoder's folder.
    const std::string decoder = m_root / "c/MPEG Tools";
    ScopedCurrentDirectory cd(decoder);
    std::ostringstream out, err;
    tw::console::Interpreter interpreter(m_platform, out, err);
    interpreter.setSearchPath("");
    EXPECT_TRUE(interpreter.runScript("TEMP.BAT")) << err.str() << "\n" << out.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str().rfind("\nC:\\MPEG Tools>L3DEC C:\\MYMUSI~1\\TRACK01.MP3 ", 0), 0u)
        << out.str();

    // The decoder saw the native paths of exactly the selected files, in list order.
    std::vector<std::string> expectedInputs, expectedOutputs;
    for (const auto& e : entries) {
        if (!e.selected)
            continue;
        expectedInputs.push_back(music + "/" + tw::text::toUtf8(e.name));
        expectedOutputs.push_back(tw::text::toUtf8(e.name.substr(0, e.name.size() - 3)) + "wav");
    }
    std::vector<std::string> inputs;
    for (const auto& run : readDecoderLog(m_log)) {
        EXPECT_EQ(run.cwd, decoder);
        ASSERT_EQ(run.args.size(), 4u);
        inputs.push_back(run.args[0]);
        EXPECT_EQ(fs::path(run.args[1]).parent_path(), m_root / "d/WAVES");
        EXPECT_EQ(std::vector<std::string>(run.args.begin() + 2, run.args.end()),
                  (std::vector<std::string>{"-wav", "-sa"}));
    }
    EXPECT_EQ(inputs, expectedInputs);

    // Every output under its long name; TEMP.BAT beside the decoder; nothing else changed.
    auto after = snapshot(m_root.path());
    for (std::size_t i = 0; i < expectedOutputs.size(); ++i) {
        const std::string output = "d/WAVES/" + expectedOutputs[i];
        ASSERT_TRUE(after.count(output)) << output;
        EXPECT_EQ(after[output], "decoded from " + expectedInputs[i] + "\n");
        after.erase(output);
    }
    ASSERT_TRUE(after.count("c/MPEG Tools/TEMP.BAT"));
    after.erase("c/MPEG Tools/TEMP.BAT");
    EXPECT_EQ(after, before);
}

} // namespace
