#include "Session.h"

#include "Script.h"

#include "platform/DrivePath.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Process.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace tw::console {

Session::Session(posix::PosixPlatform& platform, std::ostream& out, std::ostream& err)
    : m_platform(platform), m_names(platform), m_out(out), m_err(err) {}

std::wstring Session::absoluteDrivePath(const std::wstring& word) const {
    if (isDrivePath(word))
        return word;
    if (hasDriveLetter(word)) // no folder is kept per drive: "C:NAME" is read from the root
        return word.substr(0, 2) + L"\\" + word.substr(2);
    std::wstring current = m_platform.currentDirectory();
    if (word.size() >= 1 && word[0] == L'\\')
        return current.substr(0, 2) + word;
    if (current.empty() || current.back() != L'\\')
        current += L'\\';
    return current + word;
}

std::string Session::native(const std::wstring& drivePath) {
    return m_names.nativePath(drivePath);
}

std::string Session::nativeCurrentDirectory() const {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::wstring Session::prompt() const {
    std::wstring current = m_platform.currentDirectory();
    if (current.empty())
        current = text(nativeCurrentDirectory());
    return current + L">";
}

std::wstring Session::parentOf(const std::wstring& drivePath) {
    std::wstring trimmed = drivePath;
    while (trimmed.size() > 3 && trimmed.back() == L'\\')
        trimmed.pop_back();
    const std::size_t cut = trimmed.find_last_of(L'\\');
    if (cut == std::wstring::npos || trimmed.size() <= 3)
        return {};
    return trimmed.substr(0, cut == 2 ? 3 : cut);
}

std::wstring Session::longFolder(const std::string& nativeFolder) const {
    std::wstring folder = m_platform.drivePath(nativeFolder);
    if (folder.empty())
        folder = text(nativeFolder);
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

void Session::say(std::ostream& stream, const std::wstring& message) {
    stream << eightBit(visible(message)) << '\n';
    stream.flush();
}

void Session::echo(const std::wstring& line) {
    m_out << '\n';
    say(m_out, prompt() + line);
}

void Session::fail(const std::wstring& message) {
    ++m_failures;
    say(m_err, L"tonwright-console: " + message);
}

void Session::note(const std::wstring& message) {
    say(m_err, L"tonwright-console: " + message);
}

void Session::flush() {
    m_out.flush();
    m_err.flush();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
}

std::wstring Session::lookupFailure(const std::wstring& drivePath, int error) {
    if (error != ENOENT && error != ENOTDIR)
        return L"cannot reach " + drivePath + L": " + systemError(error);
    return L"cannot find " + drivePath + missingPart(drivePath);
}

std::wstring Session::missingPart(const std::wstring& drivePath) {
    if (native(drivePath).empty()) {
        const std::wstring drive = drivePath.substr(0, 2);
        for (const Drive& known : m_platform.drives())
            if (sameNameIgnoringCase(known.letter, drive))
                return L": no file can have that name";
        return L": there is no drive " + drive;
    }
    // The first folder on the way that is missing, or a file that stands where a folder should.
    std::wstring missing;
    for (std::wstring folder = parentOf(drivePath); !folder.empty(); folder = parentOf(folder)) {
        struct stat st {};
        if (::stat(native(folder).c_str(), &st) != 0) {
            missing = folder;
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            return L": " + folder + L" is a file, not a folder";
        break;
    }
    return missing.empty() ? L"" : L": there is no folder " + missing;
}

std::wstring Session::changeFailure(const std::wstring& folder, int error) const {
    const std::wstring system = L" (" + systemError(error) + L")";
    switch (error) {
    case EACCES:
        return L"this user may not change the folder " + folder + system;
    case EPERM:
        return L"it is protected (immutable or append-only), or the folder " + folder +
               L" lets only a file's owner change it" + system;
    default:
        return systemError(error);
    }
}

std::wstring Session::systemError(int error) const {
    return posix::systemErrorText(error);
}

std::string Session::eightBit(const std::wstring& text) const {
    return m_platform.toEightBit(text);
}

std::wstring Session::text(const std::string& bytes) const {
    return m_platform.fromEightBit(bytes);
}

} // namespace tw::console
