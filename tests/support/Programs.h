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

// Where a started program's streams go and where it runs: empty texts leave each as it is.
struct SpawnPlan {
    std::string in, out, err;          // files for standard input, output and error
    std::string folder;                // its working folder
    std::vector<std::string> extraEnv; // "NAME=value" added to this process's environment
};

struct Spawned {
    bool started = false;
    int status = 0; // as waitpid gives it
    rusage usage{}; // its own resource use, no other child's
};

// Starts a program (a path, or a name looked up on PATH) as `plan` says and waits for it.
inline Spawned spawnAndWait(const std::vector<std::string>& args, const SpawnPlan& plan = {}) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry)
        env.push_back(*entry);
    env.insert(env.end(), plan.extraEnv.begin(), plan.extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!plan.in.empty())
        posix_spawn_file_actions_addopen(&actions, 0, plan.in.c_str(), O_RDONLY, 0);
    // A file of the caller's is made afresh; the null device is only written to.
    const auto writeFlags = [](const std::string& path) {
        return path == "/dev/null" ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC;
    };
    if (!plan.out.empty())
        posix_spawn_file_actions_addopen(&actions, 1, plan.out.c_str(), writeFlags(plan.out), 0600);
    if (!plan.err.empty())
        posix_spawn_file_actions_addopen(&actions, 2, plan.err.c_str(), writeFlags(plan.err), 0600);
    if (!plan.folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, plan.folder.c_str());
    pid_t pid = 0;
    Spawned run;
    run.started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!run.started)
        return run;
    while (::wait4(pid, &run.status, 0, &run.usage) < 0 && errno == EINTR) {
    }
    return run;
}

// Runs a program (a path, or a name looked up on PATH) with its output thrown away.
inline ProgramRun runProgram(const std::vector<std::string>& args) {
    const Spawned spawned = spawnAndWait(args, {{}, "/dev/null", "/dev/null", {}, {}});
    ProgramRun run;
    run.ok = spawned.started && WIFEXITED(spawned.status) && WEXITSTATUS(spawned.status) == 0;
    run.usage = spawned.usage;
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
    const Spawned spawned = spawnAndWait(args, {{}, out, err, {}, {}});
    ProgramAnswer answer;
    if (!spawned.started)
        return answer;
    if (WIFEXITED(spawned.status))
        answer.exitCode = WEXITSTATUS(spawned.status);
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
