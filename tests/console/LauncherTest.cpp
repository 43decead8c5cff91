// Starting a script in a real terminal window, on an X server of the test's own (Xvfb).
#include "tests/support/ConsoleTestSupport.h"

#include "core/Decode.h"
#include "platform/Text.h"
#include "platform/posix/PosixLauncher.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>

using namespace tw::test;
using Clock = std::chrono::steady_clock;

namespace {

std::string findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0)
            return folder + "/" + program;
    return {};
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool processGone(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Parent, process group and session of a process, from /proc.
struct ProcessInfo {
    long parent = 0, group = 0, session = 0;
};
ProcessInfo processInfo(long pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    ProcessInfo info;
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return info;
    std::istringstream fields(stat.substr(close + 2));
    char state;
    fields >> state >> info.parent >> info.group >> info.session;
    return info;
}

std::vector<std::string> commandLine(long pid) {
    const std::string raw = readFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> args;
    std::istringstream parts(raw);
    std::string part;
    while (std::getline(parts, part, '\0'))
        args.push_back(part);
    return args;
}

// --- What is missing is reported, before anything is started ---

TEST(Launcher, WithoutADisplayFailsAndSaysSo) {
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    TempFolder folder;
    const auto status = tw::posix::startScriptInTerminal(folder.path(), "TEMP.BAT", false);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message, L"No display to open a console window on (DISPLAY is not set).");
}

// --- The terminals tried in turn, as stand-ins on PATH that log how they were started ---

struct ChainCase {
    const char* name;
    const char*
        standIns; // "name" starts, "name:refuse" ends at once failing, "name:junk" is no program
    const char* setting; // "desktop=D", "prefer=P" (TONWRIGHT_TERMINAL), "minimized", "wayland"
    const char* tried;   // the stand-ins run, in order
    const char* result;  // the last one's arguments before the command; "!" and a part of the
                         // failure when none starts
};

void PrintTo(const ChainCase& c, std::ostream* os) {
    *os << c.name;
}

class TerminalChain : public ::testing::TestWithParam<ChainCase> {};

std::vector<std::string> wordsOf(const std::string& text, char separator = ' ') {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; std::getline(in, word, separator);)
        if (!word.empty())
            words.push_back(word);
    return words;
}

TEST_P(TerminalChain, TakesTheFirstThatStarts) {
    const ChainCase& c = GetParam();
    TempFolder bin;
    TempFolder log;
    for (const std::string& standIn : wordsOf(c.standIns)) {
        const std::string name = standIn.substr(0, standIn.find(':'));
        const std::string how = standIn.substr(name.size());
        writeFile(bin / name,
                  how == ":junk" ? "not a program"
                                 : "#!/bin/sh\necho \"${0##*/}\" >> \"$TW_LOG/order\"\n"
                                   "for a; do echo \"$a\"; done > \"$TW_LOG/${0##*/}\"\nexit " +
                                       std::string(how == ":refuse" ? "2" : "0") + "\n",
                  true);
    }
    std::map<std::string, std::string> setting;
    for (const std::string& word : wordsOf(c.setting))
        setting[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
    const bool wayland = setting.count("wayland") > 0;
    ScopedEnv path("PATH", bin.path().c_str());
    ScopedEnv display("DISPLAY", wayland ? nullptr : ":97");
    ScopedEnv waylandEnv("WAYLAND_DISPLAY", wayland ? "wayland-0" : nullptr);
    ScopedEnv desktop("XDG_CURRENT_DESKTOP",
                      setting.count("desktop") ? setting["desktop"].c_str() : nullptr);
    ScopedEnv preferred("TONWRIGHT_TERMINAL",
                        setting.count("prefer") ? setting["prefer"].c_str() : nullptr);
    ScopedEnv logEnv("TW_LOG", log.path().c_str());

    const tw::ConsolePlacement beside{{0, 0, 440, 350}, {0, 0, 1280, 1024}};
    const auto status = tw::posix::startScriptInTerminal(log.path(), "TEMP.BAT",
                                                         setting.count("minimized") > 0, beside);
    const auto tried = wordsOf(c.tried);
    EXPECT_EQ(wordsOf(readFile(log / "order"), '\n'), tried);
    const std::string result = c.result;
    if (result.starts_with("!")) {
        EXPECT_FALSE(status.ok);
        EXPECT_NE(tw::text::toUtf8(status.message).find(result.substr(1)), std::string::npos)
            << tw::text::toUtf8(status.message);
        return;
    }
    ASSERT_TRUE(status.ok) << tw::text::toUtf8(status.message);
    std::vector<std::string> args = wordsOf(readFile(log / tried.back()), '\n');
    args.erase(std::find(args.begin(), args.end(), "/bin/sh"), args.end());
    EXPECT_EQ(args, wordsOf(result));
}

INSTANTIATE_TEST_SUITE_P(
    Terminals, TerminalChain,
    ::testing::Values(
        ChainCase{"XdgTerminalExecFirst", "xdg-terminal-exec x-terminal-emulator xterm", "",
                  "xdg-terminal-exec", ""},
        ChainCase{"DebiansNext", "xdg-terminal-exec:refuse x-terminal-emulator xterm", "",
                  "xdg-terminal-exec x-terminal-emulator", "-T TEMP.BAT -e"},
        ChainCase{"GnomePlaced", "gnome-terminal xterm", "desktop=ubuntu:GNOME", "gnome-terminal",
                  "--geometry=80x24+448+0 --"},
        ChainCase{"Konsole", "konsole", "desktop=KDE", "konsole", "-e"},
        ChainCase{"XfceMinimized", "xfce4-terminal", "desktop=XFCE minimized", "xfce4-terminal",
                  "--minimize -T TEMP.BAT -x"},
        ChainCase{"MateRefusingThenXtermPlaced", "mate-terminal:refuse xterm", "desktop=MATE",
                  "mate-terminal xterm",
                  "-fa Monospace -fs 11 -geometry 80x24+448+0 -T TEMP.BAT -e"},
        ChainCase{"PreferredFirst", "myterm xdg-terminal-exec", "prefer=myterm", "myterm", "-e"},
        ChainCase{"PreferredRefusing", "myterm:refuse xdg-terminal-exec", "prefer=myterm",
                  "myterm xdg-terminal-exec", ""},
        ChainCase{"PreferredMissing", "xdg-terminal-exec", "prefer=myterm", "xdg-terminal-exec",
                  ""},
        ChainCase{"NoneAtAll", "", "", "",
                  "!(tried: xdg-terminal-exec (not installed), x-terminal-emulator (not "
                  "installed), xterm (not installed)). Install the package \"xterm\"."},
        ChainCase{"EachRefusing",
                  "xdg-terminal-exec:refuse x-terminal-emulator:refuse gnome-terminal:refuse "
                  "xterm:refuse",
                  "desktop=GNOME", "xdg-terminal-exec x-terminal-emulator gnome-terminal xterm",
                  "!gnome-terminal (ended at once with exit status 2), xterm (ended at once with "
                  "exit status 2)). Install the package \"gnome-terminal\" or \"xterm\"."},
        ChainCase{"NoProgram", "xterm:junk", "", "",
                  "!xterm (cannot be started: Exec format error)"},
        ChainCase{"XtermWithoutX", "xterm", "wayland", "",
                  "!xterm (needs an X display: DISPLAY is not set)). Install the terminal "
                  "program of your desktop"}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(Launcher, AMissingFolderIsAFailure) {
    TempFolder folder;
    ScopedEnv display("DISPLAY", ":97");
    const auto status = tw::posix::startScriptInTerminal(folder / "gone", "TEMP.BAT", false);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(L"does not exist"), std::wstring::npos);
}

// The interpreter is looked for beside the running program: run a copy of this test program
// from a folder that has no interpreter in it.
TEST(Launcher, WithoutTheInterpreterBesideTheProgramNamesIt) {
    if (findOnPath("xterm").empty() && findOnPath("x-terminal-emulator").empty())
        GTEST_SKIP() << "no terminal program installed";
    ScopedEnv display("DISPLAY", ":97");
    if (std::getenv("TW_LAUNCH_FROM_COPY")) {
        TempFolder folder;
        const auto status = tw::posix::startScriptInTerminal(folder.path(), "TEMP.BAT", false);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.message.find(L"The console interpreter tonwright-console is missing"),
                  std::wstring::npos)
            << tw::text::toUtf8(status.message);
        return;
    }
    TempFolder copy;
    fs::copy_file("/proc/self/exe", copy / "launcher-test");
    ::chmod((copy / "launcher-test").c_str(), 0755);
    const std::string command =
        "TW_LAUNCH_FROM_COPY=1 '" + copy / "launcher-test" +
        "' --gtest_filter=Launcher.WithoutTheInterpreterBesideTheProgramNamesIt"
        " > '" +
        copy / "output" + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(copy / "output");
    EXPECT_NE(readFile(copy / "output").find("[  PASSED  ] 1 test"), std::string::npos)
        << readFile(copy / "output");
}

// --- The real thing: xterm on an X server of our own ---

class XServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string xvfb = findOnPath("Xvfb");
        if (xvfb.empty()) {
            s_why = "Xvfb is not installed (scripts/setup.sh installs it)";
            return;
        }
        if (findOnPath("xterm").empty()) {
            s_why = "xterm is not installed (scripts/setup.sh installs it)";
            return;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            s_why = "no pipe for Xvfb";
            return;
        }
        const std::string fd = std::to_string(fds[1]);
        s_server = ::fork();
        if (s_server == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen",
                    "0", "640x480x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // Xvfb picks a free display number and writes it here once it accepts clients.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(fds[0]);
        if (number.empty()) {
            s_why = "Xvfb could not start an X server here";
            stopServer();
            return;
        }
        s_display = ":" + number;
    }
    static void TearDownTestSuite() { stopServer(); }
    static void stopServer() {
        if (s_server > 0) {
            ::kill(s_server, SIGTERM);
            ::waitpid(s_server, nullptr, 0);
            s_server = -1;
        }
    }
    void SetUp() override {
        if (s_display.empty())
            GTEST_SKIP() << "No X server for the terminal test: " << s_why;
    }

    static inline pid_t s_server = -1;
    static inline std::string s_display;
    static inline std::string s_why;
};

class TerminalWindow : public XServer, public ::testing::WithParamInterface<bool> {};

TEST_P(TerminalWindow, DecodeStartsTheScriptInTheDecoderFolderAndReturnsAtOnce) {
    const bool minimized = GetParam();
    TempFolder root;
    const std::string decoder = root / "Decoder Folder";
    const std::string music = root / "My Music";
    const std::string waves = root / "Waves";
    fs::create_directories(decoder);
    fs::create_directories(waves);
    fs::copy_file(TW_STANDIN_DECODER, decoder + "/l3dec");
    writeFile(music + "/Long Song Title.mp3", "mp3");
    const std::string log = root / "log";
    const std::string release = root / "release";
    ScopedEnv display("DISPLAY", s_display.c_str());
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv terminalEnv("TONWRIGHT_TERMINAL", "xterm");
    ScopedEnv logEnv("TW_STANDIN_LOG", log.c_str());
    ScopedEnv releaseEnv("TW_STANDIN_RELEASE", release.c_str());
    // Letters the run gives new media are remembered in the scratch folder, not the user's.
    ScopedEnv config("XDG_CONFIG_HOME", (root / "config").c_str());

    // The machine's own drive map, as the interpreter in the window uses it.
    tw::posix::PosixPlatform platform;
    tw::DecodeInput input;
    input.sourceFolder = platform.drivePath(music);
    input.entries = {L"Long Song Title.mp3"};
    input.selected = {true};
    tw::AppState state;
    state.DecoderPath = platform.drivePath(decoder);
    state.Destination = platform.drivePath(waves);
    state.LoadMode = minimized ? 1 : 0;
    ScopedCurrentDirectory keep(root.path());

    // A descriptor of ours without close-on-exec must not reach the script's programs.
    const std::string ours = root / "held-open-by-the-program";
    const int held = ::open(ours.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(held, 0);

    const auto started = Clock::now();
    const auto result = tw::decodeNow(platform, input, state);
    ::close(held);
    const auto took = Clock::now() - started;
    ASSERT_EQ(result.kind, tw::DecodeResult::Kind::Started) << tw::text::toUtf8(result.message);
    EXPECT_LT(took, std::chrono::seconds(5));

    // The decoder runs, held until released: Decode returned while the script was running.
    ASSERT_TRUE(waitFor([&] { return !readDecoderLog(log).empty(); }, std::chrono::seconds(30)))
        << "the script did not run";
    const auto run = readDecoderLog(log).front();
    EXPECT_EQ(run.cwd, decoder);
    // The decoder in the folder wins over the one beside the program.
    EXPECT_EQ(run.exe, fs::canonical(decoder + "/l3dec"));
    ASSERT_EQ(run.args.size(), 3u);
    EXPECT_EQ(run.args[0], music + "/Long Song Title.mp3");
    EXPECT_FALSE(exists(run.args[1]));
    EXPECT_EQ(std::count(run.openFiles.begin(), run.openFiles.end(), ours), 0);

    // The decoder's parent is the interpreter, whose parent is the terminal.
    const long interpreter = run.parent;
    const long terminal = processInfo(interpreter).parent;
    const auto terminalArgs = commandLine(terminal);
    ASSERT_FALSE(terminalArgs.empty());
    EXPECT_EQ(fs::path(terminalArgs[0]).filename(), "xterm");
    const bool iconic =
        std::find(terminalArgs.begin(), terminalArgs.end(), "-iconic") != terminalArgs.end();
    EXPECT_EQ(iconic, minimized);
    bool titled = false;
    for (std::size_t i = 0; i + 1 < terminalArgs.size(); ++i)
        titled = titled || (terminalArgs[i] == "-T" && terminalArgs[i + 1] == "TEMP.BAT");
    EXPECT_TRUE(titled);
    // Detached: not our child, not in our process group or session.
    const auto info = processInfo(terminal);
    EXPECT_NE(info.parent, ::getpid());
    EXPECT_NE(info.group, ::getpgrp());
    EXPECT_NE(info.session, ::getsid(0));

    if (!findOnPath("xprop").empty()) {
        const std::string hints = root / "hints";
        const std::string command =
            "xprop -display " + s_display + " -name TEMP.BAT WM_HINTS > '" + hints + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << readFile(hints);
        EXPECT_EQ(readFile(hints).find("Iconic State") != std::string::npos, minimized)
            << readFile(hints);
    }

    writeFile(release, "go");
    EXPECT_TRUE(
        waitFor([&] { return exists(waves + "/Long Song Title.wav"); }, std::chrono::seconds(30)));
    // Every line succeeded, so the interpreter does not wait for Enter and the window closes.
    EXPECT_TRUE(waitFor([&] { return processGone(interpreter) && processGone(terminal); },
                        std::chrono::seconds(30)));
}

INSTANTIATE_TEST_SUITE_P(WindowState, TerminalWindow, ::testing::Values(false, true),
                         [](const auto& tested) { return tested.param ? "minimized" : "normal"; });

// The decoder ships beside the program: the script finds it there when the decoder folder has
// none. Run from a copy of this test program in a folder of its own, with the interpreter and
// the stand-in decoder beside it and neither anywhere on PATH.
using ProgramFolder = XServer;

TEST_F(ProgramFolder, TheDecoderBesideTheProgramIsFoundWhenTheDecoderFolderHasNone) {
    if (!std::getenv("TW_LAUNCH_FROM_COPY")) {
        TempFolder bin;
        const fs::path self = fs::read_symlink("/proc/self/exe");
        fs::copy_file(self, bin / "launcher-test");
        fs::copy_file(self.parent_path() / "tonwright-console", bin / "tonwright-console");
        fs::copy_file(TW_STANDIN_DECODER, bin / "l3dec");
        const std::string path = fs::path(findOnPath("xterm")).parent_path().string() + ":" +
                                 fs::path(findOnPath("Xvfb")).parent_path().string();
        const std::string command = "TW_LAUNCH_FROM_COPY=1 PATH='" + path + "' '" +
                                    bin / "launcher-test" + "' --gtest_filter=ProgramFolder.* > '" +
                                    bin / "output" + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << readFile(bin / "output");
        EXPECT_NE(readFile(bin / "output").find("[  PASSED  ] 1 test"), std::string::npos)
            << readFile(bin / "output");
        return;
    }

    TempFolder root;
    const std::string decoder = root / "Decoder";
    const std::string waves = root / "Waves";
    fs::create_directories(decoder);
    fs::create_directories(waves);
    writeFile(root / "Song.mp3", "mp3");
    const std::string log = root / "log";
    ScopedEnv display("DISPLAY", s_display.c_str());
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv logEnv("TW_STANDIN_LOG", log.c_str());
    ASSERT_TRUE(findOnPath("l3dec").empty()) << "a decoder on PATH: " << findOnPath("l3dec");
    ScopedEnv config("XDG_CONFIG_HOME", (root / "config").c_str());

    tw::posix::PosixPlatform platform;
    tw::DecodeInput input;
    input.sourceFolder = platform.drivePath(root.path());
    input.entries = {L"Song.mp3"};
    input.selected = {true};
    tw::AppState state;
    state.DecoderPath = platform.drivePath(decoder);
    state.Destination = platform.drivePath(waves);
    state.LoadMode = 1;
    ScopedCurrentDirectory keep(root.path());
    const auto result = tw::decodeNow(platform, input, state);
    ASSERT_EQ(result.kind, tw::DecodeResult::Kind::Started) << tw::text::toUtf8(result.message);

    ASSERT_TRUE(waitFor([&] { return exists(waves + "/Song.wav"); }, std::chrono::seconds(30)))
        << "the script did not decode";
    const auto runs = readDecoderLog(log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().exe, fs::read_symlink("/proc/self/exe").parent_path() / "l3dec");
    EXPECT_EQ(runs.front().cwd, decoder);
}

} // namespace
