// Decode and the console together on folders that look like a real music library: every file
// the batch did not make stays exactly as it was, and every selected file lands under its long
// name or is reported as left out. The stand-in decoder fails on sources that say "bad", as a
// damaged MP3 makes the real one fail.
#include "tests/support/CaseNames.h"
#include "tests/support/ConsoleTestSupport.h"
#include "tests/support/Medium.h"

#include "core/Decode.h"
#include "platform/Text.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDrives.h"
#include "tools/console/Console.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

using Kind = tw::DecodeResult::Kind;
namespace fs = std::filesystem;

// The formats in the order of the window's option buttons, and their outputs' extensions.
const std::vector<tw::OutputFormat> kFormats{tw::OutputFormat::Wav, tw::OutputFormat::Snd,
                                             tw::OutputFormat::Aiff, tw::OutputFormat::Aifc};
const std::vector<std::wstring> kExtensions{L"wav", L"snd", L"aiff", L"aifc"};

// Every entry below a folder by its path relative to it: files by content, folders as
// "<folder>", links as "-> target".
std::map<std::string, std::string> entriesBelow(const std::string& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = it->path().string().substr(root.size() + 1);
        if (it->is_symlink())
            entries[relative] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[relative] = "<folder>";
        else
            entries[relative] = tw::test::readFile(it->path().string());
    }
    return entries;
}

// Where a library's folders are: on the disk, drive D: an exFAT stick, both folders reached
// through links, or the output folder a link to the music folder.
enum class Where { Disk, ExFatStick, ThroughLinks, OutputLinksToMusic };

// A library on drives C: and D: over a temporary folder: the decoder folder C:\MPEG with the
// stand-in decoder, a music folder and an output folder (the same one, if a test says so).
class Library {
public:
    explicit Library(std::wstring music = L"C:\\MUSIC", std::wstring output = L"D:\\WAVES\\",
                     Where where = Where::Disk)
        : m_music(std::move(music)), m_output(std::move(output)), m_musicStore(m_music),
          m_outputStore(m_output) {
        if (where == Where::ExFatStick) {
            m_medium = std::make_unique<tw::test::Medium>(
                tw::test::Medium::Kind::ExFat, m_drives.root() + "/D", m_logFolder.path());
            if (!m_medium->whyNot().empty())
                return;
        }
        if (where == Where::ThroughLinks) {
            m_musicStore = L"C:\\Real Music";
            m_outputStore = L"D:\\Real Waves\\";
        } else if (where == Where::OutputLinksToMusic) {
            m_outputStore = m_music + L"\\";
        }
        m_drives.createDirectory(L"C:\\MPEG");
        m_drives.createDirectory(m_musicStore);
        m_drives.createDirectory(m_outputStore);
        if (m_musicStore != m_music)
            fs::create_symlink(native(m_musicStore), native(m_music));
        if (m_outputStore != m_output)
            fs::create_symlink(native(m_outputStore), native(m_output));
        fs::copy_file(TW_STANDIN_DECODER, m_drives.native(L"C:\\MPEG\\l3dec"));
        m_log = m_logFolder / "l3dec.log";
        ::setenv("TW_STANDIN_LOG", m_log.c_str(), 1);
    }
    ~Library() { ::unsetenv("TW_STANDIN_LOG"); }

    // Why the library's medium could not be mounted; empty when it is there.
    std::string whyNot() const { return m_medium ? m_medium->whyNot() : std::string(); }

    std::string native(const std::wstring& drivePath) const { return m_drives.native(drivePath); }
    std::string musicFile(const std::wstring& name) const {
        return native(m_musicStore + L"\\" + name);
    }
    std::string outputFile(const std::wstring& name) const { return native(m_outputStore + name); }
    // A track's path as the decoder is given it: through the link, where the folder is one.
    std::string sourceAsGiven(const std::wstring& name) const {
        return native(m_music + L"\\" + name);
    }

    void track(const std::wstring& name, const std::string& content = "an mp3") {
        m_drives.createFile(m_musicStore + L"\\" + name, content);
    }
    void output(const std::wstring& name, const std::string& content = "an earlier file") {
        m_drives.createFile(m_outputStore + name, content);
    }
    void outputFolder(const std::wstring& name) { m_drives.createDirectory(m_outputStore + name); }
    // A link to a file outside the drives, so that nothing the test does can reach it unseen.
    void outputLink(const std::wstring& name) {
        const std::string target = m_drives.root() + "/elsewhere-" + std::to_string(m_links++);
        tw::test::writeFile(target, "someone else's file");
        fs::create_symlink(target, outputFile(name));
    }

    std::map<std::string, std::string> entries() const { return entriesBelow(m_drives.root()); }
    // A native path below the drives as entries() names it.
    std::string relative(const std::string& native) const {
        return native.substr(m_drives.root().size() + 1);
    }

    // Decode as the window would, then run TEMP.BAT in the console as its window would.
    tw::DecodeResult decode(const std::vector<std::wstring>& selected, int format = 0) {
        tw::DecodeInput input;
        input.sourceFolder = m_music;
        input.entries = selected;
        input.selected.assign(selected.size(), true);
        input.format = kFormats[static_cast<std::size_t>(format)];
        tw::AppState state;
        state.DecoderPath = L"C:\\MPEG";
        state.Destination = m_output;
        tw::test::ScopedCurrentDirectory keep(m_drives.root());
        tw::test::RecordingPlatform recorder(m_drives.platform());
        const tw::DecodeResult result = tw::decodeNow(recorder, input, state);
        if (result.kind == Kind::Started) {
            script = tw::test::readFile(native(L"C:\\MPEG\\TEMP.BAT"));
            tw::test::ScopedCurrentDirectory cd(native(L"C:\\MPEG"));
            std::ostringstream out, err;
            tw::console::Interpreter interpreter(m_drives.platform(), out, err);
            interpreter.setSearchPath("");
            consoleOk = interpreter.runScript("TEMP.BAT");
            console = out.str() + err.str();
            failures = interpreter.failures();
            ::unlink(native(L"C:\\MPEG\\TEMP.BAT").c_str());
        }
        return result;
    }

    std::string log() const { return tw::test::readFile(m_log); }

    // Every entry below the drives, with the drives' own folder in contents as "<root>".
    std::map<std::string, std::string> portableEntries() const {
        auto all = entries();
        for (auto& [path, content] : all)
            for (std::size_t at; (at = content.find(m_drives.root())) != std::string::npos;)
                content.replace(at, m_drives.root().size(), "<root>");
        return all;
    }

    std::string script;
    std::string console;
    bool consoleOk = false;
    std::size_t failures = 0;

private:
    tw::test::TempDrives m_drives;
    tw::test::TempFolder m_logFolder;           // outside the drives: not one of the files compared
    std::unique_ptr<tw::test::Medium> m_medium; // unmounted before the folders go
    std::string m_log;
    std::wstring m_music; // as the user browses to them
    std::wstring m_output;
    std::wstring m_musicStore; // where their files are
    std::wstring m_outputStore;
    int m_links = 0;
};

// What a batch may change, given what was there before: each selected file's own long output,
// which must then hold its own decode, and nothing else. Returns what went wrong.
std::vector<std::string>
checkBatch(const Library& library, const std::vector<std::wstring>& selected, int format,
           const tw::DecodeResult& result, std::map<std::string, std::string> before,
           std::map<std::string, std::string> after, std::size_t* decoded = nullptr) {
    std::vector<std::string> faults;
    if (result.kind != Kind::Started && before != after)
        faults.push_back("Decode did not start, yet files changed");
    const auto relative = [&](const std::string& native) { return library.relative(native); };
    for (const std::wstring& name : selected) {
        const std::wstring newName = name.substr(0, name.size() - 3) + kExtensions[format];
        const std::string output = relative(library.outputFile(newName));
        const std::string source = library.musicFile(name);
        const bool leftOut = result.kind != Kind::Started ||
                             result.message.find(L"\"" + name + L"\": ") != std::wstring::npos;
        const auto sourceEntry = before.find(relative(source));
        const bool good = sourceEntry != before.end() && sourceEntry->second.rfind("bad", 0) != 0;
        const auto now = after.find(output);
        if (!leftOut && good) {
            if (now == after.end() ||
                now->second != "decoded from " + library.sourceAsGiven(name) + "\n")
                faults.push_back(tw::text::toUtf8(name) + " did not land as " + output);
            else if (decoded)
                ++*decoded;
        } else {
            const auto then = before.find(output);
            if ((then == before.end()) != (now == after.end()) ||
                (now != after.end() && now->second != then->second))
                faults.push_back(output + " changed although " + tw::text::toUtf8(name) +
                                 (leftOut ? " was left out" : " failed to decode"));
        }
        if (now != after.end())
            after.erase(now);
        before.erase(output);
    }
    for (const auto& [path, content] : before) {
        const auto now = after.find(path);
        if (now == after.end())
            faults.push_back(path + " is gone");
        else if (now->second != content)
            faults.push_back(path + " changed");
    }
    for (const auto& [path, content] : after)
        if (!before.count(path))
            faults.push_back(path + " appeared");
    return faults;
}

// --- Named cases ---

struct Setup {
    std::vector<std::pair<std::wstring, std::string>> tracks; // name, content
    std::vector<std::wstring> outputs{};                      // files already there
};

struct NamedCase {
    const char* label;
    Setup setup;
    std::vector<std::wstring> selected;
    int format;
    std::vector<std::wstring> leftOut; // the files the message names
};

void PrintTo(const NamedCase& c, std::ostream* out) {
    *out << c.label;
}

class NamedLibraryCase : public ::testing::TestWithParam<NamedCase> {};

TEST_P(NamedLibraryCase, OnlyTheBatchsOwnOutputsChange) {
    const NamedCase& c = GetParam();
    Library library;
    for (const auto& [name, content] : c.setup.tracks)
        library.track(name, content);
    for (const std::wstring& name : c.setup.outputs)
        library.output(name);
    const auto before = library.entries();

    const tw::DecodeResult result = library.decode(c.selected, c.format);

    const auto faults =
        checkBatch(library, c.selected, c.format, result, before, library.entries());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults) << "\n"
                                << library.script << library.console;
    for (const std::wstring& name : c.leftOut)
        EXPECT_NE(result.message.find(L"\"" + name + L"\": "), std::wstring::npos)
            << tw::text::toUtf8(result.message);
    if (c.leftOut.empty()) {
        EXPECT_EQ(result.message, L"");
    }
}

std::vector<std::pair<std::wstring, std::string>> tracks(std::vector<std::wstring> names) {
    std::vector<std::pair<std::wstring, std::string>> out;
    for (auto& name : names)
        out.emplace_back(std::move(name), "an mp3");
    return out;
}

std::vector<std::wstring> numbered(const std::wstring& stem, int count, const std::wstring& ext) {
    std::vector<std::wstring> names;
    for (int i = 1; i <= count; ++i)
        names.push_back(stem + std::to_wstring(i) + ext);
    return names;
}

INSTANTIATE_TEST_SUITE_P(
    Library, NamedLibraryCase,
    ::testing::Values(
        NamedCase{
            "NamesOnlyPosixAllows",
            {tracks({L"AC:DC - Back in Black.mp3", L"a|b.mp3", L"x<y>z.mp3", L"why?.mp3",
                     L"star*.mp3"})},
            {L"AC:DC - Back in Black.mp3", L"a|b.mp3", L"x<y>z.mp3", L"why?.mp3", L"star*.mp3"},
            0,
            {}},
        NamedCase{"CaseTwinOfAnotherAlbumsFileIsLeftAlone",
                  {tracks({L"intro.mp3", L"track01.mp3"}), {L"Intro.wav"}},
                  {L"intro.mp3", L"track01.mp3"},
                  0,
                  {L"intro.mp3"}},
        // LONGSO~1.wav and LONGSO~2.wav would be the short names of Long Song A.wav and
        // Long Song Z.wav: the console's REN, like cmd's, renames onto no other file's name.
        NamedCase{
            "NamesThatLookLikeShortNames",
            {tracks({L"Long Song A.mp3", L"LONGSO~1.MP3", L"LONGSO~2.MP3"}), {L"Long Song Z.wav"}},
            {L"Long Song A.mp3", L"LONGSO~1.MP3", L"LONGSO~2.MP3"},
            0,
            {L"LONGSO~1.MP3", L"LONGSO~2.MP3"}},
        NamedCase{"ADamagedTrackMidBatchShiftsNoShortName",
                  {{{L"Long Song A.mp3", "bad"},
                    {L"Long Song B.mp3", "an mp3"},
                    {L"Long Song C.mp3", "an mp3"}},
                   {L"Long Song Z.wav", L"Long Song Y.wav"}},
                  {L"Long Song A.mp3", L"Long Song B.mp3", L"Long Song C.mp3"},
                  0,
                  {}},
        NamedCase{"RedecodeInEveryFormat",
                  {tracks({L"Long Song A.mp3", L"track01.mp3"}),
                   {L"Long Song A.wav", L"track01.wav", L"Long Song A.snd", L"Long Song A.aiff",
                    L"Long Song A.aifc", L"track01.aifc"}},
                  {L"Long Song A.mp3", L"track01.mp3"},
                  3,
                  {}},
        NamedCase{"RedecodeThatFailsKeepsTheEarlierOutput",
                  {{{L"Long Song A.mp3", "bad"}, {L"track01.mp3", "bad"}},
                   {L"Long Song A.aiff", L"track01.aiff"}},
                  {L"Long Song A.mp3", L"track01.mp3"},
                  2,
                  {}},
        NamedCase{"OneUnsafeNameDoesNotStopTheOthers",
                  {tracks({L"say \"hi\".mp3", L"track01.mp3"})},
                  {L"say \"hi\".mp3", L"track01.mp3"},
                  0,
                  {L"say \"hi\".mp3"}},
        NamedCase{"FortyEightTracksOfOneAlbum",
                  {tracks(numbered(L"Some Artist - Track ", 48, L".mp3")),
                   numbered(L"Some Artist - Track ", 12, L".wav")},
                  numbered(L"Some Artist - Track ", 48, L".mp3"),
                  0,
                  {}}),
    [](const auto& tested) { return std::string(tested.param.label); });

// --- Media: the same batches onto an exFAT stick, through links, into the music folder ---

struct MediaCase {
    const char* label;
    Setup setup;
    std::vector<std::wstring> selected;
    int format;
    std::vector<std::wstring> leftOut;          // wherever the output folder is
    std::vector<std::wstring> leftOutOnStick{}; // besides, where it is an exFAT stick
    const wchar_t* reason = L"";                // a reason the message gives, if any
};

void PrintTo(const MediaCase& c, std::ostream* out) {
    *out << c.label;
}

class Media : public ::testing::TestWithParam<std::tuple<MediaCase, Where>> {};

TEST_P(Media, EveryFileLandsOrIsLeftOutForItsRealReason) {
    const auto& [c, where] = GetParam();
    Library library(L"C:\\MUSIC", L"D:\\WAVES\\", where);
    if (!library.whyNot().empty())
        GTEST_SKIP() << library.whyNot();
    for (const auto& [name, content] : c.setup.tracks)
        library.track(name, content);
    for (const std::wstring& name : c.setup.outputs)
        library.output(name);
    const auto before = library.entries();

    const tw::DecodeResult result = library.decode(c.selected, c.format);

    ASSERT_EQ(result.kind, Kind::Started) << tw::text::toUtf8(result.message);
    const auto faults =
        checkBatch(library, c.selected, c.format, result, before, library.entries());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults) << "\n"
                                << library.script << library.console;
    std::set<std::wstring> expected(c.leftOut.begin(), c.leftOut.end());
    if (where == Where::ExFatStick)
        expected.insert(c.leftOutOnStick.begin(), c.leftOutOnStick.end());
    for (const std::wstring& name : c.selected)
        EXPECT_EQ(result.message.find(L"\"" + name + L"\": ") != std::wstring::npos,
                  expected.count(name) != 0)
            << tw::text::toUtf8(name) << "\n"
            << tw::text::toUtf8(result.message);
    EXPECT_NE(result.message.find(c.reason), std::wstring::npos)
        << tw::text::toUtf8(result.message);
    EXPECT_EQ(library.failures, 0u) << library.console;
}

const wchar_t* const kTwinsReason = L"its output name \"\u00E4rger.wav\" would be the same name as "
                                    L"\"\u00C4rger.wav\", the output of \"\u00C4rger.mp3\"";
const std::wstring kLongestName = std::wstring(251, L'x') + L".mp3"; // 255 bytes

std::string mediaCaseName(const ::testing::TestParamInfo<std::tuple<MediaCase, Where>>& tested) {
    static const char* const places[] = {"Disk", "ExFatStick", "ThroughLinks",
                                         "OutputLinksToMusic"};
    return std::string(std::get<0>(tested.param).label) + "_" +
           places[static_cast<int>(std::get<1>(tested.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Library, Media,
    ::testing::Combine(
        ::testing::Values(MediaCase{"LowerCaseShortNames",
                                    {tracks({L"other.mp3", L"track01.mp3"})},
                                    {L"other.mp3", L"track01.mp3"},
                                    0,
                                    {}},
                          MediaCase{"MixedCase",
                                    {tracks({L"Mixed Case Song.mp3", L"MiXeD.mp3", L"UPPER.MP3"})},
                                    {L"Mixed Case Song.mp3", L"MiXeD.mp3", L"UPPER.MP3"},
                                    1,
                                    {}},
                          MediaCase{"CaseTwinOfAnotherAlbum",
                                    {tracks({L"intro.mp3", L"track02.mp3"}), {L"Intro.WAV"}},
                                    {L"intro.mp3", L"track02.mp3"},
                                    0,
                                    {L"intro.mp3"}},
                          MediaCase{"NamesAStickRefuses",
                                    {tracks({L"AC:DC.mp3", L"why?.mp3", L"fine.mp3"})},
                                    {L"AC:DC.mp3", L"why?.mp3", L"fine.mp3"},
                                    0,
                                    {},
                                    {L"AC:DC.mp3", L"why?.mp3"}},
                          MediaCase{"NamesAStickFoldsTogether",
                                    {tracks({L"\u03C2.mp3", L"fine.mp3"}), {L"\u03C3.wav"}},
                                    {L"\u03C2.mp3", L"fine.mp3"},
                                    0,
                                    {},
                                    {L"\u03C2.mp3"}},
                          MediaCase{"CaseTwinsSelected",
                                    {tracks({L"\u00C4rger.mp3", L"\u00E4rger.mp3"})},
                                    {L"\u00C4rger.mp3", L"\u00E4rger.mp3"},
                                    0,
                                    {L"\u00E4rger.mp3"},
                                    {},
                                    kTwinsReason},
                          MediaCase{"DecodedAgain",
                                    {tracks({L"track01.mp3", L"Long Song.mp3"}),
                                     {L"track01.aiff", L"Long Song.aiff"}},
                                    {L"track01.mp3", L"Long Song.mp3"},
                                    2,
                                    {}},
                          MediaCase{"TheLongestNameTakesNoLongerExtension",
                                    {tracks({kLongestName, L"short.mp3"})},
                                    {kLongestName, L"short.mp3"},
                                    2,
                                    {kLongestName}}),
        ::testing::Values(Where::Disk, Where::ExFatStick, Where::ThroughLinks,
                          Where::OutputLinksToMusic)),
    mediaCaseName);

TEST(LibraryCase, DeepArtistAlbumDiscFolders) {
    const std::wstring music =
        L"C:\\Music\\Some Artist\\2001 - Some Album (Deluxe Edition)\\Disc 1\\Bonus Tracks";
    Library library(music, L"D:\\Music\\Some Artist\\2001 - Some Album (Deluxe Edition)\\");
    const std::vector<std::wstring> selected{L"01 - The First Song.mp3",
                                             L"02 - The Second Song.mp3"};
    for (const std::wstring& name : selected)
        library.track(name);
    const auto before = library.entries();
    const tw::DecodeResult result = library.decode(selected);
    EXPECT_EQ(result.message, L"");
    const auto faults = checkBatch(library, selected, 0, result, before, library.entries());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults) << library.console;
}

TEST(LibraryCase, AnOutputFolderRemovedAfterItWasChosenRefusesDecode) {
    Library library(L"C:\\MUSIC", L"D:\\WAVES\\GONE\\");
    library.track(L"My Song.mp3");
    fs::remove(library.native(L"D:\\WAVES\\GONE"));
    const auto before = library.entries();
    const tw::DecodeResult result = library.decode({L"My Song.mp3"});
    EXPECT_EQ(result.kind, Kind::Refused);
    EXPECT_NE(result.message.find(L"D:\\WAVES\\GONE\\"), std::wstring::npos);
    EXPECT_EQ(library.entries(), before);
}

TEST(LibraryCase, TheMusicFolderIsTheOutputFolder) {
    Library library(L"C:\\MUSIC", L"C:\\MUSIC\\");
    const std::vector<std::wstring> selected{L"Long Song A.mp3", L"Long Song B.mp3",
                                             L"track01.mp3"};
    for (const std::wstring& name : selected)
        library.track(name);
    library.output(L"Long Song A.wav");
    const auto before = library.entries();
    const tw::DecodeResult result = library.decode(selected);
    const auto faults = checkBatch(library, selected, 0, result, before, library.entries());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults) << library.console;
}

TEST(LibraryCase, FoldersAndLinksAtAnOutputNameAreLeftAlone) {
    Library library;
    const std::vector<std::wstring> selected{L"Long Song A.mp3", L"Long Song B.mp3",
                                             L"track01.mp3"};
    for (const std::wstring& name : selected)
        library.track(name);
    library.outputFolder(L"Long Song A.wav");
    library.outputLink(L"Long Song B.wav");
    const auto before = library.entries();
    const tw::DecodeResult result = library.decode(selected);
    const auto faults = checkBatch(library, selected, 0, result, before, library.entries());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults) << library.console;
    EXPECT_NE(result.message.find(L"\"Long Song A.mp3\": the output folder holds a folder"),
              std::wstring::npos);
    EXPECT_NE(result.message.find(L"\"Long Song B.mp3\": the output folder holds a link"),
              std::wstring::npos);
}

// --- Random libraries ---

// Pieces that collide on purpose: case twins, names that look like short names, long names
// that share their short names' first characters, names only POSIX allows, one basis crowded
// past ~9.
const std::vector<std::wstring> kStems{
    L"Long Song A", L"Long Song B", L"long song a", L"LONGSO~1", L"longso~2", L"LONGSO~3",
    L"Intro",       L"intro",       L"INTRO",       L"track01",  L"TRACK01",  L"AC:DC - Back",
    L"a|b",         L"why?",        L"say \"hi\"",  L"Café",     L"CAFÉ",     L"a~b c",
    L"Long Song Z", L"LONGSO_1",    L"TRACK0_1",    L"x"};

std::wstring randomStem(std::mt19937& random) {
    if (random() % 4 == 0)
        return L"Some Artist - Track " + std::to_wstring(random() % 14);
    return kStems[random() % kStems.size()];
}

// A random library: colliding sources (one in eight damaged), files, folders and links at
// output names, and a random selection. The same generator state makes the same library.
struct RandomBatch {
    std::unique_ptr<Library> library;
    std::vector<std::wstring> selected;
    int format = 0;
};

RandomBatch randomBatch(std::mt19937& random) {
    RandomBatch batch;
    const bool sameFolder = random() % 5 == 0;
    batch.library =
        std::make_unique<Library>(L"C:\\MUSIC", sameFolder ? L"C:\\MUSIC\\" : L"D:\\WAVES\\");
    Library& library = *batch.library;
    const int format = batch.format = static_cast<int>(random() % 4);
    std::set<std::wstring> sources;
    const int count = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
        const std::wstring ext[] = {L".mp3", L".MP3", L".Mp3"};
        const std::wstring name = randomStem(random) + ext[random() % 3];
        if (sources.insert(name).second)
            library.track(name, random() % 8 == 0 ? "bad" : "an mp3");
    }
    const int present = static_cast<int>(random() % 6);
    for (int i = 0; i < present; ++i) {
        const std::wstring name = randomStem(random) + L"." +
                                  (random() % 3 ? kExtensions[format] : kExtensions[random() % 4]);
        if (sources.count(name) || fs::exists(library.outputFile(name)) ||
            fs::is_symlink(library.outputFile(name)))
            continue;
        switch (random() % 8) {
        case 0:
            library.outputFolder(name);
            break;
        case 1:
            library.outputLink(name);
            break;
        default:
            library.output(name);
            break;
        }
    }
    std::vector<std::wstring> selected;
    for (const std::wstring& name : sources)
        if (random() % 4 != 0)
            selected.push_back(name);
    if (selected.empty())
        selected.push_back(*sources.begin());
    batch.selected = std::move(selected);
    return batch;
}

class RandomLibraries : public ::testing::TestWithParam<int> {};

TEST_P(RandomLibraries, TouchNothingButTheirOwnOutputs) {
#ifdef TW_FEWER_RANDOM_CASES
    constexpr int kCases = 25;
#else
    constexpr int kCases = 250;
#endif
    std::mt19937 random(20261207u + static_cast<unsigned>(GetParam()));
    std::size_t selectedGood = 0;
    std::size_t decoded = 0;
    for (int round = 0; round < kCases; ++round) {
        RandomBatch batch = randomBatch(random);
        Library& library = *batch.library;
        const std::vector<std::wstring>& selected = batch.selected;
        const int format = batch.format;
        const auto before = library.entries();
        for (const std::wstring& name : selected)
            if (before.at(library.relative(library.musicFile(name))) != "bad")
                ++selectedGood;

        const tw::DecodeResult result = library.decode(selected, format);

        const auto faults =
            checkBatch(library, selected, format, result, before, library.entries(), &decoded);
        ASSERT_TRUE(faults.empty())
            << "round " << round << ": " << ::testing::PrintToString(faults) << "\n"
            << library.script << library.console;
    }
    // Leaving everything out would pass the checks above: most files must land.
    EXPECT_GT(decoded * 2, selectedGood) << decoded << " of " << selectedGood << " landed";
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomLibraries, ::testing::Range(0, 8), tw::test::namedByValue());

} // namespace
