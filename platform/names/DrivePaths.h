#pragma once

#include "platform/DrivePath.h"
#include "platform/names/ShortNames.h"
#include "platform/posix/DriveMap.h"
#include "platform/posix/Files.h" // joinNative

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Drive paths ("C:\MUSIC\LONGSO~1.MP3") resolved to native ones, component by component through
// the short-name tables of the folders on the way. The platform resolves over the tables of the
// disk as it is; a model of a running script resolves the same way over tables it has changed.
namespace tw::posix {

// The short-name table of a native folder, or null when it cannot be listed.
using TableSource =
    std::function<std::shared_ptr<const ShortNameTable>(const std::string& nativeFolder)>;

// One component of a resolved path.
struct ResolvedPart {
    std::wstring typed;    // as written in the drive path
    std::string name;      // the entry's native name; as written when not found
    std::string shortName; // empty when unknown
    bool exists = false;
    std::string folder; // the native folder it was looked up in
    // The folder's table and the entry found there; null when not found through a table.
    std::shared_ptr<const ShortNameTable> table;
    const ShortNameTable::Entry* entry = nullptr;
};

struct ResolvedPath {
    bool valid = false; // a drive path on a drive of the map
    DrivePath parsed;
    std::string native;
    bool exists = false;   // every component was found
    bool allShort = false; // every component's short name is known
    std::vector<ResolvedPart> parts;
};

// Components are resolved one by one, each in the table of the folder before it: the exact
// name, else the one name equal to it without regard to case, else the entry whose short name
// it is. Resolving stops at the first component that does not exist; it and the rest are kept
// as written. "." and ".." are applied to the resolved components.
ResolvedPath resolveDrivePath(const std::wstring& drivePath, const std::vector<DriveRoot>& drives,
                              const TableSource& tables);

// The short form GetShortPathNameA gives for a resolved path: the letter, and the short name of
// every component, a trailing "\" kept on a folder. Empty when the path does not exist, a
// component has no short name, or a trailing "\" follows something that is not a folder.
std::string shortForm(const ResolvedPath& resolved);

} // namespace tw::posix
