#include "DriveMap.h"

#include "Files.h"
#include "UserFolders.h"
#include "platform/names/DrivePaths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace tw::posix {

namespace {

// Decodes the octal escapes (\040 for a blank) of a /proc/mounts field.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4 &&
            std::all_of(field.begin() + i + 1, field.begin() + i + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool isMediaMountPoint(const std::string& mountPoint) {
    for (const char* prefix : {"/media", "/run/media", "/mnt"}) {
        const std::size_t length = std::strlen(prefix);
        if (mountPoint.compare(0, length, prefix) == 0 &&
            (mountPoint.size() == length || mountPoint[length] == '/'))
            return true;
    }
    return false;
}

} // namespace

// Lexical components of an absolute native path ("." and empty ones dropped, ".." applied).
std::vector<std::string> nativeComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

std::string normalizedRoot(const std::string& root) {
    std::string out = "/";
    for (const std::string& part : nativeComponents(root))
        out = joinNative(out, part);
    return out;
}

std::vector<DriveRoot> driveMapFromMounts(const std::string& mountTable, LetterMemory& memory) {
    std::vector<std::string> mountPoints;
    std::istringstream lines(mountTable);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        if (!(fields >> device >> mountPoint))
            continue;
        mountPoint = normalizedRoot(unescapeMountField(mountPoint));
        if (isMediaMountPoint(mountPoint))
            mountPoints.push_back(mountPoint);
    }
    std::sort(mountPoints.begin(), mountPoints.end());
    mountPoints.erase(std::unique(mountPoints.begin(), mountPoints.end()), mountPoints.end());

    std::map<std::string, wchar_t> known;
    for (const auto& [letter, mountPoint] : memory)
        known.emplace(mountPoint, letter);
    const auto mounted = [&mountPoints](const std::string& mountPoint) {
        return std::binary_search(mountPoints.begin(), mountPoints.end(), mountPoint);
    };
    std::map<wchar_t, std::string> given;
    for (const std::string& mountPoint : mountPoints) {
        if (const auto it = known.find(mountPoint); it != known.end()) {
            given[it->second] = mountPoint;
            continue;
        }
        wchar_t letter = 0;
        for (wchar_t candidate = L'D'; candidate <= L'Z' && !letter; ++candidate)
            if (!memory.count(candidate))
                letter = candidate;
        for (wchar_t candidate = L'D'; candidate <= L'Z' && !letter; ++candidate)
            if (!mounted(memory[candidate]) && !given.count(candidate))
                letter = candidate;
        if (!letter)
            continue; // more media than letters
        memory[letter] = mountPoint;
        given[letter] = mountPoint;
    }

    std::vector<DriveRoot> drives{{L'C', "/"}};
    for (const auto& [letter, mountPoint] : given)
        drives.push_back({letter, mountPoint});
    return drives;
}

std::vector<DriveRoot> driveMapFromMounts(const std::string& mountTable) {
    LetterMemory memory;
    return driveMapFromMounts(mountTable, memory);
}

LetterMemory readLetterMemory(const std::string& text) {
    LetterMemory memory;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 4 || line[1] != ':' || line[2] != ' ')
            continue;
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        const std::string mountPoint = unescapeMountField(line.substr(3));
        if (letter >= 'D' && letter <= 'Z' && !mountPoint.empty() && mountPoint[0] == '/')
            memory[static_cast<wchar_t>(letter)] = normalizedRoot(mountPoint);
    }
    return memory;
}

std::string letterMemoryText(const LetterMemory& memory) {
    std::string text;
    for (const auto& [letter, mountPoint] : memory) {
        text += static_cast<char>(letter);
        text += ": ";
        for (const char c : mountPoint) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
                char octal[5];
                std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
                text += octal;
            } else {
                text += c;
            }
        }
        text += '\n';
    }
    return text;
}

std::vector<DriveRoot> systemDriveMap() {
    std::string mounts;
    (void)readWholeFile("/proc/mounts", mounts, 16 << 20);
    const std::string folder = userConfigFolder();
    const std::string stored = folder.empty() ? std::string() : folder + "/drive-letters";
    std::string text;
    LetterMemory memory;
    if (!stored.empty() && readWholeFile(stored, text, 64 * 1024) == 0)
        memory = readLetterMemory(text);
    const LetterMemory before = memory;
    std::vector<DriveRoot> drives = driveMapFromMounts(mounts, memory);
    // Remembering is worth trying, not worth failing for: the letters hold for this run anyway.
    if (memory != before && makeUserFolder(folder))
        (void)replaceWholeFile(stored, letterMemoryText(memory), LinkAtName::Follow);
    return drives;
}

} // namespace tw::posix
