#pragma once

#include <string>

// Whole files by native path, for the platform object and the console interpreter alike.
namespace tw::posix {

// Reads the whole regular file at `nativePath` (links followed) into `bytes`, replacing what it
// held. Returns 0, or the errno value with `bytes` left as it was: EISDIR for a folder, EINVAL
// for a FIFO, device or socket (which could block, or never end, instead of being read).
[[nodiscard]] int readWholeFile(const std::string& nativePath, std::string& bytes);

} // namespace tw::posix
