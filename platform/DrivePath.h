#pragma once

#include "Status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a drive path ("C:\MUSIC\LONGSO~1.MP3") says, read the same way everywhere: by the
// platforms before they look at a disk, by the windows, and by the console.
namespace tw {

struct DrivePath {
    bool valid = false;
    wchar_t letter = 0;  // as written
    bool rooted = false; // "C:\..." rather than "C:"
    std::vector<std::wstring> components;
    bool trailingSeparator = false;

    // "C:", the letter in upper case.
    std::wstring drive() const;
    // "C:\MUSIC\ROCK": the letter in upper case, "." and ".." applied, no trailing "\" but on
    // the root.
    std::wstring normalized() const;
};

// A letter and a colon: the text speaks of a drive, whatever follows.
bool hasDriveLetter(const std::wstring& text);
bool isDriveSeparator(wchar_t c); // "\" or "/"

// "X:" or "X:\..." with "\" or "/" between components. Anything else is not valid: a relative
// path, "C:MUSIC" (relative to a per-drive folder nobody keeps), a NUL anywhere (it would cut
// the native path short and name another file).
DrivePath parseDrivePath(const std::wstring& text);

// "<what> <path>: <why>", the one wording of a failure about a path.
Status pathFailure(const wchar_t* what, const std::wstring& path, const std::wstring& why);
// The failure for text that names no place: not a drive path at all, or a letter that is no
// drive.
Status noDriveFailure(const wchar_t* what, const std::wstring& path);

// The answer of a call with the short-path buffer contract (Platform::GetShortPathNameA): the
// text and a NUL in the buffer and its length when it fits; else the buffer untouched and the
// length it needs, with the NUL.
std::uint32_t answerInBuffer(const std::string& text, char* buffer, std::uint32_t bufferLength);

// Text from a call with that contract (or its wide twin): `call(buffer, size)` is asked again
// with the size the last answer asked for, a few times, since the answer can change between
// calls. Empty when a call fails or the text never fits.
template <typename Char, typename Call>
std::basic_string<Char> fetchGrowing(Call call, std::size_t firstSize, int attempts = 8) {
    std::basic_string<Char> buffer(firstSize, Char{});
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::size_t n = static_cast<std::size_t>(call(buffer.data(), buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.assign(n > buffer.size() ? n : buffer.size() * 2, Char{});
    }
    return {};
}

} // namespace tw
