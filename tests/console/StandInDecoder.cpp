// A stand-in for the decoder: records where it ran and what it was given, then writes its
// output file. It does no audio work. An input that begins with "bad" fails it, as a damaged
// MP3 fails the real one: it exits with 1 and writes nothing.
//   TW_STANDIN_LOG      file the record is appended to (default: l3dec.log in the current folder)
//   TW_STANDIN_RELEASE  when set, waits (up to 30 s) for this file before writing the output
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* logPath = std::getenv("TW_STANDIN_LOG");
    char cwd[4096] = "";
    if (!::getcwd(cwd, sizeof cwd))
        cwd[0] = '\0';
    {
        std::ofstream log(logPath && *logPath ? logPath : "l3dec.log", std::ios::app);
        log << "run\ncwd " << cwd << "\nparent " << ::getppid() << '\n';
        // Which copy ran: the one in the folder, or one found on PATH.
        char self[4096];
        const ssize_t selfLength = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (selfLength > 0)
            log << "exe " << std::string(self, static_cast<std::size_t>(selfLength)) << '\n';
        for (int i = 1; i < argc; ++i)
            log << "arg " << argv[i] << '\n';
        // What it inherited, so tests can see that nothing of the caller's leaks through.
        if (DIR* fds = ::opendir("/proc/self/fd")) {
            while (const dirent* entry = ::readdir(fds)) {
                char target[4096];
                const std::string link = std::string("/proc/self/fd/") + entry->d_name;
                const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
                if (entry->d_name[0] != '.' && n > 0)
                    log << "fd " << std::string(target, static_cast<std::size_t>(n)) << '\n';
            }
            ::closedir(fds);
        }
    }
    if (const char* release = std::getenv("TW_STANDIN_RELEASE")) {
        struct stat st {};
        for (int i = 0; i < 3000 && ::stat(release, &st) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (argc < 3) {
        std::fprintf(stderr, "l3dec: expected an input and an output file\n");
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    if (!input) {
        std::fprintf(stderr, "l3dec: cannot open %s\n", argv[1]);
        return 1;
    }
    char head[3] = {};
    if (input.read(head, 3) && std::string(head, 3) == "bad") {
        std::fprintf(stderr, "l3dec: %s is damaged\n", argv[1]);
        return 1;
    }
    std::ofstream output(argv[2], std::ios::binary);
    output << "decoded from " << argv[1] << '\n';
    return output ? 0 : 1;
}
