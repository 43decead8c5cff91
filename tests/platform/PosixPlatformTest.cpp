#include "platform/posix/PosixPlatform.h"
#include "platform/names/DirectoryCache.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDrives.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using tw::test::TempDrives;

std::string shortPath(const tw::Platform& platform, const std::string& path,
                      std::uint32_t size = 64) {
    std::vector<char> buffer(size + 1, '#');
    const std::uint32_t result = platform.GetShortPathNameA(path.c_str(), buffer.data(), size);
    if (result == 0 || result >= size) {
        std::string failed = "<";
        failed += std::to_string(result);
        return failed += '>';
    }
    return std::string(buffer.data());
}

std::vector<std::string> nativeNames(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// --- Drive map ---

TEST(DriveMap, ListsEachLetterWithItsRoot) {
    TempDrives drives({L'C', L'D', L'E'});
    const std::vector<tw::Drive> list = drives.platform().drives();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].letter, L"C:");
    EXPECT_EQ(list[2].letter, L"E:");
    EXPECT_EQ(list[1].label, L"[" + drives.platform().fromEightBit(drives.root()) + L"/D]");
}

TEST(DriveMap, TakesMediaMountsFromTheMountTable) {
    const std::string mounts = "/dev/sda1 / ext4 rw 0 0\n"
                               "proc /proc proc rw 0 0\n"
                               "/dev/sdc1 /run/media/ann/My\\040Stick vfat rw 0 0\n"
                               "/dev/sdb1 /media/usb vfat rw 0 0\n"
                               "/dev/sdd1 /mnt ext4 rw 0 0\n"
                               "/dev/sde1 /mediastore ext4 rw 0 0\n"
                               "/dev/sdb1 /media/usb vfat rw 0 0\n";
    const auto map = tw::posix::driveMapFromMounts(mounts);
    ASSERT_EQ(map.size(), 4u);
    EXPECT_EQ(map[0].letter, L'C');
    EXPECT_EQ(map[0].nativeRoot, "/");
    EXPECT_EQ(map[1].letter, L'D');
    EXPECT_EQ(map[1].nativeRoot, "/media/usb");
    EXPECT_EQ(map[2].nativeRoot, "/mnt");
    EXPECT_EQ(map[3].letter, L'F');
    EXPECT_EQ(map[3].nativeRoot, "/run/media/ann/My Stick");
}

// Runs in order, each with the memory the ones before left: a letter stays with its mount
// point while media come and go, and a new mount gets a letter nobody had.
TEST(DriveMap, LettersStayWithTheirMountPoints) {
    using Memory = tw::posix::LetterMemory;
    struct Run {
        std::vector<std::string> mounted;
        std::map<wchar_t, std::string> expected; // besides C:
    };
    const std::vector<Run> runs{
        {{"/media/usb"}, {{L'D', "/media/usb"}}},
        // A second stick that sorts first does not take D: away.
        {{"/media/a", "/media/usb"}, {{L'D', "/media/usb"}, {L'E', "/media/a"}}},
        {{"/media/a"}, {{L'E', "/media/a"}}},
        {{"/media/b"}, {{L'F', "/media/b"}}},
        {{"/media/usb", "/media/b"}, {{L'D', "/media/usb"}, {L'F', "/media/b"}}},
    };
    Memory memory;
    for (const Run& run : runs) {
        std::string table = "/dev/sda1 / ext4 rw 0 0\n";
        for (const std::string& mountPoint : run.mounted)
            table += "/dev/sdx " + mountPoint + " vfat rw 0 0\n";
        // The memory goes through its stored text between runs.
        memory = tw::posix::readLetterMemory(tw::posix::letterMemoryText(memory));
        const auto map = tw::posix::driveMapFromMounts(table, memory);
        std::map<wchar_t, std::string> given;
        for (std::size_t i = 1; i < map.size(); ++i)
            given[map[i].letter] = map[i].nativeRoot;
        EXPECT_EQ(map.at(0).nativeRoot, "/");
        EXPECT_EQ(given, run.expected) << table;
    }
}

TEST(DriveMap, RememberedMountPointsKeepBlanksAndBackslashes) {
    const tw::posix::LetterMemory memory{{L'D', "/media/ann/My Stick"}, {L'E', "/mnt/a\\b\tc"}};
    EXPECT_EQ(tw::posix::readLetterMemory(tw::posix::letterMemoryText(memory)), memory);
    EXPECT_EQ(tw::posix::readLetterMemory("junk\nC: /\nQ: relative\nd: /x\n"),
              (tw::posix::LetterMemory{{L'D', "/x"}}));
}

// Once every letter was given, a new mount takes the first whose mount point is not there.
TEST(DriveMap, ANewMountTakesAnUnmountedLetterOnceAllAreGiven) {
    tw::posix::LetterMemory memory;
    for (wchar_t letter = L'D'; letter <= L'Z'; ++letter)
        memory[letter] = "/media/old" + std::to_string(letter - L'D');
    const auto map =
        tw::posix::driveMapFromMounts("/dev/sda1 / ext4 rw 0 0\n/dev/sdx /media/old0 vfat rw 0 0\n"
                                      "/dev/sdy /media/new vfat rw 0 0\n",
                                      memory);
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map[1].letter, L'D');
    EXPECT_EQ(map[2].letter, L'E');
    EXPECT_EQ(map[2].nativeRoot, "/media/new");
    EXPECT_EQ(memory.at(L'E'), "/media/new");
}

TEST(DriveMap, DrivePathTakesTheLongestRoot) {
    TempDrives drives({L'C'});
    tw::posix::PosixPlatform platform(
        {{L'C', drives.root() + "/C"}, {L'd', drives.root() + "/C/media/usb/"}});
    const std::string c = drives.root() + "/C";
    EXPECT_EQ(platform.drivePath(c), L"C:\\");
    EXPECT_EQ(platform.drivePath(c + "/"), L"C:\\");
    EXPECT_EQ(platform.drivePath(c + "/media"), L"C:\\media");
    EXPECT_EQ(platform.drivePath(c + "/media/usb"), L"D:\\");
    EXPECT_EQ(platform.drivePath(c + "/media/usb2/x"), L"C:\\media\\usb2\\x");
    EXPECT_EQ(platform.drivePath(c + "/media/usb/Music/caf\xC3\xA9/"), L"D:\\Music\\café");
    EXPECT_EQ(platform.drivePath(c + "/./a//b/../c"), L"C:\\a\\c");
    EXPECT_EQ(platform.drivePath(drives.root()), L"");
    EXPECT_EQ(platform.drivePath("relative/path"), L"");
    EXPECT_EQ(platform.drivePath(c + "/back\\slash"), L"");
}

// --- Drive path -> native path ---

class NativePaths : public ::testing::Test {
protected:
    void SetUp() override {
        drives.createFile(L"C:\\Music\\track01.mp3");
        drives.createFile(L"C:\\Music\\Long Song Title.mp3");
        drives.createFile(L"C:\\Music\\Case\\a.txt");
        drives.createFile(L"C:\\Music\\case\\b.txt");
        drives.createDirectory(L"D:\\WAVES");
    }
    std::string c(const std::string& relative) { return drives.root() + "/C" + relative; }

    TempDrives drives;
};

TEST_F(NativePaths, ResolveEachComponentWithoutRegardToCase) {
    const tw::Platform& p = drives.platform();
    EXPECT_EQ(p.nativePath(L"C:\\"), c(""));
    EXPECT_EQ(p.nativePath(L"c:"), c(""));
    EXPECT_EQ(p.nativePath(L"C:\\MUSIC\\TRACK01.MP3"), c("/Music/track01.mp3"));
    EXPECT_EQ(p.nativePath(L"c:/music/long song title.MP3"), c("/Music/Long Song Title.mp3"));
    EXPECT_EQ(p.nativePath(L"C:\\MUSIC\\LONGSO~1.MP3"), c("/Music/Long Song Title.mp3"));
    EXPECT_EQ(p.nativePath(L"C:\\MUSIC\\longso~1.mp3"), c("/Music/Long Song Title.mp3"));
    EXPECT_EQ(p.nativePath(L"D:\\waves\\"), drives.root() + "/D/WAVES");
    // Exact names first; an ambiguous case-insensitive name falls to the short-name owner.
    EXPECT_EQ(p.nativePath(L"C:\\Music\\case\\b.txt"), c("/Music/case/b.txt"));
    EXPECT_EQ(p.nativePath(L"C:\\Music\\Case\\a.txt"), c("/Music/Case/a.txt"));
    EXPECT_EQ(p.nativePath(L"C:\\Music\\CASE"), c("/Music/Case"));
}

TEST_F(NativePaths, KeepMissingComponentsAsWritten) {
    const tw::Platform& p = drives.platform();
    EXPECT_EQ(p.nativePath(L"D:\\WAVES\\TRACK01.wav"), drives.root() + "/D/WAVES/TRACK01.wav");
    EXPECT_EQ(p.nativePath(L"C:\\music\\New\\LONGSO~1.MP3"), c("/Music/New/LONGSO~1.MP3"));
    EXPECT_EQ(p.nativePath(L"C:\\music\\track01.mp3\\x"), c("/Music/track01.mp3/x"));
}

TEST_F(NativePaths, DotsStayInsideTheDrive) {
    const tw::Platform& p = drives.platform();
    EXPECT_EQ(p.nativePath(L"C:\\..\\..\\music"), c("/Music"));
    EXPECT_EQ(p.nativePath(L"C:\\music\\.\\..\\MUSIC\\.\\track01.mp3"), c("/Music/track01.mp3"));
    EXPECT_EQ(p.nativePath(L"C:\\music\\nope\\..\\track01.mp3"), c("/Music/track01.mp3"));
}

TEST_F(NativePaths, RejectTextThatIsNoDrivePath) {
    const tw::Platform& p = drives.platform();
    for (const wchar_t* text : {L"", L"C", L"MUSIC\\x", L"\\MUSIC", L"C:MUSIC", L"1:\\", L"Z:\\",
                                L"\\\\server\\share", L"é:\\"})
        EXPECT_EQ(p.nativePath(text), "") << p.toEightBit(text);
    EXPECT_EQ(p.nativePath(std::wstring(L"C:\\Music\\track01.mp3\0.txt", 25)), "");
}

TEST_F(NativePaths, ExistsIsDirectoryAndSameEntry) {
    const tw::Platform& p = drives.platform();
    EXPECT_TRUE(p.exists(L"C:\\MUSIC\\LONGSO~1.MP3"));
    EXPECT_FALSE(p.exists(L"C:\\MUSIC\\LONGSO~2.MP3"));
    EXPECT_TRUE(p.isDirectory(L"c:\\music"));
    EXPECT_TRUE(p.isDirectory(L"D:\\"));
    EXPECT_FALSE(p.isDirectory(L"C:\\MUSIC\\track01.mp3"));
    EXPECT_TRUE(p.sameEntry(L"C:\\MUSIC\\LONGSO~1.MP3", L"c:\\Music\\Long Song Title.mp3"));
    EXPECT_FALSE(p.sameEntry(L"C:\\MUSIC\\LONGSO~1.MP3", L"C:\\MUSIC\\TRACK01.MP3"));
    EXPECT_FALSE(p.sameEntry(L"C:\\MUSIC\\nope", L"C:\\MUSIC\\nope"));
}

// --- Short names ---

TEST_F(NativePaths, ShortNamesOfExistingPaths) {
    const tw::Platform& p = drives.platform();
    EXPECT_EQ(shortPath(p, "C:\\Music\\track01.mp3"), "C:\\MUSIC\\TRACK01.MP3");
    EXPECT_EQ(shortPath(p, "C:\\Music\\Long Song Title.mp3"), "C:\\MUSIC\\LONGSO~1.MP3");
    EXPECT_EQ(shortPath(p, "c:\\music\\long song title.mp3"), "c:\\MUSIC\\LONGSO~1.MP3");
    EXPECT_EQ(shortPath(p, "C:\\"), "C:\\");
    EXPECT_EQ(shortPath(p, "d:\\"), "d:\\");
    EXPECT_EQ(shortPath(p, "D:\\WAVES\\"), "D:\\WAVES\\");
    EXPECT_EQ(shortPath(p, "C:\\Music\\Case\\"), "C:\\MUSIC\\CASE\\");
    EXPECT_EQ(shortPath(p, "C:\\Music\\case\\b.txt"), "C:\\MUSIC\\CASE~1\\B.TXT");
    EXPECT_EQ(shortPath(p, "C:/Music/./Case/../track01.mp3"), "C:\\MUSIC\\TRACK01.MP3");
}

TEST_F(NativePaths, ShortNameOfAMissingPathIsZeroAndLeavesTheBuffer) {
    const tw::Platform& p = drives.platform();
    for (const char* missing : {"C:\\Music\\nope.mp3", "C:\\nope\\track01.mp3", "Z:\\", "MUSIC",
                                "C:\\Music\\track01.mp3\\", "C:\\Music\\track01.mp3\\x", ""}) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(p.GetShortPathNameA(missing, buffer, sizeof buffer), 0u) << missing;
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(64, '#')) << missing;
    }
    EXPECT_EQ(p.GetShortPathNameA(nullptr, nullptr, 0), 0u);
}

TEST(ShortPathBuffer, SixtyThreeCharactersFitSixtyFourDoNot) {
    TempDrives drives;
    const std::wstring deep = L"C:\\Long directory one\\Long directory one\\Long directory one"
                              L"\\Long directory one\\Long directory one";
    drives.createFile(deep + L"\\AB\\Long Song Title.mp3");
    drives.createFile(deep + L"\\ABC\\Long Song Title.mp3");
    const tw::Platform& p = drives.platform();
    const std::string fits =
        "C:\\LONGDI~1\\LONGDI~1\\LONGDI~1\\LONGDI~1\\LONGDI~1\\AB\\LONGSO~1.MP3";
    const std::string tooLong =
        "C:\\LONGDI~1\\LONGDI~1\\LONGDI~1\\LONGDI~1\\LONGDI~1\\ABC\\LONGSO~1.MP3";
    ASSERT_EQ(fits.size(), 63u);
    ASSERT_EQ(tooLong.size(), 64u);

    const std::string longFits = p.toEightBit(deep + L"\\AB\\Long Song Title.mp3");
    const std::string longTooLong = p.toEightBit(deep + L"\\ABC\\Long Song Title.mp3");
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(p.GetShortPathNameA(longFits.c_str(), buffer, 64), 63u);
    EXPECT_EQ(std::string(buffer), fits);

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(p.GetShortPathNameA(longTooLong.c_str(), buffer, 64), 65u);
    EXPECT_EQ(std::string(buffer, 64), std::string(64, '#'));
    // The needed length is enough.
    char bigger[65];
    EXPECT_EQ(p.GetShortPathNameA(longTooLong.c_str(), bigger, 65), 64u);
    EXPECT_EQ(std::string(bigger), tooLong);
    EXPECT_EQ(p.GetShortPathNameA(longFits.c_str(), nullptr, 0), 64u);
}

// Every file of a crowded directory is reached through its short name, and only it.
TEST(ShortNameRoundTrip, ShortPathsResolveToTheirOwnFiles) {
    TempDrives drives;
    std::vector<std::wstring> names = {
        L"track01.mp3",      L"TRACK01.MP3", L"Track01.Mp3", L"longso~1.mp3", L"LONGSO~2.MP3",
        L".hidden song.mp3", L"café.mp3",    L"CAFÉ.MP3",    L"日本.mp3",     L"a.b.c.mp3"};
    for (int i = 0; i < 25; ++i)
        names.push_back(L"Long Song Title " + std::to_wstring(i) + L".mp3");
    for (const std::wstring& name : names)
        drives.createFile(L"C:\\Music Folder\\" + name, drives.platform().toEightBit(name));

    const tw::Platform& p = drives.platform();
    std::set<std::string> shorts;
    for (const std::wstring& name : names) {
        const std::string full = p.toEightBit(L"C:\\Music Folder\\" + name);
        const std::string shortForm = shortPath(p, full, 260);
        ASSERT_EQ(shortForm.rfind("C:\\MUSICF~1\\", 0), 0u) << full << " -> " << shortForm;
        EXPECT_TRUE(shorts.insert(shortForm).second) << shortForm;
        EXPECT_EQ(p.nativePath(p.fromEightBit(shortForm)),
                  drives.native(L"C:\\Music Folder\\" + name))
            << shortForm;
        EXPECT_TRUE(p.sameEntry(p.fromEightBit(shortForm), L"C:\\Music Folder\\" + name));
    }
}

TEST(ShortNameCache, NoticesNewAndRemovedFiles) {
    TempDrives drives;
    drives.createFile(L"C:\\M\\Long Song B.mp3");
    const tw::Platform& p = drives.platform();
    EXPECT_EQ(shortPath(p, "C:\\M\\Long Song B.mp3"), "C:\\M\\LONGSO~1.MP3");
    drives.createFile(L"C:\\M\\Long Song A.mp3");
    EXPECT_EQ(shortPath(p, "C:\\M\\Long Song A.mp3"), "C:\\M\\LONGSO~1.MP3");
    EXPECT_EQ(shortPath(p, "C:\\M\\Long Song B.mp3"), "C:\\M\\LONGSO~2.MP3");
    std::filesystem::remove(drives.native(L"C:\\M\\Long Song A.mp3"));
    EXPECT_EQ(shortPath(p, "C:\\M\\Long Song B.mp3"), "C:\\M\\LONGSO~1.MP3");
}

TEST(ShortNameCache, ReusesTablesOfUnchangedDirectories) {
    TempDrives drives;
    drives.createFile(L"C:\\M\\Long Song.mp3");
    // Let the directory's time stamp age past the window in which changes may go unseen.
    ::usleep(120'000);
    const auto& platform = drives.platform();
    const std::string path = "C:\\M\\Long Song.mp3";
    EXPECT_EQ(shortPath(platform, path), "C:\\M\\LONGSO~1.MP3");
    const auto builds = platform.directoryCache().buildCount();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(shortPath(platform, path), "C:\\M\\LONGSO~1.MP3");
    EXPECT_EQ(platform.directoryCache().buildCount(), builds);
    // A change after the table has settled is noticed too.
    drives.createFile(L"C:\\M\\Long Song Earlier.mp3");
    EXPECT_EQ(shortPath(platform, path), "C:\\M\\LONGSO~2.MP3");
}

// --- Listings ---

class Listings : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"b.mp3", L"A.MP3", L"c.Mp3", L"a.mp3", L".hidden.mp3",
                                    L"notes.txt", L"song.mp3.txt", L"é.mp3", L"Z.mp3"})
            drives.createFile(std::wstring(L"C:\\M\\") + name);
        for (const wchar_t* name : {L"sub", L"Sub2", L".git", L"dir.mp3"})
            drives.createDirectory(std::wstring(L"C:\\M\\") + name);
        drives.createNativeFile("C/M/bad\\name.mp3");
        drives.createNativeFile("C/M/tab\tname.mp3");
        drives.createNativeFile("C/M/\xFF\xFE.mp3");
        drives.createNativeDirectory("C/M/bad\\dir");
        const std::string m = drives.native(L"C:\\M");
        std::filesystem::create_directory_symlink(m + "/sub", m + "/linkdir");
        std::filesystem::create_symlink(m + "/b.mp3", m + "/link.mp3");
        std::filesystem::create_symlink(m + "/nowhere", m + "/broken.mp3");
    }
    TempDrives drives;
};

TEST_F(Listings, FilesMatchTheWildcardAndComeSortedWithoutRegardToCase) {
    std::vector<std::wstring> names;
    ASSERT_TRUE(drives.platform().listFiles(L"c:\\m", L"*.mp3", names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"A.MP3", L"a.mp3", L"b.mp3", L"c.Mp3", L"link.mp3",
                                                L"Z.mp3", L"é.mp3"}));
    ASSERT_TRUE(drives.platform().listFiles(L"C:\\M\\", L"*.TXT", names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"notes.txt", L"song.mp3.txt"}));
    ASSERT_TRUE(drives.platform().listFiles(L"C:\\M", L"?.mp3", names));
    EXPECT_EQ(names.size(), 6u);
}

// For the user every file is there: one whose name the script cannot carry is shown readably,
// in its place in the order, with the reason it cannot be decoded.
TEST_F(Listings, EveryFileIsShownAndThoseNoScriptCanNameSayWhy) {
    drives.createNativeFile("C/M/line\nfeed.mp3");
    drives.createNativeFile("C/M/caf\xE9.mp3");
    std::vector<std::wstring> names, unusable;
    ASSERT_TRUE(drives.platform().listEveryFile(L"C:\\M", L"*.mp3", names, unusable));
    ASSERT_EQ(names.size(), unusable.size());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), tw::text::listingLess));
    std::map<std::wstring, std::wstring> why;
    for (std::size_t i = 0; i < names.size(); ++i)
        why[names[i]] = unusable[i].substr(0, unusable[i].find(L';'));
    const std::map<std::wstring, std::wstring> expected{
        {L"A.MP3", L""},
        {L"a.mp3", L""},
        {L"b.mp3", L""},
        {L"bad\\name.mp3", L"its name holds a backslash, which separates folders in the batch "
                           L"script"},
        {L"c.Mp3", L""},
        {L"caf\uFFFD.mp3", L"its name is not UTF-8 text: rename it, e.g. with convmv"},
        {L"line\u21B5feed.mp3", L"its name holds a line break"},
        {L"link.mp3", L""},
        {L"tab\u21E5name.mp3", L"its name holds a tab"},
        {L"Z.mp3", L""},
        {L"\u00E9.mp3", L""},
        {L"\uFFFD\uFFFD.mp3", L"its name is not UTF-8 text: rename it, e.g. with convmv"}};
    EXPECT_EQ(why, expected);
}

TEST_F(Listings, DirectoriesIncludeLinksToDirectoriesButNoHiddenOnes) {
    std::vector<std::wstring> names;
    ASSERT_TRUE(drives.platform().listDirectories(L"C:\\M", names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"dir.mp3", L"linkdir", L"sub", L"Sub2"}));
}

TEST_F(Listings, FailuresNameTheDirectoryAndTheReason) {
    std::vector<std::wstring> names{L"stale"};
    const tw::Status missing = drives.platform().listFiles(L"C:\\NOPE", L"*", names);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.message, L"Cannot read C:\\NOPE: No such file or directory");
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(drives.platform().listDirectories(L"Q:\\", names));
    EXPECT_FALSE(drives.platform().listDirectories(L"C:\\M\\b.mp3", names));
}

TEST_F(Listings, AnUnreadableDirectoryIsAFailure) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not hold for root";
    std::vector<std::wstring> names;
    drives.createDirectory(L"C:\\LOCKED");
    ::chmod(drives.native(L"C:\\LOCKED").c_str(), 0);
    const tw::Status locked = drives.platform().listDirectories(L"C:\\LOCKED", names);
    EXPECT_EQ(locked.message, L"Cannot read C:\\LOCKED: Permission denied");
}

// --- Files ---

TEST(Files, WriteReadAndReplace) {
    TempDrives drives;
    drives.createDirectory(L"C:\\Data");
    auto& p = drives.platform();
    ASSERT_TRUE(p.writeFile(L"C:\\DATA\\one.txt", "first\r\n"));
    ASSERT_TRUE(p.writeFile(L"C:\\DATA\\ONE.TXT", "second"));
    std::string bytes;
    ASSERT_TRUE(p.readFile(L"c:\\data\\one.txt", bytes));
    EXPECT_EQ(bytes, "second");
    ASSERT_TRUE(p.replaceFile(L"C:\\Data\\one.txt", std::string(100000, 'x')));
    ASSERT_TRUE(p.replaceFile(L"C:\\Data\\two.txt", "new"));
    ASSERT_TRUE(p.readFile(L"C:\\Data\\one.txt", bytes));
    EXPECT_EQ(bytes, std::string(100000, 'x'));
    EXPECT_EQ(nativeNames(drives.native(L"C:\\Data")),
              (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST(Files, FailuresNameThePathAndTheReason) {
    TempDrives drives;
    auto& p = drives.platform();
    std::string bytes = "untouched";
    EXPECT_EQ(p.readFile(L"C:\\nope.txt", bytes).message,
              L"Cannot read C:\\nope.txt: No such file or directory");
    EXPECT_EQ(bytes, "untouched");
    EXPECT_EQ(p.readFile(L"C:\\", bytes).message, L"Cannot read C:\\: Is a directory");
    EXPECT_EQ(p.writeFile(L"C:\\NOPE\\x.txt", "x").message,
              L"Cannot write C:\\NOPE\\x.txt: No such file or directory");
    EXPECT_EQ(p.replaceFile(L"C:\\NOPE\\x.txt", "x").message,
              L"Cannot write C:\\NOPE\\x.txt: No such file or directory");
    EXPECT_EQ(p.writeFile(L"Q:\\x.txt", "x").message,
              L"Cannot write Q:\\x.txt: there is no drive Q:");
    EXPECT_EQ(p.writeFile(L"x.txt", "x").message,
              L"Cannot write x.txt: not a full path with a drive letter");
}

TEST(Files, ReplaceOntoADirectoryFailsAndLeavesNoTrace) {
    TempDrives drives;
    drives.createFile(L"C:\\Data\\target\\inside.txt", "keep");
    const tw::Status status = drives.platform().replaceFile(L"C:\\Data\\target", "x");
    EXPECT_EQ(status.message, L"Cannot write C:\\Data\\target: Is a directory");
    EXPECT_EQ(nativeNames(drives.native(L"C:\\Data")), (std::vector<std::string>{"target"}));
    EXPECT_EQ(TempDrives::readNative(drives.native(L"C:\\Data\\target\\inside.txt")), "keep");
}

TEST(Files, ReplaceThatFailsWhileWritingKeepsTheOldFileWhole) {
    TempDrives drives;
    drives.createFile(L"C:\\Data\\settings.ini", "old content\r\n");
    // A file-size limit makes the write of the new content fail half-way.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const tw::Status status =
        drives.platform().replaceFile(L"C:\\DATA\\SETTINGS.INI", std::string(10000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(status);
    EXPECT_EQ(status.message, L"Cannot write C:\\DATA\\SETTINGS.INI: File too large");
    EXPECT_EQ(TempDrives::readNative(drives.native(L"C:\\Data\\settings.ini")), "old content\r\n");
    EXPECT_EQ(nativeNames(drives.native(L"C:\\Data")), (std::vector<std::string>{"settings.ini"}));
}

TEST(Files, ReplaceKeepsTheModeAndFollowsLinks) {
    TempDrives drives;
    const std::string real = drives.createFile(L"C:\\Data\\real.ini", "old");
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, drives.native(L"C:\\Data\\link.ini"));
    ASSERT_TRUE(drives.platform().replaceFile(L"C:\\Data\\link.ini", "new"));
    EXPECT_EQ(TempDrives::readNative(real), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(drives.native(L"C:\\Data\\link.ini")));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// --- Process ---

TEST(Process, CurrentDirectoryFollowsTheNativeOne) {
    TempDrives drives;
    drives.createDirectory(L"C:\\Work Dir");
    const std::filesystem::path saved = std::filesystem::current_path();
    auto& p = drives.platform();
    ASSERT_TRUE(p.setCurrentDirectory(L"c:\\WORK DIR"));
    EXPECT_EQ(p.currentDirectory(), L"C:\\Work Dir");
    ASSERT_TRUE(p.setCurrentDirectory(L"D:\\"));
    EXPECT_EQ(p.currentDirectory(), L"D:\\");
    EXPECT_EQ(p.setCurrentDirectory(L"C:\\nope").message,
              L"Cannot change to C:\\nope: No such file or directory");
    std::filesystem::current_path(drives.root());
    EXPECT_EQ(p.currentDirectory(), L"");
    std::filesystem::current_path(saved);
}

TEST(Process, ProgramDirectoryIsTheFolderOfTheRunningProgram) {
    tw::test::TempFolder config; // where letters for media would be remembered
    tw::test::ScopedEnv configHome("XDG_CONFIG_HOME", config.path().c_str());
    const auto platform = tw::createSystemPlatform();
    const std::wstring directory = platform->programDirectory();
    ASSERT_EQ(directory.rfind(L"C:\\", 0), 0u);
    EXPECT_NE(directory.back(), L'\\');
    EXPECT_EQ(std::filesystem::path(platform->nativePath(directory)),
              std::filesystem::canonical("/proc/self/exe").parent_path());
}

} // namespace
