#pragma once

#include <cstddef>
#include <limits>
#include <string>

// Whole files by native path, for the platform object and the console interpreter alike.
namespace tw::posix {

// Reads the regular file at `nativePath` (links followed) into `bytes`, replacing what it held.
// Returns 0, or the errno value with `bytes` left as it was: EISDIR for a folder, EINVAL for a
// FIFO, device or socket (which could block, never end, or act on being opened: they are not
// even opened), EFBIG when the file holds more than `maxBytes`.
[[nodiscard]] int readWholeFile(const std::string& nativePath, std::string& bytes,
                                std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The same, but a longer file is no failure: `bytes` holds its first `maxBytes` bytes.
[[nodiscard]] int readFileStart(const std::string& nativePath, std::string& bytes,
                                std::size_t maxBytes);

} // namespace tw::posix
