#include "PosixPlatform.h"

#include "Files.h"
#include "FolderProbe.h"
#include "PosixLauncher.h"
#include "Process.h"
#include "Text.h"
#include "UserFolders.h"
#include "platform/names/DirectoryCache.h"
#include "platform/names/DrivePaths.h"
#include "platform/names/PosixNameModel.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tw {

std::unique_ptr<Platform> createSystemPlatform() {
    return std::make_unique<posix::PosixPlatform>();
}

std::wstring whyNoWindowCanOpen() {
    const auto value = [](const char* name) {
        const char* text = std::getenv(name);
        return std::string(text ? text : "");
    };
    if (!value("QT_QPA_PLATFORM").empty() || !value("WAYLAND_DISPLAY").empty())
        return {};
    const std::string display = value("DISPLAY");
    if (display.empty())
        return L"no display to open a window on (DISPLAY is not set)";
    // A local display (":0", ":1.0") listens on a socket; one that is not there cannot be
    // reached, and the toolkit would abort.
    if (display.size() >= 2 && display[0] == ':') {
        const std::string number = display.substr(1, display.find('.') - 1);
        struct stat st {};
        if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos &&
            (::stat(("/tmp/.X11-unix/X" + number).c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)))
            return L"the display " + posix::fromUtf8(display) + L" cannot be reached";
    }
    return {};
}

} // namespace tw

namespace tw::posix {

namespace {

Status failure(const wchar_t* what, const std::wstring& path, int error) {
    return pathFailure(what, path, systemErrorText(error));
}

// The file helpers' EINVAL means the name holds something other than a regular file.
Status fileFailure(const wchar_t* what, const std::wstring& path, int error) {
    if (error == EINVAL)
        return pathFailure(what, path,
                           L"it is not a regular file (a pipe, a device, a socket, or a link to "
                           L"none of these or to nothing)");
    return failure(what, path, error);
}

} // namespace

PosixPlatform::PosixPlatform() : PosixPlatform(systemDriveMap()) {}

PosixPlatform::PosixPlatform(std::vector<DriveRoot> driveMap)
    : m_drives(std::move(driveMap)), m_cache(std::make_unique<DirectoryCache>()) {
    for (DriveRoot& drive : m_drives) {
        drive.letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(drive.letter)));
        drive.nativeRoot = normalizedRoot(drive.nativeRoot);
    }
}

PosixPlatform::~PosixPlatform() = default;

const DirectoryCache& PosixPlatform::directoryCache() const {
    return *m_cache;
}

std::vector<Drive> PosixPlatform::drives() const {
    std::vector<Drive> out;
    for (const DriveRoot& drive : m_drives)
        out.push_back(
            {std::wstring(1, drive.letter) + L":", L"[" + fromUtf8(drive.nativeRoot) + L"]"});
    return out;
}

ResolvedPath PosixPlatform::resolve(const std::wstring& drivePath) const {
    return resolveDrivePath(drivePath, m_drives,
                            [this](const std::string& folder) { return m_cache->table(folder); });
}

std::string PosixPlatform::nativePath(const std::wstring& drivePath) const {
    return resolve(drivePath).native;
}

std::wstring PosixPlatform::drivePath(const std::string& nativePath) const {
    if (nativePath.empty() || nativePath.front() != '/')
        return {};
    const std::vector<std::string> components = nativeComponents(nativePath);
    const DriveRoot* best = nullptr;
    std::size_t bestDepth = 0;
    for (const DriveRoot& drive : m_drives) {
        const std::vector<std::string> rootComponents = nativeComponents(drive.nativeRoot);
        if (rootComponents.size() > components.size() ||
            !std::equal(rootComponents.begin(), rootComponents.end(), components.begin()))
            continue;
        if (!best || rootComponents.size() > bestDepth) {
            best = &drive;
            bestDepth = rootComponents.size();
        }
    }
    if (!best)
        return {};
    std::wstring out = std::wstring(1, best->letter) + L":\\";
    for (std::size_t i = bestDepth; i < components.size(); ++i) {
        // A name with a "\" or a control character cannot be written as a drive path.
        if (!isCarriableName(components[i]))
            return {};
        if (i > bestDepth)
            out += L'\\';
        out += fromUtf8(components[i]);
    }
    return out;
}

bool PosixPlatform::isDirectory(const std::wstring& drivePath) const {
    const ResolvedPath resolved = resolve(drivePath);
    struct stat st {};
    return resolved.valid && ::stat(resolved.native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixPlatform::exists(const std::wstring& drivePath) const {
    const ResolvedPath resolved = resolve(drivePath);
    struct stat st {};
    return resolved.valid && ::lstat(resolved.native.c_str(), &st) == 0;
}

bool PosixPlatform::sameEntry(const std::wstring& a, const std::wstring& b) const {
    const ResolvedPath first = resolve(a);
    const ResolvedPath second = resolve(b);
    struct stat sa {
    }, sb{};
    return first.valid && second.valid && ::stat(first.native.c_str(), &sa) == 0 &&
           ::stat(second.native.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

FolderRules PosixPlatform::folderRules(const std::wstring& folder) const {
    const ResolvedPath resolved = resolve(folder);
    return resolved.valid ? nativeFolderRules(resolved.native) : FolderRules::strictest();
}

FolderRules PosixPlatform::nativeFolderRules(const std::string& nativeFolder) const {
    struct stat st {};
    if (::stat(nativeFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return FolderRules::strictest();
    const std::pair<dev_t, ino_t> key{st.st_dev, st.st_ino};
    {
        std::lock_guard lock(m_rulesMutex);
        if (const auto known = m_rules.find(key); known != m_rules.end())
            return known->second;
    }
    const FolderRules rules = probeFolderRules(nativeFolder);
    std::lock_guard lock(m_rulesMutex);
    return m_rules.emplace(key, rules).first->second;
}

std::uint32_t PosixPlatform::GetShortPathNameA(const char* longPath, char* buffer,
                                               std::uint32_t bufferLength) const {
    if (!longPath)
        return 0;
    const std::string shortPath = shortForm(resolve(fromUtf8(longPath)));
    if (shortPath.empty())
        return 0;
    return answerInBuffer(shortPath, buffer, bufferLength);
}

namespace {

// What one reading of a folder found: the names the script can carry, and the others shown
// with stand-ins, each with the reason.
struct FolderListing {
    std::vector<std::wstring> listed;
    std::vector<std::pair<std::wstring, std::wstring>> shown;
};

// Whether the entry is a folder or a regular file, following a link as the listing does.
void entryKind(DIR* dir, const dirent& entry, bool& isDir, bool& isFile) {
    isDir = entry.d_type == DT_DIR;
    isFile = entry.d_type == DT_REG;
    if (entry.d_type == DT_LNK || entry.d_type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry.d_name, &st, 0) == 0) {
            isDir = S_ISDIR(st.st_mode);
            isFile = S_ISREG(st.st_mode);
        }
    }
}

// Reads the open folder; 0, or the error that stopped the reading.
int readListing(DIR* dir, bool directories, const std::wstring& pattern, bool withUnusable,
                FolderListing& into) {
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string nativeName = entry->d_name;
        errno = 0;
        if (nativeName.empty() || nativeName.front() == '.')
            continue;
        const bool carriable = isCarriableName(nativeName);
        if (!carriable && !withUnusable)
            continue;
        bool isDir = false;
        bool isFile = false;
        entryKind(dir, *entry, isDir, isFile);
        errno = 0;
        if (directories ? !isDir : !isFile)
            continue;
        std::wstring name = carriable ? fromUtf8(nativeName) : shownName(nativeName);
        if (!directories && !wildcardMatch(pattern, name))
            continue;
        if (carriable)
            into.listed.push_back(std::move(name));
        else
            into.shown.emplace_back(std::move(name), whyNotCarriable(nativeName));
    }
    return errno;
}

// The names in listing order; `unusable`, when asked for, says beside each why it cannot be
// carried (empty for the carriable ones).
void sortListing(FolderListing& listing, std::vector<std::wstring>* unusable) {
    std::vector<std::wstring>& listed = listing.listed;
    text::sortForListing(listed);
    if (!unusable)
        return;
    unusable->assign(listed.size(), std::wstring());
    // The few names with stand-ins go into their places in the listing order.
    auto& shown = listing.shown;
    std::sort(shown.begin(), shown.end(),
              [](const auto& a, const auto& b) { return text::listingLess(a.first, b.first); });
    auto at = listed.begin();
    for (auto& [name, why] : shown) {
        at = std::upper_bound(at, listed.end(), name, text::listingLess);
        const auto index = at - listed.begin();
        at = listed.insert(at, std::move(name)) + 1;
        unusable->insert(unusable->begin() + index, std::move(why));
    }
}

} // namespace

Status PosixPlatform::listEntries(const std::wstring& directory, bool directories,
                                  const std::wstring& pattern, std::vector<std::wstring>& names,
                                  std::vector<std::wstring>* unusable) const {
    names.clear();
    if (unusable)
        unusable->clear();
    const ResolvedPath resolved = resolve(directory);
    if (!resolved.valid)
        return noDriveFailure(L"Cannot read", directory);
    DIR* dir = ::opendir(resolved.native.c_str());
    if (!dir)
        return failure(L"Cannot read", directory, errno);
    FolderListing listing;
    const int readError = readListing(dir, directories, pattern, unusable != nullptr, listing);
    ::closedir(dir);
    if (readError != 0)
        return failure(L"Cannot read", directory, readError);
    sortListing(listing, unusable);
    names = std::move(listing.listed);
    return Status::success();
}

Status PosixPlatform::listDirectories(const std::wstring& directory,
                                      std::vector<std::wstring>& names) const {
    return listEntries(directory, true, {}, names);
}

Status PosixPlatform::listFiles(const std::wstring& directory, const std::wstring& pattern,
                                std::vector<std::wstring>& names) const {
    return listEntries(directory, false, pattern, names);
}

Status PosixPlatform::listEveryFile(const std::wstring& directory, const std::wstring& pattern,
                                    std::vector<std::wstring>& names,
                                    std::vector<std::wstring>& unusable) const {
    return listEntries(directory, false, pattern, names, &unusable);
}

std::wstring PosixPlatform::currentDirectory() const {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return drivePath(buffer.data());
}

Status PosixPlatform::setCurrentDirectory(const std::wstring& directory) {
    const ResolvedPath resolved = resolve(directory);
    if (!resolved.valid)
        return noDriveFailure(L"Cannot change to", directory);
    if (::chdir(resolved.native.c_str()) != 0)
        return failure(L"Cannot change to", directory, errno);
    return Status::success();
}

std::wstring PosixPlatform::programDirectory() const {
    const std::string folder = programDirectoryNative();
    return folder.empty() ? std::wstring() : drivePath(folder);
}

std::wstring PosixPlatform::settingsDirectory() const {
    const std::string folder = settingsFolderFor(programDirectoryNative(), "tonwright.ini");
    const std::wstring drive = folder.empty() ? std::wstring() : drivePath(folder);
    return drive.empty() ? programDirectory() : drive;
}

Platform::FirstRunFolders PosixPlatform::firstRunFolders(const std::wstring& driveRoot) const {
    const StartFolders start = startFoldersFor(programDirectoryNative(), "tonwright.ini");
    const auto asDrivePath = [this](const std::string& native) {
        return native.empty() ? std::wstring() : drivePath(native);
    };
    FirstRunFolders folders{asDrivePath(start.decoder), asDrivePath(start.output)};
    if (!folders.output.empty() && folders.output.back() != L'\\')
        folders.output += L'\\';
    // Nothing better could be told: the drive's root, as everywhere.
    if (folders.decoder.empty())
        folders.decoder = driveRoot;
    if (folders.output.empty())
        folders.output = driveRoot;
    return folders;
}

std::string PosixPlatform::toEightBit(const std::wstring& text) const {
    return toUtf8(text);
}

std::wstring PosixPlatform::fromEightBit(const std::string& bytes) const {
    return fromUtf8(bytes);
}

std::string PosixPlatform::toScriptText(const std::wstring& text) const {
    return toEightBit(text);
}

std::wstring PosixPlatform::fromScriptText(const std::string& bytes) const {
    return fromEightBit(bytes);
}

bool PosixPlatform::carriesInScript(const std::wstring& text) const {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) {
        const auto value = static_cast<std::uint32_t>(c);
        return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    });
}

Status PosixPlatform::readFile(const std::wstring& path, std::string& bytes,
                               std::size_t maxBytes) const {
    const ResolvedPath resolved = resolve(path);
    if (!resolved.valid)
        return noDriveFailure(L"Cannot read", path);
    if (const int error = readFileStart(resolved.native, bytes, maxBytes))
        return fileFailure(L"Cannot read", path, error);
    return Status::success();
}

Status PosixPlatform::writeFile(const std::wstring& path, const std::string& bytes) {
    const ResolvedPath resolved = resolve(path);
    if (!resolved.valid)
        return noDriveFailure(L"Cannot write", path);
    if (const int error = replaceWholeFile(resolved.native, bytes, LinkAtName::Replace))
        return fileFailure(L"Cannot write", path, error);
    return Status::success();
}

Status PosixPlatform::replaceFile(const std::wstring& path, const std::string& bytes) {
    const ResolvedPath resolved = resolve(path);
    if (!resolved.valid)
        return noDriveFailure(L"Cannot write", path);
    if (const int error = replaceWholeFile(resolved.native, bytes, LinkAtName::Follow))
        return fileFailure(L"Cannot write", path, error);
    return Status::success();
}

Status PosixPlatform::startBatch(const std::wstring& directory, const std::wstring& scriptName,
                                 bool minimized, const ConsolePlacement& placement) {
    const ResolvedPath resolved = resolve(directory);
    if (!resolved.valid)
        return noDriveFailure(L"Cannot start the script in", directory);
    return startScriptInTerminal(resolved.native, toUtf8(scriptName), minimized, placement);
}

std::unique_ptr<NameModel> PosixPlatform::nameModel() const {
    return std::make_unique<PosixNameModel>(*this);
}

Status PosixPlatform::openAddress(const std::wstring& address, std::uintptr_t) {
    return openAddressWithDesktop(toUtf8(address));
}

} // namespace tw::posix
