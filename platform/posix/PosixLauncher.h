#pragma once

#include "platform/ConsolePlacement.h"
#include "platform/Status.h"

#include <string>

namespace tw::posix {

// Starts the console interpreter on `script` (a name in `nativeDirectory`) in a terminal window
// of its own, working directory `nativeDirectory`, without waiting. The terminal is the first
// that starts of: the program TONWRIGHT_TERMINAL names, xdg-terminal-exec, x-terminal-emulator,
// the desktop's own (XDG_CURRENT_DESKTOP) and, under X, xterm. A normal window opens where
// `placement` leaves it in view, where the terminal takes a place.
Status startScriptInTerminal(const std::string& nativeDirectory, const std::string& script,
                             bool minimized, const ConsolePlacement& placement = {});

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
