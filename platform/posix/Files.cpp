#include "Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::posix {

std::string folderOf(const std::string& nativePath) {
    const auto slash = nativePath.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : nativePath.substr(0, slash);
}

std::string lastPartOf(const std::string& nativePath) {
    const auto slash = nativePath.find_last_of('/');
    return slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
}

std::string joinNative(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

std::vector<std::string> namesIn(const std::string& nativeFolder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(nativeFolder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

namespace {

int kindError(const struct stat& st) {
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    return S_ISREG(st.st_mode) ? 0 : EINVAL;
}

// Reads at most `maxBytes` bytes; `whole` tells whether more were there.
int readUpTo(const std::string& nativePath, std::string& bytes, std::size_t maxBytes, bool& whole) {
    // Only a regular file is opened at all; non-blocking, in case it is swapped for a FIFO
    // between the look and the open.
    struct stat before {};
    if (::stat(nativePath.c_str(), &before) != 0)
        return errno;
    if (const int error = kindError(before))
        return error;
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = ::fstat(fd, &st) != 0 ? errno : kindError(st);

    std::string content;
    if (error == 0 && st.st_size > 0)
        content.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
    char chunk[65536];
    whole = true;
    while (error == 0) {
        if (content.size() > maxBytes) {
            content.resize(maxBytes);
            whole = false;
            break;
        }
        // One byte past the limit tells a file of exactly `maxBytes` from a longer one.
        const std::size_t room = maxBytes - content.size();
        const std::size_t wanted = room >= sizeof chunk ? sizeof chunk : room + 1;
        const ssize_t n = ::read(fd, chunk, wanted);
        if (n > 0)
            content.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0)
            break;
        else if (errno != EINTR)
            error = errno;
    }
    ::close(fd);
    if (error == 0)
        bytes = std::move(content);
    return error;
}

} // namespace

int readWholeFile(const std::string& nativePath, std::string& bytes, std::size_t maxBytes) {
    std::string content;
    bool whole = true;
    if (const int error = readUpTo(nativePath, content, maxBytes, whole))
        return error;
    if (!whole)
        return EFBIG;
    bytes = std::move(content);
    return 0;
}

int readFileStart(const std::string& nativePath, std::string& bytes, std::size_t maxBytes) {
    bool whole = true;
    return readUpTo(nativePath, bytes, maxBytes, whole);
}

namespace {

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

mode_t defaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The only way to save into a folder we may not write: the file itself, when it is the regular
// file we looked at.
int rewriteInPlace(const std::string& target, const struct stat& looked, const std::string& bytes) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode) || st.st_dev != looked.st_dev || st.st_ino != looked.st_ino)
        error = EINVAL;
    else if (::ftruncate(fd, 0) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

// What replacing a path writes over: the entry at the name, or what a link there leads to when
// links are followed.
struct ReplacedEntry {
    std::string target;
    struct stat st {};
    bool exists = false;
};

// 0, or why the entry cannot be replaced.
int findReplaced(const std::string& nativePath, LinkAtName links, ReplacedEntry& into) {
    into.target = nativePath;
    into.exists = ::lstat(into.target.c_str(), &into.st) == 0;
    if (!into.exists && errno != ENOENT)
        return errno;
    if (into.exists && S_ISLNK(into.st.st_mode) && links == LinkAtName::Follow) {
        char* real = ::realpath(into.target.c_str(), nullptr);
        if (!real)
            return errno == ENOENT ? EINVAL : errno;
        into.target = real;
        std::free(real);
        if (::lstat(into.target.c_str(), &into.st) != 0)
            return errno;
    }
    if (into.exists && S_ISDIR(into.st.st_mode))
        return EISDIR;
    if (into.exists && !S_ISREG(into.st.st_mode) && links == LinkAtName::Follow)
        return EINVAL;
    return 0;
}

// Writes the bytes into the open temporary file and renames it over the target; 0 or the error,
// the temporary file gone on every failure.
int landTemporary(int fd, const std::string& temporary, const std::string& target,
                  const std::string& folder, mode_t mode, const std::string& bytes) {
    const auto abandon = [&temporary](int error) {
        ::unlink(temporary.c_str());
        return error;
    };
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return abandon(error);
    }
    if (::close(fd) != 0)
        return abandon(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return abandon(errno);
    // Make the rename itself durable; the new content is in place either way.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return 0;
}

} // namespace

int replaceWholeFile(const std::string& nativePath, const std::string& bytes, LinkAtName links) {
    ReplacedEntry replaced;
    if (const int error = findReplaced(nativePath, links, replaced))
        return error;
    const std::string& target = replaced.target;
    const bool regular = replaced.exists && S_ISREG(replaced.st.st_mode);
    const mode_t mode = regular ? (replaced.st.st_mode & 07777) : defaultMode();

    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    // A short hidden name: any legal name of the target leaves room for it.
    std::string temporary = folder + "/.tw-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (regular && (error == EACCES || error == EPERM))
            return rewriteInPlace(target, replaced.st, bytes);
        return error;
    }
    return landTemporary(fd, temporary, target, folder, mode, bytes);
}

} // namespace tw::posix
