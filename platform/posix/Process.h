#pragma once

#include <string>
#include <vector>

// Starting other programs on POSIX systems: finding them, and starting them detached so they
// outlive us without ever being our zombies.
namespace tw::posix {

// True for a regular file (links followed) we may execute.
bool isExecutableFile(const std::string& path);

// Our PATH, or the usual system folders when it is not set.
std::string searchPath();

// The folders of a PATH value, in order. Empty entries (which a shell reads as the current
// folder) are left out: what we start must not depend on where we happen to be.
std::vector<std::string> splitSearchPath(const std::string& path);

// The full path of `program` in the first folder of PATH that holds it as an executable file;
// empty when none does.
std::string findOnPath(const std::string& program);

// The native folder of the running program's executable ("/" at the root); empty when the
// system does not say.
std::string programDirectoryNative();

// The system's text for an errno value.
std::wstring systemErrorText(int error);

// How a detached start went. On failure, `error` is the errno of the step that failed (0 when
// the system gave none).
struct SpawnResult {
    enum class Failure {
        None,
        Start,   // no pipe or process could be made
        Folder,  // the working folder could not be entered
        Program, // exec failed: not found, not executable, bad format, ...
        Ended,   // it ended while watched, with a failure: `error` is its exit status
    };
    Failure failure = Failure::None;
    int error = 0;

    bool ok() const { return failure == Failure::None; }
};

// Starts argv[0] (a full path) with `argv`, in `workingDirectory` (ours when empty), with our
// environment plus `environment` ("NAME=value" entries replacing ours of the same name).
// Returns once the program has been exec'd or has failed to be; does not wait for it to end.
// The program runs in a session of its own as a grandchild that init adopts, sees none of our
// descriptors beyond 0-2, and starts with no signals blocked or ignored. A failure of the
// working folder or of exec itself is reported back through a close-on-exec pipe. With
// `watchMilliseconds`, returns only once the program has run that long or has ended: ending with
// a failure in that time (an exit status other than 0, or a signal: 128 + its number) is
// Failure::Ended, ending well is a success (a program that hands its work to another).
SpawnResult spawnDetached(const std::vector<std::string>& argv,
                          const std::string& workingDirectory = {},
                          const std::vector<std::string>& environment = {},
                          int watchMilliseconds = 0);

// How a program that was waited for went.
struct RunResult {
    SpawnResult start; // whether it started; Failure::Program with errno when exec failed
    int status = 0;    // its wait status, once it started

    bool started() const { return start.ok(); }
};

// A program started beside us and not yet waited for.
struct StartedProgram {
    SpawnResult start; // Failure::Program with errno when it could not be run
    int pid = -1;      // once it started: wait for it with waitpid
};

// Starts argv[0] (a full path, never through a shell) with `argv`, in our folder, with our
// environment plus `environment` ("NAME=value" replacing ours), without copying this process
// (posix_spawn): a long batch starts thousands. It stays in our session and process group, so a
// Ctrl+C in the terminal reaches it as it reaches us; it sees none of our descriptors beyond 0-2
// but `pass`, which it gets as descriptor 3, and starts with no signals blocked or ignored.
StartedProgram startProgram(const std::vector<std::string>& argv,
                            const std::vector<std::string>& environment = {}, int pass = -1);

// Starts a program as startProgram does and waits for it to end.
RunResult runAndWait(const std::vector<std::string>& argv);

} // namespace tw::posix
