#include "FolderProbe.h"

#include "DrivePaths.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
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

// Creates a file of that name, exclusively, and removes it again: 0 when the folder took the
// name, else the errno value.
int tryName(const std::string& folder, const std::string& name) {
    const std::string path = joinNative(folder, name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(path.c_str());
    return 0;
}

std::string repeated(const std::string& piece, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += piece;
    return out;
}

// The probe file itself: a name of lower-case letters that nobody else uses.
class Probe {
public:
    explicit Probe(const std::string& folder) : m_folder(folder) {
        for (int attempt = 0; attempt < 8 && m_error != EACCES; ++attempt) {
            m_name = ".tonwright-probe-" + randomLetters(8);
            m_error = tryCreate();
            if (m_error != EEXIST)
                break;
        }
    }
    ~Probe() {
        if (m_error == 0)
            ::unlink(joinNative(m_folder, m_name).c_str());
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool made() const { return m_error == 0; }
    const std::string& name() const { return m_name; }

private:
    int tryCreate() const {
        const int fd = ::open(joinNative(m_folder, m_name).c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    }

    std::string m_folder;
    std::string m_name;
    int m_error = -1;
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

void probeLength(const std::string& folder, const std::string& stem, FolderRules& rules) {
    // 255 UTF-16 units of a two-byte character: more bytes than any byte-counting file system
    // takes, as many units as a Windows medium takes.
    const std::string e = "\xC3\xA9";
    const std::size_t fill = 255 - stem.size();
    if (tryName(folder, stem + repeated(e, fill)) != 0)
        return; // counted in bytes, as statfs says
    rules.maxBytes = 0;
    rules.maxUnits = tryName(folder, stem + repeated(e, fill + 1)) == ENAMETOOLONG ? 255 : 0;
}

FolderRules probe(const std::string& folder, const Probe& made, Family family,
                  std::size_t nameMax) {
    FolderRules rules = FolderRules::posix();
    rules.maxBytes = nameMax;
    rules.ownShortNames = family == Family::Fat;
    const std::string& name = made.name();
    rules.ignoresCase = exists(folder, upperCase(name));
    const std::string stem = name + "-";
    for (const char c : std::string("\"*:<>?\\|"))
        if (tryName(folder, stem + c) != 0)
            rules.refused += static_cast<wchar_t>(c);
    rules.refusesControl = tryName(folder, stem + "\x01") != 0;
    // Some media take no letter beyond ASCII at all.
    if (tryName(folder, stem + "\xC3\xA9") != 0) {
        rules.refusesNonAscii = true;
        return rules;
    }
    probeLength(folder, stem, rules);
    // A file system that answers to aliases of its own makes one for the probe's long name.
    if (!rules.ownShortNames && family == Family::Unknown)
        for (const char* alias : {"TONWRI~1", "TONWRI~2", "TONWRI~3"})
            rules.ownShortNames = rules.ownShortNames || exists(folder, alias);
    return rules;
}

} // namespace

FolderRules probeFolderRules(const std::string& nativeFolder) {
    struct statfs fs {};
    if (::statfs(nativeFolder.c_str(), &fs) != 0)
        return FolderRules::strictest();
    const Family family = familyOf(static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFUL);
    const std::size_t nameMax = fs.f_namelen > 0 ? static_cast<std::size_t>(fs.f_namelen) : 255;
    const Probe made(nativeFolder);
    if (!made.made())
        return rulesOf(family, nameMax);
    return probe(nativeFolder, made, family, nameMax);
}

} // namespace tw::posix
