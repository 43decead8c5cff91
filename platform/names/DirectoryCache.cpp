#include "DirectoryCache.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tw::posix {

namespace {

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// File systems stamp times from a clock that advances in ticks (FAT even in two-second
// steps), so a change right after the listing can leave the stamp as it was. A table whose
// directory changed within this window of its listing is not trusted on the next use.
bool isRacy(const struct stat& st, const timespec& listedAt) {
    const std::int64_t window = st.st_mtim.tv_nsec == 0 ? 2'000'000'000 : 50'000'000;
    return nanoseconds(listedAt) < nanoseconds(st.st_mtim) + window ||
           nanoseconds(listedAt) < nanoseconds(st.st_ctim) + window;
}

// Lists a native directory, with its state at the time; 0 or the errno value.
int listDirectory(const std::string& nativeDirectory, struct stat& listed,
                  std::vector<std::string>& names, std::vector<unsigned char>& types) {
    const int fd = ::open(nativeDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = ::fstat(fd, &listed) == 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
        types.push_back(entry->d_type);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    return readError;
}

} // namespace

DirectoryCache::DirectoryCache(std::size_t capacity) : m_capacity(capacity) {}

std::uint64_t DirectoryCache::buildCount() const {
    std::lock_guard lock(m_mutex);
    return m_builds;
}

std::shared_ptr<const ShortNameTable>
DirectoryCache::table(const std::string& nativeDirectory) const {
    struct stat st {};
    if (::stat(nativeDirectory.c_str(), &st) != 0)
        return nullptr;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return nullptr;
    }

    std::lock_guard lock(m_mutex);
    ++m_clock;
    if (auto cached = unchangedTable(nativeDirectory, st))
        return cached;

    timespec listedAt{};
    clock_gettime(CLOCK_REALTIME, &listedAt);
    struct stat listed {};
    std::vector<std::string> names;
    std::vector<unsigned char> types;
    if (const int error = listDirectory(nativeDirectory, listed, names, types)) {
        errno = error;
        return nullptr;
    }
    Slot slot;
    slot.table = std::make_shared<const ShortNameTable>(names, types);
    slot.device = listed.st_dev;
    slot.inode = listed.st_ino;
    slot.modified = listed.st_mtim;
    slot.changed = listed.st_ctim;
    slot.racy = isRacy(listed, listedAt);
    slot.lastUse = m_clock;
    ++m_builds;
    auto table = slot.table;
    keep(nativeDirectory, std::move(slot));
    return table;
}

std::shared_ptr<const ShortNameTable>
DirectoryCache::unchangedTable(const std::string& nativeDirectory, const struct stat& st) const {
    const auto it = m_slots.find(nativeDirectory);
    if (it == m_slots.end())
        return nullptr;
    Slot& slot = it->second;
    if (slot.racy || slot.device != st.st_dev || slot.inode != st.st_ino ||
        !sameTime(slot.modified, st.st_mtim) || !sameTime(slot.changed, st.st_ctim))
        return nullptr;
    slot.lastUse = m_clock;
    return slot.table;
}

void DirectoryCache::keep(const std::string& nativeDirectory, Slot slot) const {
    // Full: the table used longest ago makes room.
    if (m_slots.size() >= m_capacity && !m_slots.count(nativeDirectory)) {
        auto oldest = m_slots.begin();
        for (auto it = m_slots.begin(); it != m_slots.end(); ++it)
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        m_slots.erase(oldest);
    }
    m_slots[nativeDirectory] = std::move(slot);
}

} // namespace tw::posix
