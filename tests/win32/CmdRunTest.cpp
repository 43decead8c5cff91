// TEMP.BAT as Decode writes it, run by the system's own cmd.exe with the command line the
// program starts it with, over a folder of names that mean something to cmd. A stand-in
// L3DEC.EXE copies its input to its output and logs its arguments; programs that a broken line
// could start (calc, notepad, cmd, echo, del) wait on the path (as .exe) and in the decoder
// folder (as .bat) to log that they ran.
//
// Where Wine's cmd.exe (8.0) differs from Windows':
// - it reads neither DelayedExpansion nor AutoRun from the registry. Under Wine the run with
//   both set therefore shows only that the script still does its work; on Windows it shows that
//   /V:OFF and /D take effect, and the test checks that the settings were really in force there.
// - its IF takes no carets off an unquoted path ("IF EXIST ^(A~1.wav" names nothing), where
//   Windows' does; the script quotes that path, which both read alike, and the re-decode of
//   "(live) [2001].mp3" shows it.
// - its short names come from a hash and can collide; Windows keeps them unique, so the twins
//   below are there under Wine only.
// Both read a batch file in the console's (OEM) code page and take "^" and "%%" alike elsewhere.
#include "core/Decode.h"
#include "core/Script.h"
#include "platform/Text.h"
#include "platform/win32/Win32Platform.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/ShortNameTwins.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Snapshot = std::map<std::wstring, std::string>; // path below the root -> bytes

std::string narrow(const std::wstring& text) {
    return tw::text::toUtf8(text);
}

bool sameWithoutCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring lastPart(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

// Whether a code page has every character of the text, asked of the system directly.
bool carries(UINT codePage, const std::wstring& text) {
    if (codePage == CP_UTF8)
        return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr) > 0;
    BOOL usedDefault = FALSE;
    return ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(),
                                 static_cast<int>(text.size()), nullptr, 0, nullptr,
                                 &usedDefault) > 0 &&
           !usedDefault;
}

std::wstring variable(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

bool underWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The test's own environment with some variables changed, as a block for CreateProcessW.
std::wstring environmentWith(const std::map<std::wstring, std::wstring>& changes) {
    const auto less = [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    };
    std::map<std::wstring, std::wstring, decltype(less)> variables(less);
    wchar_t* strings = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += std::wcslen(entry) + 1) {
        const std::wstring text = entry;
        const std::size_t equals = text.find(L'=', 1); // "=C:=C:\..." keeps its first "="
        if (equals != std::wstring::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    ::FreeEnvironmentStringsW(strings);
    for (const auto& [name, value] : changes)
        variables[name] = value;
    std::wstring block;
    for (const auto& [name, value] : variables)
        block += name + L"=" + value + L'\0';
    return block + L'\0';
}

// Runs a command line in a new console of its own, as startBatch does, and waits for it; what
// it prints goes to `output`. The exit code, or -1 when it did not start or end in time.
long runInConsole(const std::wstring& program, std::wstring commandLine,
                  const std::wstring& directory, std::wstring environment,
                  const std::wstring& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    const bool started =
        ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                         directory.c_str(), &startup, &process);
    ::CloseHandle(out);
    ::CloseHandle(in);
    if (!started)
        return -1;
    long result = -1;
    if (::WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        result = static_cast<long>(code);
    } else {
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

// DelayedExpansion and AutoRun of the current user's command processor, set for one test and
// put back as they were.
class CommandProcessorSettings {
public:
    CommandProcessorSettings(DWORD delayedExpansion, const std::wstring& autoRun) {
        m_ok = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Command Processor", 0,
                                 nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_key,
                                 nullptr) == ERROR_SUCCESS;
        if (!m_ok)
            return;
        save(L"DelayedExpansion");
        save(L"AutoRun");
        m_ok = ::RegSetValueExW(m_key, L"DelayedExpansion", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&delayedExpansion),
                                sizeof delayedExpansion) == ERROR_SUCCESS &&
               ::RegSetValueExW(
                   m_key, L"AutoRun", 0, REG_SZ, reinterpret_cast<const BYTE*>(autoRun.c_str()),
                   static_cast<DWORD>((autoRun.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~CommandProcessorSettings() {
        if (!m_key)
            return;
        for (const auto& [name, old] : m_old) {
            if (old.existed)
                ::RegSetValueExW(m_key, name.c_str(), 0, old.type,
                                 reinterpret_cast<const BYTE*>(old.data.data()),
                                 static_cast<DWORD>(old.data.size()));
            else
                ::RegDeleteValueW(m_key, name.c_str());
        }
        ::RegCloseKey(m_key);
    }
    CommandProcessorSettings(const CommandProcessorSettings&) = delete;
    CommandProcessorSettings& operator=(const CommandProcessorSettings&) = delete;
    bool ok() const { return m_ok; }

private:
    struct Old {
        bool existed = false;
        DWORD type = 0;
        std::string data;
    };
    void save(const wchar_t* name) {
        Old old;
        DWORD size = 0;
        if (::RegQueryValueExW(m_key, name, nullptr, &old.type, nullptr, &size) == ERROR_SUCCESS) {
            old.data.resize(size);
            old.existed = ::RegQueryValueExW(m_key, name, nullptr, &old.type,
                                             reinterpret_cast<BYTE*>(old.data.data()),
                                             &size) == ERROR_SUCCESS;
        }
        m_old.emplace_back(name, std::move(old));
    }
    HKEY m_key = nullptr;
    bool m_ok = false;
    std::vector<std::pair<std::wstring, Old>> m_old;
};

// What Decode must do with the selected files: which it decodes, and which it leaves out with
// a word its reason must hold.
struct Expected {
    std::vector<std::wstring> decoded;                 // in list order
    std::map<std::wstring, const wchar_t*> leftOutWhy; // name -> word of the reason
};

class CmdRun : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        wchar_t longTemp[MAX_PATH + 1] = {};
        ASSERT_GT(::GetLongPathNameW(temp, longTemp, MAX_PATH + 1), 0u);
        m_root = fs::path(longTemp) / (L"twcmd" + std::to_wstring(::GetCurrentProcessId()));
        for (const wchar_t* folder : {L"in", L"out", L"mpeg", L"stubs", L"logs"})
            fs::create_directories(m_root / folder);
        m_before = platform.currentDirectory();
        input.sourceFolder = path(L"in");
        state.Destination = path(L"out") + L"\\";
        state.DecoderPath = path(L"mpeg");
    }
    void TearDown() override {
        if (!m_before.empty())
            static_cast<void>(platform.setCurrentDirectory(m_before));
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    std::wstring path(const std::wstring& relative) const { return (m_root / relative).wstring(); }
    void write(const std::wstring& relative, const std::string& bytes) {
        ASSERT_TRUE(platform.writeFile(path(relative), bytes)) << narrow(relative);
    }
    std::string read(const std::wstring& relative) const {
        std::string bytes;
        static_cast<void>(platform.readFile(path(relative), bytes));
        return bytes;
    }
    static std::string contentOf(const std::wstring& name) { return "frames of " + narrow(name); }

    // The decoder folder holds the stand-in decoder and .bat stubs; the stubs folder, which
    // goes on the path, .exe ones.
    void placePrograms() {
        const std::wstring bin = platform.programDirectory();
        ASSERT_TRUE(::CopyFileW((bin + L"\\standin-l3dec.exe").c_str(),
                                path(L"mpeg\\L3DEC.EXE").c_str(), FALSE));
        for (const wchar_t* stub : {L"calc", L"echo", L"del", L"notepad", L"cmd"}) {
            ASSERT_TRUE(::CopyFileW((bin + L"\\stub-program.exe").c_str(),
                                    path(L"stubs\\" + std::wstring(stub) + L".exe").c_str(),
                                    FALSE));
            write(L"mpeg\\" + std::wstring(stub) + L".bat",
                  "@echo %~f0 ran>> \"%TW_STUB_LOG%\"\r\n");
        }
    }

    // The hostile folder: names that mean something to cmd, one whose earlier output is there,
    // a case twin of a file in the output folder, two files with one short name, names outside
    // one code page or the other, and bystanders that must stay as they are.
    Expected placeFiles() {
        const std::vector<std::wstring> names = {
            L"a & b.mp3",
            L"50% off.mp3",
            L"x^y.mp3",
            L"(live) [2001].mp3",
            L"bang!.mp3",
            L"semi;colon, eq=.mp3",
            L"caf\u00e9.mp3",
            L"%PATH%.mp3",
            L"100%%.mp3",
            L"song & calc.mp3",
            L"^& del notes.txt & rem.mp3",
            L"two  blanks  inside.mp3",
            L"An Extremely Long Title That Goes On And On (Remastered Edition) - Live At The "
            L"Hall, Disc One - Track Seventeen Of Twenty-Two.mp3",
            L"track01.mp3",
            L"Twin Song.mp3",
            L"\u00d8resund.mp3",
            L"\u65e5\u672c.mp3",
        };
        for (const std::wstring& name : names)
            write(L"in\\" + name, contentOf(name));
        write(L"out\\(live) [2001].wav", "earlier output");
        write(L"out\\track01.wav", "earlier track01");
        write(L"out\\TWIN SONG.wav", "not this batch's");
        write(L"out\\b.wav", "bystander");
        write(L"out\\keep me.wav", "bystander");
        write(L"mpeg\\notes.txt", "bystander");
        const auto [twin1, twin2] = tw::test::makeShortNameTwins(path(L"in"), "twin");

        // Expectations from the system itself: the code pages, and the short names it gave.
        Expected expected;
        std::vector<std::wstring> listed;
        EXPECT_TRUE(platform.listFiles(path(L"in"), L"*.mp3", listed));
        std::map<std::wstring, int> sharing;
        for (const std::wstring& name : listed)
            ++sharing[tw::text::foldCase(tw::test::systemShortPath(path(L"in\\" + name)))];
        for (const std::wstring& name : listed) {
            if (!carries(::GetACP(), name) || !carries(::GetOEMCP(), name))
                expected.leftOutWhy[name] = L"character set";
            else if (name == L"Twin Song.mp3")
                expected.leftOutWhy[name] = L"only in case";
            else if (sharing[tw::text::foldCase(tw::test::systemShortPath(path(L"in\\" + name)))] >
                     1)
                expected.leftOutWhy[name] = L"short name";
            else
                expected.decoded.push_back(name);
        }
        if (underWine()) {
            EXPECT_FALSE(twin1.empty()) << "Wine's hashed short names should collide";
        }
        EXPECT_TRUE(twin1.empty() || expected.leftOutWhy.count(twin1));
        input.entries = listed;
        input.selected.assign(listed.size(), true);
        return expected;
    }

    Snapshot snapshot() const {
        Snapshot files;
        for (auto it = fs::recursive_directory_iterator(m_root); it != fs::end(it); ++it) {
            const std::wstring below = it->path().lexically_relative(m_root).wstring();
            if (it->is_directory()) {
                if (below == L"logs")
                    it.disable_recursion_pending();
                files[below + L"\\"] = "";
            } else {
                files[below] = read(below);
            }
        }
        return files;
    }

    // Decode, then the script's run as startBatch would start it; checks everything after.
    void decodeAndRun(const Expected& expected) {
        tw::test::RecordingPlatform recording(platform);
        const tw::BatchScript script = tw::buildBatchScript(recording, input, state);
        std::vector<std::wstring> leftOut;
        for (const tw::LeftOut& file : script.leftOut) {
            leftOut.push_back(file.name);
            const auto why = expected.leftOutWhy.find(file.name);
            if (why != expected.leftOutWhy.end()) {
                EXPECT_NE(file.why.find(why->second), std::wstring::npos)
                    << narrow(file.name) << ": " << narrow(file.why);
            }
        }
        std::vector<std::wstring> expectedLeftOut;
        for (const std::wstring& name : input.entries)
            if (expected.leftOutWhy.count(name))
                expectedLeftOut.push_back(name);
        EXPECT_EQ(leftOut, expectedLeftOut);

        const tw::DecodeResult result = tw::decodeNow(recording, input, state);
        ASSERT_EQ(result.kind, tw::DecodeResult::Kind::Started) << narrow(result.message);
        ASSERT_EQ(recording.batchStarts.size(), 1u);
        const auto& start = recording.batchStarts[0];
        const Snapshot before = snapshot();

        const tw::win32::Win32Platform::BatchCommand command =
            tw::win32::Win32Platform::batchCommand(start.scriptName);
        const std::wstring environment =
            environmentWith({{L"PATH", path(L"stubs") + L";" + variable(L"PATH")},
                             {L"TW_DECODER_LOG", path(L"logs\\decoder.txt")},
                             {L"TW_STUB_LOG", path(L"logs\\stubs.txt")}});

        // A stub that is started does say so; else its silence below would prove nothing.
        ASSERT_EQ(runInConsole(command.program, L"cmd.exe /D /C calc", path(L"logs"), environment,
                               path(L"logs\\control.txt")),
                  0);
        ASSERT_NE(read(L"logs\\stubs.txt").find("calc.exe ran"), std::string::npos);
        ::DeleteFileW(path(L"logs\\stubs.txt").c_str());

        const std::wstring console = path(L"logs\\console.txt");
        const long exitCode = runInConsole(command.program, command.commandLine, start.directory,
                                           environment, console);
        ASSERT_NE(exitCode, -1) << "cmd.exe did not start or did not end";

        // Each decoded file under its own long name with its own frames; nothing else changed.
        Snapshot wanted = before;
        for (const std::wstring& name : expected.decoded)
            wanted[L"out\\" + name.substr(0, name.size() - 3) + L"wav"] = contentOf(name);
        const Snapshot after = snapshot();
        for (const auto& [file, bytes] : wanted) {
            const auto found = after.find(file);
            if (found == after.end())
                ADD_FAILURE() << "missing: " << narrow(file);
            else if (found->second != bytes)
                ADD_FAILURE() << "changed: " << narrow(file) << " holds \"" << found->second
                              << "\"";
        }
        for (const auto& [file, bytes] : after)
            if (!wanted.count(file))
                ADD_FAILURE() << "appeared: " << narrow(file);

        // The decoder got its short source, a new name in the output folder and the switch.
        std::vector<std::vector<std::wstring>> runs;
        std::wistringstream log(tw::text::fromUtf8(read(L"logs\\decoder.txt")));
        for (std::wstring line; std::getline(log, line);) {
            runs.emplace_back();
            std::wistringstream fields(line);
            for (std::wstring field; std::getline(fields, field, L'\t');)
                runs.back().push_back(field);
        }
        ASSERT_EQ(runs.size(), expected.decoded.size());
        const std::wstring shortOut = tw::test::systemShortPath(path(L"out") + L"\\");
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const std::wstring& name = expected.decoded[i];
            SCOPED_TRACE(narrow(name));
            ASSERT_EQ(runs[i].size(), 3u);
            EXPECT_EQ(runs[i][0], tw::test::systemShortPath(path(L"in\\" + name)));
            EXPECT_EQ(runs[i][1].rfind(shortOut, 0), 0u) << narrow(runs[i][1]);
            EXPECT_EQ(runs[i][1].find(L'\\', shortOut.size()), std::wstring::npos);
            // A name that is its own short name is decoded under it straight away.
            const std::wstring wantedName = name.substr(0, name.size() - 3) + L"wav";
            if (!sameWithoutCase(lastPart(runs[i][1]), wantedName)) {
                EXPECT_FALSE(platform.exists(runs[i][1])) << "left behind: " << narrow(runs[i][1]);
            }
            EXPECT_EQ(runs[i][2], L"-wav");
        }

        EXPECT_EQ(read(L"logs\\stubs.txt"), "") << "a stub ran";
        if (HasFailure())
            std::cout << "TEMP.BAT ran in code page " << ::GetOEMCP() << " (ANSI " << ::GetACP()
                      << "); its console said:\n"
                      << read(L"logs\\console.txt") << "\n";
    }

    tw::win32::Win32Platform platform;
    tw::DecodeInput input;
    tw::AppState state;
    fs::path m_root;
    std::wstring m_before;
};

TEST_F(CmdRun, HostileNamesAreDecodedUnderTheirOwnNamesAndRunNothing) {
    placePrograms();
    const Expected expected = placeFiles();
    // The accented name needs the script's own code page: it is no test of that otherwise.
    ASSERT_TRUE(std::count(expected.decoded.begin(), expected.decoded.end(), L"caf\u00e9.mp3"))
        << "code pages " << ::GetACP() << "/" << ::GetOEMCP() << " lack the letter";
    decodeAndRun(expected);
}

// The registry's delayed expansion would eat the text between two "!", its AutoRun would run
// first: the script is started so that neither does.
TEST_F(CmdRun, DelayedExpansionAndAutoRunOfTheRegistryDoNotApply) {
    placePrograms();
    const Expected expected = placeFiles();
    const std::wstring marker = path(L"logs\\autorun.txt");
    CommandProcessorSettings settings(1, L"echo AutoRun ran> \"" + marker + L"\"");
    ASSERT_TRUE(settings.ok()) << "cannot write the command processor's settings";

    // Whether this cmd.exe honours them at all, started without the program's switches.
    write(L"logs\\probe.bat", "@echo a!b!c> probe.txt\r\n");
    ASSERT_EQ(runInConsole(tw::win32::Win32Platform::batchCommand(L"probe.bat").program,
                           L"cmd.exe /C probe.bat", path(L"logs"), environmentWith({}),
                           path(L"logs\\probe-console.txt")),
              0);
    const bool honoursDelayedExpansion = read(L"logs\\probe.txt") == "ac\r\n";
    const bool honoursAutoRun = platform.exists(marker);
    ::DeleteFileW(marker.c_str());
    std::cout << "this cmd.exe " << (honoursDelayedExpansion ? "honours" : "ignores")
              << " DelayedExpansion and " << (honoursAutoRun ? "honours" : "ignores")
              << " AutoRun in the registry\n";
    if (!underWine()) {
        EXPECT_TRUE(honoursDelayedExpansion);
        EXPECT_TRUE(honoursAutoRun);
    }

    decodeAndRun(expected);
    EXPECT_NE(std::find(expected.decoded.begin(), expected.decoded.end(), L"bang!.mp3"),
              expected.decoded.end());
    EXPECT_FALSE(platform.exists(marker)) << "the AutoRun command ran";
}

} // namespace
