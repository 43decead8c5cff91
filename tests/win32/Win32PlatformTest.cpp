// The Win32 platform on real files in a temporary folder. Short names come from the file
// system itself, so they are checked by their properties (8.3 shape, same file) rather than
// by spelling: file systems differ in how they make them.
#include "platform/win32/Win32Platform.h"
#include "core/Module1.h"
#include "platform/Text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::wstring>;

// A fresh folder under the system's temporary folder, removed afterwards.
class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        for (int attempt = 0; attempt < 100 && m_root.empty(); ++attempt) {
            std::wstring candidate = std::wstring(temp) + L"twtest" +
                                     std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(attempt);
            if (::CreateDirectoryW(candidate.c_str(), nullptr))
                m_root = candidate;
        }
        ASSERT_FALSE(m_root.empty()) << "cannot create a temporary folder";
        // The long spelling, so expectations compare like with like.
        m_root = longForm(m_root);
    }
    void TearDown() override {
        if (m_root.empty())
            return;
        // Read-only files would stop the removal.
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(m_root, ignored))
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(m_root, ignored);
    }

    static std::wstring longForm(const std::wstring& path) {
        wchar_t buffer[32768];
        const DWORD n = ::GetLongPathNameW(path.c_str(), buffer, 32768);
        return n > 0 && n < 32768 ? std::wstring(buffer, n) : path;
    }

    std::wstring path(const std::wstring& relative) const { return m_root + L"\\" + relative; }

    void write(const std::wstring& relative, const std::string& bytes = "x", DWORD attributes = 0) {
        ASSERT_TRUE(platform.writeFile(path(relative), bytes)) << fs::path(relative).string();
        if (attributes) {
            ASSERT_TRUE(::SetFileAttributesW(path(relative).c_str(), attributes));
        }
    }
    void makeDirectory(const std::wstring& relative, DWORD attributes = 0) {
        ASSERT_TRUE(::CreateDirectoryW(path(relative).c_str(), nullptr));
        if (attributes) {
            ASSERT_TRUE(::SetFileAttributesW(path(relative).c_str(), attributes));
        }
    }
    std::string read(const std::wstring& relative) {
        std::string bytes;
        EXPECT_TRUE(platform.readFile(path(relative), bytes));
        return bytes;
    }
    Names filesIn(const std::wstring& relative, const std::wstring& pattern) {
        Names names;
        EXPECT_TRUE(platform.listFiles(relative.empty() ? m_root : path(relative), pattern, names));
        return names;
    }

    tw::win32::Win32Platform platform;
    std::wstring m_root;
};

bool isShortComponent(const std::wstring& name) {
    const std::size_t dot = name.find(L'.');
    const std::wstring base = name.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3 ||
        extension.find(L'.') != std::wstring::npos)
        return false;
    for (const wchar_t c : name)
        if (c <= L' ' || c > 0x7E ||
            std::wstring(L"\"*+,/:;<=>?[\\]|").find(c) != std::wstring::npos)
            return false;
    return true;
}

// --- Short names -----------------------------------------------------------------------

TEST_F(Win32Files, ShortPathOfALongNameIsAnEightDotThreeAliasOfTheSameFile) {
    makeDirectory(L"Long Folder Name");
    const std::wstring shortRoot = tw::ShortPath(platform, m_root);
    ASSERT_FALSE(shortRoot.empty());
    // The path reaches the system as ANSI text, so the accented name needs a code page that
    // has the letter (the usual Western one does).
    for (const std::wstring name :
         {L"Long Song Title.mp3", L"two.dots.in.it.mp3", L"lower.mp3", L"Caf\u00E9 au lait.mp3"}) {
        SCOPED_TRACE(fs::path(name).string());
        if (platform.fromEightBit(platform.toEightBit(name)) != name)
            continue;
        write(L"Long Folder Name\\" + name);
        const std::wstring longPath = path(L"Long Folder Name\\" + name);

        const std::wstring shortPath = tw::ShortPath(platform, longPath);
        ASSERT_EQ(shortPath.rfind(shortRoot + L"\\", 0), 0u) << fs::path(shortPath).string();
        const std::wstring added = shortPath.substr(shortRoot.size() + 1);
        const std::size_t slash = added.find(L'\\');
        ASSERT_NE(slash, std::wstring::npos);
        EXPECT_TRUE(isShortComponent(added.substr(0, slash))) << fs::path(added).string();
        EXPECT_TRUE(isShortComponent(added.substr(slash + 1))) << fs::path(added).string();
        EXPECT_EQ(tw::text::foldCase(added.substr(added.size() - 4)), L".mp3");

        EXPECT_TRUE(platform.sameEntry(shortPath, longPath));
        // The long spelling comes back from the short one.
        EXPECT_EQ(platform.nativePath(shortPath), platform.nativePath(longPath));
        EXPECT_EQ(platform.drivePath(platform.nativePath(shortPath)), longPath);
    }
}

TEST_F(Win32Files, ShortPathKeepsATrailingBackslashAndIsEmptyForAMissingPath) {
    makeDirectory(L"Some Folder");
    const std::wstring withSlash = tw::ShortPath(platform, path(L"Some Folder\\"));
    ASSERT_FALSE(withSlash.empty());
    EXPECT_EQ(withSlash.back(), L'\\');

    EXPECT_EQ(tw::ShortPath(platform, path(L"no such file.mp3")), L"");
    EXPECT_EQ(tw::ShortPath(platform, path(L"no such folder\\track.mp3")), L"");
    char buffer[8] = "intact";
    EXPECT_EQ(platform.GetShortPathNameA(platform.toEightBit(path(L"missing")).c_str(), buffer,
                                         sizeof buffer),
              0u);
    EXPECT_STREQ(buffer, "intact");
}

// Names that are already 8.3 in upper case are their own short names, so the length of the
// short form can be steered to either side of the 64-character buffer.
TEST_F(Win32Files, ShortPathComesBackWholeHoweverLong) {
    const std::wstring shortRoot = tw::ShortPath(platform, m_root);
    ASSERT_FALSE(shortRoot.empty());
    ASSERT_LT(shortRoot.size(), 50u) << "the temporary folder is too deep for this test";

    std::wstring relative;
    std::size_t remaining = 63 - shortRoot.size(); // with the separator of each component
    int folder = 0;
    while (remaining > 12) {
        std::wstring name = L"FOLDER0" + std::to_wstring(folder++ % 10);
        if (remaining - 9 < 2)
            name.pop_back();
        makeDirectory(relative + name);
        relative += name + L"\\";
        remaining -= name.size() + 1;
    }
    const auto nameOfLength = [](std::size_t n) {
        if (n <= 8)
            return std::wstring(n, L'A');
        if (n == 9)
            return std::wstring(7, L'A') + L".B";
        return std::wstring(8, L'A') + L"." + std::wstring(n - 9, L'B');
    };
    const std::wstring fits = relative + nameOfLength(remaining - 1);
    const std::wstring tooLong = relative + nameOfLength(remaining);
    write(fits);
    write(tooLong);

    const std::wstring expected = shortRoot + L"\\" + fits;
    ASSERT_EQ(expected.size(), 63u);
    EXPECT_EQ(tw::ShortPath(platform, path(fits)), expected);
    EXPECT_EQ(tw::ShortPath(platform, path(tooLong)), shortRoot + L"\\" + tooLong);

    // An Artist\Album\Disc library, well past 64 characters in its short form too.
    std::wstring deep;
    for (const wchar_t* folder : {L"Some Artist", L"2001 - Some Album (Deluxe Edition)", L"Disc 1",
                                  L"Bonus Tracks", L"Live Recordings"}) {
        deep += folder;
        makeDirectory(deep);
        deep += L"\\";
    }
    deep += L"01 - The First Song.mp3";
    write(deep);
    const std::wstring deepShort = tw::ShortPath(platform, path(deep));
    EXPECT_GT(deepShort.size(), 64u);
    EXPECT_TRUE(platform.sameEntry(deepShort, path(deep))) << fs::path(deepShort).string();

    // The raw call tells the size needed, NUL included, and leaves the buffer alone.
    char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 'z');
    EXPECT_EQ(platform.GetShortPathNameA(platform.toEightBit(path(tooLong)).c_str(), buffer, 64),
              65u);
    EXPECT_EQ(std::count(std::begin(buffer), std::end(buffer), 'z'), 64);
}

// --- Listings --------------------------------------------------------------------------

TEST_F(Win32Files, ListingsAreSortedWithoutRegardToCaseAndLeaveHiddenAndSystemEntriesOut) {
    for (const wchar_t* name : {L"b.mp3", L"A.MP3", L"c.Mp3", L"a.wav", L"Track.mp3x", L"mp3"})
        write(name);
    write(L"hidden.mp3", "x", FILE_ATTRIBUTE_HIDDEN);
    write(L"system.mp3", "x", FILE_ATTRIBUTE_SYSTEM);
    for (const wchar_t* name : {L"Beta", L"alpha", L"Gamma"})
        makeDirectory(name);
    makeDirectory(L"secret", FILE_ATTRIBUTE_HIDDEN);
    makeDirectory(L"folder.mp3");

    EXPECT_EQ(filesIn(L"", L"*.MP3"), (Names{L"A.MP3", L"b.mp3", L"c.Mp3"}));
    EXPECT_EQ(filesIn(L"", L"*.mp3;*.WAV"), (Names{L"A.MP3", L"a.wav", L"b.mp3", L"c.Mp3"}));
    EXPECT_EQ(filesIn(L"", L"*.*"),
              (Names{L"A.MP3", L"a.wav", L"b.mp3", L"c.Mp3", L"mp3", L"Track.mp3x"}));
    EXPECT_EQ(filesIn(L"", L"?.mp3"), (Names{L"A.MP3", L"b.mp3", L"c.Mp3"}));

    Names directories;
    ASSERT_TRUE(platform.listDirectories(m_root, directories));
    EXPECT_EQ(directories, (Names{L"alpha", L"Beta", L"folder.mp3", L"Gamma"}));
    // A trailing backslash names the same folder.
    ASSERT_TRUE(platform.listDirectories(m_root + L"\\", directories));
    EXPECT_EQ(directories.size(), 4u);
}

TEST_F(Win32Files, ListingAFolderThatIsNotThereIsAFailureWithTheReason) {
    Names names{L"stale"};
    const tw::Status status = platform.listFiles(path(L"gone"), L"*.*", names);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(path(L"gone")), std::wstring::npos);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(platform.listDirectories(L"relative\\folder", names));
}

// --- Paths -----------------------------------------------------------------------------

TEST_F(Win32Files, NativePathsGiveTheOnDiskSpellingAndKeepMissingPartsAsWritten) {
    makeDirectory(L"Music");
    write(L"Music\\Track One.mp3");
    const std::string native = platform.nativePath(path(L"MUSIC\\track one.MP3"));
    EXPECT_EQ(platform.drivePath(native), path(L"Music\\Track One.mp3"));
    EXPECT_EQ(platform.drivePath(platform.nativePath(path(L"music\\New Output.wav"))),
              path(L"Music\\New Output.wav"));
    EXPECT_EQ(platform.drivePath(platform.nativePath(path(L"Music\\.\\..\\Music\\"))),
              path(L"Music"));

    // UTF-8 carries what the ANSI code page cannot.
    const std::wstring wide = path(L"\u65E5\u672C \U0001F3B5.mp3");
    write(L"\u65E5\u672C \U0001F3B5.mp3");
    EXPECT_EQ(platform.drivePath(platform.nativePath(wide)), wide);
    EXPECT_EQ(platform.nativePath(wide), tw::text::toUtf8(wide));
    EXPECT_TRUE(platform.exists(wide));
}

TEST_F(Win32Files, TextThatIsNoDrivePathNamesNothing) {
    const DWORD drives = ::GetLogicalDrives();
    wchar_t missing = 0;
    for (wchar_t letter = L'Z'; letter >= L'D' && !missing; --letter)
        if (!(drives >> (letter - L'A') & 1))
            missing = letter;
    ASSERT_NE(missing, 0);
    const std::wstring unknown = std::wstring(1, missing) + L":\\x";
    for (const std::wstring& text :
         {unknown, std::wstring(L"relative\\x"), std::wstring(L"C:relative"),
          std::wstring(L"\\\\server\\share\\x"), path(L"a") + std::wstring(1, L'\0') + L"b"}) {
        EXPECT_EQ(platform.nativePath(text), "");
        EXPECT_FALSE(platform.exists(text));
        std::string bytes;
        EXPECT_FALSE(platform.readFile(text, bytes));
    }
    EXPECT_EQ(platform.drivePath("relative\\x"), L"");
    EXPECT_EQ(platform.drivePath(tw::text::toUtf8(unknown)), L"");
    EXPECT_EQ(platform.nativePath(L"C:"), "C:\\");
}

TEST_F(Win32Files, SameEntryFollowsShortNamesAndHardLinksOnly) {
    write(L"First Long Name.mp3");
    write(L"Second Long Name.mp3");
    const std::wstring first = path(L"First Long Name.mp3");
    EXPECT_TRUE(platform.sameEntry(first, path(L"FIRST LONG NAME.MP3")));
    EXPECT_TRUE(platform.sameEntry(first, tw::ShortPath(platform, first)));
    EXPECT_FALSE(platform.sameEntry(first, path(L"Second Long Name.mp3")));
    EXPECT_FALSE(platform.sameEntry(first, path(L"missing.mp3")));
    if (::CreateHardLinkW(path(L"link.mp3").c_str(), first.c_str(), nullptr)) {
        EXPECT_TRUE(platform.sameEntry(first, path(L"link.mp3")));
    }
    EXPECT_TRUE(platform.isDirectory(m_root));
    EXPECT_FALSE(platform.isDirectory(first));
}

TEST_F(Win32Files, CurrentAndProgramDirectories) {
    const std::wstring before = platform.currentDirectory();
    ASSERT_FALSE(before.empty());
    makeDirectory(L"Work Here");
    ASSERT_TRUE(platform.setCurrentDirectory(path(L"Work Here")));
    EXPECT_EQ(platform.currentDirectory(), path(L"Work Here"));
    EXPECT_FALSE(platform.setCurrentDirectory(path(L"not here")));
    EXPECT_EQ(platform.currentDirectory(), path(L"Work Here"));
    ASSERT_TRUE(platform.setCurrentDirectory(before));

    const std::wstring program = platform.programDirectory();
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(platform.isDirectory(program));
    EXPECT_TRUE(platform.exists(program + L"\\test_win32.exe"));
}

TEST_F(Win32Files, DrivesAreLettersWithBracketedLabels) {
    const std::vector<tw::Drive> drives = platform.drives();
    ASSERT_FALSE(drives.empty());
    bool hasC = false;
    for (const tw::Drive& drive : drives) {
        ASSERT_EQ(drive.letter.size(), 2u);
        EXPECT_TRUE(drive.letter[0] >= L'A' && drive.letter[0] <= L'Z');
        EXPECT_EQ(drive.letter[1], L':');
        if (!drive.label.empty()) {
            EXPECT_TRUE(drive.label.front() == L'[' && drive.label.back() == L']');
        }
        hasC = hasC || drive.letter == L"C:";
    }
    EXPECT_TRUE(hasC);
}

// --- 8-bit text ------------------------------------------------------------------------

// Names reach the system in the ANSI code page; the console reads the script in its own (OEM)
// one. Each pair of conversions keeps to its page.
TEST_F(Win32Files, EightBitTextRoundTripsTheAnsiCodePageAndScriptTextTheConsoles) {
    using Platform = tw::win32::Win32Platform;
    struct Side {
        const char* label;
        UINT codePage;
        std::string (Platform::*to)(const std::wstring&) const;
        std::wstring (Platform::*from)(const std::string&) const;
    };
    const Side sides[] = {
        {"ANSI", CP_ACP, &Platform::toEightBit, &Platform::fromEightBit},
        {"console", CP_OEMCP, &Platform::toScriptText, &Platform::fromScriptText}};
    int checked = 0;
    for (const Side& side : sides) {
        SCOPED_TRACE(side.label);
        CPINFO info{};
        ASSERT_TRUE(::GetCPInfo(side.codePage, &info));
        if (info.MaxCharSize != 1)
            continue; // UTF-8 or a double-byte page: no byte stands alone
        ++checked;
        // Every byte a character of the code page stands for comes back as itself.
        std::string bytes;
        for (int b = 0x20; b <= 0xFF; ++b) {
            const char c = static_cast<char>(b);
            wchar_t wide = 0;
            if (::MultiByteToWideChar(side.codePage, MB_ERR_INVALID_CHARS, &c, 1, &wide, 1) == 1)
                bytes += c;
        }
        ASSERT_GT(bytes.size(), 0x7F - 0x20u);
        const std::wstring text = (platform.*side.from)(bytes);
        EXPECT_EQ(text.size(), bytes.size());
        EXPECT_EQ((platform.*side.to)(text), bytes);

        // What the code page lacks becomes "?", never a look-alike that means something in a
        // path or to the console.
        EXPECT_EQ((platform.*side.to)(L"a\uFF3Cb\u2215c\uFF1A\uFF05"), "a?b?c??");
        EXPECT_EQ((platform.*side.to)(L""), "");
        EXPECT_EQ((platform.*side.from)(""), L"");
    }
    if (checked == 0)
        GTEST_SKIP() << "no single-byte code page here";
}

// --- Whole files -----------------------------------------------------------------------

TEST_F(Win32Files, FilesKeepEveryByte) {
    const std::string bytes("line one\r\nline two\n\0\x1A\xFF end", 25);
    write(L"data.bin", bytes);
    EXPECT_EQ(read(L"data.bin"), bytes);
    ASSERT_TRUE(platform.replaceFile(path(L"data.bin"), "short"));
    EXPECT_EQ(read(L"data.bin"), "short");
    ASSERT_TRUE(platform.replaceFile(path(L"new.ini"), "fresh"));
    EXPECT_EQ(read(L"new.ini"), "fresh");
    std::string unread = "unchanged";
    EXPECT_FALSE(platform.readFile(m_root, unread));
    EXPECT_EQ(unread, "unchanged");
    EXPECT_EQ(filesIn(L"", L"*.*"), (Names{L"data.bin", L"new.ini"})); // no temporary left
}

TEST_F(Win32Files, ReplaceFileThatFailsKeepsTheOldContentAndLeavesNoTemporary) {
    write(L"locked.ini", "old locked");
    write(L"readonly.ini", "old read-only", FILE_ATTRIBUTE_READONLY);
    makeDirectory(L"folder.ini");

    EXPECT_FALSE(platform.replaceFile(path(L"readonly.ini"), "new"));
    EXPECT_EQ(read(L"readonly.ini"), "old read-only");
    EXPECT_FALSE(platform.replaceFile(path(L"folder.ini"), "new"));
    EXPECT_FALSE(platform.replaceFile(path(L"missing folder\\settings.ini"), "new"));

    {
        // Another program holds the file open without letting it be deleted or renamed over.
        HANDLE held = ::CreateFileW(path(L"locked.ini").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const tw::Status status = platform.replaceFile(path(L"locked.ini"), "new");
        ::CloseHandle(held);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.message.find(L"locked.ini"), std::wstring::npos);
    }
    EXPECT_EQ(read(L"locked.ini"), "old locked");
    EXPECT_EQ(filesIn(L"", L"*.*"), (Names{L"locked.ini", L"readonly.ini"}));
}

// --- Starting a script -----------------------------------------------------------------

// Whether cmd.exe can run at all in a new console on this system, tried without the platform
// so that a fault of startBatch is not taken for a system that cannot do it.
bool consoleStartsHere(const std::wstring& probe) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    std::wstring line = L"\"" + cmd + L"\" /c echo probe> \"" + probe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                          nullptr, nullptr, &startup, &process))
        return false;
    ::WaitForSingleObject(process.hProcess, 30000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return ::GetFileAttributesW(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST_F(Win32Files, StartBatchRunsTheScriptInItsFolderMinimizedOrNot) {
    for (const bool minimized : {true, false}) {
        SCOPED_TRACE(minimized ? "minimized" : "normal");
        // The script says where it ran, into a file outside that folder.
        const std::wstring folder = minimized ? L"Mpeg Tools" : L"Mpeg Tools 2";
        const std::wstring where = path(folder + L".TXT");
        makeDirectory(folder);
        write(folder + L"\\TEMP.BAT",
              "@echo off\r\ncd> \"" + platform.toEightBit(where) + "\"\r\n");
        ASSERT_TRUE(platform.startBatch(path(folder), L"TEMP.BAT", minimized));

        // The file appears when the redirection opens it; its text follows a moment later.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string bytes;
        while (std::chrono::steady_clock::now() < deadline &&
               !(platform.readFile(where, bytes) && bytes.find("\r\n") != std::string::npos))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!platform.exists(where) && !consoleStartsHere(path(L"PROBE.TXT")))
            GTEST_SKIP() << "cmd.exe cannot run in a console of its own here";
        EXPECT_EQ(bytes, platform.toEightBit(path(folder)) + "\r\n");
    }
}

TEST_F(Win32Files, StartBatchRefusesWhatCmdWouldReadAsMoreThanAName) {
    write(L"TEMP.BAT", "echo hi\r\n");
    for (const wchar_t* name : {L"TEMP.BAT & calc", L"TEMP.BAT>out", L"%PATH%.BAT", L"..\\TEMP.BAT",
                                L"\"TEMP.BAT\"", L""}) {
        const tw::Status status = platform.startBatch(m_root, name, true);
        EXPECT_FALSE(status.ok) << fs::path(name).string();
    }
    EXPECT_FALSE(platform.startBatch(path(L"no such folder"), L"TEMP.BAT", false));
}

// --- Opening an address ----------------------------------------------------------------

// A protocol of the test's own whose program writes the address it was given into a file.
// It goes into the classes root, which Wine's shell reads (it ignores the per-user classes).
class RegisteredProtocol {
public:
    static constexpr const wchar_t* kKey = L"twtestproto";

    explicit RegisteredProtocol(const std::wstring& command) {
        HKEY key = nullptr;
        m_ok = ::RegCreateKeyExW(HKEY_CLASSES_ROOT,
                                 (std::wstring(kKey) + L"\\shell\\open\\command").c_str(), 0,
                                 nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (m_ok) {
            m_ok = setString(key, nullptr, command);
            ::RegCloseKey(key);
        }
        if (m_ok && ::RegOpenKeyExW(HKEY_CLASSES_ROOT, kKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
            m_ok = setString(key, L"URL Protocol", L"");
            ::RegCloseKey(key);
        }
    }
    ~RegisteredProtocol() { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kKey); }
    bool ok() const { return m_ok; }

private:
    static bool setString(HKEY key, const wchar_t* name, const std::wstring& value) {
        return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }
    bool m_ok = false;
};

TEST_F(Win32Files, OpenAddressHandsTheAddressToTheRegisteredProgram) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring output = path(L"ADDRESS.TXT");
    RegisteredProtocol protocol(L"\"" + std::wstring(system) + L"\\cmd.exe\" /c echo %1> \"" +
                                output + L"\"");
    if (!protocol.ok())
        GTEST_SKIP() << "cannot register a protocol here (no right to write the classes root)";

    // With no owner, and with a window of the test's own as the About box gives its own.
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 10, 10, HWND_MESSAGE,
                                          nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr) << "no window could be made";
    for (const HWND owner : {HWND{}, window}) {
        SCOPED_TRACE(owner ? "owned" : "no owner");
        ::DeleteFileW(output.c_str());
        const tw::Status status =
            platform.openAddress(L"twtestproto:hello", reinterpret_cast<std::uintptr_t>(owner));
        ASSERT_TRUE(status.ok) << platform.toEightBit(status.message);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string bytes;
        while (std::chrono::steady_clock::now() < deadline &&
               !(platform.readFile(output, bytes) && bytes.find("\r\n") != std::string::npos))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(bytes, "twtestproto:hello\r\n");
    }
    ::DestroyWindow(window);
}

TEST_F(Win32Files, OpenAddressWithoutARegisteredProgramIsAFailure) {
    const tw::Status status = platform.openAddress(L"twnosuchproto:hello", 0);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(L"twnosuchproto:hello"), std::wstring::npos);
}

// --- Shared text rules with 16-bit wchar_t ------------------------------------------------

TEST(Win32Text, Utf8CarriesSurrogatePairsAndReplacesHalves) {
    const std::wstring music = L"\U0001F3B5";
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(tw::text::toUtf8(music), "\xF0\x9F\x8E\xB5");
    EXPECT_EQ(tw::text::fromUtf8("\xF0\x9F\x8E\xB5"), music);
    EXPECT_EQ(tw::text::toUtf8(std::wstring{L'a', wchar_t(0xD83C), L'b'}), "a\xEF\xBF\xBD"
                                                                           "b");
    EXPECT_EQ(tw::text::toUtf8(std::wstring{wchar_t(0xDFB5), wchar_t(0xD83C)}),
              "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(tw::text::wildcardMatch(L"*.MP3", L"caf\u00C9 \U0001F3B5.mp3"));
    EXPECT_TRUE(tw::text::listingLess(L"\u00E9a", L"\u00C9b"));
    EXPECT_EQ(tw::text::foldCase(L"\u00C9\u0394K"), L"\u00E9\u03B4k");
}

} // namespace
