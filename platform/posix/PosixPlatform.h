#pragma once

#include "platform/Platform.h"
#include "platform/posix/DirectoryCache.h"

#include <string>
#include <vector>

namespace tw::posix {

// One letter of the drive map and the native folder it stands for.
struct DriveRoot {
    wchar_t letter;         // L'C'
    std::string nativeRoot; // "/"
};

// The platform on Linux and other POSIX systems.
class PosixPlatform : public Platform {
public:
    // The machine's own drive map: C: is "/", further letters the mounted media.
    PosixPlatform();
    // A given drive map (tests use temporary folders).
    explicit PosixPlatform(std::vector<DriveRoot> driveMap);
    ~PosixPlatform() override;

    static std::vector<DriveRoot> systemDriveMap();
    // The drive map for a mount table in the format of /proc/mounts: C: is "/", then D:, E:,
    // ... for the mount points at or below /media, /run/media and /mnt, in path order.
    static std::vector<DriveRoot> driveMapFromMounts(const std::string& mountTable);

    const std::vector<DriveRoot>& driveMap() const { return m_drives; }
    // The short-name tables in use (tests look at how often they are built).
    const DirectoryCache& directoryCache() const { return m_cache; }

    std::vector<Drive> drives() const override;
    std::string nativePath(const std::wstring& drivePath) const override;
    std::wstring drivePath(const std::string& nativePath) const override;
    bool isDirectory(const std::wstring& drivePath) const override;
    bool exists(const std::wstring& drivePath) const override;
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override;
    std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                    std::uint32_t bufferLength) const override;
    Status listDirectories(const std::wstring& directory,
                           std::vector<std::wstring>& names) const override;
    Status listFiles(const std::wstring& directory, const std::wstring& pattern,
                     std::vector<std::wstring>& names) const override;
    std::wstring currentDirectory() const override;
    Status setCurrentDirectory(const std::wstring& directory) override;
    std::wstring programDirectory() const override;
    std::string toEightBit(const std::wstring& text) const override;
    std::wstring fromEightBit(const std::string& bytes) const override;
    Status readFile(const std::wstring& path, std::string& bytes) const override;
    Status writeFile(const std::wstring& path, const std::string& bytes) override;
    Status replaceFile(const std::wstring& path, const std::string& bytes) override;
    Status startBatch(const std::wstring& directory, const std::wstring& scriptName,
                      bool minimized) override;
    Status openAddress(const std::wstring& address) override;

private:
    struct ParsedPath;
    struct ResolvedPath;

    static ParsedPath parseDrivePath(const std::wstring& text);
    const DriveRoot* findDrive(wchar_t letter) const;
    // Components resolved one by one; stops resolving at the first one that does not exist.
    ResolvedPath resolve(const std::wstring& drivePath) const;
    Status listEntries(const std::wstring& directory, bool directories, const std::wstring& pattern,
                       std::vector<std::wstring>& names) const;

    std::vector<DriveRoot> m_drives; // roots without a trailing "/" (except "/" itself)
    DirectoryCache m_cache;
};

} // namespace tw::posix
