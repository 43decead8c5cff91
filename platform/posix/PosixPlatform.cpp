// Placeholder until the POSIX platform layer lands: every operation fails cleanly.
#include "PosixPlatform.h"

namespace tw {
std::unique_ptr<Platform> createSystemPlatform() { return std::make_unique<posix::PosixPlatform>(); }
} // namespace tw

namespace tw::posix {

PosixPlatform::PosixPlatform() : m_drives(systemDriveMap()) {}
PosixPlatform::PosixPlatform(std::vector<DriveRoot> driveMap) : m_drives(std::move(driveMap)) {}
PosixPlatform::~PosixPlatform() = default;
std::vector<DriveRoot> PosixPlatform::systemDriveMap() { return {{L'C', "/"}}; }
std::vector<Drive> PosixPlatform::drives() const { return {{L"C:", L"[/]"}}; }
std::string PosixPlatform::nativePath(const std::wstring&) const { return {}; }
std::wstring PosixPlatform::drivePath(const std::string&) const { return {}; }
bool PosixPlatform::isDirectory(const std::wstring&) const { return false; }
bool PosixPlatform::exists(const std::wstring&) const { return false; }
bool PosixPlatform::sameEntry(const std::wstring&, const std::wstring&) const { return false; }
std::uint32_t PosixPlatform::GetShortPathNameA(const char*, char*, std::uint32_t) const { return 0; }
Status PosixPlatform::listDirectories(const std::wstring&, std::vector<std::wstring>&) const {
    return Status::failure(L"not yet");
}
Status PosixPlatform::listFiles(const std::wstring&, const std::wstring&,
                                std::vector<std::wstring>&) const {
    return Status::failure(L"not yet");
}
std::wstring PosixPlatform::currentDirectory() const { return L"C:\\"; }
Status PosixPlatform::setCurrentDirectory(const std::wstring&) { return Status::failure(L"not yet"); }
std::wstring PosixPlatform::programDirectory() const { return L"C:\\"; }
std::string PosixPlatform::toEightBit(const std::wstring&) const { return {}; }
std::wstring PosixPlatform::fromEightBit(const std::string&) const { return {}; }
Status PosixPlatform::readFile(const std::wstring&, std::string&) const { return Status::failure(L"not yet"); }
Status PosixPlatform::writeFile(const std::wstring&, const std::string&) { return Status::failure(L"not yet"); }
Status PosixPlatform::replaceFile(const std::wstring&, const std::string&) { return Status::failure(L"not yet"); }
Status PosixPlatform::startBatch(const std::wstring&, const std::wstring&, bool) {
    return Status::failure(L"not yet");
}
Status PosixPlatform::openAddress(const std::wstring&) { return Status::failure(L"not yet"); }

} // namespace tw::posix
