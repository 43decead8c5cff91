#pragma once

#include <string>

namespace tw {

class Platform;

// Short (8.3) form of a path as the file system reports it, through a 64-character buffer:
// empty when the path does not exist or its short form needs 64 characters or more.
std::wstring ShortPath(const Platform& platform, const std::wstring& path);

// The part of a path after its last backslash, or the path itself. A backslash in the last
// position is never the one taken ("C:\MUSIC\" gives "MUSIC\").
std::wstring LastPathPart(const std::wstring& path);

} // namespace tw
