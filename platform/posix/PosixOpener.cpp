// Handing an address to the desktop's opener, which runs detached from us.
#include "PosixLauncher.h"

#include "Process.h"

#include <string>
#include <vector>

namespace tw::posix {

Status openAddressWithDesktop(const std::string& address) {
    static constexpr const char* opener = "xdg-open";
    const std::string program = findOnPath(opener);
    if (program.empty())
        return Status::failure(L"The desktop's address opener (xdg-open) was not found.");

    // The address is one argument of its own: no shell ever sees it.
    const SpawnResult started = spawnDetached({program, address});
    if (started.ok())
        return Status::success();
    if (started.error == 0)
        return Status::failure(L"Could not start xdg-open.");
    return Status::failure(L"Could not start xdg-open: " + systemErrorText(started.error));
}

} // namespace tw::posix
