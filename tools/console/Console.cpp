#include "Console.h"

#include "platform/DrivePath.h"
#include "platform/Text.h"
#include "platform/posix/Files.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Process.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>

namespace tw::console {

namespace {

// A program word with a folder ("\" anywhere, or a drive letter) is looked for there only.
bool namesFolder(const std::wstring& command) {
    return command.find(L'\\') != std::wstring::npos || hasDriveLetter(command);
}

// The decoder makes its output and nothing else, so the names it may change are those of its
// arguments; about any other program nothing is known.
bool isTheDecoder(const std::string& program) {
    const std::wstring name = text::fromUtf8(posix::lastPartOf(program));
    return sameNameIgnoringCase(name, L"l3dec") || sameNameIgnoringCase(name, L"l3dec.exe");
}

bool isProgramLine(const std::wstring& text) {
    const std::vector<std::wstring> words = splitWords(text);
    return !words.empty() && !isBuiltIn(words[0]);
}

} // namespace

Interpreter::Interpreter(posix::PosixPlatform& platform, std::ostream& out, std::ostream& err)
    : m_session(platform, out, err), m_batch(out), m_files(m_session, m_batch) {
    if (const char* path = std::getenv("PATH"))
        m_searchPath = path;
}

bool Interpreter::runScript(const std::string& nativeScript) {
    const bool ok = runScriptAt(nativeScript, 0);
    m_stopping = false;
    m_batch.end();
    return ok && stopSignal() == 0;
}

bool Interpreter::runLine(const std::wstring& line) {
    const bool ok = runLineAt(line, 0);
    m_stopping = false;
    return ok;
}

bool Interpreter::runScriptAt(const std::string& nativeScript, int depth) {
    if (m_stopping)
        return false;
    const std::wstring shownName = m_session.text(nativeScript);
    if (depth > maxScriptDepth) {
        stopRunaway(L"scripts run each other more than " + std::to_wstring(maxScriptDepth) +
                    L" deep, as a script that runs itself does; " + shownName + L" was not run");
        return false;
    }
    if (depth > 0 && !takeNestedStep(shownName + L" was not run"))
        return false;
    std::string bytes;
    if (const int error = posix::readWholeFile(nativeScript, bytes, maxScriptBytes)) {
        m_session.fail(scriptReadFailure(nativeScript, error));
        return false;
    }
    if (depth == 0 && m_batch.statusLine())
        m_batch.expect(plan(bytes));
    bool ok = true;
    ScriptLines lines(bytes, [this](const std::string& line) { return m_session.text(line); });
    for (std::wstring line; lines.next(line);) {
        if (depth > 0 && !takeNestedStep(L"stopped in " + shownName))
            return false;
        if (stopSignal() != 0 && (depth > 0 || !mayRunWhileStopping(line)))
            return false;
        if (!runLineAt(line, depth))
            ok = false;
        if (m_stopping)
            break;
    }
    return ok && !m_stopping;
}

bool Interpreter::mayRunWhileStopping(const std::wstring& line) const {
    const PreparedLine prepared = prepareLine(line);
    return !isProgramLine(prepared.text) && m_batch.inFile() && !m_batch.programFailed();
}

std::vector<PlannedFile> Interpreter::plan(const std::string& bytes) {
    std::vector<PlannedFile> files;
    ScriptLines lines(bytes, [this](const std::string& line) { return m_session.text(line); });
    for (std::wstring line; lines.next(line);) {
        const std::vector<std::wstring> words = splitWords(prepareLine(line).text);
        if (words.empty() || isBuiltIn(words[0]))
            continue;
        PlannedFile file;
        // The first path it names is its input: a long name to show, and its size.
        for (std::size_t i = 1; i < words.size() && file.name.empty(); ++i) {
            if (!isDrivePath(words[i]) && !isRootedOnCurrentDrive(words[i]))
                continue;
            const std::string native = m_session.native(m_session.absoluteDrivePath(words[i]));
            struct stat st {};
            if (!native.empty() && ::stat(native.c_str(), &st) == 0) {
                file.name = m_session.text(posix::lastPartOf(native));
                file.bytes = static_cast<std::uint64_t>(st.st_size);
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

bool Interpreter::takeNestedStep(const std::wstring& where) {
    if (++m_nestedSteps <= maxNestedSteps)
        return true;
    stopRunaway(L"scripts run by scripts have run " + std::to_wstring(maxNestedSteps) +
                L" lines and scripts in all, as scripts that run each other over and over do; " +
                where);
    return false;
}

void Interpreter::stopRunaway(const std::wstring& why) {
    m_session.fail(why + L", and no further line of any script runs");
    m_stopping = true;
}

bool Interpreter::runLineAt(const std::wstring& line, int depth) {
    const PreparedLine prepared = prepareLine(line);
    if (prepared.text.empty())
        return true;
    if (prepared.echo)
        m_session.echo(prepared.text);
    const bool ok = runCommand(prepared.text, depth);
    if (!ok && depth == 0)
        m_batch.lineFailed();
    return ok;
}

bool Interpreter::runCommand(const std::wstring& text, int depth) {
    const std::vector<std::wstring> words = splitWords(text);
    if (words.empty())
        return true;
    const std::wstring& command = words[0];
    if (sameNameIgnoringCase(command, L"REM"))
        return true;
    if (sameNameIgnoringCase(command, L"REN") || sameNameIgnoringCase(command, L"RENAME"))
        return m_files.ren(words);
    if (sameNameIgnoringCase(command, L"DEL") || sameNameIgnoringCase(command, L"ERASE"))
        return m_files.del(words);
    if (sameNameIgnoringCase(command, L"IF")) {
        std::wstring then;
        if (!m_files.ifExist(text, then))
            return false;
        return then.empty() || runCommand(then, depth);
    }
    return runProgram(words, depth);
}

bool Interpreter::runProgram(const std::vector<std::wstring>& words, int depth) {
    const std::wstring& command = words[0];
    if (depth == 0)
        m_batch.fileStarted(command);
    const auto ended = [&](bool ok) {
        if (depth == 0)
            m_batch.programEnded(ok);
        return ok;
    };
    if (command.find(L'/') != std::wstring::npos) {
        m_session.fail(L"'" + command +
                       L"' is not a program name: \"/\" cannot be part of one (folders "
                       L"are separated by \"\\\")");
        return ended(false);
    }
    const ProgramMatch match = locateProgram(command);
    if (match.path.empty()) {
        failNoProgram(command, match);
        return ended(false);
    }
    if (match.isScript)
        return ended(runScriptAt(match.path, depth + 1));
    std::vector<std::string> changes;
    const std::vector<std::string> argv = programArguments(match.path, words, changes);
    // What was printed so far comes before the program's own output.
    m_session.flush();
    const bool shown = depth == 0 && m_batch.statusLine();
    const ProgramEnd end = runToEnd(argv, shown ? [this](double f) { m_batch.progress(f); }
                                                : std::function<void(double)>());
    if (isTheDecoder(match.path))
        for (const std::string& path : changes)
            m_session.names().changed(path);
    else
        m_session.names().forgetAll();
    if (!end.started) {
        m_session.fail(startFailure(m_session.text(argv[0]), argv[0], end.failure, end.error));
        return ended(false);
    }
    if (const std::wstring failure = endFailure(command, end.status); !failure.empty()) {
        m_session.fail(failure);
        return ended(false);
    }
    return ended(true);
}

ProgramMatch Interpreter::locateProgram(const std::wstring& command) {
    if (namesFolder(command)) {
        const std::string native = m_session.native(m_session.absoluteDrivePath(command));
        if (native.empty())
            return {};
        return m_finder.find(posix::lastPartOf(native), {posix::folderOf(native)});
    }
    std::vector<std::string> directories{m_session.nativeCurrentDirectory()};
    for (auto& d : posix::splitSearchPath(m_searchPath))
        directories.push_back(std::move(d));
    return m_finder.find(m_session.eightBit(command), directories);
}

void Interpreter::failNoProgram(const std::wstring& command, const ProgramMatch& match) {
    if (!match.unusable.empty()) {
        m_session.fail(command + L": " + m_session.text(match.unusable) +
                       (isScriptName(match.unusable) ? L" cannot be run: this user may not read it"
                                                     : L" cannot be run: it is not executable"));
    } else if (namesFolder(command)) {
        const std::wstring path = m_session.absoluteDrivePath(command);
        m_session.fail(L"cannot find the program " + path + m_session.missingPart(path));
    } else {
        const std::wstring prompt = m_session.prompt();
        m_session.fail(L"cannot find the program " + command + L" in " +
                       prompt.substr(0, prompt.size() - 1) + L" or on PATH");
    }
}

std::vector<std::string> Interpreter::programArguments(const std::string& program,
                                                       const std::vector<std::wstring>& words,
                                                       std::vector<std::string>& changes) {
    std::vector<std::string> argv{program};
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string native;
        if (isDrivePath(words[i]) || isRootedOnCurrentDrive(words[i]))
            native = m_session.native(m_session.absoluteDrivePath(words[i]));
        if (!native.empty())
            changes.push_back(native);
        argv.push_back(native.empty() ? m_session.eightBit(words[i]) : native);
    }
    return argv;
}

std::wstring Interpreter::scriptReadFailure(const std::string& nativeScript, int error) const {
    const std::wstring name = m_session.text(nativeScript);
    switch (error) {
    case ENOENT:
        return L"cannot find the script " + name;
    case EISDIR:
        return L"the script " + name + L" is a folder, not a file";
    case EFBIG:
        return L"the script " + name + L" is larger than " + std::to_wstring(maxScriptBytes >> 20) +
               L" MiB, far more than any batch of Tonwright's; it was not run";
    case EINVAL: {
        // Not a regular file, so it was never opened: say what it is.
        struct stat st {};
        const int kind = ::stat(nativeScript.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
        const wchar_t* what = kind == S_IFIFO                      ? L"a named pipe (FIFO)"
                              : kind == S_IFCHR || kind == S_IFBLK ? L"a device"
                              : kind == S_IFSOCK                   ? L"a socket"
                                                                   : L"not a regular file";
        return L"the script " + name + L" is " + what + L", not a file";
    }
    default:
        return L"cannot read the script " + name + L": " + m_session.systemError(error);
    }
}

} // namespace tw::console
