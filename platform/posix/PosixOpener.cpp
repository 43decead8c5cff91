#include "PosixLauncher.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tw::posix {

namespace {

std::wstring widen(const char* text) {
    // Error texts from strerror are plain ASCII in every locale we run in.
    std::wstring out;
    for (const char* p = text; *p; ++p)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

// The opener's full path, looked up on PATH before forking: after fork() only
// async-signal-safe calls are allowed, and execvp's own search is not one of them.
// Empty PATH entries (the current directory) are skipped on purpose.
std::string findOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = dir + '/' + program;
            struct stat info {};
            if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

void writeErrno(int fd, int error) {
    // Best effort: the parent reads an empty pipe as success, so a lost write only hides
    // the reason, never turns a failure into a hang.
    [[maybe_unused]] ssize_t written = ::write(fd, &error, sizeof error);
}

} // namespace

Status openAddressWithDesktop(const std::string& address) {
    static constexpr const char* opener = "xdg-open";
    const std::string program = findOnPath(opener);
    if (program.empty())
        return Status::failure(L"The desktop's address opener (xdg-open) was not found.");

    // The address is one argument of its own: no shell ever sees it.
    std::vector<char*> argv{const_cast<char*>(opener), const_cast<char*>(address.c_str()), nullptr};

    // The write end closes on a successful exec; before that, a failing child writes errno.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return Status::failure(L"Could not start xdg-open: " + widen(std::strerror(errno)));

    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return Status::failure(L"Could not start xdg-open: " + widen(std::strerror(error)));
    }
    if (child == 0) {
        // Middle child: a new session, then a grandchild that init adopts, so the opener
        // outlives us without ever becoming our zombie.
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            writeErrno(pipeFds[1], errno);
            ::_exit(127);
        }
        if (grandchild == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::execv(program.c_str(), argv.data());
            writeErrno(pipeFds[1], errno);
            ::_exit(127);
        }
        ::_exit(0);
    }

    ::close(pipeFds[1]);
    int waitStatus = 0;
    while (::waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
    }

    int childError = 0;
    ssize_t got;
    do {
        got = ::read(pipeFds[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);

    if (got == static_cast<ssize_t>(sizeof childError))
        return Status::failure(L"Could not start xdg-open: " + widen(std::strerror(childError)));
    if (got != 0)
        return Status::failure(L"Could not start xdg-open.");
    return Status::success();
}

} // namespace tw::posix
