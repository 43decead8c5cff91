#include "tests/support/CaseNames.h"
#include "tests/support/ConsoleTestSupport.h"

#include "platform/Text.h"
#include "platform/posix/PosixPlatform.h"
#include "tools/console/Console.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tw::test;
using namespace std::string_literals;
using tw::console::Interpreter;

namespace {

// A listening socket bound at `path` (left open: the test process ends soon enough).
bool makeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// --- Reading a line as the console does ---

struct SplitCase {
    std::wstring line;
    std::vector<std::wstring> words;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << tw::text::toUtf8(c.line);
}

class SplitWords : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitWords, GivesTheWordsTheConsoleSees) {
    const auto& c = GetParam();
    EXPECT_EQ(tw::console::splitWords(tw::console::collapsePercents(c.line)), c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitWords,
    ::testing::Values(
        SplitCase{
            L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -sa ",
            {L"L3DEC", L"C:\\MUSIC\\TRACK01.MP3", L"D:\\WAVES\\TRACK01.wav", L"-wav", L"-sa"}},
        SplitCase{L"REN D:\\WAVES\\LONGSO~1.wav \"Long Song Title.wav\"",
                  {L"REN", L"D:\\WAVES\\LONGSO~1.wav", L"Long Song Title.wav"}},
        SplitCase{L"  a\t\tb  ", {L"a", L"b"}}, SplitCase{L"a\"b c\"d \"\"", {L"ab cd", L""}},
        // Carets escape outside quotes only; a caret at the very end escapes nothing.
        SplitCase{L"a^&b ^^ ^\"x y^\" \"q^r\" end^",
                  {L"a&b", L"^", L"\"x", L"y\"", L"q^r", L"end"}},
        // The first pass turns "%%" into "%" before the carets are read; variables stay text.
        SplitCase{L"a^^%%b \"100%% sure\" %PATH% %% %%%",
                  {L"a^%b", L"100% sure", L"%PATH%", L"%", L"%%"}},
        SplitCase{L"x & rm -rf y | cat >z <w (a) &&b",
                  {L"x", L"&", L"rm", L"-rf", L"y", L"|", L"cat", L">z", L"<w", L"(a)", L"&&b"}},
        SplitCase{L"\"unterminated quote & more", {L"unterminated quote & more"}},
        SplitCase{L"", {}}),
    tw::test::namedByValue());

TEST(DrivePath, IsALetterAColonAndABackslash) {
    for (const wchar_t* yes : {L"C:\\", L"d:\\WAVES\\x.wav", L"Z:\\a b"})
        EXPECT_TRUE(tw::console::isDrivePath(yes)) << tw::text::toUtf8(yes);
    for (const wchar_t* no : {L"C:", L"C:x", L"1:\\x", L"\\\\server\\x", L"-wav", L"CC:\\x", L""})
        EXPECT_FALSE(tw::console::isDrivePath(no)) << tw::text::toUtf8(no);
}

// --- Finding a program ---

struct LookupCase {
    std::string name;
    std::vector<std::string> folders; // "a", "b"
    std::string found{};              // "folder/entry", empty when none
    bool script = false;
    std::string unusable{};
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class FindProgram : public ::testing::TestWithParam<LookupCase> {
protected:
    static void SetUpTestSuite() {
        s_root = new TempFolder;
        writeFile(*s_root / "a/l3dec", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/TOOL.EXE", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/script.BAT", "REM\r\n");
        writeFile(*s_root / "a/plain", "not a program");
        writeFile(*s_root / "a/Mixed", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/mixed", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/Café", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/ωmega", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/Ārt", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/key", "#!/bin/sh\n", true);
        writeFile(*s_root / "a/bad\xFF", "#!/bin/sh\n", true);
        fs::create_directories(*s_root / "a/folder.exe");
        writeFile(*s_root / "b/plain", "#!/bin/sh\n", true);
        writeFile(*s_root / "b/Other.Cmd", "REM\r\n");
    }
    static void TearDownTestSuite() { delete s_root; }
    static TempFolder* s_root;
};
TempFolder* FindProgram::s_root = nullptr;

TEST_P(FindProgram, FindsWhatTheConsoleWouldRun) {
    const auto& c = GetParam();
    std::vector<std::string> folders;
    for (const auto& f : c.folders)
        folders.push_back(*s_root / f);
    const auto match = tw::console::findProgram(c.name, folders);
    EXPECT_EQ(match.path, c.found.empty() ? "" : *s_root / c.found);
    EXPECT_EQ(match.isScript, c.script);
    EXPECT_EQ(match.unusable, c.unusable.empty() ? "" : *s_root / c.unusable);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FindProgram,
    ::testing::Values(
        LookupCase{"L3DEC", {"a"}, "a/l3dec"}, LookupCase{"L3DEC.EXE", {"a"}, "a/l3dec"},
        LookupCase{"tool", {"a"}, "a/TOOL.EXE"}, LookupCase{"Tool.exe", {"a"}, "a/TOOL.EXE"},
        LookupCase{"SCRIPT", {"a"}, "a/script.BAT", true},
        LookupCase{"other", {"a", "b"}, "b/Other.Cmd", true}, LookupCase{"mixed", {"a"}, "a/mixed"},
        LookupCase{"MIXED", {"a"}, "a/Mixed"}, LookupCase{"CAFÉ", {"a"}, "a/Café"},
        // Letters beyond Latin-1 fold as the file lists fold them...
        LookupCase{"ΩMEGA", {"a"}, "a/ωmega"}, LookupCase{"ārt.EXE", {"a"}, "a/Ārt"},
        // ...and none folds onto an ASCII letter (this is the Kelvin sign).
        LookupCase{"\u212Aey", {"a"}, ""},
        // A name no drive path can carry is found by its exact bytes only.
        LookupCase{"bad\xFF", {"a"}, "a/bad\xFF"}, LookupCase{"BAD\uFFFD", {"a"}, ""},
        // A file that cannot be run is passed over for the next folder...
        LookupCase{"plain", {"a", "b"}, "b/plain"},
        // ...and named when nothing else is found.
        LookupCase{"plain", {"a"}, "", false, "a/plain"}, LookupCase{"folder", {"a"}, ""},
        LookupCase{"missing", {"a", "b"}, ""}, LookupCase{"a/l3dec", {"."}, ""}),
    tw::test::namedByValue());

// --- Running lines: drives C: and D: over temporary folders, the decoder's folder C:\MPEG ---

class ConsoleRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root / "c/MPEG");
        fs::create_directories(m_root / "c/MUSIC");
        fs::create_directories(m_root / "d/WAVES");
        fs::copy_file(TW_STANDIN_DECODER, mpeg() + "/l3dec");
        m_log = m_root / "l3dec.log";
        ::setenv("TW_STANDIN_LOG", m_log.c_str(), 1);
        m_interpreter.setSearchPath("");
    }
    void TearDown() override { ::unsetenv("TW_STANDIN_LOG"); }

    std::string mpeg() const { return m_root / "c/MPEG"; }
    std::string waves() const { return m_root / "d/WAVES"; }
    std::set<std::string> names(const std::string& folder) const {
        std::set<std::string> result;
        for (const auto& e : fs::directory_iterator(folder))
            result.insert(e.path().filename().string());
        return result;
    }

    TempFolder m_root;
    tw::posix::PosixPlatform m_drives{{{L'C', m_root / "c"}, {L'D', m_root / "d"}}};
    std::ostringstream m_out;
    std::ostringstream m_err;
    Interpreter m_interpreter{m_drives, m_out, m_err};
    std::string m_log;
};

struct FileCase {
    const char* title;
    std::map<std::string, std::string> before; // files in D:\WAVES (a trailing "/" makes a folder)
    std::wstring line;                         // run with D:\WAVES current
    bool ok;
    std::map<std::string, std::string> after;
    std::string message; // part of the error output; empty when none is expected
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.title;
}

class FileCommands : public ConsoleRun, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileCommands, ChangeExactlyWhatTheConsoleWould) {
    const auto& c = GetParam();
    for (const auto& [name, content] : c.before) {
        if (name.back() == '/')
            fs::create_directories(waves() + "/" + name);
        else
            writeFile(waves() + "/" + name, content);
    }
    ScopedCurrentDirectory cd(waves());

    EXPECT_EQ(m_interpreter.runLine(c.line), c.ok);
    std::map<std::string, std::string> after;
    for (const auto& e : fs::directory_iterator(waves()))
        after[e.path().filename().string() + (e.is_directory() ? "/" : "")] =
            e.is_directory() ? "" : readFile(e.path().string());
    EXPECT_EQ(after, c.after);
    if (c.message.empty())
        EXPECT_EQ(m_err.str(), "");
    else
        EXPECT_NE(m_err.str().find("tonwright-console: " + c.message), std::string::npos)
            << m_err.str();
}

using Files = std::map<std::string, std::string>;

INSTANTIATE_TEST_SUITE_P(
    Ren, FileCommands,
    ::testing::Values(
        FileCase{"long name",
                 {{"LONGSO~1.wav", "1"}},
                 L"REN D:\\WAVES\\LONGSO~1.wav \"Long Song Title.wav\"",
                 true,
                 {{"Long Song Title.wav", "1"}},
                 ""},
        FileCase{"escaped name",
                 {{"A.wav", "1"}},
                 L"RENAME D:\\WAVES\\A.wav \"Café & 100%% over twelve.wav\"",
                 true,
                 {{"Café & 100% over twelve.wav", "1"}},
                 ""},
        FileCase{"source in other case, relative",
                 {{"track01.wav", "1"}},
                 L"ren TRACK01.WAV \"x.wav\"",
                 true,
                 {{"x.wav", "1"}},
                 ""},
        FileCase{"case only",
                 {{"TRACK01.wav", "1"}},
                 L"REN D:\\WAVES\\TRACK01.wav \"track01.wav\"",
                 true,
                 {{"track01.wav", "1"}},
                 ""},
        FileCase{"itself through its alias",
                 {{"Long Song Title.wav", "1"}},
                 L"REN D:\\WAVES\\LONGSO~1.wav \"Long Song Title.wav\"",
                 true,
                 {{"Long Song Title.wav", "1"}},
                 ""},
        FileCase{
            "itself", {{"x.wav", "1"}}, L"REN D:\\WAVES\\x.wav x.wav", true, {{"x.wav", "1"}}, ""},
        FileCase{"onto another file",
                 {{"A.wav", "a"}, {"B.wav", "b"}},
                 L"REN D:\\WAVES\\A.wav \"B.wav\"",
                 false,
                 {{"A.wav", "a"}, {"B.wav", "b"}},
                 "REN: D:\\WAVES\\B.wav already exists; D:\\WAVES\\A.wav keeps its name"},
        FileCase{"onto another file in other case",
                 {{"A.wav", "a"}, {"b.wav", "b"}},
                 L"REN D:\\WAVES\\A.wav \"B.WAV\"",
                 false,
                 {{"A.wav", "a"}, {"b.wav", "b"}},
                 "REN: D:\\WAVES\\B.WAV already exists (as the name of b.wav); D:\\WAVES\\A.wav "
                 "keeps its name"},
        FileCase{"onto another file's short alias",
                 {{"A.wav", "a"}, {"Artist - Track 09.wav", "x"}},
                 L"REN D:\\WAVES\\A.wav \"ARTIST~1.wav\"",
                 false,
                 {{"A.wav", "a"}, {"Artist - Track 09.wav", "x"}},
                 "REN: D:\\WAVES\\ARTIST~1.wav already exists (as the name of Artist - Track "
                 "09.wav); D:\\WAVES\\A.wav keeps its name"},
        FileCase{"missing source",
                 {{"Y.wav", "y"}},
                 L"REN D:\\WAVES\\X.wav \"Y.wav\"",
                 false,
                 {{"Y.wav", "y"}},
                 "REN: cannot find D:\\WAVES\\X.wav"},
        FileCase{"new name is a path",
                 {{"A.wav", "a"}},
                 L"REN D:\\WAVES\\A.wav \"D:\\WAVES\\B.wav\"",
                 false,
                 {{"A.wav", "a"}},
                 "REN: the new name must be a file name"},
        FileCase{"new name climbs",
                 {{"A.wav", "a"}},
                 L"REN A.wav ..",
                 false,
                 {{"A.wav", "a"}},
                 "REN: the new name \"..\" is not a name a file can have"},
        FileCase{"new name holds a slash",
                 {{"A.wav", "a"}, {"x/", ""}},
                 L"REN A.wav \"x/y.wav\"",
                 false,
                 {{"A.wav", "a"}, {"x/", ""}},
                 "REN: the new name must be a file name, not a path: \"x/y.wav\""},
        FileCase{"new name holds a NUL",
                 {{"A.wav", "a"}},
                 L"REN A.wav \"b\0.wav\""s,
                 false,
                 {{"A.wav", "a"}},
                 "REN: the new name \"b^@.wav\" is not a name a file can have\n"},
        FileCase{"new name is empty",
                 {{"A.wav", "a"}},
                 L"REN A.wav \"\"",
                 false,
                 {{"A.wav", "a"}},
                 "REN: the new name \"\" is not a name a file can have"},
        // No wildcards: "*" and "?" are characters of a name, like ":" "|" "<" ">".
        FileCase{"names with star",
                 {{"A.wav", "a"}, {"*.wav", "star"}},
                 L"REN *.wav *.snd",
                 true,
                 {{"A.wav", "a"}, {"*.snd", "star"}},
                 ""},
        FileCase{"other case beyond Latin-1",
                 {{"Ārt.wav", "1"}},
                 L"REN D:\\WAVES\\ārt.wav \"ĀRT.wav\"",
                 true,
                 {{"ĀRT.wav", "1"}},
                 ""},
        FileCase{"onto another file in other case beyond Latin-1",
                 {{"A.wav", "a"}, {"Ωmega.wav", "w"}},
                 L"REN A.wav \"ωMEGA.wav\"",
                 false,
                 {{"A.wav", "a"}, {"Ωmega.wav", "w"}},
                 "REN: D:\\WAVES\\ωMEGA.wav already exists"},
        FileCase{"one argument",
                 {{"A.wav", "a"}},
                 L"REN A.wav",
                 false,
                 {{"A.wav", "a"}},
                 "REN: expected the file and its new name (REN file newname), but found 1 name\n"},
        FileCase{"three names",
                 {{"A.wav", "a"}},
                 L"REN A.wav new name.wav",
                 false,
                 {{"A.wav", "a"}},
                 "REN: expected the file and its new name (REN file newname), but found 3 names; "
                 "a name with blanks goes in double quotes\n"},
        FileCase{"missing folder",
                 {{"A.wav", "a"}},
                 L"REN D:\\NOPE\\DEEPER\\A.wav B.wav",
                 false,
                 {{"A.wav", "a"}},
                 "REN: cannot find D:\\NOPE\\DEEPER\\A.wav: there is no folder D:\\NOPE\n"}),
    tw::test::namedByValue());

// Every name the file system takes lands exactly as written.
FileCase landsAs(const char* title, const std::wstring& quotedName, const std::string& name) {
    return {title, {{"AC_DC-~1.wav", "1"}}, L"REN D:\\WAVES\\AC_DC-~1.wav " + quotedName,
            true,  {{name, "1"}},           ""};
}

INSTANTIATE_TEST_SUITE_P(PosixNames, FileCommands,
                         ::testing::Values(landsAs("colon", L"\"AC:DC - Back in Black.wav\"",
                                                   "AC:DC - Back in Black.wav"),
                                           landsAs("bar", L"\"a|b.wav\"", "a|b.wav"),
                                           landsAs("angles", L"\"x<y>z.wav\"", "x<y>z.wav"),
                                           landsAs("question mark", L"\"why?.wav\"", "why?.wav"),
                                           landsAs("star", L"\"star*.wav\"", "star*.wav"),
                                           landsAs("unquoted", L"back^|slash?*.wav",
                                                   "back|slash?*.wav")),
                         tw::test::namedByValue());

INSTANTIATE_TEST_SUITE_P(
    Del, FileCommands,
    ::testing::Values(FileCase{"a file",
                               {{"a.wav", "a"}, {"b.wav", "b"}},
                               L"DEL D:\\WAVES\\A.WAV",
                               true,
                               {{"b.wav", "b"}},
                               ""},
                      FileCase{
                          "quiet, relative", {{"a.wav", "a"}}, L"erase /q \"a.wav\"", true, {}, ""},
                      FileCase{"one of two missing",
                               {{"a.wav", "a"}},
                               L"DEL a.wav gone.wav",
                               false,
                               {},
                               "DEL: cannot find D:\\WAVES\\gone.wav"},
                      FileCase{"a folder",
                               {{"sub/", ""}},
                               L"DEL D:\\WAVES\\sub",
                               false,
                               {{"sub/", ""}},
                               "DEL: D:\\WAVES\\sub is a folder; DEL deletes files only"},
                      FileCase{"a name with a star",
                               {{"a.wav", "a"}, {"*.wav", "star"}},
                               L"DEL *.wav",
                               true,
                               {{"a.wav", "a"}},
                               ""},
                      FileCase{"a name with a question mark",
                               {{"a.wav", "a"}},
                               L"DEL ?.wav",
                               false,
                               {{"a.wav", "a"}},
                               "DEL: cannot find D:\\WAVES\\?.wav"},
                      FileCase{"unknown switch",
                               {{"a.wav", "a"}},
                               L"DEL /S a.wav",
                               false,
                               {},
                               "DEL: the switch /S is not supported"},
                      FileCase{"nothing named",
                               {{"a.wav", "a"}},
                               L"del /q",
                               false,
                               {{"a.wav", "a"}},
                               "DEL: expected the file to delete (DEL file)\n"},
                      FileCase{"a file on the way",
                               {{"a.wav", "a"}},
                               L"DEL a.wav\\b.wav",
                               false,
                               {{"a.wav", "a"}},
                               "DEL: cannot find D:\\WAVES\\a.wav\\b.wav: D:\\WAVES\\a.wav is a "
                               "file, not a folder\n"},
                      FileCase{"a missing folder",
                               {{"a.wav", "a"}},
                               L"DEL \\WAVES\\SUB\\a.wav",
                               false,
                               {{"a.wav", "a"}},
                               "DEL: cannot find D:\\WAVES\\SUB\\a.wav: there is no folder "
                               "D:\\WAVES\\SUB\n"},
                      FileCase{"no such drive",
                               {{"a.wav", "a"}},
                               L"DEL Q:\\a.wav",
                               false,
                               {{"a.wav", "a"}},
                               "DEL: cannot find Q:\\a.wav: there is no drive Q:\n"}),
    tw::test::namedByValue());

INSTANTIATE_TEST_SUITE_P(
    If, FileCommands,
    ::testing::Values(
        FileCase{"exist: the earlier output goes once the new one is there",
                 {{"LONGSO_1.wav", "new"}, {"Long Song Title.wav", "old"}},
                 L"IF EXIST D:\\WAVES\\LONGSO_1.wav del \"D:\\WAVES\\Long Song Title.wav\"",
                 true,
                 {{"LONGSO_1.wav", "new"}},
                 ""},
        FileCase{"exist, but nothing is there",
                 {{"Long Song Title.wav", "old"}},
                 L"IF EXIST D:\\WAVES\\LONGSO_1.wav del \"D:\\WAVES\\Long Song Title.wav\"",
                 true,
                 {{"Long Song Title.wav", "old"}},
                 ""},
        FileCase{"not exist, nothing there",
                 {{"a.wav", "a"}},
                 L"if not exist \"x.wav\" ren a.wav x.wav",
                 true,
                 {{"x.wav", "a"}},
                 ""},
        FileCase{"not exist, there in other case",
                 {{"a.wav", "a"}, {"X.WAV", "x"}},
                 L"If Not Exist x.wav REN a.wav y.wav",
                 true,
                 {{"a.wav", "a"}, {"X.WAV", "x"}},
                 ""},
        FileCase{"a folder exists too",
                 {{"a.wav", "a"}, {"sub/", ""}},
                 L"IF EXIST \\WAVES\\SUB DEL a.wav",
                 true,
                 {{"sub/", ""}},
                 ""},
        // The command is read once, as written: quotes group, a caret escapes, "%%" was
        // already collapsed with the line.
        FileCase{"command as written",
                 {{"a.wav", "a"}},
                 L"IF EXIST a.wav REN a.wav \"b c\"^^%%%%.wav",
                 true,
                 {{"b c^%%.wav", "a"}},
                 ""},
        FileCase{"nested",
                 {{"a.wav", "a"}},
                 L"IF EXIST a.wav IF NOT EXIST b.wav DEL a.wav",
                 true,
                 {},
                 ""},
        FileCase{"its command fails",
                 {{"a.wav", "a"}},
                 L"IF EXIST a.wav DEL gone.wav",
                 false,
                 {{"a.wav", "a"}},
                 "DEL: cannot find D:\\WAVES\\gone.wav"},
        FileCase{"no command",
                 {{"a.wav", "a"}},
                 L"IF EXIST a.wav  ",
                 false,
                 {{"a.wav", "a"}},
                 "IF: expected a path and the command to run after EXIST"},
        FileCase{"no path",
                 {{"a.wav", "a"}},
                 L"if not exist",
                 false,
                 {{"a.wav", "a"}},
                 "IF: expected a path and the command to run after EXIST"},
        FileCase{"another condition",
                 {{"a.wav", "a"}},
                 L"IF a==a DEL a.wav",
                 false,
                 {{"a.wav", "a"}},
                 "IF: only IF [NOT] EXIST path command is supported"}),
    tw::test::namedByValue());

// Renaming between two links of one file would do nothing: the new name is taken.
TEST_F(ConsoleRun, RenOntoAnotherLinkOfTheFileIsRefused) {
    writeFile(waves() + "/A.wav", "a");
    ASSERT_EQ(::link((waves() + "/A.wav").c_str(), (waves() + "/b.wav").c_str()), 0);
    EXPECT_FALSE(m_interpreter.runLine(L"REN D:\\WAVES\\A.wav b.wav"));
    EXPECT_EQ(names(waves()), (std::set<std::string>{"A.wav", "b.wav"}));
    EXPECT_NE(
        m_err.str().find("REN: D:\\WAVES\\b.wav already exists; D:\\WAVES\\A.wav keeps its name"),
        std::string::npos)
        << m_err.str();
}

TEST_F(ConsoleRun, IfExistRunsAProgramShowingTheLineOnce) {
    writeFile(m_root / "c/MUSIC/a.mp3", "mp3");
    ScopedCurrentDirectory cd(waves());
    m_interpreter.setSearchPath(mpeg());
    EXPECT_TRUE(
        m_interpreter.runLine(L"IF NOT EXIST C:\\MUSIC\\A.MP3 L3DEC C:\\MUSIC\\A.MP3 x.wav"));
    EXPECT_TRUE(m_interpreter.runLine(L"IF EXIST C:\\MUSIC\\A.MP3 L3DEC C:\\MUSIC\\A.MP3 y.wav"))
        << m_err.str();
    const auto runs = readDecoderLog(m_log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{m_root / "c/MUSIC/a.mp3", "y.wav"}));
    EXPECT_EQ(m_out.str(),
              "\nD:\\WAVES>IF NOT EXIST C:\\MUSIC\\A.MP3 L3DEC C:\\MUSIC\\A.MP3 x.wav\n"
              "\nD:\\WAVES>IF EXIST C:\\MUSIC\\A.MP3 L3DEC C:\\MUSIC\\A.MP3 y.wav\n");
    EXPECT_EQ(m_err.str(), "");
}

TEST_F(ConsoleRun, RunsTheDecoderWithNativePathsInItsFolder) {
    writeFile(m_root / "c/MUSIC/track01.mp3", "mp3");
    ScopedCurrentDirectory cd(mpeg());
    ASSERT_TRUE(
        m_interpreter.runLine(L"L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -sa "))
        << m_err.str();
    const auto runs = readDecoderLog(m_log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].cwd, mpeg());
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{m_root / "c/MUSIC/track01.mp3",
                                                      waves() + "/TRACK01.wav", "-wav", "-sa"}));
    EXPECT_TRUE(exists(waves() + "/TRACK01.wav"));
    EXPECT_EQ(m_out.str(),
              "\nC:\\MPEG>L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -sa \n");
}

TEST_F(ConsoleRun, RootedArgumentsAreOnTheCurrentDrive) {
    writeFile(m_root / "c/MUSIC/track01.mp3", "mp3");
    ScopedCurrentDirectory cd(waves());
    m_interpreter.setSearchPath(mpeg());
    ASSERT_TRUE(
        m_interpreter.runLine(L"L3DEC C:\\MUSIC\\TRACK01.MP3 \\waves\\MYSONG~1.wav \\\\server\\x"))
        << m_err.str();
    const auto runs = readDecoderLog(m_log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{m_root / "c/MUSIC/track01.mp3",
                                                      waves() + "/MYSONG~1.wav", "\\\\server\\x"}));
    EXPECT_EQ(names(waves()), (std::set<std::string>{"MYSONG~1.wav"}));
}

TEST_F(ConsoleRun, FindsProgramsOnThePathAndByDrivePath) {
    writeFile(m_root / "c/MUSIC/a.mp3", "mp3");
    ScopedCurrentDirectory cd(waves());
    m_interpreter.setSearchPath("/nonexistent:" + mpeg());
    EXPECT_TRUE(m_interpreter.runLine(L"l3dec.exe C:\\MUSIC\\A.MP3 one.wav")) << m_err.str();
    m_interpreter.setSearchPath("");
    EXPECT_TRUE(m_interpreter.runLine(L"C:\\mpeg\\L3DEC.EXE C:\\MUSIC\\A.MP3 two.wav"))
        << m_err.str();
    EXPECT_FALSE(m_interpreter.runLine(L"L3DEC C:\\MUSIC\\A.MP3 three.wav"));
    EXPECT_EQ(m_err.str(),
              "tonwright-console: cannot find the program L3DEC in D:\\WAVES or on PATH\n");
    EXPECT_EQ(names(waves()), (std::set<std::string>{"one.wav", "two.wav"}));
}

// --- Programs that fail or cannot be run: what is really wrong ---

struct ProgramCase {
    const char* title;
    std::wstring line;                  // run in C:\MPEG, which holds the stand-in l3dec
    std::map<std::string, int> files{}; // in C:\MPEG: name -> mode; content from programText
    std::string message{};              // "@" stands for C:\MPEG's native path
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
    *os << c.title;
}

// The first line of each file the cases make: a program's runner, or no program at all.
std::string programText(const std::string& name, const std::string& folder) {
    if (name == "broken")
        return "this is not a program\n";
    if (name == "lost")
        return "#!" + folder + "/no-runner -x\nexit 0\n";
    if (name == "runs")
        return "#!" + folder + "/runner\nexit 0\n";
    return "#!/bin/sh\nexit 0\n";
}

class ProgramFailures : public ConsoleRun, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramFailures, SayWhatIsWrong) {
    const auto& c = GetParam();
    for (const auto& [name, mode] : c.files) {
        writeFile(mpeg() + "/" + name, programText(name, mpeg()));
        ::chmod((mpeg() + "/" + name).c_str(), mode);
    }
    ScopedCurrentDirectory cd(mpeg());
    m_interpreter.setSearchPath(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    EXPECT_FALSE(m_interpreter.runLine(c.line));
    EXPECT_EQ(m_interpreter.failures(), 1u);
    std::string message = c.message;
    for (std::size_t at; (at = message.find('@')) != std::string::npos;)
        message.replace(at, 1, mpeg());
    EXPECT_EQ(m_err.str(), "tonwright-console: " + message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramFailures,
    ::testing::Values(
        ProgramCase{"exit code", L"FALSE", {}, "FALSE ended with exit code 1"},
        ProgramCase{"signal", L"sh -c \"kill -9 $$\"", {}, "sh was ended by signal 9 (Killed)"},
        ProgramCase{"no program at all",
                    L"BROKEN",
                    {{"broken", 0755}},
                    "cannot run @/broken: it is neither a program for this system nor a script "
                    "whose first line names the program to run it (Exec format error)"},
        ProgramCase{"its runner is missing",
                    L"lost",
                    {{"lost", 0755}},
                    "cannot run @/lost: the program it names on its first line, @/no-runner, does "
                    "not exist (No such file or directory)"},
        ProgramCase{"its runner cannot run",
                    L"runs",
                    {{"runs", 0755}, {"runner", 0644}},
                    "cannot run @/runs: the program it names on its first line, @/runner, cannot "
                    "be run (Permission denied)"},
        ProgramCase{"arguments too long",
                    L"L3DEC " + std::wstring(200'000, L'x'),
                    {},
                    "cannot run @/l3dec: its arguments are too long for the system (Argument list "
                    "too long)"},
        ProgramCase{"not executable",
                    L"NotExec",
                    {{"notexec", 0644}},
                    "NotExec: @/notexec cannot be run: it is not executable"},
        ProgramCase{"slash",
                    L"a/b x",
                    {},
                    "'a/b' is not a program name: \"/\" cannot be part of one (folders are "
                    "separated by \"\\\")"},
        ProgramCase{"missing folder",
                    L"C:\\NOPE\\L3DEC x",
                    {},
                    "cannot find the program C:\\NOPE\\L3DEC: there is no folder C:\\NOPE"},
        ProgramCase{"missing drive",
                    L"Q:\\L3DEC x",
                    {},
                    "cannot find the program Q:\\L3DEC: there is no drive Q:"},
        ProgramCase{"nowhere",
                    L"NOSUCHPROGRAM x",
                    {},
                    "cannot find the program NOSUCHPROGRAM in C:\\MPEG or on PATH"}),
    tw::test::namedByValue());

TEST_F(ConsoleRun, SaysWhenAProgramIsStillBeingWritten) {
    ScopedCurrentDirectory cd(mpeg());
    const int writer = ::open((mpeg() + "/l3dec").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_FALSE(m_interpreter.runLine(L"L3DEC x y"));
    ::close(writer);
    EXPECT_EQ(m_err.str(), "tonwright-console: cannot run " + mpeg() +
                               "/l3dec: it is open for writing, perhaps still being copied (Text "
                               "file busy)\n");
}

// A program built for another system: the loader it names (here one in the scratch folder that
// is not there) does not exist.
TEST_F(ConsoleRun, SaysWhenAProgramNeedsALoaderThisSystemLacks) {
    std::string program = readFile(mpeg() + "/l3dec");
    const std::size_t named = program.find("/ld-linux");
    const std::size_t start = named == std::string::npos ? named : program.rfind('\0', named) + 1;
    const std::size_t end = named == std::string::npos ? named : program.find('\0', named);
    const std::string loader = m_root / "ld";
    if (named == std::string::npos || end - start < loader.size())
        GTEST_SKIP() << "no loader named in the stand-in, or no room for another";
    program.replace(start, end - start, loader + std::string(end - start - loader.size(), '\0'));
    writeFile(mpeg() + "/alien", program, true);
    ScopedCurrentDirectory cd(mpeg());
    EXPECT_FALSE(m_interpreter.runLine(L"ALIEN"));
    EXPECT_EQ(m_err.str(), "tonwright-console: cannot run " + mpeg() +
                               "/alien: it needs a loader this system does not have (a program "
                               "for another kind of system?) (No such file or directory)\n");
}

// Immutable files: even root may neither rename nor delete them (where the file system can mark
// them so).
TEST_F(ConsoleRun, SaysWhyAProtectedFileStays) {
    writeFile(waves() + "/a.wav", "a");
    const int fd = ::open((waves() + "/a.wav").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const auto setImmutable = [&](bool on) {
        int changed = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        return ::ioctl(fd, FS_IOC_SETFLAGS, &changed) == 0;
    };
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || !setImmutable(true)) {
        ::close(fd);
        GTEST_SKIP() << "cannot mark a file immutable here";
    }
    ScopedCurrentDirectory cd(waves());
    EXPECT_FALSE(m_interpreter.runLine(L"DEL a.wav"));
    EXPECT_FALSE(m_interpreter.runLine(L"REN a.wav b.wav"));
    EXPECT_TRUE(setImmutable(false));
    ::close(fd);
    const std::string why = ": it is protected (immutable or append-only), or the folder "
                            "D:\\WAVES lets only a file's owner change it (Operation not "
                            "permitted)\n";
    EXPECT_EQ(m_err.str(), "tonwright-console: DEL: cannot delete D:\\WAVES\\a.wav" + why +
                               "tonwright-console: REN: cannot rename D:\\WAVES\\a.wav to "
                               "\"b.wav\"" +
                               why);
    EXPECT_EQ(names(waves()), (std::set<std::string>{"a.wav"}));
}

// A folder this user may not change (root may change any, so this runs for others only).
TEST_F(ConsoleRun, SaysWhenTheFolderMayNotBeChanged) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may change any folder";
    writeFile(waves() + "/a.wav", "a");
    ::chmod(waves().c_str(), 0555);
    ScopedCurrentDirectory cd(waves());
    EXPECT_FALSE(m_interpreter.runLine(L"DEL a.wav"));
    ::chmod(waves().c_str(), 0755);
    EXPECT_EQ(m_err.str(), "tonwright-console: DEL: cannot delete D:\\WAVES\\a.wav: this user "
                           "may not change the folder D:\\WAVES (Permission denied)\n");
}

TEST_F(ConsoleRun, ScriptGoesOnAfterAFailingLineAndSkipsBlankLines) {
    writeFile(m_root / "c/MUSIC/a.mp3", "mp3");
    writeFile(
        mpeg() + "/TEMP.BAT",
        "\r\nREN D:\\WAVES\\missing.wav \"x.wav\"\r\n   \r\n@REM quiet\r\n:: note\r\n"
        "L3DEC C:\\MUSIC\\A.MP3 D:\\WAVES\\A.wav -wav \r\nREN D:\\WAVES\\A.wav \"100%% a.wav\"");
    ScopedCurrentDirectory cd(mpeg());
    EXPECT_FALSE(m_interpreter.runScript("TEMP.BAT"));
    EXPECT_EQ(m_interpreter.failures(), 1u);
    EXPECT_EQ(names(waves()), (std::set<std::string>{"100% a.wav"}));
    EXPECT_EQ(m_out.str(), "\nC:\\MPEG>REN D:\\WAVES\\missing.wav \"x.wav\"\n"
                           "\nC:\\MPEG>L3DEC C:\\MUSIC\\A.MP3 D:\\WAVES\\A.wav -wav \n"
                           "\nC:\\MPEG>REN D:\\WAVES\\A.wav \"100% a.wav\"\n");
}

// --- Control characters never reach the terminal: the echo and messages show them ---

struct ShownCase {
    std::wstring line; // run in D:\WAVES, which holds "a.wav"
    std::string echo;  // after the prompt
    std::string error; // the message after "tonwright-console: "; empty when none
};

void PrintTo(const ShownCase& c, std::ostream* os) {
    *os << c.echo;
}

class ShownText : public ConsoleRun, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(ShownText, ShowsControlCharactersVisibly) {
    const auto& c = GetParam();
    writeFile(waves() + "/a.wav", "a");
    ScopedCurrentDirectory cd(waves());
    (void)m_interpreter.runLine(c.line);
    EXPECT_EQ(m_out.str(), "\nD:\\WAVES>" + c.echo + "\n");
    EXPECT_EQ(m_err.str(), c.error.empty() ? "" : "tonwright-console: " + c.error + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ShownText,
    ::testing::Values(
        // A window title, a screen clear, a bell: shown, never done.
        ShownCase{L"REM \x1b]0;owned\x07 \x1b[2J\x1b[H", "REM ^[]0;owned^G ^[[2J^[[H", ""},
        ShownCase{L"REM a\0b\bc\td\x1f\x7f"s, "REM a^@b^Hc^Id^_^?", ""},
        // C1 controls (U+0080..U+009F) are the ESC sequences they stand for.
        ShownCase{L"REM \x9b"
                  L"2J \x9d"
                  L"0;x\x9c \x85",
                  "REM ^[[2J ^[]0;x^[\\ ^[E", ""},
        // Everything else is text and shown as it is.
        ShownCase{L"REM Café 東京 ωmega \xa0 \x2028 ~", "REM Café 東京 ωmega \u00a0 \u2028 ~", ""},
        ShownCase{L"DEL \x1b[2J.wav", "DEL ^[[2J.wav", "DEL: cannot find D:\\WAVES\\^[[2J.wav"},
        ShownCase{L"REN a.wav \"b\\\x1b[2J.wav\"", "REN a.wav \"b\\^[[2J.wav\"",
                  "REN: the new name must be a file name, not a path: \"b\\^[[2J.wav\""},
        ShownCase{L"\x9b"
                  L"31mL3DEC x",
                  "^[[31mL3DEC x", "cannot find the program ^[[31mL3DEC in D:\\WAVES or on PATH"},
        ShownCase{L"IF \x1b[2J EXIST a.wav DEL a.wav", "IF ^[[2J EXIST a.wav DEL a.wav",
                  "IF: only IF [NOT] EXIST path command is supported: IF ^[[2J EXIST a.wav DEL "
                  "a.wav"}),
    tw::test::namedByValue());

TEST_F(ConsoleRun, ShowsControlCharactersInNamesOfScriptsAndFolders) {
    const std::string folder = waves() + "/t\x1b]0;x\x07";
    fs::create_directories(folder);
    ScopedCurrentDirectory cd(folder);
    EXPECT_TRUE(m_interpreter.runLine(L"REM"));
    EXPECT_FALSE(m_interpreter.runScript("\x1b[2J.bat"));
    // No drive path can carry such a folder: the prompt is its native path.
    EXPECT_EQ(m_out.str(), "\n" + waves() + "/t^[]0;x^G>REM\n");
    EXPECT_EQ(m_err.str(), "tonwright-console: cannot find the script ^[[2J.bat\n");
}

// --- Lines as the console reads them from a script ---

struct ScriptTextCase {
    const char* title;
    std::string text;               // TEMP.BAT, run in D:\WAVES, which holds "a.wav"
    std::vector<std::string> shown; // each line shown, after the prompt
    std::set<std::string> after{"a.wav"};
};

void PrintTo(const ScriptTextCase& c, std::ostream* os) {
    *os << c.title;
}

class ScriptText : public ConsoleRun, public ::testing::WithParamInterface<ScriptTextCase> {};

TEST_P(ScriptText, ReadsLinesAsTheConsoleDoes) {
    const auto& c = GetParam();
    writeFile(waves() + "/a.wav", "a");
    writeFile(m_root / "TEMP.BAT", c.text);
    ScopedCurrentDirectory cd(waves());
    EXPECT_TRUE(m_interpreter.runScript(m_root / "TEMP.BAT")) << m_err.str();
    std::string shown;
    for (const auto& line : c.shown)
        shown += "\nD:\\WAVES>" + line + "\n";
    EXPECT_EQ(m_out.str(), shown);
    EXPECT_EQ(names(waves()), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ScriptText,
    ::testing::Values(
        // A caret that ends a line outside quotes joins the next line to it.
        ScriptTextCase{"caret joins", "REM a^\r\nb\r\nREM c\r\n", {"REM ab", "REM c"}},
        ScriptTextCase{"joins across LF and CR LF", "REM a^\nb^\r\nc", {"REM abc"}},
        ScriptTextCase{"joined line renames",
                       "REN D:\\WAVES\\a.wav ^\r\n\"b c.wav\"\r\n",
                       {"REN D:\\WAVES\\a.wav \"b c.wav\""},
                       {"b c.wav"}},
        ScriptTextCase{"joined line is quiet with @", "@REN a.wav ^\r\nb.wav\r\n", {}, {"b.wav"}},
        ScriptTextCase{"an empty next line", "REM a^\r\n\r\nREM b\r\n", {"REM a", "REM b"}},
        // Not a caret that continues: quoted, or itself escaped.
        ScriptTextCase{"caret in quotes",
                       "REM \"a^\"^\r\nREM \"b^\r\nREM c\r\n",
                       {"REM \"a^\"REM \"b^", "REM c"}},
        ScriptTextCase{"escaped caret", "REM a^^\r\nREM b^^^\r\nc\r\n", {"REM a^^", "REM b^^c"}},
        ScriptTextCase{"caret ends the script", "REM end^", {"REM end^"}},
        // The console drops a CR wherever it stands.
        ScriptTextCase{"lone CR",
                       "REM a\rb\r\r\nREN a.wav \"c\rd.wav\"\r\n",
                       {"REM ab", "REN a.wav \"cd.wav\""},
                       {"cd.wav"}},
        ScriptTextCase{"CR before the caret", "REM a^\r\r\nb\r\n", {"REM ab"}}),
    tw::test::namedByValue());

// --- Scripts that cannot be run: refused at once, with what is wrong ---

struct RefusedScript {
    const char* title;
    // Makes "script" in the folder; false when this machine cannot (the case is skipped).
    bool (*make)(const std::string& path);
    std::string message; // "@" stands for the script's path
};

void PrintTo(const RefusedScript& c, std::ostream* os) {
    *os << c.title;
}

class RefusedScripts : public ConsoleRun, public ::testing::WithParamInterface<RefusedScript> {};

TEST_P(RefusedScripts, FailAtOnceSayingWhy) {
    const auto& c = GetParam();
    const std::string script = m_root / "script";
    if (!c.make(script))
        GTEST_SKIP() << "cannot make this kind of file here";
    EXPECT_FALSE(m_interpreter.runScript(script));
    EXPECT_EQ(m_interpreter.failures(), 1u);
    std::string message = c.message;
    message.replace(message.find('@'), 1, script);
    EXPECT_EQ(m_err.str(), "tonwright-console: " + message + "\n");
    EXPECT_EQ(m_out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RefusedScripts,
    ::testing::Values(
        RefusedScript{"missing", [](const std::string&) { return true; },
                      "cannot find the script @"},
        RefusedScript{"folder", [](const std::string& p) { return ::mkdir(p.c_str(), 0700) == 0; },
                      "the script @ is a folder, not a file"},
        RefusedScript{"fifo", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; },
                      "the script @ is a named pipe (FIFO), not a file"},
        RefusedScript{"link to a fifo",
                      [](const std::string& p) {
                          return ::mkfifo((p + ".fifo").c_str(), 0600) == 0 &&
                                 ::symlink((p + ".fifo").c_str(), p.c_str()) == 0;
                      },
                      "the script @ is a named pipe (FIFO), not a file"},
        RefusedScript{"socket", [](const std::string& p) { return makeSocket(p); },
                      "the script @ is a socket, not a file"},
        // Device nodes can be made by root only; this one is never opened.
        RefusedScript{"device",
                      [](const std::string& p) {
                          return ::geteuid() == 0 &&
                                 ::mknod(p.c_str(), S_IFCHR | 0600, ::makedev(1, 5)) == 0;
                      },
                      "the script @ is a device, not a file"},
        RefusedScript{"too large",
                      [](const std::string& p) {
                          writeFile(p, "REM\r\n");
                          return ::truncate(p.c_str(), tw::console::maxScriptBytes + 1) == 0;
                      },
                      "the script @ is larger than 64 MiB, far more than any batch of "
                      "Tonwright's; it was not run"},
        RefusedScript{"unreadable",
                      [](const std::string& p) {
                          // Root reads anything: there this case cannot be made.
                          writeFile(p, "REM\r\n");
                          return ::geteuid() != 0 && ::chmod(p.c_str(), 0) == 0;
                      },
                      "cannot read the script @: Permission denied"}),
    tw::test::namedByValue());

TEST_F(ConsoleRun, RunsAnotherScriptItself) {
    writeFile(m_root / "c/MUSIC/a.mp3", "mp3");
    writeFile(mpeg() + "/inner.bat", "L3DEC C:\\MUSIC\\A.MP3 D:\\WAVES\\A.wav -wav \r\n");
    ScopedCurrentDirectory cd(mpeg());
    EXPECT_TRUE(m_interpreter.runLine(L"INNER")) << m_err.str();
    EXPECT_TRUE(exists(waves() + "/A.wav"));
    EXPECT_EQ(m_out.str(), "\nC:\\MPEG>INNER\n"
                           "\nC:\\MPEG>L3DEC C:\\MUSIC\\A.MP3 D:\\WAVES\\A.wav -wav \n");
}

// --- Scripts that run each other: every script stops with one message, in a moment ---

struct RunawayCase {
    const char* title;
    std::map<std::string, std::string> scripts; // in C:\MPEG; TOP.BAT is run
    std::string message;                        // what the one message starts with
};

void PrintTo(const RunawayCase& c, std::ostream* os) {
    *os << c.title;
}

class Runaway : public ConsoleRun, public ::testing::WithParamInterface<RunawayCase> {};

std::string lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += line + "\r\n";
    return text;
}

TEST_P(Runaway, StopsEveryScriptWithOneMessage) {
    const auto& c = GetParam();
    for (const auto& [name, text] : c.scripts)
        writeFile(mpeg() + "/" + name, text);
    writeFile(waves() + "/a.wav", "a");
    ScopedCurrentDirectory cd(mpeg());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_interpreter.runScript("TOP.BAT"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

    EXPECT_EQ(m_interpreter.failures(), 1u);
    const std::string err = m_err.str();
    EXPECT_EQ(err.rfind("tonwright-console: " + c.message, 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(", and no further line of any script runs\n"), std::string::npos) << err;
    // TOP.BAT's last line renames a.wav: it never runs.
    EXPECT_EQ(names(waves()), (std::set<std::string>{"a.wav"}));
    const std::string out = m_out.str();
    EXPECT_LE(static_cast<std::size_t>(std::count(out.begin(), out.end(), '>')),
              tw::console::maxNestedSteps + 10);

    // The next script runs as usual.
    writeFile(mpeg() + "/NEXT.BAT", "REN D:\\WAVES\\a.wav b.wav\r\n");
    EXPECT_TRUE(m_interpreter.runScript("NEXT.BAT")) << m_err.str();
    EXPECT_EQ(names(waves()), (std::set<std::string>{"b.wav"}));
}

const std::string renameLast = "REN D:\\WAVES\\a.wav b.wav\r\n";

// A chain never more than 4 deep whose scripts each run the next ten times, the last with
// 10,000 quiet lines: 10^7 lines without the bound.
std::map<std::string, std::string> fanOut() {
    std::map<std::string, std::string> scripts{{"TOP.BAT", "S1\r\n" + renameLast}};
    for (int i = 1; i <= 3; ++i)
        scripts["S" + std::to_string(i) + ".BAT"] = lines(10, "S" + std::to_string(i + 1));
    scripts["S4.BAT"] = lines(10'000, "@REM");
    return scripts;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Runaway,
    ::testing::Values(
        RunawayCase{"runs itself from each line",
                    {{"TOP.BAT", "SELF\r\n" + renameLast}, {"SELF.BAT", lines(10, "self")}},
                    "scripts run each other more than 8 deep, as a script that runs itself "
                    "does; "},
        RunawayCase{"two run each other",
                    {{"TOP.BAT", "PING\r\n" + renameLast},
                     {"PING.CMD", lines(10, "@PONG")},
                     {"PONG.CMD", lines(10, "PING.CMD")}},
                    "scripts run each other more than 8 deep"},
        RunawayCase{"fan out", fanOut(),
                    "scripts run by scripts have run 100000 lines and scripts in all, as "
                    "scripts that run each other over and over do; stopped in "}),
    tw::test::namedByValue());

// --- Hostile text: whatever a line holds, it runs the one program it names and nothing else ---

struct HostileCase {
    std::wstring line;
    std::vector<std::string> args;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << tw::text::toUtf8(c.line);
}

class HostileLines : public ConsoleRun, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileLines, RunOnlyTheNamedProgram) {
    const auto& c = GetParam();
    writeFile(mpeg() + "/victim", "keep");
    ScopedCurrentDirectory cd(mpeg());
    m_interpreter.setSearchPath(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    const auto before = snapshot(mpeg());
    (void)m_interpreter.runLine(c.line); // the stand-in fails: its input does not exist
    const auto runs = readDecoderLog(m_log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, c.args);
    EXPECT_EQ(snapshot(mpeg()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HostileLines,
    ::testing::Values(
        HostileCase{L"L3DEC x & rm victim", {"x", "&", "rm", "victim"}},
        HostileCase{L"L3DEC x && rm victim || rm victim",
                    {"x", "&&", "rm", "victim", "||", "rm", "victim"}},
        HostileCase{L"L3DEC x | cat victim", {"x", "|", "cat", "victim"}},
        HostileCase{L"L3DEC x >victim <victim 2>&1", {"x", ">victim", "<victim", "2>&1"}},
        HostileCase{L"L3DEC %PATH% %%PATH%% x%", {"%PATH%", "%PATH%", "x%"}},
        HostileCase{L"L3DEC \"a & rm victim.mp3\" a^&^ rm^ victim^|cat^>x.wav",
                    {"a & rm victim.mp3", "a& rm victim|cat>x.wav"}},
        HostileCase{L"L3DEC $(rm victim) `rm victim` ;rm victim",
                    {"$(rm", "victim)", "`rm", "victim`", ";rm", "victim"}},
        HostileCase{L"L3DEC (rm victim) \"^\" rm victim", {"(rm", "victim)", "^", "rm", "victim"}}),
    tw::test::namedByValue());

} // namespace
