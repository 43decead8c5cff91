#pragma once

#include "NameModel.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tw {

class Platform;

// The names while a script runs, on a file system that ignores case and gives a file its short
// name once, when the file gets its name (Windows). What the disk holds is asked of the
// platform; the script's own changes are kept on top. The short name the system will give a
// file the script makes or renames is not known in advance: a "~" name with that file's
// extension may be it (Unsure). Names the system gives never lack a "~", so a name without one
// is only ever a long name or a short name that is its own.
class StableNameModel : public NameModel {
public:
    explicit StableNameModel(const Platform& platform);
    ~StableNameModel() override;

    Found find(const std::wstring& drivePath) const override;
    std::wstring shortPath(const std::wstring& drivePath) const override;
    Id create(const std::wstring& drivePath) override;
    void rename(Id id, const std::wstring& newName) override;
    void remove(Id id) override;
    // Nothing to add: a name the script gives is matched without regard to case in any case, and
    // its short name is unknown from the start.
    void markUncertain(Id id) override;

private:
    // An entry the model has seen or made.
    struct Item {
        std::string folderKey; // its folder, as the platform spells it natively
        std::wstring folder;   // the same as a drive path, as first given
        std::wstring name;     // its name now
        Kind kind = Kind::File;
        std::wstring diskName; // its name on disk, folded; empty for an entry the script makes
        bool present = true;
    };
    // What the script has changed in one folder.
    struct Changes {
        std::unordered_map<std::wstring, Id> named; // folded name -> entry named so by the script
        std::set<std::wstring> left;                // folded disk names the script took away
        std::map<std::wstring, int> unknownAliases; // folded extension key -> entries with one
    };
    struct Place {
        std::wstring folder; // drive path of the folder, without a trailing "\" below a root
        std::wstring name;   // last component; empty for a drive root
        std::string folderKey;
    };

    Place place(const std::wstring& drivePath) const;
    Id diskEntry(const Place& place, const std::wstring& path, const std::wstring& nativeName,
                 Kind kind) const;
    void setName(Id id, const std::wstring& name);
    void clearName(Id id);

    const Platform& m_platform;
    mutable std::unordered_map<Id, Item> m_items;
    mutable std::unordered_map<std::string, Id> m_diskIds; // native path -> entry
    mutable Id m_next = 1;
    std::map<std::string, Changes> m_changes; // by folder key
};

} // namespace tw
