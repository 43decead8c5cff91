#include "PosixLauncher.h"

namespace tw::posix {

Status openAddressWithDesktop(const std::string&) {
    return Status::failure(L"Opening addresses is not available yet.");
}

} // namespace tw::posix
