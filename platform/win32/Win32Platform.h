#pragma once

#include "platform/Platform.h"

#include <string>
#include <vector>

namespace tw::win32 {

// The platform on Windows. Drive paths are the system's own paths, so most calls go straight
// to the wide (UTF-16) file API. The native paths of the interface (nativePath, drivePath)
// are the UTF-8 of those wide paths: UTF-8 carries every name the file system can hold,
// where the ANSI code page would lose some.
class Win32Platform : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;

    // The logical drives; the label is the volume name in brackets ("[SYSTEM]"), empty for a
    // drive without one or without a medium.
    std::vector<Drive> drives() const override;
    // The full path with the long name and on-disk spelling of every existing component;
    // components past the first missing one are kept as written. "C:" is the drive's root.
    std::string nativePath(const std::wstring& drivePath) const override;
    // The full path ("." and ".." applied, "/" as "\"); empty unless it starts with the letter
    // of an existing drive.
    std::wstring drivePath(const std::string& nativePath) const override;
    bool isDirectory(const std::wstring& drivePath) const override;
    bool exists(const std::wstring& drivePath) const override;
    // Same volume and same file index: also true for two hard links of one file.
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override;
    // The system call of that name; longPath is in the ANSI code page, like toEightBit's
    // result. The call goes through a buffer of our own so a short form that does not fit
    // leaves the caller's buffer untouched whatever the system does with it.
    std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                    std::uint32_t bufferLength) const override;
    // Hidden and system entries, "." and "..", and names with control characters or half a
    // surrogate pair are left out. The wildcard is matched against the long name only (the
    // system's own matching would also match the short name: "*.mp3" would find "a.mp3x").
    Status listDirectories(const std::wstring& directory,
                           std::vector<std::wstring>& names) const override;
    Status listFiles(const std::wstring& directory, const std::wstring& pattern,
                     std::vector<std::wstring>& names) const override;
    std::wstring currentDirectory() const override;
    Status setCurrentDirectory(const std::wstring& directory) override;
    std::wstring programDirectory() const override;
    // The ANSI code page. A character it lacks becomes "?" (never a look-alike: a "best fit"
    // could turn a harmless character into "\" or ":").
    std::string toEightBit(const std::wstring& text) const override;
    std::wstring fromEightBit(const std::string& bytes) const override;
    // The OEM code page, which the console reads a batch file in, under the same rule.
    std::string toScriptText(const std::wstring& text) const override;
    std::wstring fromScriptText(const std::string& bytes) const override;
    Status readFile(const std::wstring& path, std::string& bytes,
                    std::size_t maxBytes = kWholeFile) const override;
    Status writeFile(const std::wstring& path, const std::string& bytes) override;
    // Keeps the old file's hidden and system attributes; a read-only file is not replaced.
    Status replaceFile(const std::wstring& path, const std::string& bytes) override;
    // batchCommand's command line in a new console window, which the system places itself (a
    // new console comes up over the window that keeps the focus): `placement` is not used.
    Status startBatch(const std::wstring& directory, const std::wstring& scriptName, bool minimized,
                      const ConsolePlacement& placement = {}) override;
    // ShellExecute with the owner window given, so what the system shows for the address
    // belongs to it.
    Status openAddress(const std::wstring& address, std::uintptr_t owner) override;

    // What startBatch runs for a script of a plain name: the system's own cmd.exe (the
    // script's escapes are cmd's, whatever COMSPEC names), with /D so that no AutoRun command
    // of the registry runs first and /V:OFF so that a "!" in a name is text even where the
    // registry turns delayed expansion on.
    struct BatchCommand {
        std::wstring program;
        std::wstring commandLine;
    };
    static BatchCommand batchCommand(const std::wstring& scriptName);

    // The full path of a drive path ("C:" taken as "C:\"), or empty when the text is not a
    // drive path of an existing drive.
    static std::wstring fullPath(const std::wstring& drivePath);
};

} // namespace tw::win32
