#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

// Whole files and folders by native path, for the platform object and the console interpreter
// alike.
namespace tw::posix {

// A native path's folder ("." for a bare name, "/" for a name at the root) and its last part.
std::string folderOf(const std::string& nativePath);
std::string lastPartOf(const std::string& nativePath);

// `name` in `folder`, with one "/" between them.
std::string joinNative(const std::string& folder, const std::string& name);

// The names a folder lists, "." and ".." left out, in the folder's own order; none when it
// cannot be read.
std::vector<std::string> namesIn(const std::string& nativeFolder);

// Reads the regular file at `nativePath` (links followed) into `bytes`, replacing what it held.
// Returns 0, or the errno value with `bytes` left as it was: EISDIR for a folder, EINVAL for a
// FIFO, device or socket (which could block, never end, or act on being opened: they are not
// even opened), EFBIG when the file holds more than `maxBytes`.
[[nodiscard]] int readWholeFile(const std::string& nativePath, std::string& bytes,
                                std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The same, but a longer file is no failure: `bytes` holds its first `maxBytes` bytes.
[[nodiscard]] int readFileStart(const std::string& nativePath, std::string& bytes,
                                std::size_t maxBytes);

// What a replacing write does with a link of the file's name.
enum class LinkAtName {
    Follow,  // replace the regular file it points to, in that file's folder
    Replace, // replace the link itself (and a pipe, socket or device node of the name)
};

// Replaces the file at `nativePath` whole with `bytes`: a new file is written beside it and
// renamed over it, so it is never written through a link, never waited on, and stays whole
// until the new content is complete; an existing file keeps its permissions. Where the folder
// cannot be written but an existing regular file can, that file is rewritten in place instead.
// Returns 0 or the errno value: EISDIR for a folder; EINVAL, with Follow, for anything but a
// regular file or a link to one (a dangling link included: writing through it would make a
// file wherever it points).
[[nodiscard]] int replaceWholeFile(const std::string& nativePath, const std::string& bytes,
                                   LinkAtName links);

} // namespace tw::posix
