#include "PosixLauncher.h"

namespace tw::posix {

Status startScriptInTerminal(const std::string&, const std::string&, bool) {
    return Status::failure(L"Starting a console window is not available yet.");
}

} // namespace tw::posix
