#include "Input.h"
#include "Slicing.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tw::decoder {

std::string errnoText(int error) {
    return std::strerror(error);
}

InputFile::~InputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InputFile::open(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        m_error = EISDIR;
        return false;
    }
    m_regular = S_ISREG(st.st_mode);
    m_size = m_regular ? st.st_size : 0;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    return true;
}

InputReader::InputReader(const InputFile& file)
    : m_fd(file.fd()), m_positional(file.regular()),
      // A small file gets a buffer of its own size, not a large block.
      m_capacity(file.regular() && file.size() < static_cast<off_t>(kInputBlock)
                     ? std::max<std::size_t>(static_cast<std::size_t>(file.size()), 4096)
                     : kInputBlock),
      m_size(file.size()), m_buffer(new unsigned char[m_capacity]) {}

mpg123_ssize_t InputReader::read(void* handle, void* data, size_t count) {
    return static_cast<InputReader*>(handle)->readInto(static_cast<unsigned char*>(data), count);
}

off_t InputReader::seek(void* handle, off_t offset, int whence) {
    return static_cast<InputReader*>(handle)->seekTo(offset, whence);
}

mpg123_ssize_t InputReader::readInto(unsigned char* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (m_next == m_filled && !refill())
            return m_error && done == 0 ? -1 : static_cast<mpg123_ssize_t>(done);
        const std::size_t n = std::min(count - done, m_filled - m_next);
        std::memcpy(data + done, m_buffer.get() + m_next, n);
        m_next += n;
        done += n;
    }
    return static_cast<mpg123_ssize_t>(done);
}

bool InputReader::refill() {
    m_start += static_cast<off_t>(m_filled);
    m_next = m_filled = 0;
    for (;;) {
        const ssize_t n = m_positional ? ::pread(m_fd, m_buffer.get(), m_capacity, m_start)
                                       : ::read(m_fd, m_buffer.get(), m_capacity);
        if (n > 0) {
            m_filled = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            m_error = errno;
        return false;
    }
}

off_t InputReader::seekTo(off_t offset, int whence) {
    off_t target = offset;
    if (whence == SEEK_CUR)
        target += position();
    else if (whence == SEEK_END)
        target += m_size;
    if (target < 0 || (whence == SEEK_END && m_size == 0)) {
        errno = EINVAL;
        return -1;
    }
    if (target >= m_start && target <= m_start + static_cast<off_t>(m_filled)) {
        m_next = static_cast<std::size_t>(target - m_start);
        return target;
    }
    if (!m_positional && ::lseek(m_fd, target, SEEK_SET) < 0)
        return -1;
    m_start = target;
    m_next = m_filled = 0;
    return target;
}

std::optional<std::vector<off_t>> scanFile(const InputFile& input) {
    // Read in large blocks; a frame header is looked at once.
    std::vector<unsigned char> block(kInputBlock);
    off_t blockAt = 0;
    std::size_t blockFilled = 0;
    const int fd = input.fd();
    return scanCleanLayer3(input.size(), [&](off_t at, std::size_t count, unsigned char* into) {
        if (at < blockAt ||
            at + static_cast<off_t>(count) > blockAt + static_cast<off_t>(blockFilled)) {
            blockAt = at;
            blockFilled = 0;
            while (blockFilled < block.size()) {
                const ssize_t n =
                    ::pread(fd, block.data() + blockFilled, block.size() - blockFilled,
                            at + static_cast<off_t>(blockFilled));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                blockFilled += static_cast<std::size_t>(n);
            }
            if (blockFilled < count)
                return false;
        }
        std::memcpy(into, block.data() + (at - blockAt), count);
        return true;
    });
}

} // namespace tw::decoder
