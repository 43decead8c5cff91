#pragma once

// The console interpreter: runs a batch script the way the Windows console runs the scripts
// Tonwright writes. Nothing in a line is ever handed to a shell: each line names one built-in
// (REN/RENAME, DEL/ERASE, IF [NOT] EXIST path command) or one program, and everything else on
// it is an argument.

#include <chrono>
#include <cstddef>
#include <deque>
#include <iosfwd>
#include <map>
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

    // How many decoders of a script may run at once (1: every line waits for the one before).
    // Only lines that run the decoder beside the script go side by side, and only when what
    // every line names is what it names in a run of one line after another.
    void setJobs(int jobs) { m_jobs = jobs < 1 ? 1 : jobs; }
    // L3DEC_THREADS for each decoder run side by side (0: not set).
    void setDecoderThreads(int threads) { m_decoderThreads = threads; }
    // A line redrawn in place that shows the decoders running (for a terminal).
    void setStatusLine(bool shown) { m_statusLine = shown; }
    // How many decoders started while another one was running.
    std::size_t startedBeside() const { return m_startedBeside; }

private:
    // Where a piece of text goes: the echo stream, the message stream, or our standard output
    // as a program writes to it.
    enum class Sink { Out, Err, Program };
    struct Chunk {
        Sink sink;
        std::string text;
    };
    // A decoder running beside the lines that follow it, with the lines that name its output
    // and wait for it, and everything they print until it is their turn.
    struct Group {
        int pid = -1;
        int output = -1; // its output pipe, until the end of it
        bool ended = false;
        int status = 0;
        std::wstring startFailure;       // when it could not be started at all
        std::wstring command;            // the program word, for messages
        std::wstring outputPath;         // the output as the line gives it (absolute drive path)
        std::string folder;              // native folder of the output
        std::string outputName;          // native name of the output there
        std::string input;               // native path of the input
        std::string added;               // the name REN gives the output there, once deferred
        bool addedCertain = false;       // that name is there whatever the decoder does
        std::string deleted;             // the earlier output that IF EXIST ... DEL replaces
        std::vector<std::wstring> lines; // deferred lines (after collapsePercents)
        std::vector<bool> echoed;
        std::vector<Chunk> chunks;
        std::wstring shown; // the input's name, for the status line
        std::chrono::steady_clock::time_point started;
    };
    // How a name was found in a folder.
    struct Lookup {
        enum How { None, Exact, Case, Alias, Unsure } how = None;
        std::string name; // native name when found
    };

    // A line without its leading blanks, "@" and with "%%" collapsed; false when nothing runs.
    bool prepareLine(const std::wstring& line, std::wstring& text, bool& echo) const;
    std::string echoOf(const std::wstring& text) const;
    // Why a program could not be started (a posix::SpawnResult::Failure and errno value), and
    // why its end is a failure (empty when it is none).
    std::wstring startFailure(const std::string& program, int failure, int error) const;
    std::wstring endFailure(const std::wstring& command, int status) const;
    // What the running decoders may change in one native folder, once their lines ran: the
    // outputs that REN renames (hidden: there in no outcome), the names REN gives them and the
    // outputs no REN names (added), the earlier outputs they replace; uncertain: names there
    // in some outcomes only.
    struct Footprint {
        bool pending = false;
        std::set<std::string> hidden;
        std::vector<std::string> added;
        std::vector<std::string> names;
        std::vector<std::string> uncertain;
    };
    Footprint footprintIn(const std::string& folder) const;
    bool runLineConcurrently(const std::wstring& line);
    // Starts the line's decoder beside the running ones when that is provably the same as
    // running it after them. False when not.
    bool startDecoder(const std::wstring& text, bool echo);
    // The decoder beside the script that the words start; an empty path when they start
    // anything else, or when the current folder is one that running decoders change.
    ProgramMatch decoderBeside(const std::vector<std::wstring>& words) const;
    // The decoder's arguments after the program: switches as written, then the input and the
    // output. False unless both paths mean the same in every outcome of the running decoders.
    bool decoderArguments(const std::vector<std::wstring>& words, Group& group,
                          std::vector<std::string>& argv) const;
    // The native path of the decoder's input or output, noted in `group`; empty when its
    // meaning could change.
    std::string decoderPath(const std::wstring& word, bool output, Group& group) const;
    // A folder the decoder may use: there, readable, and not below one that running decoders
    // change (nor, for an output, above one).
    bool isSteadyFolder(const std::string& nativeFolder, bool output) const;
    // What `name` in a native folder names in every outcome of the running decoders; empty
    // when that differs between outcomes. A found output is never steady: it must be new.
    std::string steadyNative(const std::wstring& path, const std::string& nativeFolder,
                             const std::wstring& name, const Footprint& print, bool output) const;
    // An output that no file has, and that no other decoder writes or reads.
    bool isFreeOutput(const std::string& native, const std::string& nativeFolder,
                      const std::wstring& name, const Footprint& print) const;
    // A name as typed, or as found, is one that the running decoders may change.
    bool touches(const Footprint& print, const std::wstring& typed, const std::string& found) const;
    // Starts a checked decoder line, with the echo (if any) as its first output.
    void launchDecoder(Group group, const std::vector<std::string>& argv, const std::string& echo);
    // Adds the line to the latest decoder's lines when it names that decoder's output in a way
    // that is provably the same in every outcome of the decoders still running.
    bool deferLine(const std::wstring& text, bool echo);
    bool namesOutput(const Group& group, const std::wstring& word) const;
    // "IF EXIST <output> DEL <name>": the plain name it deletes in the output's folder; empty
    // for any other line.
    std::wstring earlierOutputNamed(const Group& group, const std::wstring& text) const;
    // The decoder's IF EXIST ... DEL of its earlier output, noted in `group` when it waits.
    bool deferDeleteOfEarlier(Group& group, const std::wstring& text);
    // The decoder's REN of its output, noted in `group` when it waits.
    bool deferRename(Group& group, const std::vector<std::wstring>& words);
    // Reads the decoders' output and ends; finishes the earliest ones that ended, in script
    // order. With `block`, waits until something happened.
    void collect(bool block);
    // Takes what the running decoders wrote; with `block`, waits a while for it.
    void readOutputs(bool block);
    void takeOutput(Group& group);
    // Marks the decoders whose output is closed and whose process ended.
    void reapDecoders();
    void finishEarliest();
    void finishAll();
    std::size_t running() const;
    // A drive path as the lines run one after another see it: in the folders of running
    // decoders, without the outputs they are still making.
    std::string resolveNative(const std::wstring& drivePath) const;
    // `typed` in a native folder as the console resolves it, over its names without `hidden`
    // and with `added`.
    Lookup lookupIn(const std::string& folder, const std::wstring& typed,
                    const std::set<std::string>& hidden,
                    const std::vector<std::string>& added) const;
    void emit(Sink sink, const std::string& text);
    void showStatus();
    void clearStatus();

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
    struct Renaming;
    // The steps of REN; each that can fail says why.
    bool checkRenWords(const std::vector<std::wstring>& words);
    bool checkNewName(const std::wstring& newName);
    bool findRenameSource(Renaming& renaming);
    void lookUpNewName(Renaming& renaming) const;
    bool refuseTakenName(const Renaming& renaming);
    // The new name names the file being renamed (in another case, or as its short name).
    bool isRenamingItself(const Renaming& renaming) const;
    // Why a rename failed, naming a character the folder's file system refuses.
    std::wstring renameFailure(const std::wstring& folder, const std::wstring& newName,
                               int error) const;
    bool del(const std::vector<std::wstring>& words);
    bool runProgram(const std::vector<std::wstring>& words, int depth);
    // Where a program word leads: its own folder, or the current folder and then PATH.
    ProgramMatch locateProgram(const std::wstring& command) const;
    void failNoProgram(const std::wstring& command, const ProgramMatch& match);
    // The program's command line: drive paths become native paths, the rest stays as written.
    std::vector<std::string> programArguments(const std::string& program,
                                              const std::vector<std::wstring>& words) const;
    // Runs a program and waits for it; false (and why) when it did not end well.
    bool runToEnd(const std::vector<std::string>& argv, const std::wstring& command);

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
    int m_jobs = 1;
    int m_decoderThreads = 0;
    bool m_statusLine = false;
    bool m_statusShown = false;
    std::string m_status;       // the status line shown
    bool m_asyncFailed = false; // a line run beside others failed
    std::size_t m_startedBeside = 0;
    std::deque<Group> m_groups;              // in script order, until finished
    std::vector<Chunk>* m_capture = nullptr; // where output goes instead of the streams
    std::map<std::string, std::set<std::string>> m_hidden; // while finishing a decoder's lines
};

} // namespace tw::console
