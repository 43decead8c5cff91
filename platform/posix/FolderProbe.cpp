#include "FolderProbe.h"

#include "platform/names/DrivePaths.h"

#include <cerrno>
#include <cstdio> // renameat2, RENAME_NOREPLACE
#include <fcntl.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace tw::posix {

namespace {

// File system types by their statfs magic numbers.
enum class Family { Posix, Fat, WindowsMedia, Unknown };

Family familyOf(unsigned long type) {
    switch (type) {
    case 0x4d44: // FAT (msdos, vfat)
        return Family::Fat;
    case 0x2011BAB0: // exFAT
    case 0x5346544e: // NTFS
    case 0x7366746e: // NTFS (ntfs3)
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
        return Family::WindowsMedia;
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // XFS
    case 0x9123683E: // Btrfs
    case 0x01021994: // tmpfs
    case 0xF2F52010: // F2FS
    case 0x2FC12FC1: // ZFS
    case 0x6969:     // NFS
    case 0x794c7630: // overlayfs
    case 0x52654973: // ReiserFS
    case 0x3153464a: // JFS
        return Family::Posix;
    default: // FUSE and everything else: its rules are the program's behind it
        return Family::Unknown;
    }
}

FolderRules rulesOf(Family family, std::size_t nameMax) {
    FolderRules rules;
    switch (family) {
    case Family::Posix:
        rules = FolderRules::posix();
        rules.maxBytes = nameMax;
        break;
    case Family::Fat:
        rules = FolderRules::windowsMedia();
        rules.ownShortNames = true;
        break;
    case Family::WindowsMedia:
        rules = FolderRules::windowsMedia();
        break;
    case Family::Unknown:
        rules = FolderRules::strictest();
        break;
    }
    return rules;
}

std::string randomLetters(std::size_t count) {
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string letters;
    for (std::size_t i = 0; i < count; ++i)
        letters += static_cast<char>('a' + random() % 26);
    return letters;
}

std::string repeated(const std::string& piece, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += piece;
    return out;
}

// The probe: one file of a name of lower-case letters that nobody else uses, created exclusively
// and removed again. Other names are tried by renaming it to them and back: a rename never
// replaces anything here, and unlike a new file it costs the file system no new inode.
class Probe {
public:
    explicit Probe(const std::string& folder) : m_folder(folder) {
        for (int attempt = 0; attempt < 8; ++attempt) {
            m_name = ".tonwright-probe-" + randomLetters(8);
            const int fd = ::open(path(m_name).c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            m_made = fd >= 0;
            if (m_made)
                ::close(fd);
            if (m_made || errno != EEXIST)
                break;
        }
        if (!m_made)
            return;
        // Not every file system takes the flag that forbids replacing; those are looked at first.
        const std::string aside = m_name + "-r";
        m_noReplace = ::renameat2(AT_FDCWD, path(m_name).c_str(), AT_FDCWD, path(aside).c_str(),
                                  RENAME_NOREPLACE) == 0;
        if (m_noReplace)
            (void)::rename(path(aside).c_str(), path(m_name).c_str());
    }
    ~Probe() {
        if (m_made)
            ::unlink(path(m_name).c_str());
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool made() const { return m_made; }
    const std::string& name() const { return m_name; }

    // Whether the folder takes `name`: 0, or the errno value of its refusal.
    int tryName(const std::string& name) {
        if (const int error = move(m_name, name))
            return error;
        if (move(name, m_name) != 0)
            m_name = name; // removed under this name in the end
        return 0;
    }

private:
    std::string path(const std::string& name) const { return joinNative(m_folder, name); }

    int move(const std::string& from, const std::string& to) const {
        if (m_noReplace)
            return ::renameat2(AT_FDCWD, path(from).c_str(), AT_FDCWD, path(to).c_str(),
                               RENAME_NOREPLACE) == 0
                       ? 0
                       : errno;
        struct stat st {};
        if (::lstat(path(to).c_str(), &st) == 0)
            return EEXIST;
        return ::rename(path(from).c_str(), path(to).c_str()) == 0 ? 0 : errno;
    }

    std::string m_folder;
    std::string m_name;
    bool m_made = false;
    bool m_noReplace = false;
};

bool exists(const std::string& folder, const std::string& name) {
    struct stat st {};
    return ::lstat(joinNative(folder, name).c_str(), &st) == 0;
}

std::string upperCase(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return name;
}

void probeLength(Probe& made, const std::string& stem, FolderRules& rules) {
    // 255 UTF-16 units of a two-byte character: more bytes than any byte-counting file system
    // takes, as many units as a Windows medium takes.
    const std::string e = "\xC3\xA9";
    const std::size_t fill = 255 - stem.size();
    if (made.tryName(stem + repeated(e, fill)) != 0)
        return; // counted in bytes, as statfs says
    rules.maxBytes = 0;
    rules.maxUnits = made.tryName(stem + repeated(e, fill + 1)) == ENAMETOOLONG ? 255 : 0;
}

FolderRules probe(const std::string& folder, Probe& made, Family family, std::size_t nameMax) {
    FolderRules rules = FolderRules::posix();
    rules.maxBytes = nameMax;
    rules.ownShortNames = family == Family::Fat;
    const std::string stem = made.name() + "-";
    rules.ignoresCase = exists(folder, upperCase(made.name()));
    for (const char c : std::string("\"*:<>?\\|"))
        if (made.tryName(stem + c) != 0)
            rules.refused += static_cast<wchar_t>(c);
    rules.refusesControl = made.tryName(stem + "\x01") != 0;
    // Some media take no letter beyond ASCII at all.
    if (made.tryName(stem + "\xC3\xA9") != 0) {
        rules.refusesNonAscii = true;
        return rules;
    }
    probeLength(made, stem, rules);
    // A file system that answers to aliases of its own makes one for the probe's long name.
    if (!rules.ownShortNames && family == Family::Unknown)
        for (const char* alias : {"TONWRI~1", "TONWRI~2", "TONWRI~3"})
            rules.ownShortNames = rules.ownShortNames || exists(folder, alias);
    return rules;
}

} // namespace

// A folder of a POSIX file system ignores case only where it says so itself.
bool foldsCase(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    const bool folded = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
    ::close(fd);
    return folded;
}

FolderRules probeFolderRules(const std::string& nativeFolder) {
    struct statfs fs {};
    if (::statfs(nativeFolder.c_str(), &fs) != 0)
        return FolderRules::strictest();
    const Family family = familyOf(static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFUL);
    const std::size_t nameMax = fs.f_namelen > 0 ? static_cast<std::size_t>(fs.f_namelen) : 255;
    // A disk's file system says all there is to say; creating a probe there costs more than a
    // look (a new inode) and tells nothing new.
    if (family == Family::Posix) {
        FolderRules rules = rulesOf(family, nameMax);
        rules.ignoresCase = foldsCase(nativeFolder);
        return rules;
    }
    Probe made(nativeFolder);
    if (!made.made())
        return rulesOf(family, nameMax);
    return probe(nativeFolder, made, family, nameMax);
}

} // namespace tw::posix
