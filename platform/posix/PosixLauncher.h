#pragma once

#include "platform/Status.h"

#include <string>

namespace tw::posix {

// Starts the console interpreter on `script` (a native path) in a terminal window of its
// own, working directory `nativeDirectory`, without waiting.
Status startScriptInTerminal(const std::string& nativeDirectory, const std::string& script,
                             bool minimized);

// The search path the terminal and the script get: `path`, then the program's own folder,
// where the tools that ship with it (the decoder) live, so a program of the same name in an
// earlier folder still wins. Unchanged when the folder is already on it, or has a ":" in its
// name (PATH cannot hold it).
std::string searchPathWithProgramFolder(const std::string& path, const std::string& programFolder);

// Tells the desktop's notification service (through notify-send, where both are there), without
// waiting; false when there is none to tell.
bool notifyDesktop(const std::string& title, const std::string& body);

// Hands an address to the desktop's opener, without waiting.
Status openAddressWithDesktop(const std::string& address);

} // namespace tw::posix
