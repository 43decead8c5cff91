#pragma once

// The console interpreter: runs a batch script the way the Windows console runs the scripts
// Tonwright writes, one line after another: no line starts before the one above it has ended.
// Nothing in a line is ever handed to a shell: each line names one built-in (REN/RENAME,
// DEL/ERASE, IF [NOT] EXIST path command) or one program, and everything else on it is an
// argument. This class joins the parts: the script's text (Script.h), the names and messages
// (Session.h), the built-ins (FileCommands.h), the programs (Programs.h) and where the batch
// stands (Batch.h).

#include "Batch.h"
#include "FileCommands.h"
#include "Programs.h"
#include "Script.h"
#include "Session.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace tw::posix {
class PosixPlatform;
}

namespace tw::console {

// The largest script read (nested ones too). Tonwright writes a few hundred bytes per file, so
// even a batch of 100,000 files stays well below; a device or a runaway file never fills memory.
inline constexpr std::size_t maxScriptBytes = std::size_t{64} << 20;

// Scripts that run scripts: how deep, and how many lines and script starts in all below the
// first script (a script that runs another goes on when that one ends). Past either, every
// script stops at once: scripts that run each other would otherwise fan out beyond any end.
inline constexpr int maxScriptDepth = 8;
inline constexpr std::size_t maxNestedSteps = 100'000;

class Interpreter {
public:
    // Messages about failures go to `err`, the echo of each line (and the status line) to
    // `out`. Programs write to the process's own standard output and error.
    Interpreter(posix::PosixPlatform& platform, std::ostream& out, std::ostream& err);

    // Runs every line of the script (a native path). As in the console, every CR is dropped and
    // a caret that ends a line outside quotes joins the next line to it. False when the script
    // could not be read or any line failed, when scripts ran each other past the limits above,
    // or when the batch was stopped.
    bool runScript(const std::string& nativeScript);

    // Runs one line (without its line end). False when it failed.
    bool runLine(const std::wstring& line);

    // How many failures were reported (one per failing line, one per file for DEL).
    std::size_t failures() const { return m_session.failures(); }
    // The files of the batch so far: decoded, failed, where they went.
    const Batch& batch() const { return m_batch; }

    // The program search path; defaults to the PATH of the environment.
    void setSearchPath(const std::string& path) { m_searchPath = path; }
    // A status line at the foot of a terminal: the file, how far the batch is, the time left.
    void setStatusLine(bool shown) { m_batch.setStatusLine(shown); }

private:
    bool runScriptAt(const std::string& nativeScript, int depth);
    bool runLineAt(const std::wstring& line, int depth);
    // One command of a line, already shown and with "%%" collapsed.
    bool runCommand(const std::wstring& text, int depth);
    bool runProgram(const std::vector<std::wstring>& words, int depth);
    // Where a program word leads: its own folder, or the current folder and then PATH.
    ProgramMatch locateProgram(const std::wstring& command);
    void failNoProgram(const std::wstring& command, const ProgramMatch& match);
    // The program's command line: drive paths become native paths, the rest stays as written;
    // `changes` gets the native paths, whose names the program may change.
    std::vector<std::string> programArguments(const std::string& program,
                                              const std::vector<std::wstring>& words,
                                              std::vector<std::string>& changes);
    // The files the script's program lines decode, for the status line.
    std::vector<PlannedFile> plan(const std::string& bytes);
    // Whether a stop asked for lets this line run: the lines that finish a file whose program
    // ended well still do.
    bool mayRunWhileStopping(const std::wstring& line) const;

    // Counts one line or start of a script below the first script; past the limit, stops.
    bool takeNestedStep(const std::wstring& where);
    // Reports why scripts stop, once, and makes every running script end.
    void stopRunaway(const std::wstring& why);
    // Why a script could not be read, from readWholeFile's errno value.
    std::wstring scriptReadFailure(const std::string& nativeScript, int error) const;

    Session m_session;
    Batch m_batch;
    FileCommands m_files;
    ProgramFinder m_finder;
    std::string m_searchPath;
    std::size_t m_nestedSteps = 0; // over the interpreter's whole life
    bool m_stopping = false;       // set by stopRunaway until the first call returns
};

} // namespace tw::console
