// Decode over real files: a drive map of temporary folders, short names from the platform's
// own generator, TEMP.BAT read back from disk. Nothing is started: a recording platform stands
// in for the console.
#include "core/Decode.h"
#include "core/Module1.h"
#include "core/Script.h"
#include "platform/Text.h"
#include "tests/support/CaseNames.h"
#include "tests/support/ConsoleReader.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDrives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Kind = tw::DecodeResult::Kind;
using tw::text::toUtf8;

// Drives C: and D: over temporary folders, with C:\MPEG, C:\MUSIC and D:\WAVES in place. The
// process's current directory is put back afterwards, since Decode changes it.
class Drives {
public:
    Drives() : m_cwd(fs::current_path()) {
        m_drives.createDirectory(L"C:\\MPEG");
        m_drives.createDirectory(L"C:\\MUSIC");
        m_drives.createDirectory(L"D:\\WAVES");
        recording = std::make_unique<tw::test::RecordingPlatform>(m_drives.platform());
        input.sourceFolder = L"C:\\MUSIC";
        state.Destination = L"D:\\WAVES\\";
        state.DecoderPath = L"C:\\MPEG";
    }
    ~Drives() {
        std::error_code ignored;
        fs::current_path(m_cwd, ignored);
    }

    fs::path c(const fs::path& relative = {}) const {
        return fs::path(m_drives.native(L"C:\\")) / relative;
    }
    fs::path d(const fs::path& relative = {}) const {
        return fs::path(m_drives.native(L"D:\\")) / relative;
    }
    void touch(const fs::path& native) const { std::ofstream(native).put('\0'); }
    fs::path track(const std::wstring& name) {
        const fs::path native = c("MUSIC") / m_drives.platform().toEightBit(name);
        touch(native);
        return native;
    }
    void select(const std::vector<std::wstring>& names) {
        input.entries = names;
        input.selected.assign(names.size(), true);
    }
    tw::DecodeResult decode() { return tw::decodeNow(*recording, input, state); }
    // What Decode must write for `of`: the builder's text in the console's characters.
    std::string builtScript(const tw::DecodeInput& of) {
        return tw::buildBatchScript(platform(), of, state).bytes;
    }
    bool scriptExists() const { return fs::exists(c("MPEG/TEMP.BAT")); }
    std::string scriptBytes() const {
        std::ifstream in(c("MPEG/TEMP.BAT"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    tw::Platform& platform() { return m_drives.platform(); }

    std::unique_ptr<tw::test::RecordingPlatform> recording;
    tw::DecodeInput input;
    tw::AppState state;

private:
    fs::path m_cwd;
    tw::test::TempDrives m_drives;
};

// The script goes into the decoder folder whole, in place of any earlier one, and starts there.
TEST(DecodeFilesTest, WritesTheBuiltScriptOverAnEarlierOneAndStartsItThere) {
    Drives drives;
    std::ofstream(drives.c("MPEG/TEMP.BAT")) << std::string(5000, 'x');
    drives.track(L"track01.mp3");
    drives.track(L"Long Song Title.mp3");
    drives.select({L"track01.mp3", L"Long Song Title.mp3"});
    const std::string expected = drives.builtScript(drives.input);

    const tw::DecodeResult result = drives.decode();

    ASSERT_EQ(result.kind, Kind::Started) << toUtf8(result.message);
    EXPECT_EQ(drives.scriptBytes(), expected);
    EXPECT_EQ(drives.recording->batchStarts.size(), 1u);
    EXPECT_EQ(drives.platform().currentDirectory(), L"C:\\MPEG");
}

// TEMP.BAT is always a new file of its own: a link of that name is replaced, not written
// through, and a pipe of that name is replaced, not waited on.
TEST(DecodeFilesTest, TempBatIsANewFileWhateverHadItsName) {
    for (const bool pipe : {false, true}) {
        Drives drives;
        drives.track(L"track01.mp3");
        drives.select({L"track01.mp3"});
        const fs::path script = drives.c("MPEG/TEMP.BAT");
        const std::string expected = drives.builtScript(drives.input);
        std::ofstream(drives.c("elsewhere")) << "someone else's";
        if (pipe)
            ASSERT_EQ(::mkfifo(script.c_str(), 0600), 0);
        else
            fs::create_symlink(drives.c("elsewhere"), script);
        ASSERT_EQ(drives.decode().kind, Kind::Started);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(script)));
        EXPECT_EQ(drives.scriptBytes(), expected);
        EXPECT_EQ(tw::test::TempDrives::readNative(drives.c("elsewhere")), "someone else's");
    }
}

// A decoder folder the user may not write gets one message that says what to do. As root, an
// ordinary user stands in.
TEST(DecodeFilesTest, ADecoderFolderTheUserMayNotWriteSaysWhatToDo) {
    Drives drives;
    drives.track(L"track01.mp3");
    drives.select({L"track01.mp3"});
    for (const fs::path& folder : {drives.c("MPEG").parent_path().parent_path(), drives.c(),
                                   drives.c("MUSIC"), drives.d(), drives.d("WAVES")})
        fs::permissions(folder, fs::perms(0755));
    fs::permissions(drives.c("MPEG"), fs::perms(0555));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(3);
        const tw::DecodeResult result = drives.decode();
        const bool clear =
            result.kind == Kind::Failed &&
            result.message.find(L"Permission denied") != std::wstring::npos &&
            result.message.find(L"Options > Setup") != std::wstring::npos &&
            result.message.find(L"Cannot write") != std::wstring::npos &&
            result.message.find(L"Cannot write") == result.message.rfind(L"Cannot write");
        ::_exit(clear ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::permissions(drives.c("MPEG"), fs::perms(0755));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(drives.scriptExists());
}

// Names full of characters the console acts on: the script must hand each of them back
// unchanged to a console that reads it.
class HostileNameTest : public ::testing::TestWithParam<std::wstring> {};

TEST_P(HostileNameTest, ConsoleReadsBackTheSameName) {
    const std::wstring& name = GetParam();
    Drives drives;
    drives.track(name);
    drives.select({name});

    const tw::DecodeResult result = drives.decode();

    ASSERT_EQ(result.kind, Kind::Started) << toUtf8(result.message);
    const std::wstring shortSource = tw::ShortPath(drives.platform(), L"C:\\MUSIC\\" + name);
    ASSERT_FALSE(shortSource.empty());
    const std::wstring shortTitle = tw::LastPathPart(shortSource);
    const std::wstring output =
        L"D:\\WAVES\\" + shortTitle.substr(0, shortTitle.size() - 3) + L"wav";
    const auto lines = tw::test::scriptLines(drives.platform().fromEightBit(drives.scriptBytes()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(tw::test::consoleArguments(lines[0]),
              (std::vector<std::wstring>{L"L3DEC", shortSource, output, L"-wav"}));
    EXPECT_EQ(
        tw::test::consoleArguments(lines[1]),
        (std::vector<std::wstring>{L"REN", output, name.substr(0, name.size() - 3) + L"wav"}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNameTest,
    ::testing::Values(L"rock & roll.mp3", L"a&b.mp3", L"&&||.mp3", L"100% pure.mp3", L"%PATH%.mp3",
                      L"50%.mp3", L"%%~dp0.mp3", L"%1 ^& (x).mp3", L"caret^up.mp3", L"^.mp3",
                      L"(live).mp3", L"remix (2).mp3", L"bang!.mp3", L"it's.mp3", L"a,b;c=d.mp3",
                      L"pipe|and<angle>.mp3", L" leading blank.mp3", L"trailing blank .mp3",
                      L"ends in blanks.mp3  ", L"caf\u00e9.mp3", L"\u65e5\u672c\u306e\u6b4c.mp3",
                      L"\U0001F3B5 emoji \U0001F3B6.mp3",
                      L"Long " + std::wstring(191, L'x') + L".mp3", L"two..dots.mp3", L"a.b.c.mp3",
                      L"LOUD.MP3", L"Mixed.Mp3", L"tilde~1.mp3", L"back`tick $dollar @at #hash.mp3",
                      L"[brackets] {braces}.mp3"),
    tw::test::namedByValue());

// Names that no script line can carry are left out, even when such files exist on disk; the
// others go ahead.
class UncarriableNameTest : public ::testing::TestWithParam<std::wstring> {};

TEST_P(UncarriableNameTest, IsLeftOut) {
    Drives drives;
    drives.track(L"track01.mp3");
    drives.track(GetParam());
    drives.select({L"track01.mp3", GetParam()});
    tw::DecodeInput without = drives.input;
    without.selected[1] = false;
    const std::string expected = drives.builtScript(without);

    const tw::DecodeResult result = drives.decode();

    ASSERT_EQ(result.kind, Kind::Started);
    EXPECT_NE(result.message.find(tw::visibleText(GetParam())), std::wstring::npos)
        << toUtf8(result.message);
    EXPECT_EQ(drives.scriptBytes(), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, UncarriableNameTest,
                         ::testing::Values(L"say \"hi\".mp3", L"line\rbreak.mp3",
                                           L"line\nbreak.mp3", L"\"\".mp3", L"x\nREN a b.mp3"),
                         tw::test::namedByValue());

TEST(DecodeFilesTest, NothingSelectedWritesNoFile) {
    Drives drives;
    drives.track(L"track01.mp3");
    drives.input.entries = {L"track01.mp3"};
    drives.input.selected = {false};
    EXPECT_EQ(drives.decode().kind, Kind::NothingSelected);
    EXPECT_FALSE(drives.scriptExists());
    EXPECT_TRUE(drives.recording->batchStarts.empty());
}

// The short form comes back whole however long it is: a deep Artist\Album\Disc folder needs
// more than 64 characters.
struct ShortPathCase {
    const char* label;
    const char* native; // below C:, created as nested folders and a file
    const wchar_t* path;
    const wchar_t* expected;
};

void PrintTo(const ShortPathCase& c, std::ostream* out) {
    *out << c.label;
}

class ShortPathTest : public ::testing::TestWithParam<ShortPathCase> {};

TEST_P(ShortPathTest, ComesBackWhole) {
    Drives drives;
    const fs::path native = drives.c(GetParam().native);
    fs::create_directories(native.parent_path());
    drives.touch(native);
    const std::wstring result = tw::ShortPath(drives.platform(), GetParam().path);
    EXPECT_EQ(result, GetParam().expected);
    EXPECT_EQ(result.find(L'\0'), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ShortPathTest,
    ::testing::Values(
        ShortPathCase{"Missing", "MUSIC/a.mp3", L"C:\\MUSIC\\b.mp3", L""},
        ShortPathCase{"SixtyThree", "AAAAAAAA/BBBBBBBB/CCCCCCCC/DDDDDDDD/EEEEEEEE/FFFFFFFF/GGGGGG",
                      L"C:\\AAAAAAAA\\BBBBBBBB\\CCCCCCCC\\DDDDDDDD\\EEEEEEEE\\FFFFFFFF\\GGGGGG",
                      L"C:\\AAAAAAAA\\BBBBBBBB\\CCCCCCCC\\DDDDDDDD\\EEEEEEEE\\FFFFFFFF\\GGGGGG"},
        ShortPathCase{"SixtyFour", "AAAAAAAA/BBBBBBBB/CCCCCCCC/DDDDDDDD/EEEEEEEE/FFFFFFFF/GGGGGGG",
                      L"C:\\AAAAAAAA\\BBBBBBBB\\CCCCCCCC\\DDDDDDDD\\EEEEEEEE\\FFFFFFFF\\GGGGGGG",
                      L"C:\\AAAAAAAA\\BBBBBBBB\\CCCCCCCC\\DDDDDDDD\\EEEEEEEE\\FFFFFFFF\\GGGGGGG"},
        ShortPathCase{
            "DeepLibrary",
            "Library/Some Artist/2001 - Some Album (Deluxe Edition)/Disc 1/Bonus Tracks/"
            "Live Recordings/01 - The First Song.mp3",
            L"C:\\Library\\Some Artist\\2001 - Some Album (Deluxe Edition)\\Disc 1\\"
            L"Bonus Tracks\\Live Recordings\\01 - The First Song.mp3",
            L"C:\\LIBRARY\\SOMEAR~1\\2001-S~1\\DISC1~1\\BONUST~1\\LIVERE~1\\01-THE~1.MP3"},
        ShortPathCase{"LongFormShortEnough",
                      "Long Folder Name/Another Long Folder/Third Long Folder/Fourth One/"
                      "Fifth Long Folder/Long Song Title.mp3",
                      L"C:\\Long Folder Name\\Another Long Folder\\Third Long Folder\\Fourth One\\"
                      L"Fifth Long Folder\\Long Song Title.mp3",
                      L"C:\\LONGFO~1\\ANOTHE~1\\THIRDL~1\\FOURTH~1\\FIFTHL~1\\LONGSO~1.MP3"}),
    [](const auto& tested) { return std::string(tested.param.label); });

} // namespace
