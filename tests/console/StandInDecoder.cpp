// A stand-in for the decoder: records where it ran and what it was given, then writes its
// output file. It does no audio work. An input that begins with "bad" fails it, as a damaged
// MP3 fails the real one: it exits with 1 and writes nothing. Plain C library calls only, so
// that it starts in a fraction of a millisecond: tests run it thousands of times.
//   TW_STANDIN_LOG      file the record is appended to (default: l3dec.log in the current folder)
//   TW_STANDIN_RELEASE  when set, waits (up to 30 s) for this file before finishing the output
//                       of an input that does not begin with "go"; meanwhile the output is a
//                       hidden partial file beside it, which a SIGTERM removes, as the real
//                       decoder keeps and removes it
//   L3DEC_PROGRESS_FD   as the real decoder: how far it has come, a fraction per line
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char g_partial[4200];

void stop(int signal) {
    ::unlink(g_partial);
    ::_exit(128 + signal);
}

void report(const char* fraction) {
    const char* fd = std::getenv("L3DEC_PROGRESS_FD");
    if (fd && *fd) {
        [[maybe_unused]] const auto written =
            ::write(std::atoi(fd), fraction, std::strlen(fraction));
    }
}

} // namespace

int main(int argc, char** argv) {
    const char* logPath = std::getenv("TW_STANDIN_LOG");
    char cwd[4096] = "";
    if (!::getcwd(cwd, sizeof cwd))
        cwd[0] = '\0';
    if (std::FILE* log = std::fopen(logPath && *logPath ? logPath : "l3dec.log", "a")) {
        std::fprintf(log, "run\ncwd %s\nparent %ld\n", cwd, static_cast<long>(::getppid()));
        // Which copy ran: the one in the folder, or one found on PATH.
        char self[4096];
        const ssize_t selfLength = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (selfLength > 0)
            std::fprintf(log, "exe %.*s\n", static_cast<int>(selfLength), self);
        std::fprintf(log, "pid %ld\n", static_cast<long>(::getpid()));
        for (int i = 1; i < argc; ++i)
            std::fprintf(log, "arg %s\n", argv[i]);
        // What it inherited, so tests can see that nothing of the caller's leaks through.
        if (DIR* fds = ::opendir("/proc/self/fd")) {
            while (const dirent* entry = ::readdir(fds)) {
                char link[300];
                char target[4096];
                std::snprintf(link, sizeof link, "/proc/self/fd/%s", entry->d_name);
                const ssize_t n = ::readlink(link, target, sizeof target - 1);
                if (entry->d_name[0] != '.' && n > 0)
                    std::fprintf(log, "fd %.*s\n", static_cast<int>(n), target);
            }
            ::closedir(fds);
        }
        std::fclose(log);
    }
    if (argc < 3) {
        std::fprintf(stderr, "l3dec: expected an input and an output file\n");
        return 2;
    }
    std::FILE* input = std::fopen(argv[1], "rb");
    if (!input) {
        std::fprintf(stderr, "l3dec: cannot open %s\n", argv[1]);
        return 1;
    }
    char head[4] = {};
    const std::size_t read = std::fread(head, 1, 4, input);
    const bool damaged = read >= 3 && std::memcmp(head, "bad", 3) == 0;
    const bool goes = read >= 2 && std::memcmp(head, "go", 2) == 0;
    std::fclose(input);
    if (damaged) {
        std::fprintf(stderr, "l3dec: %s is damaged\n", argv[1]);
        return 1;
    }
    report("0.5\n");
    const char* release = std::getenv("TW_STANDIN_RELEASE");
    if (!release || goes) {
        std::FILE* output = std::fopen(argv[2], "wb");
        if (!output)
            return 1;
        std::fprintf(output, "decoded from %s\n", argv[1]);
        report("1\n");
        return std::fclose(output) == 0 ? 0 : 1;
    }
    const char* slash = std::strrchr(argv[2], '/');
    const int folder = slash ? static_cast<int>(slash - argv[2] + 1) : 0;
    std::snprintf(g_partial, sizeof g_partial, "%.*s.l3dec-%06d", folder, argv[2],
                  static_cast<int>(::getpid() % 1000000));
    std::signal(SIGTERM, stop);
    std::FILE* output = std::fopen(g_partial, "wbx");
    if (!output)
        return 1;
    std::fprintf(output, "decoded from %s\n", argv[1]);
    struct stat st {};
    const timespec tick{0, 10'000'000};
    for (int i = 0; i < 3000 && ::stat(release, &st) != 0; ++i)
        ::nanosleep(&tick, nullptr);
    if (std::fclose(output) != 0 || std::rename(g_partial, argv[2]) != 0) {
        std::remove(g_partial);
        return 1;
    }
    report("1\n");
    return 0;
}
