#include "Win32Platform.h"

#include "platform/DrivePath.h"
#include "platform/Text.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace tw {
std::unique_ptr<Platform> createSystemPlatform() {
    return std::make_unique<win32::Win32Platform>();
}

std::wstring whyNoWindowCanOpen() {
    return {}; // the desktop is always there to open a window on
}
} // namespace tw

namespace tw::win32 {

namespace {

wchar_t upper(wchar_t letter) {
    return (letter >= L'a' && letter <= L'z') ? static_cast<wchar_t>(letter - 0x20) : letter;
}

bool driveExists(wchar_t letter) {
    letter = upper(letter);
    return letter >= L'A' && letter <= L'Z' && (::GetLogicalDrives() >> (letter - L'A')) & 1;
}

// The system's words for an error code, without the closing full stop and line break.
std::wstring errorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out =
        length && text ? std::wstring(text, length) : L"system error " + std::to_wstring(error);
    if (text)
        ::LocalFree(text);
    while (!out.empty() &&
           (out.back() == L'\r' || out.back() == L'\n' || out.back() == L' ' || out.back() == L'.'))
        out.pop_back();
    return out;
}

Status failure(const wchar_t* what, const std::wstring& path, DWORD error) {
    return pathFailure(what, path, errorText(error));
}

Status failure(const wchar_t* what, const std::wstring& path, const wchar_t* why) {
    return pathFailure(what, path, why);
}

// A name a drive path and its UTF-8 native form can carry: no control character, no half of
// a surrogate pair.
bool isCarriableName(const std::wstring& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return !name.empty();
}

// Calls fn(buffer, size) until the result fits; fn returns the length written or, when the
// buffer is too small, the size needed (as the system's string getters do). 0 is a failure.
template <typename Fn> std::wstring fetchString(Fn fn) {
    return fetchGrowing<wchar_t>(
        [&](wchar_t* buffer, std::size_t size) { return fn(buffer, static_cast<DWORD>(size)); },
        MAX_PATH);
}

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() {
        if (valid())
            ::CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }
    // Closes now and reports whether the close succeeded (a write may fail only here).
    bool close() {
        const bool ok = ::CloseHandle(m_handle) != 0;
        m_handle = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE m_handle;
};

bool writeAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

std::wstring directoryPart(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return {};
    return slash <= 2 ? path.substr(0, 3) : path.substr(0, slash);
}

} // namespace

Win32Platform::Win32Platform() = default;
Win32Platform::~Win32Platform() = default;

std::wstring Win32Platform::fullPath(const std::wstring& drivePath) {
    if (!parseDrivePath(drivePath).valid || !driveExists(drivePath[0]))
        return {};
    const std::wstring rooted = drivePath.size() == 2 ? drivePath + L'\\' : drivePath;
    std::wstring full = fetchString([&](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(rooted.c_str(), size, buffer, nullptr);
    });
    if (full.size() < 3 || full[1] != L':')
        return {};
    full[0] = upper(full[0]);
    return full;
}

std::vector<Drive> Win32Platform::drives() const {
    const std::wstring roots = fetchString(
        [](wchar_t* buffer, DWORD size) { return ::GetLogicalDriveStringsW(size, buffer); });
    // No "insert a disk" box for an empty drive: its label is just left empty.
    DWORD oldMode = 0;
    const bool modeSet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode);

    std::vector<Drive> out;
    for (std::size_t start = 0; start < roots.size();) {
        const std::wstring root = roots.c_str() + start;
        start += root.size() + 1;
        const DrivePath parsed = parseDrivePath(root);
        if (!parsed.valid)
            continue;
        Drive drive{parsed.drive(), {}};
        wchar_t volume[MAX_PATH + 1] = {};
        if (::GetVolumeInformationW(root.c_str(), volume, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                    nullptr, 0) &&
            volume[0])
            drive.label = L"[" + std::wstring(volume) + L"]";
        out.push_back(std::move(drive));
    }
    if (modeSet)
        ::SetThreadErrorMode(oldMode, nullptr);
    return out;
}

std::string Win32Platform::nativePath(const std::wstring& drivePath) const {
    std::wstring full = fullPath(drivePath);
    if (full.empty())
        return {};
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();

    // Each existing component takes its on-disk name, which is also how a short alias turns
    // into the long name; from the first missing one on, the rest stays as written.
    std::wstring out = full.substr(0, 3);
    bool found = true;
    for (std::size_t start = 3; start < full.size();) {
        std::size_t end = full.find(L'\\', start);
        if (end == std::wstring::npos)
            end = full.size();
        std::wstring component = full.substr(start, end - start);
        start = end + 1;
        // A wildcard (the system also reads < > " as ones) would match other names.
        if (found && component.find_first_of(L"*?<>\"") == std::wstring::npos) {
            WIN32_FIND_DATAW data{};
            const std::wstring lookup = out + component;
            const HANDLE find = ::FindFirstFileExW(lookup.c_str(), FindExInfoBasic, &data,
                                                   FindExSearchNameMatch, nullptr, 0);
            if (find != INVALID_HANDLE_VALUE) {
                ::FindClose(find);
                component = data.cFileName;
            } else {
                found = false;
            }
        } else {
            found = false;
        }
        out += component;
        if (start < full.size())
            out += L'\\';
    }
    return text::toUtf8(out);
}

std::wstring Win32Platform::drivePath(const std::string& nativePath) const {
    std::wstring path = text::fromUtf8(nativePath);
    if (path.size() > 4 && path.compare(0, 4, L"\\\\?\\") == 0)
        path.erase(0, 4);
    if (path.size() < 3 || !isDriveSeparator(path[2]))
        return {};
    return fullPath(path);
}

bool Win32Platform::isDirectory(const std::wstring& drivePath) const {
    const std::wstring full = fullPath(drivePath);
    if (full.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesW(full.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::exists(const std::wstring& drivePath) const {
    const std::wstring full = fullPath(drivePath);
    return !full.empty() && ::GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32Platform::sameEntry(const std::wstring& a, const std::wstring& b) const {
    const auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        const std::wstring full = fullPath(path);
        if (full.empty())
            return false;
        // No access asked for: only the identity is read, and directories open too.
        Handle file(::CreateFileW(full.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file.valid() && ::GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify(a, first) && identify(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

std::uint32_t Win32Platform::GetShortPathNameA(const char* longPath, char* buffer,
                                               std::uint32_t bufferLength) const {
    if (!longPath)
        return 0;
    const std::string shortPath = fetchGrowing<char>(
        [&](char* into, std::size_t size) {
            return ::GetShortPathNameA(longPath, into, static_cast<DWORD>(size));
        },
        MAX_PATH);
    return shortPath.empty() ? 0 : answerInBuffer(shortPath, buffer, bufferLength);
}

namespace {

Status listEntries(const std::wstring& directory, bool directories, const std::wstring& pattern,
                   std::vector<std::wstring>& names) {
    names.clear();
    const std::wstring full = Win32Platform::fullPath(directory);
    if (full.empty())
        return noDriveFailure(L"Cannot read", directory);
    const std::wstring search = full + (full.back() == L'\\' ? L"*" : L"\\*");

    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileExW(search.c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A drive's root with nothing in it has not even "." to report.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            return Status::success();
        return failure(L"Cannot read", directory, error);
    }
    std::vector<std::wstring> listed;
    do {
        const std::wstring name = found.cFileName;
        const DWORD attributes = found.dwFileAttributes;
        if (name == L"." || name == L".." || !isCarriableName(name) ||
            (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE)))
            continue;
        if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directories)
            continue;
        if (!directories && !text::wildcardMatch(pattern, name))
            continue;
        listed.push_back(name);
    } while (::FindNextFileW(find, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    if (error != ERROR_NO_MORE_FILES)
        return failure(L"Cannot read", directory, error);

    text::sortForListing(listed);
    names = std::move(listed);
    return Status::success();
}

} // namespace

Status Win32Platform::listDirectories(const std::wstring& directory,
                                      std::vector<std::wstring>& names) const {
    return listEntries(directory, true, {}, names);
}

Status Win32Platform::listFiles(const std::wstring& directory, const std::wstring& pattern,
                                std::vector<std::wstring>& names) const {
    return listEntries(directory, false, pattern, names);
}

std::wstring Win32Platform::currentDirectory() const {
    const std::wstring current = fetchString(
        [](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
    return fullPath(current);
}

Status Win32Platform::setCurrentDirectory(const std::wstring& directory) {
    const std::wstring full = fullPath(directory);
    if (full.empty())
        return noDriveFailure(L"Cannot change to", directory);
    if (!::SetCurrentDirectoryW(full.c_str()))
        return failure(L"Cannot change to", directory, ::GetLastError());
    return Status::success();
}

std::wstring Win32Platform::programDirectory() const {
    // GetModuleFileNameW truncates instead of telling the size needed: grow until it fits.
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (n == 0)
            return {};
        if (n < program.size()) {
            program.resize(n);
            break;
        }
        if (program.size() >= 32768)
            return {};
        program.assign(program.size() * 2, L'\0');
    }
    return fullPath(directoryPart(program));
}

namespace {

std::string toCodePage(UINT codePage, const std::wstring& text) {
    if (text.empty())
        return {};
    // The UTF-8 code page takes no flags; any other gets "?" for a missing character.
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = ::WideCharToMultiByte(
        codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0)
        ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                              out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring fromCodePage(UINT codePage, const std::string& bytes) {
    if (bytes.empty())
        return {};
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(),
                                             static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                              length);
    return out;
}

} // namespace

std::string Win32Platform::toEightBit(const std::wstring& text) const {
    return toCodePage(::GetACP(), text);
}

std::wstring Win32Platform::fromEightBit(const std::string& bytes) const {
    return fromCodePage(::GetACP(), bytes);
}

std::string Win32Platform::toScriptText(const std::wstring& text) const {
    return toCodePage(::GetOEMCP(), text);
}

std::wstring Win32Platform::fromScriptText(const std::string& bytes) const {
    return fromCodePage(::GetOEMCP(), bytes);
}

Status Win32Platform::readFile(const std::wstring& path, std::string& bytes,
                               std::size_t maxBytes) const {
    const std::wstring full = fullPath(path);
    if (full.empty())
        return noDriveFailure(L"Cannot read", path);
    const DWORD attributes = ::GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failure(L"Cannot read", path, L"it is a folder");
    Handle file(::CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid())
        return failure(L"Cannot read", path, ::GetLastError());
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return failure(L"Cannot read", path, L"it is not a file");
    std::string content;
    char chunk[65536];
    while (content.size() < maxBytes) {
        DWORD n = 0;
        const DWORD wanted =
            static_cast<DWORD>(std::min<std::size_t>(sizeof chunk, maxBytes - content.size()));
        if (!::ReadFile(file.get(), chunk, wanted, &n, nullptr))
            return failure(L"Cannot read", path, ::GetLastError());
        if (n == 0)
            break;
        content.append(chunk, n);
    }
    bytes = std::move(content);
    return Status::success();
}

Status Win32Platform::writeFile(const std::wstring& path, const std::string& bytes) {
    // A new file renamed over the name: a link of that name is replaced, not written through.
    return replaceFile(path, bytes);
}

Status Win32Platform::replaceFile(const std::wstring& path, const std::string& bytes) {
    const std::wstring target = fullPath(path);
    if (target.empty())
        return noDriveFailure(L"Cannot write", path);
    const DWORD oldAttributes = ::GetFileAttributesW(target.c_str());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) {
        if (oldAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return failure(L"Cannot write", path, L"it is a folder");
        if (oldAttributes & FILE_ATTRIBUTE_READONLY)
            return failure(L"Cannot write", path, ERROR_ACCESS_DENIED);
    }

    // A fresh name beside the target, so the rename stays on one volume.
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = target + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(::GetTickCount() + attempt);
        created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            return failure(L"Cannot write", path, ::GetLastError());
    }
    Handle file(created);
    if (!file.valid())
        return failure(L"Cannot write", path, ERROR_FILE_EXISTS);

    const auto abandon = [&](DWORD error) {
        ::DeleteFileW(temporary.c_str());
        return failure(L"Cannot write", path, error);
    };
    if (!writeAll(file.get(), bytes) || !::FlushFileBuffers(file.get())) {
        const DWORD error = ::GetLastError();
        file.close();
        return abandon(error);
    }
    if (!file.close())
        return abandon(::GetLastError());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES &&
        (oldAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        ::SetFileAttributesW(temporary.c_str(),
                             oldAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return abandon(::GetLastError());
    return Status::success();
}

Status Win32Platform::startBatch(const std::wstring& directory, const std::wstring& scriptName,
                                 bool minimized, const ConsolePlacement&) {
    const std::wstring folder = fullPath(directory);
    if (folder.empty())
        return noDriveFailure(L"Cannot start the script in", directory);
    // The name goes on cmd's command line: anything cmd would read as more than a file name
    // (a chain, a redirection, a variable) is refused rather than run.
    if (scriptName.empty() ||
        scriptName.find_first_of(L"\"&|<>^%!()\\/:*?") != std::wstring::npos ||
        !isCarriableName(scriptName))
        return Status::failure(L"Cannot start the script " + scriptName +
                               L": the name is not a plain file name");

    BatchCommand command = batchCommand(scriptName);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(command.program.c_str(), command.commandLine.data(), nullptr, nullptr,
                          FALSE, CREATE_NEW_CONSOLE, nullptr, folder.c_str(), &startup, &process))
        return failure(L"Cannot start the script in", directory, ::GetLastError());
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return Status::success();
}

Win32Platform::BatchCommand Win32Platform::batchCommand(const std::wstring& scriptName) {
    const std::wstring program = fetchString([](wchar_t* buffer, DWORD size) {
                                     return ::GetSystemDirectoryW(buffer, size);
                                 }) +
                                 L"\\cmd.exe";
    const bool blank = scriptName.find(L' ') != std::wstring::npos;
    return {program, L"\"" + program + L"\" /D /V:OFF /C " +
                         (blank ? L"\"" + scriptName + L"\"" : scriptName)};
}

Status Win32Platform::openAddress(const std::wstring& address, std::uintptr_t owner) {
    // The wide call: an address is never narrowed into "?" (which would start a query).
    const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        reinterpret_cast<HWND>(owner), L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32)
        return Status::success();
    std::wstring why;
    switch (result) {
    case SE_ERR_NOASSOC:
        why = L"no program is registered for it";
        break;
    case SE_ERR_ACCESSDENIED:
        why = L"access is denied";
        break;
    case 0:
    case SE_ERR_OOM:
        why = L"out of memory";
        break;
    default:
        why = errorText(static_cast<DWORD>(result));
        break;
    }
    return Status::failure(L"Cannot open " + address + L": " + why);
}

} // namespace tw::win32
