#pragma once

// The console interpreter: runs a batch script the way the Windows console runs the scripts
// Tonwright writes. Nothing in a line is ever handed to a shell: each line names one built-in
// (REN/RENAME, DEL/ERASE, IF [NOT] EXIST path command) or one program, and everything else on
// it is an argument.

#include <cstddef>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace tw {
class Platform;
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

// The batch file's first pass: "%%" becomes "%". Variables are never expanded, so "%PATH%"
// and a lone "%" stay as written.
std::wstring collapsePercents(const std::wstring& line);

// Splits a line (after collapsePercents) into words: blanks separate words, double quotes
// group (and are removed), "^x" outside quotes is a literal x. "&", "|", "<", ">" and
// parentheses are ordinary characters.
std::vector<std::wstring> splitWords(const std::wstring& line);

// "X:\..." (a letter, a colon, a backslash).
bool isDrivePath(const std::wstring& word);

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

class Interpreter {
public:
    // Messages about failures go to `err`, the echo of each line to `out`. Programs write to
    // the process's own standard output and error.
    Interpreter(Platform& platform, std::ostream& out, std::ostream& err);

    // Runs every line of the script (a native path). As in the console, every CR is dropped and
    // a caret that ends a line outside quotes joins the next line to it. False when the script
    // could not be read or any line failed, or scripts ran each other past the limits above.
    bool runScript(const std::string& nativeScript);

    // Runs one line (without its line end). False when it failed.
    bool runLine(const std::wstring& line);

    // How many failures were reported (one per failing line, one per file for DEL).
    std::size_t failures() const { return m_failures; }

    // What the session did, for the line that ends it: programs that ran to a good end, files
    // REN gave their new names, and the folders they are in (drive paths ending in "\").
    std::size_t programsRun() const { return m_programsRun; }
    std::size_t renamed() const { return m_renamed; }
    const std::set<std::wstring>& renamedInto() const { return m_renamedInto; }

    // The program search path; defaults to the PATH of the environment.
    void setSearchPath(const std::string& path) { m_searchPath = path; }

private:
    bool runScriptAt(const std::string& nativeScript, int depth);
    bool runLineAt(const std::wstring& line, int depth);
    // The line of `bytes` at `start`, without its line end or any CR; moves `start` past it.
    std::wstring nextLine(const std::string& bytes, std::size_t& start) const;
    // Counts one line or start of a script below the first script; past the limit, stops.
    bool takeNestedStep(const std::wstring& where);
    // Reports why scripts stop, once, and makes every running script end.
    void stopRunaway(const std::wstring& why);
    // One command of a line, already shown and with "%%" collapsed.
    bool runCommand(const std::wstring& text, int depth);
    // "IF [NOT] EXIST path command": runs the command when the condition holds.
    bool ifExist(const std::wstring& text, int depth);
    bool ren(const std::vector<std::wstring>& words);
    bool del(const std::vector<std::wstring>& words);
    bool runProgram(const std::vector<std::wstring>& words, int depth);

    std::wstring prompt() const;
    std::string nativeCurrentDirectory() const;
    // A word as an absolute drive path: "X:\..." as it is, "\..." on the current drive,
    // anything else below the current directory.
    std::wstring absoluteDrivePath(const std::wstring& word) const;
    void fail(const std::wstring& message);
    // "cannot find PATH" and what is missing, or "cannot reach PATH: why" when looking failed
    // with another errno value than ENOENT or ENOTDIR.
    std::wstring lookupFailure(const std::wstring& drivePath, int error) const;
    // What of a drive path that names nothing is missing (": there is no folder D:\X", ": there
    // is no drive Q:", ...); empty when only its last part is.
    std::wstring missingPart(const std::wstring& drivePath) const;
    // Why a file in `folder` could not be renamed or deleted, from the errno value.
    std::wstring changeFailure(const std::wstring& folder, int error) const;
    // Why exec failed for the program at a native path, from the errno value.
    std::wstring execFailure(const std::string& program, int error) const;
    // The folder of a drive path ("D:\" for "D:\x"); empty for a root.
    static std::wstring parentOf(const std::wstring& drivePath);
    // Why a script could not be read, from readWholeFile's errno value.
    std::wstring scriptReadFailure(const std::string& nativeScript, int error) const;
    std::wstring systemError(int error) const;

    Platform& m_platform;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_searchPath;
    std::size_t m_failures = 0;
    std::size_t m_programsRun = 0;
    std::size_t m_renamed = 0;
    std::set<std::wstring> m_renamedInto;
    std::size_t m_nestedSteps = 0; // over the interpreter's whole life
    bool m_stopping = false;       // set by stopRunaway until the first call returns
};

} // namespace tw::console
