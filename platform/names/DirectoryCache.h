#pragma once

#include "ShortNames.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include <sys/stat.h>

namespace tw::posix {

// Short-name tables of recently used directories. A table is rebuilt when its directory has
// changed (device, inode, modification or change time differ), and while the directory's
// modification time is too recent to tell a later change apart from the one already seen.
class DirectoryCache {
public:
    explicit DirectoryCache(std::size_t capacity = 64);

    // The table of a native directory, or null with errno set when it cannot be listed.
    std::shared_ptr<const ShortNameTable> table(const std::string& nativeDirectory) const;

    // How many tables have been built so far (for tests of the cache itself).
    std::uint64_t buildCount() const;

private:
    struct Slot {
        std::shared_ptr<const ShortNameTable> table;
        dev_t device = 0;
        ino_t inode = 0;
        timespec modified{};
        timespec changed{};
        bool racy = true;
        std::uint64_t lastUse = 0;
    };

    // With the lock held: the cached table when its directory is as it was at the listing.
    std::shared_ptr<const ShortNameTable> unchangedTable(const std::string& nativeDirectory,
                                                         const struct stat& st) const;
    // With the lock held: keeps a new table.
    void keep(const std::string& nativeDirectory, Slot slot) const;

    mutable std::mutex m_mutex;
    mutable std::unordered_map<std::string, Slot> m_slots;
    mutable std::uint64_t m_clock = 0;
    mutable std::uint64_t m_builds = 0;
    std::size_t m_capacity;
};

} // namespace tw::posix
