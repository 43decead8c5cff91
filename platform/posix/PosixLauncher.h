#pragma once

#include "platform/Status.h"

#include <string>

namespace tw::posix {

// Starts the console interpreter on `script` (a native path) in a terminal window of its
// own, working directory `nativeDirectory`, without waiting.
Status startScriptInTerminal(const std::string& nativeDirectory, const std::string& script,
                             bool minimized);

// Hands an address to the desktop's opener, without waiting.
Status openAddressWithDesktop(const std::string& address);

} // namespace tw::posix
