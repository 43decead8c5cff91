#pragma once

#include "platform/names/DrivePaths.h"
#include "platform/names/NameModel.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tw::posix {

class PosixPlatform;

// The names while a script runs, on POSIX: short names are computed from a folder's current
// names, so every change the script makes can change what other short names there mean. The
// model resolves every path with the platform's own resolution, over the folders' short-name
// tables as the disk has them at first sight and, for the folders the script changes, over
// copies that take each change.
class PosixNameModel : public NameModel {
public:
    explicit PosixNameModel(const PosixPlatform& platform);
    ~PosixNameModel() override;

    Found find(const std::wstring& drivePath) const override;
    // One resolution for both.
    Found findWithShortPath(const std::wstring& drivePath, std::wstring& shortForm) const override;
    std::wstring shortPath(const std::wstring& drivePath) const override;
    Id create(const std::wstring& drivePath) override;
    void rename(Id id, const std::wstring& newName) override;
    void remove(Id id) override;
    void markUncertain(Id id) override;
    void useFolderRules(const std::wstring& folder, const FolderRules& rules) override;

private:
    using FolderKey = std::pair<dev_t, ino_t>;
    // Names in one folder that may be missing when later lines run: folded name -> how many.
    // Only a match without regard to case can depend on them. Short names cannot: without some
    // of a folder's names, every short name the others hold is one they held with them (the
    // numbers only close up), so a short name that names nothing still names nothing.
    // The keys are UTF-8, a quarter of the room: a large batch marks every output it makes.
    using Uncertain = std::map<std::string, int>;
    struct Item {
        FolderKey folder;
        std::string nativeName;
        Kind kind;
    };

    // What a path names in the model: the parts of a resolution that find, shortPath and create
    // need.
    struct Located {
        bool valid = false;  // a drive path on a drive of the map
        bool exists = false; // every component was found
        bool unsure = false; // the answer could differ without the uncertain names
        std::string native;  // the whole native path
        std::string folder;  // the native folder of the last component; empty for a drive root
        std::string name;    // the last component's native name; as written when not found
        std::string shortPath;
        unsigned char type = 0; // what the listing said the entry is (DT_UNKNOWN: nothing)
        // The last component's entry in its folder's table as the model has it now; null
        // when not found, or found without a table (a drive root, a folder it cannot list).
        const ShortNameTable::Entry* entry = nullptr;
    };
    // A folder as resolved, kept while none of the folders looked into on the way has changed:
    // a batch looks into the same two folders again and again.
    struct FolderView {
        Located located;
        std::vector<std::pair<FolderKey, std::uint64_t>> lookedInto; // with their revisions
    };

    Located locate(const std::wstring& drivePath) const;
    Found found(const Located& located) const;
    // A name the console does not find can still find an entry the way the folder's file
    // system matches names (useFolderRules).
    void matchAsTheFolderDoes(Located& located, const std::wstring& typed) const;
    // The folder's names by the key its file system compares them by.
    const std::multimap<std::wstring, std::string>& namesByKey(const FolderKey& key,
                                                               const std::string& nativeFolder,
                                                               const FolderRules& rules) const;
    // A name comes into or goes from a folder of the model: its table, namesByKey (where it
    // has been made) and the name's id; place and unplace are each other's undo.
    void addName(Id id, const FolderKey& folder, const std::string& nativeName);
    void dropName(const FolderKey& folder, const std::string& nativeName);
    // The key a name is matched by in a folder: without regard to case, as the folder does.
    std::wstring nameKey(const FolderKey& folder, const std::wstring& name) const;
    std::string uncertainKey(const FolderKey& folder, const std::wstring& name) const;
    Located locateResolving(const std::wstring& drivePath) const;
    const FolderView& folderView(const std::wstring& folderPath) const;
    ResolvedPath resolve(const std::wstring& drivePath) const;
    // The table a folder has in the model; null when it cannot be listed.
    std::shared_ptr<const ShortNameTable> tableOf(const std::string& nativeFolder) const;
    bool folderKey(const std::string& nativeFolder, FolderKey& key) const;
    // The copy of a folder's table that takes the script's changes.
    ShortNameTable& ownTable(const FolderKey& key);
    // A new item: for an entry the model has no id for yet, or one create names.
    Id newItem(const FolderKey& folder, const std::string& nativeName, Kind kind) const;
    void place(Id id, const std::string& nativeName);
    void unplace(Id id);
    // Whether the answer for a component typed in a folder could differ without the folder's
    // uncertain names.
    bool dependsOnUncertain(const std::string& nativeFolder, const std::wstring& typed, bool exists,
                            const std::string& name) const;
    // A folder's table or uncertain names changed: what was resolved through it is stale.
    void touch(const FolderKey& folder);

    const PosixPlatform& m_platform;
    mutable std::unordered_map<std::string, FolderKey> m_keys; // native folder -> identity
    mutable std::map<FolderKey, std::shared_ptr<const ShortNameTable>> m_seen;
    std::map<FolderKey, std::shared_ptr<ShortNameTable>> m_own;
    // The id an entry found in `folder` has, 0 for none yet; and the new one it is given.
    Id idOf(const FolderKey& folder, const Located& located) const;
    void keepId(const FolderKey& folder, const Located& located, Id id) const;
    // Entries' ids: with each entry of a folder's own table; by listing place for a table as
    // first seen, which is shared and never changes (an array read in the order a batch goes
    // through the files, where a map keyed by long names would compare them level by level);
    // by folder and name for what no table holds (a drive root, in a folder that cannot be
    // listed). These names are those of the entries' items (m_items never moves them), so
    // each name is held once; an item's name changes only while its key is out.
    mutable std::map<FolderKey, std::vector<Id>> m_seenIds;
    mutable std::map<std::pair<FolderKey, std::string_view>, Id> m_ids;
    // By id - 1: ids are handed out in order and never again, so an entry undone stays a gap.
    // A batch makes its entries in the order it goes through the files, and finds them so;
    // growing never moves the ones made.
    mutable std::deque<Item> m_items;
    Item& itemOf(Id id) const { return m_items.at(id - 1); }
    mutable Id m_next = 1;
    std::map<FolderKey, Uncertain> m_uncertain;
    std::map<FolderKey, std::uint64_t> m_revisions;
    mutable std::unordered_map<std::wstring, FolderView> m_folderViews;
    std::map<FolderKey, FolderRules> m_rules;
    mutable std::map<FolderKey, std::multimap<std::wstring, std::string>> m_namesByKey;
};

} // namespace tw::posix
