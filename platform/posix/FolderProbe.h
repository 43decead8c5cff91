#pragma once

#include "platform/names/FolderRules.h"

#include <string>

namespace tw::posix {

// The rules of the file system a native folder is on, read from the folder itself: the mount's
// type (statfs) and name limit, and on a disk of a POSIX file system the folder's own case
// folding flag. Elsewhere (a stick, a Windows disk, FUSE) a probe created exclusively there and
// removed again tells whether a name in upper case finds it and which characters and how long a
// name the folder takes. A folder that cannot be probed keeps the rules its type is known to
// have, and the strictest set when the type says nothing (a FUSE mount, an unknown file system).
FolderRules probeFolderRules(const std::string& nativeFolder);

} // namespace tw::posix
