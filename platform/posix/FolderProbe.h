#pragma once

#include "platform/FolderRules.h"

#include <string>

namespace tw::posix {

// The rules of the file system a native folder is on, read from the folder itself: the mount's
// type (statfs) and name limit, and probes created exclusively there and removed again (does a
// name in upper case find the probe; which characters and how long a name it takes). A folder
// that cannot be probed keeps the rules its type is known to have, and the strictest set when
// the type says nothing (a FUSE mount, an unknown file system).
FolderRules probeFolderRules(const std::string& nativeFolder);

} // namespace tw::posix
