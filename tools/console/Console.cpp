#include "Console.h"

#include "platform/DrivePath.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/posix/Files.h"
#include "platform/posix/Process.h"
#include "platform/posix/ShortNames.h"
#include "platform/posix/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include <poll.h>
#include <time.h>

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

// The folder and the last name of an absolute drive path; false for a root, a trailing "\\", a
// "/" or a "." or ".." anywhere: paths whose meaning the concurrent run does not work out.
bool splitDrivePath(const std::wstring& path, std::wstring& folder, std::wstring& name) {
    if (!isDrivePath(path) || path.find(L'/') != std::wstring::npos)
        return false;
    for (std::size_t start = 3;;) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring part = path.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..")
            return false;
        if (end == path.size())
            break;
        start = end + 1;
    }
    const std::size_t cut = path.find_last_of(L'\\');
    folder = cut == 2 ? path.substr(0, 3) : path.substr(0, cut);
    name = path.substr(cut + 1);
    return true;
}

// `inner` lies below the native folder `outer`.
bool isBelow(const std::string& inner, const std::string& outer) {
    if (outer == "/")
        return inner.size() > 1 && inner[0] == '/';
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           inner[outer.size()] == '/';
}

// The extension a numeric-tail short name of `name` would carry, "?" for a character that is
// not a plain letter or digit.
std::string tailExtension(std::wstring_view name) {
    std::wstring cleaned;
    for (const wchar_t c : name)
        if (!isBlank(c))
            cleaned += c;
    const std::size_t dot = cleaned.find_last_of(L'.');
    std::string extension;
    if (dot == std::wstring::npos || dot == 0)
        return extension;
    for (std::size_t i = dot + 1; i < cleaned.size() && extension.size() < 3; ++i) {
        const wchar_t c = cleaned[i];
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))
            extension += static_cast<char>(c >= L'a' && c <= L'z' ? c - 32 : c);
        else
            extension += '?';
    }
    return extension;
}

// Whether two names could hold or count numeric tails together: short names with different
// extensions never meet.
bool mayShareTails(std::wstring_view a, std::wstring_view b) {
    const std::string x = tailExtension(a), y = tailExtension(b);
    if (x.size() != y.size())
        return x.find('?') != std::string::npos || y.find('?') != std::string::npos;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (x[i] != y[i] && x[i] != '?' && y[i] != '?')
            return false;
    return true;
}

// The decoder writes its output under a name of its own (".l3dec-" and six letters or digits)
// until it is complete: no line of the script can see such a file where decoders run one
// after another.
bool isPartialName(std::string_view name) {
    constexpr std::string_view prefix = ".l3dec-";
    return name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix;
}

// A name that no short name can be: only an exact match or one in another case finds it,
// whatever the decoders make of the folder meanwhile.
bool isPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(std::wstring(L"\\/~\0", 4)) == std::wstring::npos;
}

bool isBuiltIn(const std::wstring& word) {
    for (const wchar_t* name : {L"REM", L"REN", L"RENAME", L"DEL", L"ERASE", L"IF"})
        if (sameNameIgnoringCase(word, name))
            return true;
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
    return hasDriveLetter(word) && word.size() >= 3 && word[2] == L'\\';
}

namespace {

// The forms of a program word that a file's name can take.
struct ProgramName {
    explicit ProgramName(const std::string& typed) : name(typed), wanted(text::fromUtf8(typed)) {
        for (const char* ext : programExtensions)
            withExtension.push_back(wanted + text::fromUtf8(ext));
        if (endsWithIgnoringCase(name, ".exe") || endsWithIgnoringCase(name, ".com"))
            stem = text::fromUtf8(name.substr(0, name.size() - 4));
    }

    // How well a file's name matches, best first: the exact name, another case, an added
    // extension, a dropped .exe or .com; -1 for no match.
    int rank(const std::string& entry) const {
        if (entry == name)
            return 0;
        // Other names match as a drive path would reach them; one that no drive path can carry
        // is reached by its exact bytes only.
        if (!posix::isCarriableName(entry))
            return -1;
        const std::wstring wide = text::fromUtf8(entry);
        if (sameNameIgnoringCase(wide, wanted))
            return 1;
        if (std::any_of(withExtension.begin(), withExtension.end(),
                        [&](const std::wstring& w) { return sameNameIgnoringCase(wide, w); }))
            return 2;
        if (!stem.empty() && sameNameIgnoringCase(wide, stem))
            return 3;
        return -1;
    }

    std::string name;
    std::wstring wanted;
    std::vector<std::wstring> withExtension;
    std::wstring stem;
};

// The names in `directory` that match, the best first and in listing order within a rank.
std::vector<std::string> candidatesIn(const std::string& directory, const ProgramName& program) {
    std::vector<std::pair<int, std::string>> ranked;
    for (auto& entry : directoryEntries(directory))
        if (const int rank = program.rank(entry); rank >= 0)
            ranked.emplace_back(rank, std::move(entry));
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (auto& [rank, entry] : ranked)
        names.push_back(std::move(entry));
    return names;
}

} // namespace

ProgramMatch findProgram(const std::string& name, const std::vector<std::string>& directories) {
    ProgramMatch match;
    if (name.empty() || name.find('/') != std::string::npos)
        return match;
    const ProgramName program(name);
    for (const auto& directory : directories) {
        for (const std::string& entry : candidatesIn(directory, program)) {
            const std::string path = joinNative(directory, entry);
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            const bool script = isScriptName(entry);
            if (::access(path.c_str(), script ? R_OK : X_OK) == 0)
                return {path, script, {}};
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
        const bool lineOk =
            depth == 0 && m_jobs > 1 ? runLineConcurrently(line) : runLineAt(line, depth);
        if (!lineOk)
            ok = false;
        if (m_stopping)
            break;
    }
    if (depth == 0) {
        // Every decoder ends and its lines run before the script counts as done.
        finishAll();
        clearStatus();
        if (m_asyncFailed)
            ok = false;
        m_asyncFailed = false;
    }
    return ok && !m_stopping;
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

bool Interpreter::prepareLine(const std::wstring& line, std::wstring& text, bool& echo) const {
    std::size_t first = 0;
    while (first < line.size() && isBlank(line[first]))
        ++first;
    text = line.substr(first);
    if (text.empty())
        return false;
    echo = true;
    if (text[0] == L'@') {
        echo = false;
        text.erase(0, 1);
    }
    // Labels and "::" comments are neither shown nor run.
    if (text.empty() || text[0] == L':')
        return false;
    text = collapsePercents(text);
    return true;
}

std::string Interpreter::echoOf(const std::wstring& text) const {
    return "\n" + m_platform.toEightBit(visible(prompt() + text)) + "\n";
}

bool Interpreter::runLineAt(const std::wstring& line, int depth) {
    std::wstring text;
    bool echo = true;
    if (!prepareLine(line, text, echo))
        return true;
    if (echo)
        emit(Sink::Out, echoOf(text));
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
        const std::string native = resolveNative(absoluteDrivePath(path));
        struct stat st {};
        exists = !native.empty() && ::lstat(native.c_str(), &st) == 0;
    }
    if (exists == negated)
        return true;
    return runCommand(command, depth);
}

// A REN under way: the file, its new name, and what that name names already.
struct Interpreter::Renaming {
    std::wstring source; // the file, as an absolute drive path
    std::wstring newName;
    std::string nativeSource;
    struct stat sourceStat {};
    std::wstring folder;      // the source's folder in drive terms, ending in "\"
    std::wstring target;      // the new name in that folder
    std::string nativeTarget; // the new name beside the source, byte for byte
    std::string existing;     // what the new name already names; empty when nothing
    struct stat targetStat {};
};

namespace {

bool isListed(const std::string& path) {
    const std::vector<std::string> listed = directoryEntries(nativeParent(path));
    return std::binary_search(listed.begin(), listed.end(), nativeBaseName(path));
}

// Renames `from` to `to` without replacing another file; returns 0 or the errno value. Where
// `to` is `from` itself in another case (a folder that ignores case says the name is taken),
// the file takes the new spelling. What the folder lists afterwards tells whether it did: some
// file systems take a rename onto the same file for done, and then the file goes through a
// name of its own first. File systems that give every lookup a new inode number leave nothing
// else to go by.
int renameOntoSelfOnly(const std::string& from, const std::string& to, bool self) {
    int error = renameNoReplace(from, to);
    if (error != EEXIST || !self)
        return error;
    if (::rename(from.c_str(), to.c_str()) != 0)
        return errno;
    if (isListed(to))
        return 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string between =
            joinNative(nativeParent(to), ".tonwright-ren-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(attempt));
        error = renameNoReplace(from, between);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return error;
        error = renameNoReplace(between, to);
        if (error != 0)
            (void)::rename(between.c_str(), from.c_str());
        return error;
    }
    return EEXIST;
}

// The names of a folder that a file system ignoring case could take for `name`.
std::vector<std::string> namesLike(const std::string& folder, const std::string& name) {
    const auto key = [](const std::string& text) {
        std::wstring wide = text::fromUtf8(text);
        for (wchar_t& c : wide)
            c = text::foldWide(c);
        return wide;
    };
    const std::wstring wanted = key(name);
    std::vector<std::string> like;
    for (const std::string& listed : directoryEntries(folder))
        if (key(listed) == wanted)
            like.push_back(listed);
    return like;
}

} // namespace

bool Interpreter::ren(const std::vector<std::wstring>& words) {
    if (!checkRenWords(words) || !checkNewName(words[2]))
        return false;
    Renaming renaming;
    renaming.source = absoluteDrivePath(words[1]);
    renaming.newName = words[2];
    if (!findRenameSource(renaming))
        return false;
    lookUpNewName(renaming);
    const bool existing = !renaming.existing.empty();
    if (existing && !isRenamingItself(renaming))
        return refuseTakenName(renaming);
    // The file itself under another case or its short alias: nothing, or a case change.
    if (existing &&
        nativeBaseName(renaming.nativeSource) == m_platform.toEightBit(renaming.newName)) {
        m_renamedInto.insert(renaming.folder);
        return true;
    }
    const int error = renameOntoSelfOnly(renaming.nativeSource, renaming.nativeTarget, existing);
    if (error == EEXIST)
        return refuseTakenName(renaming);
    if (error != 0) {
        fail(L"REN: cannot rename " + renaming.source + L" to \"" + renaming.newName + L"\": " +
             renameFailure(parentOf(renaming.source), renaming.newName, error));
        return false;
    }
    m_renamedInto.insert(renaming.folder);
    ++m_renamed;
    return true;
}

bool Interpreter::checkRenWords(const std::vector<std::wstring>& words) {
    if (words.size() == 3)
        return true;
    fail(L"REN: expected the file and its new name (REN file newname), but found " +
         std::to_wstring(words.size() - 1) +
         (words.size() > 3    ? L" names; a name with blanks goes in double quotes"
          : words.size() == 2 ? L" name"
                              : L" names"));
    return false;
}

bool Interpreter::checkNewName(const std::wstring& newName) {
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
    return true;
}

bool Interpreter::findRenameSource(Renaming& renaming) {
    renaming.nativeSource = resolveNative(renaming.source);
    if (!renaming.nativeSource.empty() &&
        ::lstat(renaming.nativeSource.c_str(), &renaming.sourceStat) == 0)
        return true;
    const int error = renaming.nativeSource.empty() ? ENOENT : errno;
    fail(L"REN: " + lookupFailure(renaming.source, error));
    return false;
}

void Interpreter::lookUpNewName(Renaming& renaming) const {
    // The folder of the source in drive terms, for resolving the new name and for messages.
    std::wstring trimmed = renaming.source;
    while (trimmed.size() > 3 && trimmed.back() == L'\\')
        trimmed.pop_back();
    renaming.folder = trimmed.substr(0, trimmed.find_last_of(L'\\') + 1);
    renaming.target = renaming.folder + renaming.newName;
    renaming.nativeTarget =
        joinNative(nativeParent(renaming.nativeSource), m_platform.toEightBit(renaming.newName));
    // The new name as the console would see it: exact, other case, or a short alias; else as
    // the file system sees it (a folder that ignores case more widely than the console).
    const std::string resolvedTarget = resolveNative(renaming.target);
    if (!resolvedTarget.empty() && ::lstat(resolvedTarget.c_str(), &renaming.targetStat) == 0)
        renaming.existing = resolvedTarget;
    else if (::lstat(renaming.nativeTarget.c_str(), &renaming.targetStat) == 0)
        renaming.existing = renaming.nativeTarget;
}

bool Interpreter::isRenamingItself(const Renaming& renaming) const {
    // The console's own matching (exact, case, short name) found the file itself.
    if (renaming.existing == renaming.nativeSource)
        return true;
    if (renaming.existing != renaming.nativeTarget)
        return false;
    // Only the file system found it: itself only if no other name there could be the one.
    const std::vector<std::string> like =
        namesLike(nativeParent(renaming.nativeTarget), nativeBaseName(renaming.nativeTarget));
    return like.size() == 1 && like[0] == nativeBaseName(renaming.nativeSource);
}

std::wstring Interpreter::renameFailure(const std::wstring& folder, const std::wstring& newName,
                                        int error) const {
    // A stick or a Windows disk refuses these characters, each file system with its own errno.
    const bool refusedName = error == ENOENT || error == EINVAL || error == EPERM ||
                             error == EILSEQ || error == ENAMETOOLONG;
    if (refusedName && error != ENAMETOOLONG)
        for (const wchar_t c : newName)
            if (c < 0x20 || std::wstring_view(L"\"*:<>?\\|").find(c) != std::wstring_view::npos)
                return L"the file system of " + folder + L" cannot hold \"" + visible({&c, 1}) +
                       L"\" in a name (" + systemError(error) + L")";
    return changeFailure(folder, error);
}

bool Interpreter::refuseTakenName(const Renaming& renaming) {
    // Say which file it is when the new name reaches it in another case or as its alias.
    const std::string there = nativeBaseName(renaming.existing);
    const std::wstring which =
        renaming.existing.empty() || there == m_platform.toEightBit(renaming.newName)
            ? L""
            : L" (as the name of " + m_platform.fromEightBit(there) + L")";
    fail(L"REN: " + renaming.target + L" already exists" + which + L"; " + renaming.source +
         L" keeps its name");
    return false;
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
        const std::string native = resolveNative(path);
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

namespace {

// A program word with a folder ("\" anywhere, or a drive letter) is looked for there only.
bool namesFolder(const std::wstring& command) {
    return command.find(L'\\') != std::wstring::npos || hasDriveLetter(command);
}

} // namespace

bool Interpreter::runProgram(const std::vector<std::wstring>& words, int depth) {
    const std::wstring& command = words[0];
    if (command.find(L'/') != std::wstring::npos) {
        fail(L"'" + command +
             L"' is not a program name: \"/\" cannot be part of one (folders "
             L"are separated by \"\\\")");
        return false;
    }
    const ProgramMatch match = locateProgram(command);
    if (match.path.empty()) {
        failNoProgram(command, match);
        return false;
    }
    if (match.isScript)
        return runScriptAt(match.path, depth + 1);
    return runToEnd(programArguments(match.path, words), command);
}

ProgramMatch Interpreter::locateProgram(const std::wstring& command) const {
    if (namesFolder(command)) {
        const std::string native = m_platform.nativePath(absoluteDrivePath(command));
        if (native.empty())
            return {};
        return findProgram(nativeBaseName(native), {nativeParent(native)});
    }
    std::vector<std::string> directories{nativeCurrentDirectory()};
    for (auto& d : posix::splitSearchPath(m_searchPath))
        directories.push_back(std::move(d));
    return findProgram(m_platform.toEightBit(command), directories);
}

void Interpreter::failNoProgram(const std::wstring& command, const ProgramMatch& match) {
    if (!match.unusable.empty())
        fail(command + L": " + m_platform.fromEightBit(match.unusable) +
             (isScriptName(match.unusable) ? L" cannot be run: this user may not read it"
                                           : L" cannot be run: it is not executable"));
    else if (namesFolder(command))
        fail(L"cannot find the program " + absoluteDrivePath(command) +
             missingPart(absoluteDrivePath(command)));
    else
        fail(L"cannot find the program " + command + L" in " +
             prompt().substr(0, prompt().size() - 1) + L" or on PATH");
}

std::vector<std::string>
Interpreter::programArguments(const std::string& program,
                              const std::vector<std::wstring>& words) const {
    std::vector<std::string> argv{program};
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string native;
        if (isDrivePath(words[i]) || isRootedOnCurrentDrive(words[i]))
            native = m_platform.nativePath(absoluteDrivePath(words[i]));
        argv.push_back(native.empty() ? m_platform.toEightBit(words[i]) : native);
    }
    return argv;
}

bool Interpreter::runToEnd(const std::vector<std::string>& argv, const std::wstring& command) {
    // What was printed so far comes before the program's own output.
    m_out.flush();
    m_err.flush();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const posix::RunResult outcome = posix::runAndWait(argv);
    if (!outcome.started()) {
        fail(startFailure(argv[0], static_cast<int>(outcome.start.failure), outcome.start.error));
        return false;
    }
    const std::wstring failure = endFailure(command, outcome.status);
    if (failure.empty()) {
        ++m_programsRun;
        return true;
    }
    fail(failure);
    return false;
}

std::wstring Interpreter::startFailure(const std::string& program, int failure, int error) const {
    const std::wstring shown = m_platform.fromEightBit(program);
    if (failure == static_cast<int>(posix::SpawnResult::Failure::Program))
        return L"cannot run " + shown + L": " + execFailure(program, error);
    return L"cannot start a process for " + shown + L": " +
           (error ? systemError(error) : L"the system gave no reason");
}

std::wstring Interpreter::endFailure(const std::wstring& command, int status) const {
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {};
    if (WIFEXITED(status))
        return command + L" ended with exit code " + std::to_wstring(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return command + L" was ended by signal " + std::to_wstring(WTERMSIG(status)) + L" (" +
               m_platform.fromEightBit(::strsignal(WTERMSIG(status))) + L")";
    return command + L" ended abnormally";
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
    if (hasDriveLetter(word)) // no folder is kept per drive: "C:NAME" is read from the root
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
    emit(Sink::Err, "tonwright-console: " + m_platform.toEightBit(visible(message)) + "\n");
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

// --- Decoders side by side ---
//
// Lines still run one by one on this thread, in script order, for everything that looks up a
// name or changes a folder; only the decoders run beside it. A decoder line starts while
// earlier ones run only when each of its paths names in every outcome of theirs what it names
// once they have ended (their outputs there or not), and the REN and IF EXIST lines that name
// a running decoder's output wait for it, with everything they print. The proof rests on the
// short names: over a folder holding fewer names, a short name names nothing that it did not
// name over all of them (the tail numbers only close up), and tails with different extensions
// never meet.

void Interpreter::emit(Sink sink, const std::string& text) {
    if (m_capture) {
        if (sink == Sink::Program && !m_capture->empty() && m_capture->back().sink == sink)
            m_capture->back().text += text;
        else
            m_capture->push_back({sink, text});
        return;
    }
    clearStatus();
    if (sink == Sink::Out) {
        m_out << text;
        m_out.flush();
    } else if (sink == Sink::Err) {
        m_err << text;
        m_err.flush();
    } else {
        m_out.flush();
        m_err.flush();
        std::cout.flush();
        std::cerr.flush();
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
    }
}

void Interpreter::showStatus() {
    if (!m_statusLine)
        return;
    std::string line;
    const auto now = std::chrono::steady_clock::now();
    for (const Group& group : m_groups) {
        if (group.ended)
            continue;
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(now - group.started).count();
        char clock[32];
        std::snprintf(clock, sizeof clock, " %lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
        line += (line.empty() ? "decoding: " : ", ") + m_platform.toEightBit(visible(group.shown)) +
                clock;
    }
    if (line.empty()) {
        clearStatus();
        return;
    }
    // One line of a narrow terminal: a line that wraps could not be drawn over.
    if (line.size() > 78)
        line = line.substr(0, 75) + "...";
    if (m_statusShown && line == m_status)
        return;
    m_out << "\r\x1b[K" << line;
    m_out.flush();
    m_status = line;
    m_statusShown = true;
}

void Interpreter::clearStatus() {
    if (!m_statusShown)
        return;
    m_out << "\r\x1b[K";
    m_out.flush();
    m_statusShown = false;
}

std::size_t Interpreter::running() const {
    return static_cast<std::size_t>(std::count_if(m_groups.begin(), m_groups.end(),
                                                  [](const Group& group) { return !group.ended; }));
}

Interpreter::Lookup Interpreter::lookupIn(const std::string& folder, const std::wstring& typed,
                                          const std::set<std::string>& hidden,
                                          const std::vector<std::string>& added) const {
    Lookup found;
    // A name that a decoder's unfinished output could take or shift (one with no extension
    // after its last dot, as those have) has no answer that holds in every outcome.
    if (tailExtension(typed).empty() || sameNameIgnoringCase(typed.substr(0, 7), L".l3dec-")) {
        found.how = Lookup::Unsure;
        return found;
    }
    std::vector<std::string> names;
    for (std::string& name : directoryEntries(folder))
        if (!hidden.count(name) && !isPartialName(name))
            names.push_back(std::move(name));
    for (const std::string& name : added)
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    const posix::ShortNameTable table(names);
    const posix::ShortNameTable::Entry* entry = table.resolve(typed);
    if (!entry)
        return found;
    found.name = posix::ShortNameTable::nativeName(entry);
    const std::wstring name = posix::ShortNameTable::name(entry);
    found.how = name == typed                       ? Lookup::Exact
                : sameNameIgnoringCase(name, typed) ? Lookup::Case
                                                    : Lookup::Alias;
    return found;
}

std::string Interpreter::resolveNative(const std::wstring& drivePath) const {
    std::wstring folder, name;
    if (!m_hidden.empty() && splitDrivePath(drivePath, folder, name)) {
        const std::string nativeFolder = m_platform.nativePath(folder);
        const auto hidden = m_hidden.find(nativeFolder);
        if (hidden != m_hidden.end()) {
            // The lines run here were all checked to have an answer.
            const Lookup found = lookupIn(nativeFolder, name, hidden->second, {});
            if (found.how != Lookup::Unsure)
                return joinNative(nativeFolder, found.how == Lookup::None
                                                    ? m_platform.toEightBit(name)
                                                    : found.name);
        }
    }
    return m_platform.nativePath(drivePath);
}

Interpreter::Footprint Interpreter::footprintIn(const std::string& folder) const {
    Footprint print;
    for (const Group& group : m_groups) {
        if (group.folder != folder)
            continue;
        print.pending = true;
        print.names.push_back(group.outputName);
        // An output that its REN takes away is there in no outcome; one that stays is there
        // when its decoder makes it.
        if (group.added.empty()) {
            print.added.push_back(group.outputName);
            print.uncertain.push_back(group.outputName);
        } else {
            print.hidden.insert(group.outputName);
        }
        if (!group.added.empty()) {
            print.added.push_back(group.added);
            print.names.push_back(group.added);
            if (!group.addedCertain)
                print.uncertain.push_back(group.added);
        }
        if (!group.deleted.empty()) {
            print.names.push_back(group.deleted);
            if (group.deleted != group.added)
                print.uncertain.push_back(group.deleted);
        }
    }
    return print;
}

bool Interpreter::startDecoder(const std::wstring& text, bool echo) {
    const std::vector<std::wstring> words = splitWords(text);
    const ProgramMatch match = decoderBeside(words);
    if (match.path.empty())
        return false;
    Group group;
    std::vector<std::string> argv{match.path};
    if (!decoderArguments(words, group, argv))
        return false;
    group.command = words[0];
    launchDecoder(std::move(group), argv, echo ? echoOf(text) : std::string());
    return true;
}

ProgramMatch Interpreter::decoderBeside(const std::vector<std::wstring>& words) const {
    if (words.size() < 3 || isBuiltIn(words[0]) ||
        words[0].find_first_of(L"\\/:") != std::wstring::npos)
        return {};
    // Only the decoder beside the script: other programs may do anything.
    const std::string here = nativeCurrentDirectory();
    for (const Group& group : m_groups)
        if (group.folder == here || isBelow(here, group.folder))
            return {};
    const ProgramMatch match = findProgram(m_platform.toEightBit(words[0]), {here});
    const std::wstring base = m_platform.fromEightBit(nativeBaseName(match.path));
    if (match.path.empty() || match.isScript ||
        !(sameNameIgnoringCase(base, L"l3dec") || sameNameIgnoringCase(base, L"l3dec.exe")))
        return {};
    return match;
}

bool Interpreter::decoderArguments(const std::vector<std::wstring>& words, Group& group,
                                   std::vector<std::string>& argv) const {
    int positional = 0;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (!isDrivePath(word) && !isRootedOnCurrentDrive(word)) {
            if (word.empty() || word[0] != L'-')
                return false;
            argv.push_back(m_platform.toEightBit(word));
            continue;
        }
        if (positional == 2)
            return false;
        const std::string native = decoderPath(word, positional == 1, group);
        if (native.empty())
            return false;
        argv.push_back(native);
        ++positional;
    }
    return positional == 2;
}

std::string Interpreter::decoderPath(const std::wstring& word, bool output, Group& group) const {
    const std::wstring path = absoluteDrivePath(word);
    std::wstring folder, name;
    if (!splitDrivePath(path, folder, name))
        return {};
    const std::string nativeFolder = m_platform.nativePath(folder);
    if (!isSteadyFolder(nativeFolder, output))
        return {};
    const Footprint print = footprintIn(nativeFolder);
    const std::string native = steadyNative(path, nativeFolder, name, print, output);
    if (native.empty())
        return {};
    if (!output) {
        group.input = native;
        group.shown = m_platform.fromEightBit(nativeBaseName(native));
        return native;
    }
    if (!isFreeOutput(native, nativeFolder, name, print))
        return {};
    group.folder = nativeFolder;
    group.outputName = nativeBaseName(native);
    group.outputPath = path;
    return native;
}

bool Interpreter::isSteadyFolder(const std::string& nativeFolder, bool output) const {
    struct stat st {};
    if (nativeFolder.empty() || ::stat(nativeFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(nativeFolder.c_str(), R_OK | X_OK) != 0)
        return false;
    // Below a folder that running decoders change, the way there could change meaning; an
    // output above one would change the way to their own lines' files.
    for (const Group& other : m_groups)
        if (isBelow(nativeFolder, other.folder) || (output && isBelow(other.folder, nativeFolder)))
            return false;
    return true;
}

std::string Interpreter::steadyNative(const std::wstring& path, const std::string& nativeFolder,
                                      const std::wstring& name, const Footprint& print,
                                      bool output) const {
    // No running decoder changes this folder: it is as the lines before left it.
    if (!print.pending)
        return m_platform.nativePath(path);
    const Lookup found = lookupIn(nativeFolder, name, print.hidden, print.added);
    if (found.how == Lookup::Unsure)
        return {};
    if (found.how == Lookup::None)
        return joinNative(nativeFolder, m_platform.toEightBit(name));
    if (output || touches(print, name, found.name))
        return {};
    if (found.how == Lookup::Alias)
        for (const std::string& other : print.uncertain)
            if (mayShareTails(m_platform.fromEightBit(other), name))
                return {};
    return joinNative(nativeFolder, found.name);
}

bool Interpreter::isFreeOutput(const std::string& native, const std::string& nativeFolder,
                               const std::wstring& name, const Footprint& print) const {
    // The output must be new, and no file another decoder writes or reads.
    struct stat existing {};
    if (::lstat(native.c_str(), &existing) == 0 || touches(print, name, {}))
        return false;
    for (const Group& other : m_groups)
        if (other.input == native ||
            (other.folder == nativeFolder &&
             sameNameIgnoringCase(m_platform.fromEightBit(other.outputName), name)))
            return false;
    return true;
}

bool Interpreter::touches(const Footprint& print, const std::wstring& typed,
                          const std::string& found) const {
    for (const std::string& other : print.names) {
        const std::wstring wide = m_platform.fromEightBit(other);
        if (sameNameIgnoringCase(wide, typed) ||
            (!found.empty() && sameNameIgnoringCase(wide, m_platform.fromEightBit(found))))
            return true;
    }
    return false;
}

void Interpreter::launchDecoder(Group group, const std::vector<std::string>& argv,
                                const std::string& echo) {
    std::vector<std::string> environment;
    if (m_decoderThreads > 0)
        environment.push_back("L3DEC_THREADS=" + std::to_string(m_decoderThreads));
    if (running() > 0)
        ++m_startedBeside;
    group.started = std::chrono::steady_clock::now();
    if (!echo.empty())
        group.chunks.push_back({Sink::Out, echo});
    const posix::CapturedStart start = posix::startCaptured(argv, environment);
    if (!start.start.ok()) {
        group.ended = true;
        group.startFailure =
            startFailure(argv[0], static_cast<int>(start.start.failure), start.start.error);
    } else {
        group.pid = start.pid;
        group.output = start.output;
    }
    m_groups.push_back(std::move(group));
    showStatus();
}

bool Interpreter::deferLine(const std::wstring& text, bool echo) {
    Group& group = m_groups.back();
    if (!group.added.empty())
        return false;
    const std::vector<std::wstring> words = splitWords(text);
    if (words.empty())
        return false;
    bool deferred = false;
    if (sameNameIgnoringCase(words[0], L"IF"))
        deferred = deferDeleteOfEarlier(group, text);
    else if (sameNameIgnoringCase(words[0], L"REN") || sameNameIgnoringCase(words[0], L"RENAME"))
        deferred = deferRename(group, words);
    if (!deferred)
        return false;
    group.lines.push_back(text);
    group.echoed.push_back(echo);
    return true;
}

bool Interpreter::namesOutput(const Group& group, const std::wstring& word) const {
    return sameNameIgnoringCase(absoluteDrivePath(word), group.outputPath);
}

std::wstring Interpreter::earlierOutputNamed(const Group& group, const std::wstring& text) const {
    std::size_t pos = 0;
    std::wstring word, path;
    readWord(text, pos, word);
    if (!readWord(text, pos, word) || !sameNameIgnoringCase(word, L"EXIST") ||
        !readWord(text, pos, path) || !namesOutput(group, path) || !group.deleted.empty())
        return {};
    const std::vector<std::wstring> command = splitWords(text.substr(pos));
    if (command.size() != 2 ||
        !(sameNameIgnoringCase(command[0], L"DEL") || sameNameIgnoringCase(command[0], L"ERASE")) ||
        command[1].empty() || command[1][0] == L'/')
        return {};
    std::wstring folder, name;
    if (!splitDrivePath(absoluteDrivePath(command[1]), folder, name) || !isPlainName(name) ||
        m_platform.nativePath(folder) != group.folder)
        return {};
    return name;
}

bool Interpreter::deferDeleteOfEarlier(Group& group, const std::wstring& text) {
    const std::wstring name = earlierOutputNamed(group, text);
    if (name.empty())
        return false;
    const Footprint print = footprintIn(group.folder);
    const Lookup found = lookupIn(group.folder, name, print.hidden, print.added);
    if (found.how == Lookup::Unsure)
        return false;
    if (found.how == Lookup::None)
        return true;
    // An earlier output of its own: a file that stays put until the line runs.
    struct stat st {};
    if (found.how != Lookup::Exact ||
        std::find(print.names.begin(), print.names.end(), found.name) != print.names.end() ||
        ::lstat(joinNative(group.folder, found.name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    group.deleted = found.name;
    return true;
}

bool Interpreter::deferRename(Group& group, const std::vector<std::wstring>& words) {
    if (words.size() != 3 || !namesOutput(group, words[1]) || !isPlainName(words[2]))
        return false;
    const std::wstring& newName = words[2];
    const Footprint print = footprintIn(group.folder);
    const Lookup found = lookupIn(group.folder, newName, print.hidden, print.added);
    if (found.how == Lookup::Unsure)
        return false;
    // Only the earlier output that the line before deletes may hold the name already.
    bool certain = false;
    if (found.how != Lookup::None) {
        if (found.how != Lookup::Exact || group.deleted.empty() || found.name != group.deleted)
            return false;
        certain = true;
    }
    for (const Group& other : m_groups)
        if (&other != &group && other.folder == group.folder &&
            sameNameIgnoringCase(m_platform.fromEightBit(other.outputName), newName))
            return false;
    group.added = m_platform.toEightBit(newName);
    group.addedCertain = certain;
    return true;
}

void Interpreter::collect(bool block) {
    readOutputs(block);
    reapDecoders();
    while (!m_groups.empty() && m_groups.front().ended)
        finishEarliest();
    showStatus();
}

void Interpreter::readOutputs(bool block) {
    std::vector<pollfd> fds;
    std::vector<Group*> owners;
    bool unpiped = false;
    for (Group& group : m_groups) {
        if (group.ended)
            continue;
        if (group.output >= 0) {
            fds.push_back({group.output, POLLIN, 0});
            owners.push_back(&group);
        } else {
            unpiped = true;
        }
    }
    // A decoder that closed its output ends a moment later: look again soon, since the next
    // one waits for its place. The status line ticks.
    const int timeout = !block ? 0 : unpiped ? 1 : m_statusLine ? 250 : 1000;
    if (fds.empty()) {
        if (block) {
            const timespec pause{0, static_cast<long>(timeout) * 1'000'000};
            ::nanosleep(&pause, nullptr);
        }
        return;
    }
    if (::poll(fds.data(), fds.size(), timeout) <= 0)
        return;
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents != 0)
            takeOutput(*owners[i]);
}

void Interpreter::takeOutput(Group& group) {
    char buffer[65536];
    const ssize_t n = ::read(group.output, buffer, sizeof buffer);
    if (n > 0) {
        std::vector<Chunk>* saved = m_capture;
        m_capture = &group.chunks;
        emit(Sink::Program, std::string(buffer, static_cast<std::size_t>(n)));
        m_capture = saved;
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(group.output);
        group.output = -1;
    }
}

void Interpreter::reapDecoders() {
    for (Group& group : m_groups) {
        if (group.ended || group.output >= 0)
            continue;
        int status = 0;
        const pid_t done = ::waitpid(group.pid, &status, WNOHANG);
        if (done == group.pid || (done < 0 && errno == ECHILD)) {
            group.ended = true;
            // Not ours to wait for after all: no exit status, an abnormal end.
            group.status = done == group.pid ? status : 0x7f;
        }
    }
}

void Interpreter::finishEarliest() {
    Group group = std::move(m_groups.front());
    m_groups.pop_front();
    m_capture = &group.chunks;
    if (!group.startFailure.empty()) {
        fail(group.startFailure);
        m_asyncFailed = true;
    } else if (const std::wstring failure = endFailure(group.command, group.status);
               !failure.empty()) {
        fail(failure);
        m_asyncFailed = true;
    } else {
        ++m_programsRun;
    }
    // Its lines see the folders as the lines before them left them: the outputs that later
    // decoders are still making are not there yet.
    for (const Group& later : m_groups)
        m_hidden[later.folder].insert(later.outputName);
    for (std::size_t i = 0; i < group.lines.size(); ++i) {
        if (group.echoed[i])
            emit(Sink::Out, echoOf(group.lines[i]));
        if (!runCommand(group.lines[i], 0))
            m_asyncFailed = true;
    }
    m_hidden.clear();
    m_capture = nullptr;
    for (const Chunk& chunk : group.chunks)
        emit(chunk.sink, chunk.text);
}

void Interpreter::finishAll() {
    while (!m_groups.empty())
        collect(true);
}

bool Interpreter::runLineConcurrently(const std::wstring& line) {
    std::wstring text;
    bool echo = true;
    if (!prepareLine(line, text, echo))
        return true;
    const std::vector<std::wstring> words = splitWords(text);
    const bool program = !words.empty() && !isBuiltIn(words[0]);
    for (;;) {
        if (!m_groups.empty() && deferLine(text, echo))
            return true;
        // Waiting for a free place is worth it only for a line that may run a decoder; output
        // waits for its turn, so the groups are bounded too.
        if (program && (running() >= static_cast<std::size_t>(m_jobs) ||
                        m_groups.size() >= 4 * static_cast<std::size_t>(m_jobs))) {
            collect(true);
            continue;
        }
        if (program && startDecoder(text, echo))
            return true;
        break;
    }
    // Anything else runs as it would after the lines before it, once they have all run.
    finishAll();
    if (echo)
        emit(Sink::Out, echoOf(text));
    return runCommand(text, 0);
}

} // namespace tw::console
