// Starting TEMP.BAT in a terminal window: the terminal runs tonwright-console (which ships
// beside the program) on the script, in the script's folder, and we do not wait for it.
#include "PosixLauncher.h"

#include "Process.h"
#include "Text.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace tw::posix {

namespace {

const char* const interpreterName = "tonwright-console";

bool hasValue(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
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
                             bool minimized) {
    // A detached terminal that cannot reach a display would fail unseen; find out first.
    const bool x11 = hasValue("DISPLAY");
    if (!x11 && !hasValue("WAYLAND_DISPLAY"))
        return Status::failure(L"No display to open a console window on (DISPLAY is not set).");

    // xterm can start iconified; a Wayland session without X11 needs the desktop's own terminal.
    std::string terminal;
    bool isXterm = false;
    if (x11) {
        terminal = findOnPath("xterm");
        isXterm = !terminal.empty();
    }
    if (terminal.empty())
        terminal = findOnPath("x-terminal-emulator");
    if (terminal.empty() && !x11)
        return Status::failure(L"No terminal program to open a console window with: "
                               L"x-terminal-emulator is not installed, and xterm needs an X "
                               L"display (DISPLAY is not set). Install a terminal program for "
                               L"the desktop, or run under X with the package \"xterm\".");
    if (terminal.empty())
        return Status::failure(L"No terminal program to open a console window with: neither "
                               L"xterm nor x-terminal-emulator is installed. Install the "
                               L"package \"xterm\".");

    const std::string folder = programDirectoryNative();
    const std::string interpreter = (folder == "/" ? "" : folder) + "/" + interpreterName;
    if (folder.empty() || !isExecutableFile(interpreter))
        return Status::failure(L"The console interpreter " + fromUtf8(interpreterName) +
                               L" is missing: it should be beside the program in " +
                               fromUtf8(folder) + L".");

    struct stat st {};
    if (::stat(nativeDirectory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Status::failure(L"Cannot start " + fromUtf8(script) + L": the folder " +
                               fromUtf8(nativeDirectory) + L" does not exist.");

    const std::string title = script.substr(script.find_last_of('/') + 1);
    std::vector<std::string> args{terminal};
    if (isXterm && minimized)
        args.push_back("-iconic");
    // A scalable font the desktop's font configuration resolves, instead of a bitmap font the
    // X server may not have (xterm then warns in the window).
    if (isXterm)
        args.insert(args.end(), {"-fa", "Monospace", "-fs", "11"});
    args.insert(args.end(), {"-T", title, "-e", interpreter, script});
    // The tools that ship with the program (the decoder) are found even when the script's
    // folder holds none of them.
    const std::string path = "PATH=" + searchPathWithProgramFolder(searchPath(), folder);

    const SpawnResult started = spawnDetached(args, nativeDirectory, {path});
    switch (started.failure) {
    case SpawnResult::Failure::None:
        return Status::success();
    case SpawnResult::Failure::Folder:
        return Status::failure(L"Cannot start " + fromUtf8(script) + L" in " +
                               fromUtf8(nativeDirectory) + L": " + systemErrorText(started.error));
    case SpawnResult::Failure::Program:
        return Status::failure(L"Cannot start the terminal " + fromUtf8(terminal) + L": " +
                               systemErrorText(started.error));
    case SpawnResult::Failure::Start:
        break;
    }
    if (started.error != 0)
        return Status::failure(L"Cannot start the console window: " +
                               systemErrorText(started.error));
    return Status::failure(L"Cannot start the console window: the process could not be "
                           L"created.");
}

} // namespace tw::posix
