#include "Console.h"

#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/posix/Files.h"
#include "platform/posix/Process.h"
#include "platform/posix/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h> // renameat2, RENAME_NOREPLACE
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::console {

namespace {

const char* const programExtensions[] = {".exe", ".com", ".bat", ".cmd"};

// Names are compared as the file lists and the drive paths compare them.
bool sameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return text::foldCase(x) == text::foldCase(y); });
}

bool endsWithIgnoringCase(const std::string& name, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (name.size() <= n)
        return false;
    return sameNameIgnoringCase(text::fromUtf8(name.substr(name.size() - n)),
                                text::fromUtf8(suffix));
}

bool isScriptName(const std::string& name) {
    return endsWithIgnoringCase(name, ".bat") || endsWithIgnoringCase(name, ".cmd");
}

std::vector<std::string> directoryEntries(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string joinNative(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

std::string nativeParent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nativeBaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool sameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Renames without ever replacing an existing file; returns 0 or the errno value.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without RENAME_NOREPLACE: link() never replaces either.
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return errno;
    if (S_ISREG(st.st_mode)) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return 0;
        }
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV)
            return errno;
    }
    // Neither is available (FAT and the like): look, then rename.
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// "\X" is X on the current drive; "\\server\..." names another machine and stays as written.
bool isRootedOnCurrentDrive(const std::wstring& word) {
    return !word.empty() && word[0] == L'\\' && (word.size() == 1 || word[1] != L'\\');
}

// Text as it may reach the terminal: a control character would act on it (an ESC sequence can
// retitle the window or clear the screen), so each is shown in caret notation instead: C0 and
// DEL as "^@".."^_" and "^?", a C1 character as the ESC sequence it stands for ("^[[" for CSI).
std::wstring visible(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x20 || code == 0x7F) {
            shown += L'^';
            shown += static_cast<wchar_t>(code ^ 0x40);
        } else if (code >= 0x80 && code < 0xA0) {
            shown += L"^[";
            shown += static_cast<wchar_t>(code - 0x40);
        } else {
            shown += c;
        }
    }
    return shown;
}

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// Reads the word at or after `pos` as splitWords reads words, and leaves `pos` just after it.
// False when only blanks (or a lone final caret) remain.
bool readWord(const std::wstring& line, std::size_t& pos, std::wstring& word) {
    word.clear();
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    bool started = false;
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        const wchar_t c = line[pos];
        if (quoted) {
            if (c == L'"')
                quoted = false;
            else
                word.push_back(c);
        } else if (isBlank(c)) {
            break;
        } else if (c == L'"') {
            quoted = true;
            started = true;
        } else if (c == L'^') {
            // A caret at the end of the line escapes nothing and is dropped.
            if (pos + 1 < line.size()) {
                word.push_back(line[++pos]);
                started = true;
            }
        } else {
            word.push_back(c);
            started = true;
        }
    }
    return started;
}

// A caret that ends the line outside quotes escapes the line end: the next line goes on this one.
bool continuesOnNextLine(const std::wstring& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"')
            quoted = !quoted;
        else if (line[i] == L'^' && !quoted && ++i == line.size())
            return true;
    }
    return false;
}

} // namespace

std::wstring collapsePercents(const std::wstring& line) {
    std::wstring result;
    result.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        result.push_back(line[i]);
        if (line[i] == L'%' && i + 1 < line.size() && line[i + 1] == L'%')
            ++i;
    }
    return result;
}

std::vector<std::wstring> splitWords(const std::wstring& line) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (std::size_t pos = 0; readWord(line, pos, word);)
        words.push_back(word);
    return words;
}

bool isDrivePath(const std::wstring& word) {
    return word.size() >= 3 &&
           ((word[0] >= L'A' && word[0] <= L'Z') || (word[0] >= L'a' && word[0] <= L'z')) &&
           word[1] == L':' && word[2] == L'\\';
}

ProgramMatch findProgram(const std::string& name, const std::vector<std::string>& directories) {
    ProgramMatch match;
    if (name.empty() || name.find('/') != std::string::npos)
        return match;
    const std::wstring wanted = text::fromUtf8(name);
    std::vector<std::wstring> withExtension;
    for (const char* ext : programExtensions)
        withExtension.push_back(wanted + text::fromUtf8(ext));
    std::wstring stem;
    if (endsWithIgnoringCase(name, ".exe") || endsWithIgnoringCase(name, ".com"))
        stem = text::fromUtf8(name.substr(0, name.size() - 4));

    for (const auto& directory : directories) {
        std::vector<std::pair<int, std::string>> candidates;
        for (const auto& entry : directoryEntries(directory)) {
            const int rank = [&] {
                if (entry == name)
                    return 0;
                // Other names match as a drive path would reach them; one that no drive path
                // can carry is reached by its exact bytes only.
                if (!posix::isCarriableName(entry))
                    return -1;
                const std::wstring wide = text::fromUtf8(entry);
                if (sameNameIgnoringCase(wide, wanted))
                    return 1;
                if (std::any_of(
                        withExtension.begin(), withExtension.end(),
                        [&](const std::wstring& w) { return sameNameIgnoringCase(wide, w); }))
                    return 2;
                if (!stem.empty() && sameNameIgnoringCase(wide, stem))
                    return 3;
                return -1;
            }();
            if (rank >= 0)
                candidates.emplace_back(rank, entry);
        }
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [rank, entry] : candidates) {
            const std::string path = joinNative(directory, entry);
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            const bool script = isScriptName(entry);
            if (::access(path.c_str(), script ? R_OK : X_OK) == 0) {
                match.path = path;
                match.isScript = script;
                match.unusable.clear();
                return match;
            }
            if (match.unusable.empty())
                match.unusable = path;
        }
    }
    return match;
}

Interpreter::Interpreter(Platform& platform, std::ostream& out, std::ostream& err)
    : m_platform(platform), m_out(out), m_err(err) {
    if (const char* path = std::getenv("PATH"))
        m_searchPath = path;
}

bool Interpreter::runScript(const std::string& nativeScript) {
    const bool ok = runScriptAt(nativeScript, 0);
    m_stopping = false;
    return ok;
}

bool Interpreter::runLine(const std::wstring& line) {
    const bool ok = runLineAt(line, 0);
    m_stopping = false;
    return ok;
}

bool Interpreter::runScriptAt(const std::string& nativeScript, int depth) {
    if (m_stopping)
        return false;
    const std::wstring shownName = m_platform.fromEightBit(nativeScript);
    if (depth > maxScriptDepth) {
        stopRunaway(L"scripts run each other more than " + std::to_wstring(maxScriptDepth) +
                    L" deep, as a script that runs itself does; " + shownName + L" was not run");
        return false;
    }
    if (depth > 0 && !takeNestedStep(shownName + L" was not run"))
        return false;
    std::string bytes;
    if (const int error = posix::readWholeFile(nativeScript, bytes, maxScriptBytes)) {
        fail(scriptReadFailure(nativeScript, error));
        return false;
    }
    bool ok = true;
    for (std::size_t start = 0; start < bytes.size();) {
        std::wstring line = nextLine(bytes, start);
        while (continuesOnNextLine(line) && start < bytes.size()) {
            line.pop_back();
            line += nextLine(bytes, start);
        }
        if (depth > 0 && !takeNestedStep(L"stopped in " + shownName))
            return false;
        if (!runLineAt(line, depth))
            ok = false;
        if (m_stopping)
            return false;
    }
    return ok;
}

std::wstring Interpreter::nextLine(const std::string& bytes, std::size_t& start) const {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos)
        end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    // The console drops every CR, the one of CR LF and any other.
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    return m_platform.fromEightBit(line);
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
    fail(why + L", and no further line of any script runs");
    m_stopping = true;
}

bool Interpreter::runLineAt(const std::wstring& line, int depth) {
    std::size_t first = 0;
    while (first < line.size() && isBlank(line[first]))
        ++first;
    std::wstring text = line.substr(first);
    if (text.empty())
        return true;
    bool echo = true;
    if (text[0] == L'@') {
        echo = false;
        text.erase(0, 1);
    }
    // Labels and "::" comments are neither shown nor run.
    if (text.empty() || text[0] == L':')
        return true;
    text = collapsePercents(text);
    if (echo) {
        m_out << '\n' << m_platform.toEightBit(visible(prompt() + text)) << '\n';
        m_out.flush();
    }
    return runCommand(text, depth);
}

bool Interpreter::runCommand(const std::wstring& text, int depth) {
    const std::vector<std::wstring> words = splitWords(text);
    if (words.empty())
        return true;
    const std::wstring& command = words[0];
    if (sameNameIgnoringCase(command, L"REM"))
        return true;
    if (sameNameIgnoringCase(command, L"REN") || sameNameIgnoringCase(command, L"RENAME"))
        return ren(words);
    if (sameNameIgnoringCase(command, L"DEL") || sameNameIgnoringCase(command, L"ERASE"))
        return del(words);
    if (sameNameIgnoringCase(command, L"IF"))
        return ifExist(text, depth);
    return runProgram(words, depth);
}

bool Interpreter::ifExist(const std::wstring& text, int depth) {
    std::size_t pos = 0;
    std::wstring word;
    readWord(text, pos, word); // "IF"
    const bool hasWord = readWord(text, pos, word);
    const bool negated = hasWord && sameNameIgnoringCase(word, L"NOT");
    if (!hasWord || (negated && !readWord(text, pos, word)) ||
        !sameNameIgnoringCase(word, L"EXIST")) {
        fail(L"IF: only IF [NOT] EXIST path command is supported: " + text);
        return false;
    }
    std::wstring path;
    const bool hasPath = readWord(text, pos, path);
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    // The rest runs as written: its quotes and carets are read when it runs, not here.
    const std::wstring command = text.substr(pos);
    if (!hasPath || command.empty()) {
        fail(L"IF: expected a path and the command to run after EXIST: " + text);
        return false;
    }
    // Resolved as DEL resolves its files; anything there counts, a folder too.
    bool exists = false;
    if (!path.empty()) {
        const std::string native = m_platform.nativePath(absoluteDrivePath(path));
        struct stat st {};
        exists = !native.empty() && ::lstat(native.c_str(), &st) == 0;
    }
    if (exists == negated)
        return true;
    return runCommand(command, depth);
}

bool Interpreter::ren(const std::vector<std::wstring>& words) {
    if (words.size() != 3) {
        fail(L"REN: expected the file and its new name (REN file newname), but found " +
             std::to_wstring(words.size() - 1) +
             (words.size() > 3    ? L" names; a name with blanks goes in double quotes"
              : words.size() == 2 ? L" name"
                                  : L" names"));
        return false;
    }
    const std::wstring source = absoluteDrivePath(words[1]);
    const std::wstring& newName = words[2];
    // Only a separator makes a name a path here; "*", "?", ":" and the like are characters of
    // the name (there are no wildcards).
    if (newName.empty() || newName == L"." || newName == L".." ||
        newName.find(L'\0') != std::wstring::npos) {
        fail(L"REN: the new name \"" + newName + L"\" is not a name a file can have");
        return false;
    }
    if (newName.find_first_of(L"\\/") != std::wstring::npos) {
        fail(L"REN: the new name must be a file name, not a path: \"" + newName + L"\"");
        return false;
    }

    const std::string nativeSource = m_platform.nativePath(source);
    struct stat sourceStat {};
    if (nativeSource.empty() || ::lstat(nativeSource.c_str(), &sourceStat) != 0) {
        const int error = nativeSource.empty() ? ENOENT : errno;
        fail(L"REN: " + lookupFailure(source, error));
        return false;
    }
    // The folder of the source in drive terms, for resolving the new name and for messages.
    std::wstring trimmed = source;
    while (trimmed.size() > 3 && trimmed.back() == L'\\')
        trimmed.pop_back();
    std::wstring folder = trimmed.substr(0, trimmed.find_last_of(L'\\') + 1);
    const std::wstring target = folder + newName;

    const std::string nativeTarget =
        joinNative(nativeParent(nativeSource), m_platform.toEightBit(newName));
    // The new name as the console would see it: exact, other case, or a short alias.
    const std::string resolvedTarget = m_platform.nativePath(target);
    struct stat targetStat {};
    std::string existing; // what the new name already names
    if (!resolvedTarget.empty() && ::lstat(resolvedTarget.c_str(), &targetStat) == 0)
        existing = resolvedTarget;
    else if (::lstat(nativeTarget.c_str(), &targetStat) == 0)
        existing = nativeTarget;
    const auto taken = [&] {
        // Say which file it is when the new name reaches it in another case or as its alias.
        const std::string there = nativeBaseName(existing);
        const std::wstring which =
            existing.empty() || there == m_platform.toEightBit(newName)
                ? L""
                : L" (as the name of " + m_platform.fromEightBit(there) + L")";
        fail(L"REN: " + target + L" already exists" + which + L"; " + source + L" keeps its name");
        return false;
    };

    int error = 0;
    if (!existing.empty()) {
        if (!sameInode(sourceStat, targetStat))
            return taken();
        // The file itself under another case or its short alias: nothing, or a case change.
        if (nativeBaseName(nativeSource) == m_platform.toEightBit(newName)) {
            m_renamedInto.insert(folder);
            return true;
        }
        error = renameNoReplace(nativeSource, nativeTarget);
        struct stat literal {};
        if (error == EEXIST && ::lstat(nativeTarget.c_str(), &literal) == 0 &&
            sameInode(literal, sourceStat))
            error = ::rename(nativeSource.c_str(), nativeTarget.c_str()) == 0 ? 0 : errno;
    } else {
        error = renameNoReplace(nativeSource, nativeTarget);
    }
    if (error == EEXIST)
        return taken();
    if (error != 0) {
        fail(L"REN: cannot rename " + source + L" to \"" + newName + L"\": " +
             changeFailure(parentOf(source), error));
        return false;
    }
    m_renamedInto.insert(folder);
    ++m_renamed;
    return true;
}

bool Interpreter::del(const std::vector<std::wstring>& words) {
    bool ok = true;
    bool named = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (!word.empty() && word[0] == L'/') {
            // Quiet and force change nothing here: there is no prompt and no read-only flag.
            if (sameNameIgnoringCase(word, L"/Q") || sameNameIgnoringCase(word, L"/F"))
                continue;
            fail(L"DEL: the switch " + word + L" is not supported");
            ok = false;
            continue;
        }
        // "*" and "?" are characters of the name: there are no wildcards.
        named = true;
        const std::wstring path = absoluteDrivePath(word);
        const std::string native = m_platform.nativePath(path);
        struct stat st {};
        if (native.empty() || ::lstat(native.c_str(), &st) != 0) {
            const int error = native.empty() ? ENOENT : errno;
            fail(L"DEL: " + lookupFailure(path, error));
            ok = false;
        } else if (S_ISDIR(st.st_mode)) {
            fail(L"DEL: " + path + L" is a folder; DEL deletes files only");
            ok = false;
        } else if (::unlink(native.c_str()) != 0) {
            const int error = errno;
            fail(L"DEL: cannot delete " + path + L": " + changeFailure(parentOf(path), error));
            ok = false;
        }
    }
    if (!named) {
        fail(L"DEL: expected the file to delete (DEL file)");
        return false;
    }
    return ok;
}

bool Interpreter::runProgram(const std::vector<std::wstring>& words, int depth) {
    const std::wstring& command = words[0];
    ProgramMatch match;
    if (command.find(L'/') != std::wstring::npos) {
        fail(L"'" + command +
             L"' is not a program name: \"/\" cannot be part of one (folders "
             L"are separated by \"\\\")");
        return false;
    }
    const bool hasFolder =
        command.find(L'\\') != std::wstring::npos || (command.size() >= 2 && command[1] == L':');
    if (hasFolder) {
        const std::string native = m_platform.nativePath(absoluteDrivePath(command));
        if (!native.empty())
            match = findProgram(nativeBaseName(native), {nativeParent(native)});
    } else {
        std::vector<std::string> directories{nativeCurrentDirectory()};
        for (auto& d : posix::splitSearchPath(m_searchPath))
            directories.push_back(std::move(d));
        match = findProgram(m_platform.toEightBit(command), directories);
    }
    if (match.path.empty()) {
        if (!match.unusable.empty())
            fail(command + L": " + m_platform.fromEightBit(match.unusable) +
                 (isScriptName(match.unusable) ? L" cannot be run: this user may not read it"
                                               : L" cannot be run: it is not executable"));
        else if (hasFolder)
            fail(L"cannot find the program " + absoluteDrivePath(command) +
                 missingPart(absoluteDrivePath(command)));
        else
            fail(L"cannot find the program " + command + L" in " +
                 prompt().substr(0, prompt().size() - 1) + L" or on PATH");
        return false;
    }
    if (match.isScript)
        return runScriptAt(match.path, depth + 1);

    std::vector<std::string> argv{match.path};
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string native;
        if (isDrivePath(words[i]) || isRootedOnCurrentDrive(words[i]))
            native = m_platform.nativePath(absoluteDrivePath(words[i]));
        argv.push_back(native.empty() ? m_platform.toEightBit(words[i]) : native);
    }
    m_out.flush();
    m_err.flush();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const posix::RunResult outcome = posix::runAndWait(argv);
    if (!outcome.started()) {
        const std::wstring program = m_platform.fromEightBit(match.path);
        if (outcome.start.failure == posix::SpawnResult::Failure::Program)
            fail(L"cannot run " + program + L": " + execFailure(match.path, outcome.start.error));
        else
            fail(L"cannot start a process for " + program + L": " +
                 (outcome.start.error ? systemError(outcome.start.error)
                                      : L"the system gave no reason"));
        return false;
    }
    if (WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0) {
        ++m_programsRun;
        return true;
    }
    if (WIFEXITED(outcome.status))
        fail(command + L" ended with exit code " + std::to_wstring(WEXITSTATUS(outcome.status)));
    else if (WIFSIGNALED(outcome.status))
        fail(command + L" was ended by signal " + std::to_wstring(WTERMSIG(outcome.status)) +
             L" (" + m_platform.fromEightBit(::strsignal(WTERMSIG(outcome.status))) + L")");
    else
        fail(command + L" ended abnormally");
    return false;
}

std::string Interpreter::nativeCurrentDirectory() const {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::wstring Interpreter::prompt() const {
    std::wstring current = m_platform.currentDirectory();
    if (current.empty())
        current = m_platform.fromEightBit(nativeCurrentDirectory());
    return current + L">";
}

std::wstring Interpreter::absoluteDrivePath(const std::wstring& word) const {
    if (isDrivePath(word))
        return word;
    if (word.size() >= 2 && word[1] == L':')
        return word.substr(0, 2) + L"\\" + word.substr(2);
    std::wstring current = m_platform.currentDirectory();
    if (word.size() >= 1 && word[0] == L'\\')
        return current.substr(0, 2) + word;
    if (current.empty() || current.back() != L'\\')
        current += L'\\';
    return current + word;
}

void Interpreter::fail(const std::wstring& message) {
    ++m_failures;
    m_err << "tonwright-console: " << m_platform.toEightBit(visible(message)) << '\n';
    m_err.flush();
}

std::wstring Interpreter::parentOf(const std::wstring& drivePath) {
    std::wstring trimmed = drivePath;
    while (trimmed.size() > 3 && trimmed.back() == L'\\')
        trimmed.pop_back();
    const std::size_t cut = trimmed.find_last_of(L'\\');
    if (cut == std::wstring::npos || trimmed.size() <= 3)
        return {};
    return trimmed.substr(0, cut == 2 ? 3 : cut);
}

std::wstring Interpreter::lookupFailure(const std::wstring& drivePath, int error) const {
    if (error != ENOENT && error != ENOTDIR)
        return L"cannot reach " + drivePath + L": " + systemError(error);
    return L"cannot find " + drivePath + missingPart(drivePath);
}

std::wstring Interpreter::missingPart(const std::wstring& drivePath) const {
    if (m_platform.nativePath(drivePath).empty()) {
        const std::wstring drive = drivePath.substr(0, 2);
        for (const Drive& known : m_platform.drives())
            if (sameNameIgnoringCase(known.letter, drive))
                return L": no file can have that name";
        return L": there is no drive " + drive;
    }
    // The first folder on the way that is missing, or a file that stands where a folder should.
    std::wstring missing;
    for (std::wstring folder = parentOf(drivePath); !folder.empty(); folder = parentOf(folder)) {
        struct stat st {};
        if (::stat(m_platform.nativePath(folder).c_str(), &st) != 0) {
            missing = folder;
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            return L": " + folder + L" is a file, not a folder";
        break;
    }
    return missing.empty() ? L"" : L": there is no folder " + missing;
}

std::wstring Interpreter::changeFailure(const std::wstring& folder, int error) const {
    const std::wstring system = L" (" + systemError(error) + L")";
    switch (error) {
    case EACCES:
        return L"this user may not change the folder " + folder + system;
    case EPERM:
        return L"it is protected (immutable or append-only), or the folder " + folder +
               L" lets only a file's owner change it" + system;
    default:
        return systemError(error);
    }
}

std::wstring Interpreter::execFailure(const std::string& program, int error) const {
    const std::wstring system = L" (" + systemError(error) + L")";
    // A script names the program that runs it on its first line.
    std::string start;
    std::string runner;
    if (posix::readFileStart(program, start, 512) == 0 && start.rfind("#!", 0) == 0) {
        std::size_t from = start.find_first_not_of(" \t", 2);
        if (from != std::string::npos)
            runner = start.substr(from, start.find_first_of(" \t\r\n", from) - from);
    }
    const std::wstring shownRunner =
        L"the program it names on its first line, " + m_platform.fromEightBit(runner) + L",";
    switch (error) {
    case ENOEXEC:
        return L"it is neither a program for this system nor a script whose first line names "
               L"the program to run it" +
               system;
    case ENOENT: {
        struct stat st {};
        if (::stat(program.c_str(), &st) != 0)
            return L"it is no longer there" + system;
        if (!runner.empty())
            return shownRunner + L" does not exist" + system;
        return L"it needs a loader this system does not have (a program for another kind of "
               L"system?)" +
               system;
    }
    case EACCES:
        if (!runner.empty() && !posix::isExecutableFile(runner))
            return shownRunner + L" cannot be run" + system;
        return L"its file system may not allow running programs" + system;
    case ETXTBSY:
        return L"it is open for writing, perhaps still being copied" + system;
    case E2BIG:
        return L"its arguments are too long for the system" + system;
    default:
        return systemError(error);
    }
}

std::wstring Interpreter::scriptReadFailure(const std::string& nativeScript, int error) const {
    const std::wstring name = m_platform.fromEightBit(nativeScript);
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
        return L"cannot read the script " + name + L": " + systemError(error);
    }
}

std::wstring Interpreter::systemError(int error) const {
    return posix::systemErrorText(error);
}

} // namespace tw::console
