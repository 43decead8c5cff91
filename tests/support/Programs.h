#pragma once

// Running other programs from tests and benchmarks: the tools that make test files (sox,
// lame), the decoder itself and the programs it is measured against.

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tw::test {

struct ProgramRun {
    bool ok = false; // started and exited with 0
    rusage usage{};  // its own resource use, no other child's
};

// Runs a program (a path, or a name looked up on PATH) with its output thrown away.
inline ProgramRun runProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ProgramRun run;
    if (rc != 0)
        return run;
    int status = 0;
    pid_t waited;
    do
        waited = ::wait4(pid, &status, 0, &run.usage);
    while (waited < 0 && errno == EINTR);
    run.ok = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// What a program said and how it ended, for tests of its command line.
struct ProgramAnswer {
    int exitCode = -1; // -1 when it did not start or did not exit
    std::string out;
    std::string err;
};

// Runs a program (a path) with its standard output and error caught in files of `scratch`.
inline ProgramAnswer runAndCatch(const std::vector<std::string>& args, const std::string& scratch) {
    const std::string out = scratch + "/out", err = scratch + "/err";
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ProgramAnswer answer;
    if (rc != 0)
        return answer;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        answer.exitCode = WEXITSTATUS(status);
    const auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    answer.out = slurp(out);
    answer.err = slurp(err);
    return answer;
}

// Where PATH finds a program, for runAndCatch; empty when nowhere.
inline std::string pathOf(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
            return dir + "/" + program;
    return {};
}

inline bool onPath(const std::string& program) {
    return !pathOf(program).empty();
}

// Makes a test MP3: sox synthesises `effects` (e.g. "synth 1.5 sine 440 gain -6") at `rate` Hz
// with `channels`, repeatably, and lame encodes it with `lameArgs`, each passed as it is, so a tag
// text may hold blanks. The WAV in between lies beside the MP3 and is removed again.
inline bool makeMp3(const std::string& mp3, int rate, int channels, const std::string& effects,
                    const std::vector<std::string>& lameArgs) {
    const std::string wav = mp3 + ".source.wav";
    std::vector<std::string> sox{
        "sox", "-R", "-V1", "-n", "-r", std::to_string(rate), "-c", std::to_string(channels),
        "-b",  "16", wav};
    std::istringstream words(effects);
    for (std::string word; words >> word;)
        sox.push_back(word);
    std::vector<std::string> lame{"lame", "--quiet"};
    lame.insert(lame.end(), lameArgs.begin(), lameArgs.end());
    lame.push_back(wav);
    lame.push_back(mp3);
    const bool made = runProgram(sox).ok && runProgram(lame).ok;
    ::unlink(wav.c_str());
    return made;
}

// The same with lame's options in one text (e.g. "-b 128"), split at blanks.
inline bool makeMp3(const std::string& mp3, int rate, int channels, const std::string& effects,
                    const std::string& lameOptions) {
    std::vector<std::string> args;
    std::istringstream words(lameOptions);
    for (std::string word; words >> word;)
        args.push_back(word);
    return makeMp3(mp3, rate, channels, effects, args);
}

} // namespace tw::test
