#pragma once

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tw::posix {

class PosixPlatform;
class ShortNameTable;
struct ResolvedPath;

// Drive paths resolved over the folders' names as the disk has them, for a caller that changes
// them itself, line after line (the console running a batch). Each folder is read once; the
// caller's own changes (a file made, renamed, deleted) are put into its table as they happen,
// so that the thousandth line of a batch costs what the first did. A folder that changed in
// any other way (its times differ from those after the last change seen) is read again.
// Folders are known by the file system's identity (device and inode): one reached by two
// paths (a link) is one set of names. It is the console's way to the names: the tables behind
// it stay out of sight.
class LiveNames {
public:
    explicit LiveNames(const PosixPlatform& platform);
    ~LiveNames();
    LiveNames(const LiveNames&) = delete;
    LiveNames& operator=(const LiveNames&) = delete;

    // The native path; empty when the text is no drive path on a drive of the map.
    std::string nativePath(const std::wstring& drivePath);

    // The caller has changed the entry at a native path (made, renamed away, deleted it), or a
    // program it ran may have: the entry's folder takes what the disk now holds at that name.
    void changed(const std::string& nativePath);
    // Anything may have changed anywhere (a program that is not known to make only its output).
    void forgetAll();

private:
    struct Folder {
        std::shared_ptr<ShortNameTable> table;
        timespec modified{};
        timespec changed{};
    };
    using Identity = std::pair<dev_t, ino_t>;

    ResolvedPath resolve(const std::wstring& drivePath);
    std::shared_ptr<const ShortNameTable> tableOf(const std::string& nativeFolder);

    const PosixPlatform& m_platform;
    std::map<Identity, Folder> m_folders;
};

} // namespace tw::posix
