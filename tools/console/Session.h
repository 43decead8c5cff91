#pragma once

// What every line of a batch works with: the drive paths and the names they lead to, where the
// console is, and how it says what went wrong.

#include "platform/names/LiveNames.h"

#include <cstddef>
#include <iosfwd>
#include <string>

namespace tw::posix {
class PosixPlatform;
}

namespace tw::console {

class Session {
public:
    // Messages about failures go to `err`, the echo of each line to `out`.
    Session(posix::PosixPlatform& platform, std::ostream& out, std::ostream& err);

    posix::PosixPlatform& platform() { return m_platform; }
    posix::LiveNames& names() { return m_names; }

    // --- Paths ---
    // A word as an absolute drive path: "X:\..." as it is, "\..." on the current drive,
    // anything else below the current directory.
    std::wstring absoluteDrivePath(const std::wstring& word) const;
    // The native path of a drive path, resolved as the console resolves names; empty when the
    // text is no drive path on a known drive.
    std::string native(const std::wstring& drivePath);
    std::string nativeCurrentDirectory() const;
    // "C:\MPEG>".
    std::wstring prompt() const;
    // The folder of a drive path ("D:\" for "D:\x"); empty for a root.
    static std::wstring parentOf(const std::wstring& drivePath);
    // A native folder in the drive paths' long form, ending in "\" ("C:\home\you\Music\").
    std::wstring longFolder(const std::string& nativeFolder) const;

    // --- What is said ---
    // A line as it is echoed, with the prompt.
    void echo(const std::wstring& line);
    // A failure: counted, and said on the message stream.
    void fail(const std::wstring& message);
    // A word about a failure already counted (a later line it explains).
    void note(const std::wstring& message);
    std::size_t failures() const { return m_failures; }
    // Text before a program writes to the same terminal comes first.
    void flush();

    // "cannot find PATH" and what is missing, or "cannot reach PATH: why" when looking failed
    // with another errno value than ENOENT or ENOTDIR.
    std::wstring lookupFailure(const std::wstring& drivePath, int error);
    // What of a drive path that names nothing is missing (": there is no folder D:\X", ": there
    // is no drive Q:", ...); empty when only its last part is.
    std::wstring missingPart(const std::wstring& drivePath);
    // Why a file in `folder` could not be renamed or deleted, from the errno value.
    std::wstring changeFailure(const std::wstring& folder, int error) const;
    std::wstring systemError(int error) const;
    std::string eightBit(const std::wstring& text) const;
    std::wstring text(const std::string& bytes) const;

private:
    void say(std::ostream& stream, const std::wstring& message);

    posix::PosixPlatform& m_platform;
    posix::LiveNames m_names;
    std::ostream& m_out;
    std::ostream& m_err;
    std::size_t m_failures = 0;
};

} // namespace tw::console
