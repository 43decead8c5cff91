#include "DrivePaths.h"

#include "platform/posix/Text.h"

#include <sys/stat.h>

namespace tw::posix {

namespace {

const DriveRoot* findDrive(const std::vector<DriveRoot>& drives, const DrivePath& path) {
    const wchar_t letter = path.drive()[0];
    for (const DriveRoot& drive : drives)
        if (drive.letter == letter)
            return &drive;
    return nullptr;
}

// One component looked up in `folder`, the native folder that the components before it lead
// to; `below` is the part before it, if any.
ResolvedPart resolvePart(const std::wstring& component, const std::string& folder,
                         const ResolvedPart* below, const TableSource& tables) {
    ResolvedPart part;
    part.typed = component;
    part.name = toUtf8(component);
    part.folder = folder;
    if (below && !below->exists) {
        // Below a missing folder everything is kept as written.
    } else if (auto table = tables(part.folder)) {
        if (const ShortNameTable::Entry* entry = table->resolve(component)) {
            part.name = ShortNameTable::nativeName(entry);
            part.shortName = std::string(table->shortName(entry));
            part.exists = true;
            part.entry = entry;
        }
        part.table = std::move(table);
    } else {
        // A folder we may enter but not list: only exact names can be found.
        struct stat st {};
        part.exists = ::lstat(joinNative(part.folder, part.name).c_str(), &st) == 0;
    }
    return part;
}

// Whether the resolved path exists, and whether every component's short name is known.
void settleExistence(ResolvedPath& result) {
    if (result.parts.empty()) {
        struct stat st {};
        result.exists = ::stat(result.native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    } else {
        result.exists = result.parts.back().exists;
    }
    result.allShort = result.exists;
    for (const ResolvedPart& part : result.parts)
        if (part.shortName.empty())
            result.allShort = false;
}

} // namespace

ResolvedPath resolveDrivePath(const std::wstring& drivePath, const std::vector<DriveRoot>& drives,
                              const TableSource& tables) {
    ResolvedPath result;
    result.parsed = parseDrivePath(drivePath);
    if (!result.parsed.valid)
        return result;
    const DriveRoot* drive = findDrive(drives, result.parsed);
    if (!drive)
        return result;
    result.valid = true;

    std::vector<ResolvedPart>& parts = result.parts;
    std::vector<std::string> folders{drive->nativeRoot}; // folders[i]: the folder of parts[i]
    for (const std::wstring& component : result.parsed.components) {
        if (component == L".")
            continue;
        if (component == L"..") {
            if (!parts.empty()) {
                parts.pop_back();
                folders.pop_back();
            }
            continue;
        }
        ResolvedPart part =
            resolvePart(component, folders.back(), parts.empty() ? nullptr : &parts.back(), tables);
        folders.push_back(joinNative(part.folder, part.name));
        parts.push_back(std::move(part));
    }
    result.native = folders.back();
    settleExistence(result);
    return result;
}

std::string shortForm(const ResolvedPath& resolved) {
    if (!resolved.valid || !resolved.exists || !resolved.allShort)
        return {};
    if (resolved.parsed.trailingSeparator && !resolved.parts.empty()) {
        struct stat st {};
        if (::stat(resolved.native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return {};
    }
    std::string shortPath(1, static_cast<char>(resolved.parsed.letter));
    shortPath += resolved.parsed.rooted ? ":\\" : ":";
    for (std::size_t i = 0; i < resolved.parts.size(); ++i) {
        if (i > 0)
            shortPath += '\\';
        shortPath += resolved.parts[i].shortName;
    }
    if (resolved.parsed.trailingSeparator && !resolved.parts.empty())
        shortPath += '\\';
    return shortPath;
}

} // namespace tw::posix
