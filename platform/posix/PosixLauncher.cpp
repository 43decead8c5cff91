// Starting TEMP.BAT in a terminal window: the first terminal that starts runs tonwright-console
// (which ships beside the program) on the script, in the script's folder, and we do not wait
// for it.
#include "PosixLauncher.h"

#include "Process.h"
#include "Text.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <strings.h>
#include <sys/stat.h>

namespace tw::posix {

namespace {

const char* const interpreterName = "tonwright-console";

// How long a started terminal is watched: one that refuses its arguments or cannot open its
// window ends within it, and the next one is tried.
constexpr int watchMilliseconds = 400;

bool hasValue(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// How a terminal program takes the command it runs, and which of a title, a place and a
// minimized start it takes.
enum class Style {
    Xterm,           // -iconic, -geometry, -T title, -e command...
    XdgTerminalExec, // command...
    Gnome,           // --geometry=, -- command...
    Xfce,            // --minimize, --geometry=, -T title, -x command...
    Mate,            // --geometry=, -t title, -x command...
    Debian,          // -T title, -e command... (every x-terminal-emulator takes these)
    Plain,           // -e command... (konsole, and any other)
};

struct KnownTerminal {
    const char* name;
    Style style;
};

// By the name of the program a link leads to; xterm's wrappers pass xterm's arguments on.
constexpr KnownTerminal knownTerminals[] = {
    {"xterm", Style::Xterm},
    {"uxterm", Style::Xterm},
    {"lxterm", Style::Xterm},
    {"koi8rxterm", Style::Xterm},
    {"xdg-terminal-exec", Style::XdgTerminalExec},
    {"gnome-terminal", Style::Gnome},
    {"konsole", Style::Plain},
    {"xfce4-terminal", Style::Xfce},
    {"mate-terminal", Style::Mate},
};

// The terminal each desktop ships (as XDG_CURRENT_DESKTOP names the desktop); its package has
// the program's name.
constexpr std::pair<const char*, const char*> desktopTerminals[] = {
    {"GNOME", "gnome-terminal"}, {"Unity", "gnome-terminal"}, {"X-Cinnamon", "gnome-terminal"},
    {"KDE", "konsole"},          {"XFCE", "xfce4-terminal"},  {"MATE", "mate-terminal"},
};

// The console's size in xterm's cells ("Monospace" at 11 points: 9 x 19 pixels at 96 to 100
// dots per inch) and what its border and a window manager's frame add (a title bar of up to 40
// pixels): the estimate that keeps the whole window on the screen. Fewer rows where the full
// height fits nowhere beside the main window; never fewer columns, which the status line needs.
constexpr int columns = 80;
constexpr int rows = 24;
constexpr int fewestRows = 6;
constexpr int cellWidth = 9;
constexpr int cellHeight = 19;
constexpr int frameWidth = 4 + 12;
constexpr int frameHeight = 4 + 40;

struct Candidate {
    std::string label;   // as the user knows it
    std::string program; // its full path; empty when it is not installed
    Style style = Style::Plain;
};

struct Launch {
    std::string title;
    bool minimized = false;
    std::string geometry; // "80x24+X+Y", or empty to let the desktop place it
    std::vector<std::string> command;
};

std::string realProgram(const std::string& program) {
    char* real = ::realpath(program.c_str(), nullptr);
    if (!real)
        return program;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

// By the program's own name, else by the name of the program a link leads to.
Style styleOf(const std::string& program, Style otherwise) {
    for (const std::string& path : {program, realProgram(program)}) {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        for (const KnownTerminal& known : knownTerminals)
            if (name == known.name)
                return known.style;
    }
    return otherwise;
}

// The terminal of the desktop we run in, when it is one we know.
std::string desktopTerminal() {
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    std::string list = desktops ? desktops : "";
    for (const std::string& desktop : splitSearchPath(list))
        for (const auto& [name, terminal] : desktopTerminals)
            if (::strcasecmp(desktop.c_str(), name) == 0)
                return terminal;
    return {};
}

// The terminals to try, in order: the one the user prefers, the desktop-wide conventions, the
// desktop's own, and xterm where there is X.
std::vector<Candidate> terminalCandidates(bool x11) {
    std::vector<Candidate> candidates;
    if (const char* preferred = std::getenv("TONWRIGHT_TERMINAL"); preferred && *preferred) {
        const std::string name = preferred;
        const std::string program = name.find('/') != std::string::npos
                                        ? (isExecutableFile(name) ? name : std::string())
                                        : findOnPath(name);
        candidates.push_back(
            {"TONWRIGHT_TERMINAL=" + name, program, styleOf(program, Style::Plain)});
    }
    candidates.push_back(
        {"xdg-terminal-exec", findOnPath("xdg-terminal-exec"), Style::XdgTerminalExec});
    const std::string debian = findOnPath("x-terminal-emulator");
    candidates.push_back({"x-terminal-emulator", debian, styleOf(debian, Style::Debian)});
    if (const std::string own = desktopTerminal(); !own.empty())
        candidates.push_back({own, findOnPath(own), styleOf(own, Style::Plain)});
    if (x11)
        candidates.push_back({"xterm", findOnPath("xterm"), Style::Xterm});
    return candidates;
}

std::vector<std::string> terminalArguments(const Candidate& terminal, const Launch& launch) {
    std::vector<std::string> args{terminal.program};
    const auto add = [&args](std::initializer_list<std::string> more) {
        args.insert(args.end(), more);
    };
    const bool placed = !launch.geometry.empty();
    switch (terminal.style) {
    case Style::Xterm:
        if (launch.minimized)
            add({"-iconic"});
        // A scalable font the desktop's font configuration resolves, instead of a bitmap font
        // the X server may not have (xterm then warns in the window).
        add({"-fa", "Monospace", "-fs", "11"});
        if (placed)
            add({"-geometry", launch.geometry});
        add({"-T", launch.title, "-e"});
        break;
    case Style::XdgTerminalExec:
        break;
    case Style::Gnome:
        if (placed)
            add({"--geometry=" + launch.geometry});
        add({"--"});
        break;
    case Style::Xfce:
        if (launch.minimized)
            add({"--minimize"});
        if (placed)
            add({"--geometry=" + launch.geometry});
        add({"-T", launch.title, "-x"});
        break;
    case Style::Mate:
        if (placed)
            add({"--geometry=" + launch.geometry});
        add({"-t", launch.title, "-x"});
        break;
    case Style::Debian:
        add({"-T", launch.title, "-e"});
        break;
    case Style::Plain:
        add({"-e"});
        break;
    }
    args.insert(args.end(), launch.command.begin(), launch.command.end());
    return args;
}

// Where a normal console window opens in view: columns x rows + x + y, in a terminal's
// geometry; empty when the main window's place is not known.
std::string consoleGeometry(const ConsolePlacement& placement) {
    const ScreenRect frame =
        placeConsole(placement, columns * cellWidth + frameWidth, rows * cellHeight + frameHeight,
                     fewestRows * cellHeight + frameHeight);
    if (frame.isEmpty())
        return {};
    const int fitting = std::clamp((frame.height - frameHeight) / cellHeight, 1, rows);
    return std::to_string(columns) + "x" + std::to_string(fitting) + "+" +
           std::to_string(std::max(0, frame.x)) + "+" + std::to_string(std::max(0, frame.y));
}

// The packages that would give a console window here.
std::wstring whatToInstall(bool x11) {
    std::vector<std::string> packages;
    if (const std::string own = desktopTerminal(); !own.empty())
        packages.push_back(own);
    if (x11)
        packages.push_back("xterm");
    if (packages.empty())
        return L"Install the terminal program of your desktop (such as the package "
               L"\"gnome-terminal\", \"konsole\" or \"xfce4-terminal\"), or name yours in "
               L"TONWRIGHT_TERMINAL.";
    std::wstring text = L"Install the package \"" + fromUtf8(packages.front()) + L"\"";
    if (packages.size() > 1)
        text += L" or \"" + fromUtf8(packages.back()) + L"\"";
    return text + L".";
}

// Whether a console could open at all: a display to open it on, the interpreter beside the
// program, and the script's folder. A detached terminal that cannot reach a display would fail
// unseen; this finds out first.
Status checkBeforeStart(bool x11, const std::string& programFolder, const std::string& interpreter,
                        const std::string& nativeDirectory, const std::string& script) {
    if (!x11 && !hasValue("WAYLAND_DISPLAY"))
        return Status::failure(L"No display to open a console window on (DISPLAY is not set).");
    if (programFolder.empty() || !isExecutableFile(interpreter))
        return Status::failure(L"The console interpreter " + fromUtf8(interpreterName) +
                               L" is missing: it should be beside the program in " +
                               fromUtf8(programFolder) + L".");
    struct stat st {};
    if (::stat(nativeDirectory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Status::failure(L"Cannot start " + fromUtf8(script) + L": the folder " +
                               fromUtf8(nativeDirectory) + L" does not exist.");
    return Status::success();
}

// A shell enters the folder, sets the search path and becomes the interpreter: a terminal that
// hands its command to a server of its own would run it in the server's folder and
// environment. The names are its arguments, never its code.
std::vector<std::string> interpreterCommand(const std::string& nativeDirectory,
                                            const std::string& path, const std::string& interpreter,
                                            const std::string& script) {
    return {"/bin/sh",
            "-c",
            "cd \"$1\" && export PATH=\"$2\" && exec \"$3\" \"$4\"",
            interpreterName,
            nativeDirectory,
            path,
            interpreter,
            script};
}

// A terminal that did not start, as the failure lists it.
std::string whyNotStarted(const Candidate& candidate, const SpawnResult& started) {
    if (started.failure == SpawnResult::Failure::Ended)
        return candidate.label + " (ended at once with exit status " +
               std::to_string(started.error) + ")";
    return candidate.label + " (cannot be started: " +
           (started.error != 0 ? toUtf8(systemErrorText(started.error))
                               : std::string("no process could be created")) +
           ")";
}

// The failure once every terminal was tried, each named with why it did not start.
Status noTerminalStarted(std::vector<std::string> tried, bool x11) {
    if (!x11)
        tried.push_back("xterm (needs an X display: DISPLAY is not set)");
    std::string tries;
    for (const std::string& one : tried)
        tries += (tries.empty() ? "" : ", ") + one;
    return Status::failure(L"No terminal program could open a console window (tried: " +
                           fromUtf8(tries) + L"). " + whatToInstall(x11));
}

} // namespace

std::string searchPathWithProgramFolder(const std::string& path, const std::string& programFolder) {
    // A ":" in the folder's name would split it into other folders, one of them relative.
    if (programFolder.empty() || programFolder.find(':') != std::string::npos)
        return path;
    if (path.empty())
        return programFolder;
    const std::vector<std::string> folders = splitSearchPath(path);
    if (std::find(folders.begin(), folders.end(), programFolder) != folders.end())
        return path;
    return path + ":" + programFolder;
}

bool notifyDesktop(const std::string& title, const std::string& body) {
    // The service lives on the session bus; without one nobody would hear.
    if (!hasValue("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    const std::string sender = findOnPath("notify-send");
    if (sender.empty())
        return false;
    return spawnDetached({sender, "--app-name=Tonwright", "--icon=tonwright", title, body}).ok();
}

Status startScriptInTerminal(const std::string& nativeDirectory, const std::string& script,
                             bool minimized, const ConsolePlacement& placement) {
    const bool x11 = hasValue("DISPLAY");
    const std::string folder = programDirectoryNative();
    const std::string interpreter = (folder == "/" ? "" : folder) + "/" + interpreterName;
    if (Status ready = checkBeforeStart(x11, folder, interpreter, nativeDirectory, script); !ready)
        return ready;

    // The tools that ship with the program (the decoder) are found even when the script's
    // folder holds none of them.
    const std::string path = searchPathWithProgramFolder(searchPath(), folder);
    const Launch launch{script.substr(script.find_last_of('/') + 1), minimized,
                        x11 && !minimized ? consoleGeometry(placement) : std::string(),
                        interpreterCommand(nativeDirectory, path, interpreter, script)};

    std::vector<std::string> tried;
    std::vector<std::string> triedPrograms;
    for (const Candidate& candidate : terminalCandidates(x11)) {
        if (candidate.program.empty()) {
            tried.push_back(candidate.label + " (not installed)");
            continue;
        }
        // A link to a terminal already tried fails the same way.
        const std::string real = realProgram(candidate.program);
        if (std::find(triedPrograms.begin(), triedPrograms.end(), real) != triedPrograms.end())
            continue;
        triedPrograms.push_back(real);

        const SpawnResult started =
            spawnDetached(terminalArguments(candidate, launch), nativeDirectory, {"PATH=" + path},
                          watchMilliseconds);
        if (started.ok())
            return Status::success();
        if (started.failure == SpawnResult::Failure::Folder)
            return Status::failure(L"Cannot start " + fromUtf8(script) + L" in " +
                                   fromUtf8(nativeDirectory) + L": " +
                                   systemErrorText(started.error));
        tried.push_back(whyNotStarted(candidate, started));
    }
    return noTerminalStarted(std::move(tried), x11);
}

} // namespace tw::posix
