#pragma once

#include "ConsolePlacement.h"
#include "Status.h"
#include "platform/names/FolderRules.h"
#include "platform/names/NameModel.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// One drive of the drive-letter view: "C:" and where it lives natively.
struct Drive {
    std::wstring letter; // "C:"
    std::wstring label;  // what the drive list shows after the letter, e.g. "[/]"
};

// Everything Tonwright needs from the operating system, in drive-letter terms
// ("C:\MUSIC\track01.mp3", "\" as separator). The rest of the program never asks the
// operating system directly; tests replace this object.
class Platform {
public:
    static constexpr std::size_t kWholeFile = static_cast<std::size_t>(-1);

    virtual ~Platform() = default;

    // --- Drive-letter view of the file system ---
    virtual std::vector<Drive> drives() const = 0;
    // Native path of a drive path; components are resolved without regard to case and through
    // short (8.3) aliases; a component that does not exist is kept as written. Empty when the
    // drive is unknown or the text is not a drive path.
    virtual std::string nativePath(const std::wstring& drivePath) const = 0;
    // Drive path of a native path (longest matching drive root); empty when no drive holds it.
    virtual std::wstring drivePath(const std::string& nativePath) const = 0;
    virtual bool isDirectory(const std::wstring& drivePath) const = 0;
    virtual bool exists(const std::wstring& drivePath) const = 0;
    // True when both drive paths name one existing file or directory.
    virtual bool sameEntry(const std::wstring& a, const std::wstring& b) const = 0;
    // What names the file system of an existing folder takes, and which it takes for one (see
    // FolderRules). This one is for Windows, where every medium follows the system's rules.
    virtual FolderRules folderRules(const std::wstring& folder) const;

    // Short (8.3) form of an existing path, with the contract of the Windows call of that
    // name: on success the short form and a NUL are written to buffer and its length (without
    // the NUL) is returned; when it does not fit, the buffer is untouched and the needed length
    // (with the NUL) is returned; when the path does not exist, the buffer is untouched and 0
    // is returned. A trailing "\" on the argument stays on the result.
    virtual std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                            std::uint32_t bufferLength) const = 0;

    // --- Listings: names only, sorted without regard to case; hidden entries and names that
    // no drive path can carry are left out. ---
    virtual Status listDirectories(const std::wstring& directory,
                                   std::vector<std::wstring>& names) const = 0;
    // Files whose names match a wildcard ("*" and "?"), without regard to case.
    virtual Status listFiles(const std::wstring& directory, const std::wstring& pattern,
                             std::vector<std::wstring>& names) const = 0;
    // The same with every file, for the user to see: a name no drive path can carry (a line
    // break, bytes that are no UTF-8 text) is shown readably, and `unusable` says for each
    // name why it cannot be decoded (empty when it can). Where every name can be carried, as
    // on Windows, these are listFiles' names.
    virtual Status listEveryFile(const std::wstring& directory, const std::wstring& pattern,
                                 std::vector<std::wstring>& names,
                                 std::vector<std::wstring>& unusable) const;

    // --- Process ---
    virtual std::wstring currentDirectory() const = 0;
    virtual Status setCurrentDirectory(const std::wstring& directory) = 0;
    // The directory that holds the running program (a root with its "\", others without).
    virtual std::wstring programDirectory() const = 0;
    // The directory of the settings file: the program's own, unless the platform keeps a
    // user's settings elsewhere when that one is not the user's to write.
    virtual std::wstring settingsDirectory() const { return programDirectory(); }
    // Where a first run starts, before Setup: the decoder's folder (the batch script is written
    // there) and the output folder. Windows starts both at the root of the drive the lists show
    // (`driveRoot`); a platform where that root is no user's to write starts elsewhere.
    struct FirstRunFolders {
        std::wstring decoder;
        std::wstring output;
    };
    virtual FirstRunFolders firstRunFolders(const std::wstring& driveRoot) const {
        return {driveRoot, driveRoot};
    }

    // --- 8-bit text at the edges (the ANSI code page on Windows, UTF-8 elsewhere) ---
    virtual std::string toEightBit(const std::wstring& text) const = 0;
    virtual std::wstring fromEightBit(const std::string& bytes) const = 0;
    // The text of a batch script, in the encoding the console reads it in: the console's (OEM)
    // code page on Windows, which is not the ANSI one; elsewhere the same as toEightBit. A
    // character the encoding lacks becomes "?", so text that does not come back the same
    // cannot be carried.
    virtual std::string toScriptText(const std::wstring& text) const = 0;
    virtual std::wstring fromScriptText(const std::string& bytes) const = 0;
    // Whether the text comes back the same through the script's encoding.
    virtual bool carriesInScript(const std::wstring& text) const {
        return fromScriptText(toScriptText(text)) == text;
    }

    // --- Whole files, as bytes ---
    // A regular file's bytes, at most its first `maxBytes`; a folder, pipe or device is a
    // failure (never waited on).
    virtual Status readFile(const std::wstring& path, std::string& bytes,
                            std::size_t maxBytes = kWholeFile) const = 0;
    // A new file of that name with the bytes: whatever had the name (a file, a link, a pipe) is
    // replaced, never written through or waited on; a folder is a failure.
    virtual Status writeFile(const std::wstring& path, const std::string& bytes) = 0;
    // Replaces a regular file (or the regular file a link points to) whole: a temporary file
    // beside it is renamed over it, so the old content stays whole until the new one is
    // complete. Anything else of that name is a failure and stays as it was.
    virtual Status replaceFile(const std::wstring& path, const std::string& bytes) = 0;

    // --- Starting things ---
    // Starts the batch script `scriptName` in `directory` in a console window of its own,
    // minimized or normal, without the focus, without waiting for it. A normal window goes where
    // `placement` leaves it in view, where the platform can place it.
    virtual Status startBatch(const std::wstring& directory, const std::wstring& scriptName,
                              bool minimized, const ConsolePlacement& placement = {}) = 0;
    // Hands an address (mailto:, http:) to the user's registered program, without waiting.
    // `owner` is the native handle of the window asking (the system's windows for the address
    // belong to it), 0 for none; a platform without such windows ignores it.
    virtual Status openAddress(const std::wstring& address, std::uintptr_t owner) = 0;

    // --- Names while a script runs ---
    // A model of the names the console will see while a batch script runs (NameModel.h),
    // starting as the disk is now. This one is for file systems that ignore case and whose short
    // names stay with their files (Windows); a platform that computes short names from a
    // folder's current names gives its own.
    virtual std::unique_ptr<NameModel> nameModel() const;
};

// The whole short form of a path, however long: GetShortPathNameA called again with the buffer
// it asks for. Empty when the path names nothing.
std::wstring wholeShortPath(const Platform& platform, const std::wstring& path);

// The platform of the machine we run on.
std::unique_ptr<Platform> createSystemPlatform();

// Why no window could be opened here (no display to reach), in a line a user can act on;
// empty when a window can be tried. Asked before the toolkit starts, which would abort.
std::wstring whyNoWindowCanOpen();

} // namespace tw
