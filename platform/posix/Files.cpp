#include "Files.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::posix {

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

} // namespace tw::posix
