// Starting TEMP.BAT in a terminal window: the terminal runs tonwright-console (which ships
// beside the program) on the script, in the script's folder, and we do not wait for it.
#include "PosixLauncher.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::posix {

namespace {

const char* const interpreterName = "tonwright-console";

std::wstring widen(const std::string& text) {
    // Messages hold file names: keep their bytes readable without a locale.
    std::wstring wide;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t cp = extra ? (b & (0x3F >> extra)) : b;
        bool valid = b < 0x80 || (b >= 0xC0 && i + extra < text.size());
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            valid = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        wide.push_back(static_cast<wchar_t>(valid ? cp : b));
        i += valid ? extra + 1 : 1;
    }
    return wide;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream directories(path ? path : "");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (directory.empty())
            continue;
        const std::string candidate = directory + "/" + program;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

std::string programDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            const std::string self(buffer.data(), static_cast<std::size_t>(n));
            return self.substr(0, self.find_last_of('/'));
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool hasValue(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// What the grandchild reports when it cannot get as far as the terminal.
struct ChildFailure {
    int step;  // 1: folder, 2: exec
    int error; // errno
};

} // namespace

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

    const std::string folder = programDirectory();
    const std::string interpreter = folder + "/" + interpreterName;
    if (folder.empty() || !isExecutableFile(interpreter))
        return Status::failure(L"The console interpreter " + widen(interpreterName) +
                               L" is missing: it should be beside the program in " + widen(folder) +
                               L".");

    struct stat st {};
    if (::stat(nativeDirectory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Status::failure(L"Cannot start " + widen(script) + L": the folder " +
                               widen(nativeDirectory) + L" does not exist.");

    const std::string title = script.substr(script.find_last_of('/') + 1);
    std::vector<std::string> args{terminal};
    if (isXterm && minimized)
        args.push_back("-iconic");
    args.insert(args.end(), {"-T", title, "-e", interpreter, script});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // Everything the children need is ready: after fork only async-signal-safe calls follow.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return Status::failure(L"Cannot start the console window: " + widen(std::strerror(errno)));
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return Status::failure(L"Cannot start the console window: " + widen(std::strerror(error)));
    }
    if (child == 0) {
        // A session of its own, and a grandchild that init adopts: no zombie, no shared
        // process group (a Ctrl+C meant for us does not reach the script, nor the reverse).
        ::close(fds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(grandchild < 0 ? 1 : 0);
        ChildFailure failure{1, 0};
        if (::chdir(nativeDirectory.c_str()) == 0) {
            // Our own descriptors (the display connection, open files) stay with us.
            ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            sigset_t all;
            ::sigemptyset(&all);
            ::sigprocmask(SIG_SETMASK, &all, nullptr);
            struct sigaction defaults {};
            defaults.sa_handler = SIG_DFL;
            for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGHUP, SIGTERM})
                ::sigaction(sig, &defaults, nullptr);
            ::execv(argv[0], argv.data());
            failure.step = 2;
        }
        failure.error = errno;
        [[maybe_unused]] auto n = ::write(fds[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(fds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ChildFailure failure{};
    ssize_t n;
    do {
        n = ::read(fds[0], &failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    ::close(fds[0]);

    if (n == static_cast<ssize_t>(sizeof failure)) {
        if (failure.step == 1)
            return Status::failure(L"Cannot start " + widen(script) + L" in " +
                                   widen(nativeDirectory) + L": " +
                                   widen(std::strerror(failure.error)));
        return Status::failure(L"Cannot start the terminal " + widen(terminal) + L": " +
                               widen(std::strerror(failure.error)));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Status::failure(L"Cannot start the console window: the process could not be "
                               L"created.");
    return Status::success();
}

} // namespace tw::posix
