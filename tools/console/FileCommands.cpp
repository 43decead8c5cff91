#include "FileCommands.h"

#include "Batch.h"
#include "Script.h"
#include "Session.h"

#include "platform/Text.h"
#include "platform/posix/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio> // renameat2, RENAME_NOREPLACE
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::console {

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool isListed(const std::string& path) {
    const std::vector<std::string> listed = posix::namesIn(posix::folderOf(path));
    return std::find(listed.begin(), listed.end(), posix::lastPartOf(path)) != listed.end();
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
            posix::joinNative(posix::folderOf(to), ".tonwright-ren-" + std::to_string(::getpid()) +
                                                       "-" + std::to_string(attempt));
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
    for (const std::string& listed : posix::namesIn(folder))
        if (key(listed) == wanted)
            like.push_back(listed);
    return like;
}

} // namespace

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

// A REN under way: the file, its new name, and what that name names already.
struct FileCommands::Renaming {
    std::wstring source; // the file, as an absolute drive path
    std::wstring newName;
    std::string nativeSource;
    std::wstring folder;      // the source's folder in drive terms, ending in "\"
    std::wstring target;      // the new name in that folder
    std::string nativeTarget; // the new name beside the source, byte for byte
    std::string existing;     // what the new name already names; empty when nothing
};

FileCommands::FileCommands(Session& session, Batch& batch) : m_session(session), m_batch(batch) {}

bool FileCommands::ren(const std::vector<std::wstring>& words) {
    if (!checkRenWords(words) || !checkNewName(words[2]))
        return false;
    Renaming renaming;
    renaming.source = m_session.absoluteDrivePath(words[1]);
    renaming.newName = words[2];
    if (!findRenameSource(renaming))
        return false;
    lookUpNewName(renaming);
    const bool existing = !renaming.existing.empty();
    if (existing && !isRenamingItself(renaming))
        return refuseTakenName(renaming);
    // The file itself under another case or its short alias: nothing, or a case change.
    if (existing &&
        posix::lastPartOf(renaming.nativeSource) == m_session.eightBit(renaming.newName)) {
        landed(renaming);
        return true;
    }
    const int error = renameOntoSelfOnly(renaming.nativeSource, renaming.nativeTarget, existing);
    m_session.names().changed(renaming.nativeSource);
    m_session.names().changed(renaming.nativeTarget);
    if (error == EEXIST)
        return refuseTakenName(renaming);
    if (error != 0) {
        m_session.fail(L"REN: cannot rename " + renaming.source + L" to \"" + renaming.newName +
                       L"\": " +
                       renameFailure(Session::parentOf(renaming.source), renaming.newName, error));
        return false;
    }
    landed(renaming);
    return true;
}

void FileCommands::landed(const Renaming& renaming) {
    m_batch.landed(m_session.longFolder(posix::folderOf(renaming.nativeTarget)));
}

bool FileCommands::checkRenWords(const std::vector<std::wstring>& words) {
    if (words.size() == 3)
        return true;
    m_session.fail(L"REN: expected the file and its new name (REN file newname), but found " +
                   std::to_wstring(words.size() - 1) +
                   (words.size() > 3    ? L" names; a name with blanks goes in double quotes"
                    : words.size() == 2 ? L" name"
                                        : L" names"));
    return false;
}

bool FileCommands::checkNewName(const std::wstring& newName) {
    // Only a separator makes a name a path here; "*", "?", ":" and the like are characters of
    // the name (there are no wildcards).
    if (newName.empty() || newName == L"." || newName == L".." ||
        newName.find(L'\0') != std::wstring::npos) {
        m_session.fail(L"REN: the new name \"" + newName + L"\" is not a name a file can have");
        return false;
    }
    if (newName.find_first_of(L"\\/") != std::wstring::npos) {
        m_session.fail(L"REN: the new name must be a file name, not a path: \"" + newName + L"\"");
        return false;
    }
    return true;
}

bool FileCommands::findRenameSource(Renaming& renaming) {
    renaming.nativeSource = m_session.native(renaming.source);
    struct stat st {};
    if (!renaming.nativeSource.empty() && ::lstat(renaming.nativeSource.c_str(), &st) == 0)
        return true;
    const int error = renaming.nativeSource.empty() ? ENOENT : errno;
    // The program of this file failed: that it made nothing is no failure of its own.
    if (error == ENOENT && m_batch.inFile() && m_batch.programFailed()) {
        m_session.note(L"REN: " + renaming.source + L" is not there: " + m_batch.program() +
                       L" failed to make it (see above)");
        return false;
    }
    m_session.fail(L"REN: " + m_session.lookupFailure(renaming.source, error));
    return false;
}

void FileCommands::lookUpNewName(Renaming& renaming) {
    // The folder of the source in drive terms, for resolving the new name and for messages.
    std::wstring trimmed = renaming.source;
    while (trimmed.size() > 3 && trimmed.back() == L'\\')
        trimmed.pop_back();
    renaming.folder = trimmed.substr(0, trimmed.find_last_of(L'\\') + 1);
    renaming.target = renaming.folder + renaming.newName;
    renaming.nativeTarget = posix::joinNative(posix::folderOf(renaming.nativeSource),
                                              m_session.eightBit(renaming.newName));
    // The new name as the console would see it: exact, other case, or a short alias; else as
    // the file system sees it (a folder that ignores case more widely than the console).
    const std::string resolvedTarget = m_session.native(renaming.target);
    if (exists(resolvedTarget))
        renaming.existing = resolvedTarget;
    else if (exists(renaming.nativeTarget))
        renaming.existing = renaming.nativeTarget;
}

bool FileCommands::isRenamingItself(const Renaming& renaming) const {
    // The console's own matching (exact, case, short name) found the file itself.
    if (renaming.existing == renaming.nativeSource)
        return true;
    if (renaming.existing != renaming.nativeTarget)
        return false;
    // Only the file system found it: itself only if no other name there could be the one.
    const std::vector<std::string> like =
        namesLike(posix::folderOf(renaming.nativeTarget), posix::lastPartOf(renaming.nativeTarget));
    return like.size() == 1 && like[0] == posix::lastPartOf(renaming.nativeSource);
}

std::wstring FileCommands::renameFailure(const std::wstring& folder, const std::wstring& newName,
                                         int error) const {
    // A stick or a Windows disk refuses these characters, each file system with its own errno.
    const bool refusedName =
        error == ENOENT || error == EINVAL || error == EPERM || error == EILSEQ;
    if (refusedName)
        for (const wchar_t c : newName)
            if (c < 0x20 || std::wstring_view(L"\"*:<>?\\|").find(c) != std::wstring_view::npos)
                return L"the file system of " + folder + L" cannot hold \"" + visible({&c, 1}) +
                       L"\" in a name (" + m_session.systemError(error) + L")";
    return m_session.changeFailure(folder, error);
}

bool FileCommands::refuseTakenName(const Renaming& renaming) {
    // Say which file it is when the new name reaches it in another case or as its alias.
    const std::string there = posix::lastPartOf(renaming.existing);
    const std::wstring which =
        renaming.existing.empty() || there == m_session.eightBit(renaming.newName)
            ? L""
            : L" (as the name of " + m_session.text(there) + L")";
    m_session.fail(L"REN: " + renaming.target + L" already exists" + which + L"; " +
                   renaming.source + L" keeps its name");
    return false;
}

bool FileCommands::del(const std::vector<std::wstring>& words) {
    bool ok = true;
    bool named = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (!word.empty() && word[0] == L'/') {
            // Quiet and force change nothing here: there is no prompt and no read-only flag.
            if (sameNameIgnoringCase(word, L"/Q") || sameNameIgnoringCase(word, L"/F"))
                continue;
            m_session.fail(L"DEL: the switch " + word + L" is not supported");
            ok = false;
            continue;
        }
        // "*" and "?" are characters of the name: there are no wildcards.
        named = true;
        ok = deleteOne(word) && ok;
    }
    if (!named) {
        m_session.fail(L"DEL: expected the file to delete (DEL file)");
        return false;
    }
    return ok;
}

bool FileCommands::deleteOne(const std::wstring& word) {
    const std::wstring path = m_session.absoluteDrivePath(word);
    const std::string native = m_session.native(path);
    struct stat st {};
    if (native.empty() || ::lstat(native.c_str(), &st) != 0) {
        const int error = native.empty() ? ENOENT : errno;
        m_session.fail(L"DEL: " + m_session.lookupFailure(path, error));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        m_session.fail(L"DEL: " + path + L" is a folder; DEL deletes files only");
        return false;
    }
    const bool deleted = ::unlink(native.c_str()) == 0;
    const int error = errno;
    m_session.names().changed(native);
    if (!deleted) {
        m_session.fail(L"DEL: cannot delete " + path + L": " +
                       m_session.changeFailure(Session::parentOf(path), error));
        return false;
    }
    return true;
}

bool FileCommands::ifExist(const std::wstring& text, std::wstring& command) {
    command.clear();
    std::size_t pos = 0;
    std::wstring word;
    readWord(text, pos, word); // "IF"
    const bool hasWord = readWord(text, pos, word);
    const bool negated = hasWord && sameNameIgnoringCase(word, L"NOT");
    if (!hasWord || (negated && !readWord(text, pos, word)) ||
        !sameNameIgnoringCase(word, L"EXIST")) {
        m_session.fail(L"IF: only IF [NOT] EXIST path command is supported: " + text);
        return false;
    }
    std::wstring path;
    const bool hasPath = readWord(text, pos, path);
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    // The rest runs as written: its quotes and carets are read when it runs, not here.
    const std::wstring rest = text.substr(pos);
    if (!hasPath || rest.empty()) {
        m_session.fail(L"IF: expected a path and the command to run after EXIST: " + text);
        return false;
    }
    // Resolved as DEL resolves its files; anything there counts, a folder too.
    const bool there = !path.empty() && exists(m_session.native(m_session.absoluteDrivePath(path)));
    if (there != negated)
        command = rest;
    return true;
}

} // namespace tw::console
