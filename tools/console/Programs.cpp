#include "Programs.h"

#include "Script.h"

#include "platform/Text.h"
#include "platform/posix/Files.h"
#include "platform/posix/Process.h"
#include "platform/posix/Text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::console {

namespace {

const char* const programExtensions[] = {".exe", ".com", ".bat", ".cmd"};

bool endsWithIgnoringCase(const std::string& name, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (name.size() <= n)
        return false;
    return sameNameIgnoringCase(text::fromUtf8(name.substr(name.size() - n)),
                                text::fromUtf8(suffix));
}

// A folder's names in byte order, so that the first match is the same wherever it runs.
std::vector<std::string> sortedNamesIn(const std::string& directory) {
    std::vector<std::string> names = posix::namesIn(directory);
    std::sort(names.begin(), names.end());
    return names;
}

// The forms of a program word that a file's name can take.
struct ProgramName {
    explicit ProgramName(const std::string& typed) : name(typed), wanted(text::fromUtf8(typed)) {
        for (const char* ext : programExtensions)
            withExtension.push_back(wanted + text::fromUtf8(ext));
        if (endsWithIgnoringCase(name, ".exe") || endsWithIgnoringCase(name, ".com"))
            stem = text::fromUtf8(name.substr(0, name.size() - 4));
    }

    // How well a file's name matches, best first: the exact name, another case, an added
    // extension, a dropped .exe or .com; -1 for no match.
    int rank(const std::string& entry) const {
        if (entry == name)
            return 0;
        // Other names match as a drive path would reach them; one that no drive path can carry
        // is reached by its exact bytes only.
        if (!posix::isCarriableName(entry))
            return -1;
        const std::wstring wide = text::fromUtf8(entry);
        if (sameNameIgnoringCase(wide, wanted))
            return 1;
        if (std::any_of(withExtension.begin(), withExtension.end(),
                        [&](const std::wstring& w) { return sameNameIgnoringCase(wide, w); }))
            return 2;
        if (!stem.empty() && sameNameIgnoringCase(wide, stem))
            return 3;
        return -1;
    }

    std::string name;
    std::wstring wanted;
    std::vector<std::wstring> withExtension;
    std::wstring stem;
};

// The names in `directory` that match, the best first and in listing order within a rank.
std::vector<std::string> candidatesIn(const std::string& directory, const ProgramName& program) {
    std::vector<std::pair<int, std::string>> ranked;
    for (auto& entry : sortedNamesIn(directory))
        if (const int rank = program.rank(entry); rank >= 0)
            ranked.emplace_back(rank, std::move(entry));
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (auto& [rank, entry] : ranked)
        names.push_back(std::move(entry));
    return names;
}

// The match within one directory; empty when none.
ProgramMatch findIn(const std::string& directory, const ProgramName& program, ProgramMatch& any) {
    for (const std::string& entry : candidatesIn(directory, program)) {
        const std::string path = posix::joinNative(directory, entry);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const bool script = isScriptName(entry);
        if (::access(path.c_str(), script ? R_OK : X_OK) == 0)
            return {path, script, {}};
        if (any.unusable.empty())
            any.unusable = path;
    }
    return {};
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::atomic<pid_t> g_running{0};
volatile std::sig_atomic_t g_stopSignal = 0;

void onStop(int signal) {
    g_stopSignal = signal;
    // The program that runs stops too, and takes its partial output with it.
    if (const pid_t child = g_running.load())
        ::kill(child, SIGTERM);
}

// What a program reports on its progress channel since the last read; false once it is closed.
bool readProgress(int fd, std::string& pending, double& fraction) {
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0)
        return n < 0 && (errno == EINTR || errno == EAGAIN);
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        fraction = std::clamp(std::strtod(pending.substr(0, end).c_str(), nullptr), 0.0, 1.0);
        pending.erase(0, end + 1);
    }
    return true;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

bool isScriptName(const std::string& name) {
    return endsWithIgnoringCase(name, ".bat") || endsWithIgnoringCase(name, ".cmd");
}

ProgramMatch findProgram(const std::string& name, const std::vector<std::string>& directories) {
    ProgramMatch match;
    if (name.empty() || name.find('/') != std::string::npos)
        return match;
    const ProgramName program(name);
    for (const auto& directory : directories)
        if (ProgramMatch found = findIn(directory, program, match); !found.path.empty())
            return found;
    return match;
}

ProgramMatch ProgramFinder::find(const std::string& name,
                                 const std::vector<std::string>& directories) {
    const auto key = std::make_pair(name, directories);
    const auto known = m_known.find(key);
    const auto unchanged = [](const Looked& looked) {
        struct stat st {};
        return ::stat(looked.folder.c_str(), &st) == 0 && sameTime(st.st_mtim, looked.modified) &&
               sameTime(st.st_ctim, looked.changed);
    };
    if (known != m_known.end() &&
        std::all_of(known->second.looked.begin(), known->second.looked.end(), unchanged) &&
        (known->second.match.path.empty() ||
         ::access(known->second.match.path.c_str(), X_OK | R_OK) == 0))
        return known->second.match;
    Known fresh;
    // The folders' times before the look, so a change while looking is seen next time.
    for (const std::string& folder : directories) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0)
            fresh.looked.push_back({folder, st.st_mtim, st.st_ctim});
    }
    fresh.match = findProgram(name, directories);
    m_known[key] = fresh;
    return fresh.match;
}

ProgramEnd runToEnd(const std::vector<std::string>& argv,
                    const std::function<void(double)>& progress) {
    ProgramEnd end;
    int channel[2] = {-1, -1};
    const bool listening = progress && ::pipe2(channel, O_CLOEXEC) == 0;
    std::vector<std::string> environment;
    if (listening)
        environment.push_back("L3DEC_PROGRESS_FD=3");
    const posix::StartedProgram started =
        posix::startProgram(argv, environment, listening ? channel[1] : -1);
    if (listening)
        ::close(channel[1]);
    end.started = started.start.ok();
    end.failure = static_cast<int>(started.start.failure);
    end.error = started.start.error;
    if (!end.started) {
        if (listening)
            ::close(channel[0]);
        return end;
    }
    g_running = started.pid;
    if (g_stopSignal != 0)
        ::kill(started.pid, SIGTERM);
    bool ended = false;
    if (listening) {
        std::string pending;
        double fraction = 0;
        pollfd watch{channel[0], POLLIN, 0};
        // Until the program ends: a program of its own that it left running may hold the
        // channel open.
        for (bool open = true; open && !ended;) {
            if (::poll(&watch, 1, 200) > 0)
                open = readProgress(channel[0], pending, fraction);
            progress(fraction);
            ended = ::waitpid(started.pid, &end.status, WNOHANG) == started.pid;
        }
        ::close(channel[0]);
    }
    if (!ended)
        end.status = waitFor(started.pid);
    g_running = 0;
    return end;
}

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

int stopSignal() {
    return g_stopSignal;
}

void requestStop(int signal) {
    onStop(signal);
}

std::wstring endFailure(const std::wstring& command, int status) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {};
    if (WIFEXITED(status))
        return command + L" ended with exit code " + std::to_wstring(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return command + L" was ended by signal " + std::to_wstring(WTERMSIG(status)) + L" (" +
               text::fromUtf8(::strsignal(WTERMSIG(status))) + L")";
    return command + L" ended abnormally";
}

namespace {

// Why exec failed for the program at a native path, from the errno value.
std::wstring execFailure(const std::string& program, int error) {
    const std::wstring system = L" (" + posix::systemErrorText(error) + L")";
    // A script names the program that runs it on its first line.
    std::string start;
    std::string runner;
    if (posix::readFileStart(program, start, 512) == 0 && start.rfind("#!", 0) == 0) {
        std::size_t from = start.find_first_not_of(" \t", 2);
        if (from != std::string::npos)
            runner = start.substr(from, start.find_first_of(" \t\r\n", from) - from);
    }
    const std::wstring shownRunner =
        L"the program it names on its first line, " + text::fromUtf8(runner) + L",";
    switch (error) {
    case ENOEXEC:
        return L"it is neither a program for this system nor a script whose first line names "
               L"the program to run it" +
               system;
    case ENOENT: {
        struct stat st {};
        if (::stat(program.c_str(), &st) != 0)
            return L"it is no longer there" + system;
        if (!runner.empty())
            return shownRunner + L" does not exist" + system;
        return L"it needs a loader this system does not have (a program for another kind of "
               L"system?)" +
               system;
    }
    case EACCES:
        if (!runner.empty() && !posix::isExecutableFile(runner))
            return shownRunner + L" cannot be run" + system;
        return L"its file system may not allow running programs" + system;
    case ETXTBSY:
        return L"it is open for writing, perhaps still being copied" + system;
    case E2BIG:
        return L"its arguments are too long for the system" + system;
    default:
        return posix::systemErrorText(error);
    }
}

} // namespace

std::wstring startFailure(const std::wstring& shownProgram, const std::string& program, int failure,
                          int error) {
    if (failure == static_cast<int>(posix::SpawnResult::Failure::Program))
        return L"cannot run " + shownProgram + L": " + execFailure(program, error);
    return L"cannot start a process for " + shownProgram + L": " +
           (error ? posix::systemErrorText(error) : L"the system gave no reason");
}

} // namespace tw::console
