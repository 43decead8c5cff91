#pragma once

#include <string>

namespace tw {

class Platform;

// Short (8.3) form of a path as the file system reports it, whole however long it is (a deep
// Artist\Album\Disc folder needs more than 64 characters); empty when the path does not exist.
std::wstring ShortPath(const Platform& platform, const std::wstring& path);

// The part of a path after its last backslash, or the path itself. A backslash in the last
// position is never the one taken ("C:\MUSIC\" gives "MUSIC\").
std::wstring LastPathPart(const std::wstring& path);

} // namespace tw
