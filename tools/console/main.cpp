// tonwright-console: runs the batch script Tonwright writes, in the terminal window the
// program opened for it, as the console runs it on Windows.
#include "Console.h"

#include "platform/Platform.h"
#include "platform/posix/PosixLauncher.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

#include <sched.h>
#include <unistd.h>

namespace {

// What a batch that ran without a failure did, in one line.
std::wstring doneLine(const tw::console::Interpreter& interpreter) {
    const auto& folders = interpreter.renamedInto();
    const std::size_t files = interpreter.renamed();
    if (files > 0 && folders.size() == 1)
        return std::to_wstring(files) + (files == 1 ? L" file" : L" files") + L" decoded into " +
               *folders.begin();
    const std::size_t programs = interpreter.programsRun();
    return std::to_wstring(programs) + (programs == 1 ? L" program" : L" programs") + L" ran";
}

// The processors we may run on.
int coreCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

// TONWRIGHT_CONSOLE_JOBS when it is a number from 1 up, else one decoder per processor.
int jobCount(int cores) {
    if (const char* text = std::getenv("TONWRIGHT_CONSOLE_JOBS")) {
        char* end = nullptr;
        const long jobs = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && jobs >= 1)
            return static_cast<int>(std::min(jobs, 1024L));
    }
    return cores;
}

} // namespace

int main(int argc, char** argv) {
    const std::string usage = "usage: tonwright-console SCRIPT\n"
                              "Runs a batch script written by Tonwright, line by line, as the "
                              "console runs it on Windows.\n"
                              "Decoders run side by side, one per processor; "
                              "TONWRIGHT_CONSOLE_JOBS=N runs at most N at once (1: one after "
                              "another).\n";
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << usage;
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "tonwright-console " << TW_VERSION << '\n';
        return 0;
    }
    if (argc != 2) {
        std::cerr << usage;
        return 2;
    }
    auto platform = tw::createSystemPlatform();
    tw::console::Interpreter interpreter(*platform, std::cout, std::cerr);
    const int cores = coreCount();
    const int jobs = jobCount(cores);
    interpreter.setJobs(jobs);
    // The decoders share the processors: each takes its part, so that together they fill them
    // and no more.
    if (jobs > 1)
        interpreter.setDecoderThreads(std::max(1, cores / jobs));
    interpreter.setStatusLine(jobs > 1 && ::isatty(STDOUT_FILENO));
    const bool ok = interpreter.runScript(argv[1]);
    if (ok) {
        // The window closes with us: the line is for a terminal kept open, the desktop's
        // notification for everyone else.
        const std::string done = platform->toEightBit(doneLine(interpreter));
        std::cout << "\ntonwright-console: done without a failure: " << done << std::endl;
        tw::posix::notifyDesktop("Tonwright: decoding finished", done);
    } else if (::isatty(STDIN_FILENO)) {
        // The window closes with us: keep it open until the user has read what went wrong.
        const auto failures = interpreter.failures();
        std::cout << "\ntonwright-console: " << failures << (failures == 1 ? " step" : " steps")
                  << " failed (see above). Press Enter to close this window." << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
    }
    return ok ? 0 : 1;
}
