#include "Process.h"

#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <fcntl.h>
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

std::string findOnPath(const std::string& program) {
    const std::string folders = searchPath();
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        if (end > start) {
            const std::string candidate = folders.substr(start, end - start) + "/" + program;
            if (isExecutableFile(candidate))
                return candidate;
        }
        start = end + 1;
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
    // One small write is atomic on a pipe. If it is lost the parent still sees the middle
    // child's exit status or an empty pipe: the reason goes missing, never the failure's
    // nature turned into a hang.
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

} // namespace

SpawnResult spawnDetached(const std::vector<std::string>& argv, const std::string& workingDirectory,
                          const std::vector<std::string>& environment) {
    if (argv.empty())
        return {SpawnResult::Failure::Program, ENOENT};

    // Everything the children need is made here: after fork only async-signal-safe calls follow.
    std::vector<std::string> args = argv;
    std::vector<char*> argPointers = pointersTo(args);
    std::vector<std::string> env = mergedEnvironment(environment);
    std::vector<char*> envPointers = pointersTo(env);
    const char* const folder = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    // For a kernel without close_range: how far a descriptor loop has to go.
    rlimit limit{};
    const int lastFd = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                           ? static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536))
                           : 65536;

    // The write end closes on a successful exec; before that, a failing child writes a report.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {SpawnResult::Failure::Start, errno};
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return {SpawnResult::Failure::Start, error};
    }
    if (child == 0) {
        // A session of its own, and a grandchild that init adopts: no zombie, no shared
        // process group (a Ctrl+C meant for us does not reach the program, nor the reverse).
        ::close(fds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            report(fds[1], SpawnResult::Failure::Start, errno);
            ::_exit(1);
        }
        if (grandchild > 0)
            ::_exit(0);
        if (folder && ::chdir(folder) != 0) {
            report(fds[1], SpawnResult::Failure::Folder, errno);
            ::_exit(127);
        }
        // Our own descriptors (the display connection, open files) stay with us.
        if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
            for (int fd = 3; fd < lastFd; ++fd)
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        // Ignored signals stay ignored across exec; the program starts with the defaults.
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction(sig, &defaults, nullptr);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argPointers[0], argPointers.data(), envPointers.data());
        report(fds[1], SpawnResult::Failure::Program, errno);
        ::_exit(127);
    }

    ::close(fds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ChildReport record{};
    ssize_t n;
    do {
        n = ::read(fds[0], &record, sizeof record);
    } while (n < 0 && errno == EINTR);
    ::close(fds[0]);

    if (n == static_cast<ssize_t>(sizeof record))
        return {record.failure, record.error};
    if (n != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {SpawnResult::Failure::Start, 0};
    return {};
}

} // namespace tw::posix
