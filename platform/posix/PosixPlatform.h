#pragma once

#include "platform/Platform.h"
#include "platform/posix/DriveMap.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tw::posix {

class DirectoryCache;
struct ResolvedPath;

// The platform on Linux and other POSIX systems.
class PosixPlatform : public Platform {
public:
    // The machine's own drive map: C: is "/", further letters the mounted media.
    PosixPlatform();
    // A given drive map (tests use temporary folders).
    explicit PosixPlatform(std::vector<DriveRoot> driveMap);
    ~PosixPlatform() override;

    const std::vector<DriveRoot>& driveMap() const { return m_drives; }
    // The short-name tables in use (tests look at how often they are built).
    const DirectoryCache& directoryCache() const;

    std::vector<Drive> drives() const override;
    std::string nativePath(const std::wstring& drivePath) const override;
    // Also empty when a name below the drive root holds a "\" or a control character.
    std::wstring drivePath(const std::string& nativePath) const override;
    bool isDirectory(const std::wstring& drivePath) const override;
    // The entry itself counts, so a link that points nowhere exists.
    bool exists(const std::wstring& drivePath) const override;
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override;
    // Read from the folder itself once per folder and run (FolderProbe.h).
    FolderRules folderRules(const std::wstring& folder) const override;
    FolderRules nativeFolderRules(const std::string& nativeFolder) const;
    std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                    std::uint32_t bufferLength) const override;
    Status listDirectories(const std::wstring& directory,
                           std::vector<std::wstring>& names) const override;
    // Regular files only (links followed): no devices, pipes or dangling links. "*.*" matches
    // every name; ";" separates several patterns.
    Status listFiles(const std::wstring& directory, const std::wstring& pattern,
                     std::vector<std::wstring>& names) const override;
    Status listEveryFile(const std::wstring& directory, const std::wstring& pattern,
                         std::vector<std::wstring>& names,
                         std::vector<std::wstring>& unusable) const override;
    std::wstring currentDirectory() const override;
    Status setCurrentDirectory(const std::wstring& directory) override;
    std::wstring programDirectory() const override;
    // The program's folder where it is the user's (programFolderIsTheUsers), else the per-user
    // configuration folder, made if need be.
    std::wstring settingsDirectory() const override;
    // The decoder's folder: the program's (it holds l3dec) where it is the user's, else the
    // per-user data folder (the console finds l3dec on its path there). The output folder: the
    // user's music folder, else the home folder. Neither is ever the root of the file system.
    FirstRunFolders firstRunFolders(const std::wstring& driveRoot) const override;
    // UTF-8. A value that is no character becomes U+FFFD; so does each byte of malformed
    // UTF-8 on the way in, so both directions accept any input.
    std::string toEightBit(const std::wstring& text) const override;
    std::wstring fromEightBit(const std::string& bytes) const override;
    // The console interpreter reads the script as UTF-8 too.
    std::string toScriptText(const std::wstring& text) const override;
    std::wstring fromScriptText(const std::string& bytes) const override;
    // UTF-8 carries every character: only values that are no character do not come back.
    bool carriesInScript(const std::wstring& text) const override;
    Status readFile(const std::wstring& path, std::string& bytes,
                    std::size_t maxBytes = kWholeFile) const override;
    Status writeFile(const std::wstring& path, const std::string& bytes) override;
    // Keeps the old file's permissions; through a link, replaces the file the link points to.
    Status replaceFile(const std::wstring& path, const std::string& bytes) override;
    Status startBatch(const std::wstring& directory, const std::wstring& scriptName, bool minimized,
                      const ConsolePlacement& placement = {}) override;
    // The desktop's opener has no owner window to take.
    Status openAddress(const std::wstring& address, std::uintptr_t owner) override;
    // Short names computed from a folder's current names: the model plays every change through
    // the same tables the platform resolves with.
    std::unique_ptr<NameModel> nameModel() const override;

    // A drive path resolved over the tables of the disk as it is now.
    ResolvedPath resolve(const std::wstring& drivePath) const;

private:
    // With `unusable`, names no drive path can carry are listed too, shown readably, and it
    // says why each name cannot be decoded.
    Status listEntries(const std::wstring& directory, bool directories, const std::wstring& pattern,
                       std::vector<std::wstring>& names,
                       std::vector<std::wstring>* unusable = nullptr) const;

    std::vector<DriveRoot> m_drives; // roots without a trailing "/" (except "/" itself)
    std::unique_ptr<DirectoryCache> m_cache;
    mutable std::mutex m_rulesMutex;
    mutable std::map<std::pair<dev_t, ino_t>, FolderRules> m_rules;
};

} // namespace tw::posix
