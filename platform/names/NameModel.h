#pragma once

#include "FolderRules.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tw {

// The file system's names as the console will see them while a batch script runs, for the code
// that writes the script. It starts as the disk is and follows the changes the script's own
// lines make (a program creating its output, REN, DEL) without touching the disk, so that each
// line can be checked against what its paths will name at the moment it runs. Paths are drive
// paths, as everywhere; a path resolves as the console resolves it: exact name first, then the
// one name equal to it without regard to case, then the entry whose short (8.3) name it is.
class NameModel {
public:
    virtual ~NameModel() = default;

    // An entry of the model; it keeps its identity through renames. 0 is no entry; a model
    // hands out ids from 1 up, each once, so that callers can keep what they know of an entry
    // by its id in a plain array.
    using Id = std::uint64_t;

    enum class Kind {
        Nothing, // names no entry: a program given this path creates a new file
        File,    // a regular file
        Folder,
        Other,  // a link, a device, a pipe or a socket
        Unsure, // may name an entry or not: the platform cannot tell in advance (the short
                // name the system will give a file the script makes is not known yet)
    };

    struct Found {
        Kind kind = Kind::Nothing;
        Id id = 0;         // set for File, Folder and Other
        std::wstring name; // the entry's own name in its folder, as spelled there
    };

    // What `drivePath` names at this point of the script. A trailing "\" is allowed on folders.
    virtual Found find(const std::wstring& drivePath) const = 0;

    // The short form of `drivePath` at this point of the script, whole however long it is, as
    // GetShortPathNameA gives it (a trailing "\" stays); empty when the path names nothing or
    // has no short form.
    virtual std::wstring shortPath(const std::wstring& drivePath) const = 0;
    // Both at once, for a caller that needs both of one path.
    virtual Found findWithShortPath(const std::wstring& drivePath, std::wstring& shortForm) const {
        shortForm = shortPath(drivePath);
        return find(drivePath);
    }

    // Names in `folder` compare from now on as its file system compares them: where it ignores
    // case, or answers to short names of its own, a name can find an entry that the console's
    // own matching would not. A platform whose model asks the system already has this.
    virtual void useFolderRules(const std::wstring& folder, const FolderRules& rules) {
        (void)folder;
        (void)rules;
    }

    // A program creates a new file at `drivePath`, which names nothing (find gives Nothing):
    // the console hands the program the path with its folders resolved and the last name as
    // written. Returns the new entry.
    virtual Id create(const std::wstring& drivePath) = 0;
    // REN: the entry takes `newName` in its own folder.
    virtual void rename(Id id, const std::wstring& newName) = 0;
    // DEL: the entry goes.
    virtual void remove(Id id) = 0;

    // The entry may be missing when later lines run (the program that makes it can fail, and
    // then its REN does nothing). A later find whose answer could differ without it gives
    // Unsure. A match of its exact name still finds it: that answer only ever errs on the
    // careful side.
    virtual void markUncertain(Id id) = 0;

    // Every change since the last keep() (or since the start) is taken back by undo(), and made
    // final by keep().
    void keep() { m_takeBack.clear(); }
    void undo() {
        while (!m_takeBack.empty()) {
            m_takeBack.back()();
            m_takeBack.pop_back();
        }
    }

protected:
    // How to take back the change just made; undo() runs these, the latest first.
    void remember(std::function<void()> takeBack) { m_takeBack.push_back(std::move(takeBack)); }

private:
    std::vector<std::function<void()>> m_takeBack;
};

} // namespace tw
