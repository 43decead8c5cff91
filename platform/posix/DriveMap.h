#pragma once

#include <map>
#include <string>
#include <vector>

// The drive letters of the POSIX side: C: is "/", further letters the mounted media, each
// keeping the letter this user's earlier runs gave it.
namespace tw::posix {

// One letter of the drive map and the native folder it stands for.
struct DriveRoot {
    wchar_t letter;         // L'C'
    std::string nativeRoot; // "/"
};

// The machine's drive map, with the letters this user's earlier runs gave its media
// (remembered in the per-user configuration folder, so a stored path keeps its meaning).
std::vector<DriveRoot> systemDriveMap();

// Letters once given to mount points: 'E' -> "/media/ann/STICK".
using LetterMemory = std::map<wchar_t, std::string>;
// The drive map for a mount table in the format of /proc/mounts: C: is "/", then the mount
// points at or below /media, /run/media and /mnt. Each keeps the letter the memory gives it;
// a new one, in path order, gets the first letter from D: on that the memory has not given
// (once all are given, the first whose mount point is not mounted now). The memory learns
// the new ones.
std::vector<DriveRoot> driveMapFromMounts(const std::string& mountTable, LetterMemory& memory);
std::vector<DriveRoot> driveMapFromMounts(const std::string& mountTable);
// The memory as stored: a line "E: mount point" per letter, the mount point escaped as in
// /proc/mounts (blanks, tabs, line ends and backslashes as octal).
LetterMemory readLetterMemory(const std::string& text);
std::string letterMemoryText(const LetterMemory& memory);

// Lexical components of an absolute native path ("." and empty ones dropped, ".." applied).
std::vector<std::string> nativeComponents(const std::string& path);
// A native root as the map keeps it: absolute, lexically normal, no trailing "/" but on "/".
std::string normalizedRoot(const std::string& root);

} // namespace tw::posix
