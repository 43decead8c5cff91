#include "Files.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::posix {

int readWholeFile(const std::string& nativePath, std::string& bytes) {
    // Non-blocking, so a FIFO without a writer cannot hold up the open itself.
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;

    std::string content;
    if (error == 0 && st.st_size > 0)
        content.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    while (error == 0) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
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

} // namespace tw::posix
