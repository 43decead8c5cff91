#pragma once

// The programs a batch runs: finding one for a program word, running it to its end while
// hearing how far it has come, and saying why it could not run or failed.

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tw::console {

// Where a program word leads.
struct ProgramMatch {
    std::string path;      // native path of the program; empty when none was found
    bool isScript = false; // a .bat or .cmd: run by the interpreter itself
    std::string unusable;  // a match that exists but cannot be run (not executable)
};

// Looks for `name` in each of `directories` in turn, without regard to case (as the drive
// paths and file lists compare names), as the name itself, the name plus .exe .com .bat .cmd,
// or (for "X.EXE"/"X.COM") the bare stem "X". Within one directory an exact name wins over a
// case-insensitive one, which wins over an added or dropped extension. Only executable regular
// files (and readable scripts) count.
ProgramMatch findProgram(const std::string& name, const std::vector<std::string>& directories);

bool isScriptName(const std::string& name);

// findProgram for the lines of a batch: the same word in the same folders finds the same
// program without reading the folders again while none of those it looked through has changed
// (a PATH folder holds thousands of names; a batch runs its decoder thousands of times).
class ProgramFinder {
public:
    ProgramMatch find(const std::string& name, const std::vector<std::string>& directories);

private:
    struct Looked {
        std::string folder;
        timespec modified{};
        timespec changed{};
    };
    struct Known {
        ProgramMatch match;
        std::vector<Looked> looked;
    };
    std::map<std::pair<std::string, std::vector<std::string>>, Known> m_known;
};

// How a program a line ran went.
struct ProgramEnd {
    bool started = false;
    int failure = 0; // why it did not start: a posix::SpawnResult::Failure
    int error = 0;   // and its errno value
    int status = 0;  // its wait status, once it started
};

// Runs argv[0] (a full path) to its end. With `progress`, the program is offered a channel for
// how far it has come (L3DEC_PROGRESS_FD, one fraction per line), and `progress` hears each
// report, and at least every fifth of a second the last one again (for a clock).
ProgramEnd runToEnd(const std::vector<std::string>& argv,
                    const std::function<void(double)>& progress = {});

// Stopping a batch: SIGTERM, SIGHUP and SIGINT end the program that runs (its partial output
// goes with it) and ask the batch to stop.
void installStopHandlers();
// The signal that asked to stop; 0 while none did.
int stopSignal();
// As a signal would (for tests).
void requestStop(int signal);

// Why a program could not be started (a posix::SpawnResult::Failure and errno value), and why
// its end is a failure (empty when it is none), in a user's terms.
std::wstring startFailure(const std::wstring& shownProgram, const std::string& program, int failure,
                          int error);
std::wstring endFailure(const std::wstring& command, int status);

} // namespace tw::console
