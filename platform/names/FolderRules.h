#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// What the file system of one folder lets a name be: a USB stick (exFAT, FAT) or an NTFS disk
// ignores case, refuses some characters and counts a name's length in UTF-16 units, where an
// ordinary POSIX folder takes any name of up to 255 bytes. Decode checks every name it will give
// a file there against these rules before it writes a line, and compares names the way the
// folder does.
struct FolderRules {
    // A name in another case names the same file there.
    bool ignoresCase = false;
    // The file system answers to 8.3 aliases of its own making ("LONGSO~1.WAV" for a long name),
    // which nobody can foresee: a name with a "~" may be one of them.
    bool ownShortNames = false;
    // Characters no name may hold, besides "/" and NUL.
    std::wstring refused;
    // Control characters (U+0001 to U+001F) are refused too.
    bool refusesControl = false;
    // Every character beyond ASCII is refused (a FAT medium without long-name support for it).
    bool refusesNonAscii = false;
    // The longest name: in bytes of UTF-8, and in UTF-16 units; 0 means no such limit.
    std::size_t maxBytes = 255;
    std::size_t maxUnits = 0;

    // An ordinary POSIX folder.
    static FolderRules posix();
    // What exFAT, FAT and NTFS (as Windows writes them) allow.
    static FolderRules windowsMedia();
    // Every limit at once, for a folder whose rules cannot be read.
    static FolderRules strictest();

    // Why the folder cannot hold `name`, in a user's terms ("the output folder's file system
    // cannot hold ":" in a name"); empty when it can.
    std::wstring whyRefused(std::wstring_view name) const;

    // Two names are one name to this folder when their keys are equal. Where the folder ignores
    // case, the key folds case as widely as any such file system does (σ and ς are one name
    // on exFAT), so two names it might take for one are never taken for two.
    std::wstring sameNameKey(std::wstring_view name) const;
};

// How many UTF-16 units a name takes (a character beyond the Basic Multilingual Plane takes
// two).
std::size_t utf16Units(std::wstring_view name);

} // namespace tw
