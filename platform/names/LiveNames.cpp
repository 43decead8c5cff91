#include "LiveNames.h"

#include "DirectoryCache.h"
#include "DrivePaths.h"
#include "ShortNames.h"
#include "platform/posix/Files.h"
#include "platform/posix/PosixPlatform.h"

#include <sys/stat.h>

namespace tw::posix {

namespace {

bool sameStatTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

LiveNames::LiveNames(const PosixPlatform& platform) : m_platform(platform) {}

LiveNames::~LiveNames() = default;

std::shared_ptr<const ShortNameTable> LiveNames::tableOf(const std::string& nativeFolder) {
    struct stat st {};
    if (::stat(nativeFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return nullptr;
    const Identity identity{st.st_dev, st.st_ino};
    const auto known = m_folders.find(identity);
    if (known != m_folders.end() && sameStatTime(known->second.modified, st.st_mtim) &&
        sameStatTime(known->second.changed, st.st_ctim))
        return known->second.table;
    const auto read = m_platform.directoryCache().table(nativeFolder);
    if (!read)
        return nullptr;
    // The times from before the reading: a change while it read is seen as one next time.
    m_folders[identity] = {std::make_shared<ShortNameTable>(*read), st.st_mtim, st.st_ctim};
    return read;
}

ResolvedPath LiveNames::resolve(const std::wstring& drivePath) {
    return resolveDrivePath(drivePath, m_platform.driveMap(),
                            [this](const std::string& folder) { return tableOf(folder); });
}

std::string LiveNames::nativePath(const std::wstring& drivePath) {
    return resolve(drivePath).native;
}

void LiveNames::changed(const std::string& nativePath) {
    const std::string parent = folderOf(nativePath);
    struct stat folderStat {};
    if (::stat(parent.c_str(), &folderStat) != 0)
        return;
    const auto known = m_folders.find({folderStat.st_dev, folderStat.st_ino});
    if (known == m_folders.end())
        return;
    Folder& folder = known->second;
    const std::string name = nativePath.substr(nativePath.find_last_of('/') + 1);
    struct stat st {};
    const bool there = ::lstat(nativePath.c_str(), &st) == 0;
    const ShortNameTable::Entry* entry = folder.table->findExact(name);
    if (there && !entry)
        folder.table->insert(name);
    else if (!there && entry)
        folder.table->erase(entry);
    folder.modified = folderStat.st_mtim;
    folder.changed = folderStat.st_ctim;
}

void LiveNames::forgetAll() {
    m_folders.clear();
}

} // namespace tw::posix
