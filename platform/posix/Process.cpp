#include "Process.h"

#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tw::posix {

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string searchPath() {
    const char* path = std::getenv("PATH");
    return path ? path : "/usr/local/bin:/usr/bin:/bin";
}

std::vector<std::string> splitSearchPath(const std::string& path) {
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            folders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

std::string findOnPath(const std::string& program) {
    for (const std::string& folder : splitSearchPath(searchPath())) {
        const std::string candidate = folder + "/" + program;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

std::string programDirectoryNative() {
    std::string buffer(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            const std::size_t slash = buffer.rfind('/');
            if (slash == std::string::npos)
                return {};
            return slash == 0 ? "/" : buffer.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring systemErrorText(int error) {
    return fromUtf8(std::generic_category().message(error));
}

namespace {

// What a child that cannot get as far as exec writes to the parent.
struct ChildReport {
    SpawnResult::Failure failure;
    int error;
};

void report(int fd, SpawnResult::Failure failure, int error) {
    // One small write is atomic on a pipe. If it is lost the parent still sees a failing exit
    // status: the reason goes missing, never the failure's nature turned into a hang.
    const ChildReport record{failure, error};
    [[maybe_unused]] const ssize_t written = ::write(fd, &record, sizeof record);
}

// Our environment with `overrides` ("NAME=value") in place of the entries of the same name.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> names;
    for (const std::string& entry : overrides)
        names.push_back(nameOf(entry));
    std::vector<std::string> merged;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        if (std::find(names.begin(), names.end(), nameOf(text)) == names.end())
            merged.push_back(text);
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Everything a child needs to exec, made before fork: after fork only async-signal-safe calls
// follow. It points into itself, so it is never copied or moved.
class ExecPlan {
public:
    ExecPlan(const std::vector<std::string>& argv, const std::string& workingDirectory,
             const std::vector<std::string>& environment)
        : m_args(argv), m_argPointers(pointersTo(m_args)), m_env(mergedEnvironment(environment)),
          m_envPointers(pointersTo(m_env)), m_folder(workingDirectory) {
        // For a kernel without close_range: how far a descriptor loop has to go.
        rlimit limit{};
        m_lastFd = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                       ? static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536))
                       : 65536;
    }
    ExecPlan(const ExecPlan&) = delete;
    ExecPlan& operator=(const ExecPlan&) = delete;

    // The child's side: enters the folder, keeps our descriptors and signal settings to
    // ourselves, and becomes the program; what fails before that is reported on `reportFd`.
    [[noreturn]] void exec(int reportFd, int outputFd = -1) const {
        if (outputFd >= 0 && (::dup2(outputFd, 1) < 0 || ::dup2(outputFd, 2) < 0)) {
            report(reportFd, SpawnResult::Failure::Start, errno);
            ::_exit(127);
        }
        if (!m_folder.empty() && ::chdir(m_folder.c_str()) != 0) {
            report(reportFd, SpawnResult::Failure::Folder, errno);
            ::_exit(127);
        }
        // Our own descriptors (the display connection, open files) stay with us.
        if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
            for (int fd = 3; fd < m_lastFd; ++fd)
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        // Ignored signals stay ignored across exec; the program starts with the defaults.
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction(sig, &defaults, nullptr);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(m_argPointers[0], m_argPointers.data(), m_envPointers.data());
        report(reportFd, SpawnResult::Failure::Program, errno);
        ::_exit(127);
    }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_argPointers;
    std::vector<std::string> m_env;
    std::vector<char*> m_envPointers;
    std::string m_folder; // ours when empty
    int m_lastFd = 0;
};

// Forks with a report pipe whose write end closes by itself when the child execs. In the
// parent, fds[0] is the read end and fds[1] is already closed; in the child the reverse.
// Returns the child's pid, 0 in the child, or -1 with `failure` saying why.
pid_t forkReporting(int fds[2], SpawnResult& failure) {
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        failure = {SpawnResult::Failure::Start, errno};
        return -1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        failure = {SpawnResult::Failure::Start, errno};
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    ::close(fds[child == 0 ? 0 : 1]);
    return child;
}

// What the child reported, read once the pipe closes; closes the read end. Failure::None when
// nothing came, Failure::Start with no errno when the report came only in part.
SpawnResult readReport(int fd) {
    ChildReport record{};
    ssize_t n;
    do {
        n = ::read(fd, &record, sizeof record);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n == static_cast<ssize_t>(sizeof record))
        return {record.failure, record.error};
    if (n != 0)
        return {SpawnResult::Failure::Start, 0};
    return {};
}

// The middle child's side of a watched start: waits up to `milliseconds` for the program to end
// and reports a failing end; a program still running then is init's to reap. Only
// async-signal-safe calls, as after any fork of a threaded process.
void watchBriefly(pid_t program, int milliseconds, int reportFd) {
    constexpr int step = 10;
    for (int waited = 0; waited < milliseconds; waited += step) {
        int status = 0;
        const pid_t done = ::waitpid(program, &status, WNOHANG);
        if (done < 0 && errno != EINTR)
            return;
        if (done == program) {
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (code != 0)
                report(reportFd, SpawnResult::Failure::Ended, code);
            return;
        }
        const timespec pause{0, step * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

SpawnResult spawnDetached(const std::vector<std::string>& argv, const std::string& workingDirectory,
                          const std::vector<std::string>& environment, int watchMilliseconds) {
    if (argv.empty())
        return {SpawnResult::Failure::Program, ENOENT};
    const ExecPlan plan(argv, workingDirectory, environment);
    int fds[2];
    SpawnResult failure;
    const pid_t child = forkReporting(fds, failure);
    if (child < 0)
        return failure;
    if (child == 0) {
        // A session of its own, and a grandchild that init adopts: no zombie, no shared
        // process group (a Ctrl+C meant for us does not reach the program, nor the reverse).
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            report(fds[1], SpawnResult::Failure::Start, errno);
            ::_exit(1);
        }
        if (grandchild > 0) {
            watchBriefly(grandchild, watchMilliseconds, fds[1]);
            ::_exit(0);
        }
        plan.exec(fds[1]);
    }

    // The middle child ends at once, or once its watch is over; the grandchild's report, if any,
    // is in the pipe by then, ahead of the middle child's own.
    const int status = waitFor(child);
    const SpawnResult reported = readReport(fds[0]);
    if (!reported.ok())
        return reported;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {SpawnResult::Failure::Start, 0};
    return {};
}

StartedProgram startProgram(const std::vector<std::string>& argv,
                            const std::vector<std::string>& environment, int pass) {
    StartedProgram result;
    if (argv.empty()) {
        result.start = {SpawnResult::Failure::Program, ENOENT};
        return result;
    }
    std::vector<std::string> args = argv;
    std::vector<char*> argPointers = pointersTo(args);
    std::vector<std::string> env = mergedEnvironment(environment);
    std::vector<char*> envPointers = pointersTo(env);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    if (pass >= 0)
        ::posix_spawn_file_actions_adddup2(&actions, pass, 3);
    // Our own descriptors (open files, pipes) stay with us.
    ::posix_spawn_file_actions_addclosefrom_np(&actions, pass >= 0 ? 4 : 3);
    // Ignored signals would stay ignored across exec; the program starts with the defaults.
    sigset_t all, none;
    ::sigfillset(&all);
    ::sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argPointers[0], &actions, &attributes, argPointers.data(),
                                    envPointers.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        result.start = {SpawnResult::Failure::Program, error};
        return result;
    }
    result.pid = pid;
    return result;
}

RunResult runAndWait(const std::vector<std::string>& argv) {
    RunResult result;
    const StartedProgram started = startProgram(argv);
    result.start = started.start;
    if (started.start.ok())
        result.status = waitFor(started.pid);
    return result;
}

} // namespace tw::posix
