#pragma once

// The input: the file, opened once, and the readers through which each library handle reads it.

#include <mpg123.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw::decoder {

// The input is read in blocks of this size. Each block is memory the run touches for the first
// time, and a page met for the first time costs more than the few reads a larger block saves:
// 256 KiB blocks cost a two-thread run of a one-minute file a tenth more processor time,
// measured.
constexpr std::size_t kInputBlock = 64 * 1024;

// The system's words for an error number.
std::string errnoText(int error);

// The input file, opened once. Each decoder handle reads it through an InputReader of its own.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False with error() set when it cannot be opened or is a folder.
    bool open(const std::string& path);
    int fd() const { return m_fd; }
    int error() const { return m_error; }
    // A regular file can be read at any offset by several readers at once.
    bool regular() const { return m_regular; }
    off_t size() const { return m_size; }
    bool isFile(const struct stat& other) const {
        return m_device == other.st_dev && m_inode == other.st_ino;
    }

private:
    int m_fd = -1;
    int m_error = 0;
    bool m_regular = false;
    off_t m_size = 0;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// One handle's way through the input, read in large blocks: the library asks for a header and
// then a frame at a time. A regular file is read at the reader's own offset, so readers share
// the file without moving each other; anything else is read where it stands.
class InputReader {
public:
    explicit InputReader(const InputFile& file);

    int error() const { return m_error; }
    off_t position() const { return m_start + static_cast<off_t>(m_next); }

    // The library's read and seek calls, on the reader given as `handle`.
    static mpg123_ssize_t read(void* handle, void* data, size_t count);
    static off_t seek(void* handle, off_t offset, int whence);

private:
    mpg123_ssize_t readInto(unsigned char* data, std::size_t count);
    bool refill();
    off_t seekTo(off_t offset, int whence);

    int m_fd;
    bool m_positional;
    std::size_t m_capacity;
    off_t m_size;
    int m_error = 0;
    std::unique_ptr<unsigned char[]> m_buffer;
    off_t m_start = 0;      // file offset of m_buffer[0]
    std::size_t m_next = 0; // next byte to hand out
    std::size_t m_filled = 0;
};

// The frames of a regular input file when it is a clean MPEG-1 Layer III stream
// (scanCleanLayer3), its headers read in large blocks, each one once.
std::optional<std::vector<off_t>> scanFile(const InputFile& input);

} // namespace tw::decoder
