#include "PosixNameModel.h"

#include "DirectoryCache.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Text.h"

#include <dirent.h>
#include <sys/stat.h>

namespace tw::posix {

namespace {

NameModel::Kind kindOnDisk(const std::string& nativePath, unsigned char listed) {
    // The listing already said so: no look at the disk for each file of a large folder.
    if (listed == DT_REG)
        return NameModel::Kind::File;
    if (listed == DT_DIR)
        return NameModel::Kind::Folder;
    struct stat st {};
    if (::lstat(nativePath.c_str(), &st) != 0)
        return NameModel::Kind::Nothing;
    if (S_ISREG(st.st_mode))
        return NameModel::Kind::File;
    if (S_ISDIR(st.st_mode))
        return NameModel::Kind::Folder;
    // A link to a folder is that folder; a link to anything else stays a link, never written
    // through.
    if (S_ISLNK(st.st_mode) && ::stat(nativePath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return NameModel::Kind::Folder;
    return NameModel::Kind::Other;
}

} // namespace

PosixNameModel::PosixNameModel(const PosixPlatform& platform) : m_platform(platform) {}

PosixNameModel::~PosixNameModel() = default;

bool PosixNameModel::folderKey(const std::string& nativeFolder, FolderKey& key) const {
    if (const auto it = m_keys.find(nativeFolder); it != m_keys.end()) {
        key = it->second;
        return true;
    }
    struct stat st {};
    if (::stat(nativeFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    key = {st.st_dev, st.st_ino};
    m_keys.emplace(nativeFolder, key);
    return true;
}

std::shared_ptr<const ShortNameTable>
PosixNameModel::tableOf(const std::string& nativeFolder) const {
    FolderKey key;
    if (!folderKey(nativeFolder, key))
        return nullptr;
    if (const auto own = m_own.find(key); own != m_own.end())
        return own->second;
    // The first sight of a folder holds for the whole model, whatever the disk does later.
    if (const auto seen = m_seen.find(key); seen != m_seen.end())
        return seen->second;
    auto table = m_platform.directoryCache().table(nativeFolder);
    m_seen.emplace(key, table);
    return table;
}

ResolvedPath PosixNameModel::resolve(const std::wstring& drivePath) const {
    return resolveDrivePath(drivePath, m_platform.driveMap(),
                            [this](const std::string& folder) { return tableOf(folder); });
}

NameModel::Id PosixNameModel::newItem(const FolderKey& folder, const std::string& nativeName,
                                      Kind kind) const {
    m_items.push_back({folder, nativeName, kind});
    return m_next++;
}

NameModel::Id PosixNameModel::idOf(const FolderKey& folder, const Located& located) const {
    if (!located.entry) {
        const auto known = m_ids.find({folder, located.name});
        return known != m_ids.end() ? known->second : 0;
    }
    if (m_own.count(folder))
        return ShortNameTable::tag(located.entry);
    const auto seen = m_seenIds.find(folder);
    const auto table = m_seen.find(folder);
    if (seen == m_seenIds.end() || table == m_seen.end())
        return 0;
    return seen->second[table->second->position(located.entry)];
}

void PosixNameModel::keepId(const FolderKey& folder, const Located& located, Id id) const {
    if (!located.entry) {
        m_ids.emplace(std::pair{folder, std::string_view(itemOf(id).nativeName)}, id);
    } else if (m_own.count(folder)) {
        ShortNameTable::setTag(located.entry, id);
    } else {
        const ShortNameTable& table = *m_seen.at(folder);
        std::vector<Id>& ids = m_seenIds[folder];
        ids.resize(table.size());
        ids[table.position(located.entry)] = id;
    }
}

bool PosixNameModel::dependsOnUncertain(const std::string& nativeFolder, const std::wstring& typed,
                                        bool exists, const std::string& name) const {
    if (m_uncertain.empty())
        return false;
    FolderKey folder;
    if (!folderKey(nativeFolder, folder))
        return false;
    const auto uncertain = m_uncertain.find(folder);
    if (uncertain == m_uncertain.end())
        return false;
    // An exact name finds its own entry whatever else is there.
    if (exists && name == toUtf8(typed))
        return false;
    return uncertain->second.count(uncertainKey(folder, typed)) != 0;
}

std::wstring PosixNameModel::nameKey(const FolderKey& folder, const std::wstring& name) const {
    const auto rules = m_rules.find(folder);
    if (rules != m_rules.end() && rules->second.ignoresCase)
        return rules->second.sameNameKey(name);
    return foldCase(name);
}

std::string PosixNameModel::uncertainKey(const FolderKey& folder, const std::wstring& name) const {
    return toUtf8(nameKey(folder, name));
}

const std::multimap<std::wstring, std::string>&
PosixNameModel::namesByKey(const FolderKey& key, const std::string& nativeFolder,
                           const FolderRules& rules) const {
    const auto known = m_namesByKey.find(key);
    if (known != m_namesByKey.end())
        return known->second;
    std::multimap<std::wstring, std::string>& names = m_namesByKey[key];
    if (const auto table = tableOf(nativeFolder))
        for (const ShortNameTable::Entry* entry : table->entries())
            names.emplace(rules.sameNameKey(ShortNameTable::name(entry)),
                          ShortNameTable::nativeName(entry));
    return names;
}

void PosixNameModel::matchAsTheFolderDoes(Located& located, const std::wstring& typed) const {
    if (m_rules.empty() || !located.valid || located.exists || located.folder.empty())
        return;
    FolderKey key;
    if (!folderKey(located.folder, key))
        return;
    const auto rules = m_rules.find(key);
    if (rules == m_rules.end())
        return;
    // The file system's own short names cannot be foreseen: a "~" name may be one of them.
    if (rules->second.ownShortNames && typed.find(L'~') != std::wstring::npos) {
        located.unsure = true;
        return;
    }
    if (!rules->second.ignoresCase)
        return;
    const auto& names = namesByKey(key, located.folder, rules->second);
    const auto match = names.find(rules->second.sameNameKey(typed));
    if (match == names.end())
        return;
    located.exists = true;
    located.name = match->second;
    const auto table = tableOf(located.folder);
    located.entry = table ? table->findExact(located.name) : nullptr;
    located.native = joinNative(located.folder, located.name);
    located.shortPath.clear();
}

void PosixNameModel::touch(const FolderKey& folder) {
    ++m_revisions[folder];
}

PosixNameModel::Located PosixNameModel::locateResolving(const std::wstring& drivePath) const {
    const ResolvedPath resolved = resolve(drivePath);
    Located located;
    located.valid = resolved.valid;
    located.exists = resolved.exists;
    located.native = resolved.native;
    located.shortPath = shortForm(resolved);
    for (const ResolvedPart& part : resolved.parts) {
        if (dependsOnUncertain(part.folder, part.typed, part.exists, part.name))
            located.unsure = true;
        if (!part.exists)
            break;
    }
    if (!resolved.parts.empty()) {
        located.folder = resolved.parts.back().folder;
        located.name = resolved.parts.back().name;
        located.entry = resolved.parts.back().entry;
        if (located.entry)
            located.type = ShortNameTable::type(located.entry);
        matchAsTheFolderDoes(located, resolved.parts.back().typed);
    }
    return located;
}

const PosixNameModel::FolderView& PosixNameModel::folderView(const std::wstring& folderPath) const {
    const auto fresh = [this](const FolderView& view) {
        for (const auto& [folder, revision] : view.lookedInto) {
            const auto now = m_revisions.find(folder);
            if ((now == m_revisions.end() ? 0 : now->second) != revision)
                return false;
        }
        return true;
    };
    const auto known = m_folderViews.find(folderPath);
    if (known != m_folderViews.end() && fresh(known->second))
        return known->second;
    FolderView view;
    view.located = locateResolving(folderPath);
    for (const ResolvedPart& part : resolve(folderPath).parts) {
        FolderKey folder;
        if (folderKey(part.folder, folder)) {
            const auto now = m_revisions.find(folder);
            view.lookedInto.emplace_back(folder, now == m_revisions.end() ? 0 : now->second);
        }
    }
    return m_folderViews[folderPath] = std::move(view);
}

PosixNameModel::Located PosixNameModel::locate(const std::wstring& drivePath) const {
    // "folder\name": the folder as resolved before, and one lookup in its table. Anything else
    // (a drive root, a trailing "\", "." or "..") is resolved from the start.
    std::size_t separator = drivePath.size();
    while (separator > 0 && drivePath[separator - 1] != L'\\' && drivePath[separator - 1] != L'/')
        --separator;
    separator = separator == 0 ? std::wstring::npos : separator - 1;
    if (separator == std::wstring::npos || separator < 2 || separator + 1 >= drivePath.size())
        return locateResolving(drivePath);
    const std::wstring typed = drivePath.substr(separator + 1);
    if (typed == L"." || typed == L"..")
        return locateResolving(drivePath);
    const FolderView& view = folderView(drivePath.substr(0, separator == 2 ? 3 : separator));
    if (!view.located.valid || !view.located.exists)
        return locateResolving(drivePath);
    const auto table = tableOf(view.located.native);
    if (!table)
        return locateResolving(drivePath);

    Located located;
    located.valid = true;
    located.folder = view.located.native;
    const ShortNameTable::Entry* entry = table->resolve(typed);
    located.exists = entry != nullptr;
    located.entry = entry;
    located.name = entry ? ShortNameTable::nativeName(entry) : toUtf8(typed);
    located.type = entry ? ShortNameTable::type(entry) : 0;
    located.native = joinNative(located.folder, located.name);
    if (entry && !view.located.shortPath.empty()) {
        const std::string& folder = view.located.shortPath;
        located.shortPath = folder;
        if (folder.back() != '\\')
            located.shortPath += '\\';
        located.shortPath += table->shortName(entry);
    }
    matchAsTheFolderDoes(located, typed);
    located.unsure = located.unsure || view.located.unsure ||
                     dependsOnUncertain(located.folder, typed, located.exists, located.name);
    return located;
}

NameModel::Found PosixNameModel::find(const std::wstring& drivePath) const {
    return found(locate(drivePath));
}

NameModel::Found PosixNameModel::findWithShortPath(const std::wstring& drivePath,
                                                   std::wstring& shortForm) const {
    const Located located = locate(drivePath);
    shortForm = fromUtf8(located.shortPath);
    return found(located);
}

NameModel::Found PosixNameModel::found(const Located& located) const {
    if (located.unsure)
        return {Kind::Unsure, 0, {}};
    if (!located.valid || !located.exists)
        return {};
    FolderKey folder{};
    // A drive root is the folder itself.
    if (!folderKey(located.folder.empty() ? located.native : located.folder, folder))
        return {};
    Id id = idOf(folder, located);
    if (id == 0) {
        id = newItem(folder, located.name, kindOnDisk(located.native, located.type));
        keepId(folder, located, id);
    }
    const Item& item = itemOf(id);
    if (item.kind == Kind::Nothing)
        return {};
    return {item.kind, id, fromUtf8(located.name)};
}

std::wstring PosixNameModel::shortPath(const std::wstring& drivePath) const {
    return fromUtf8(locate(drivePath).shortPath);
}

ShortNameTable& PosixNameModel::ownTable(const FolderKey& key) {
    auto& own = m_own[key];
    if (!own) {
        const auto seen = m_seen.find(key);
        own = seen != m_seen.end() && seen->second
                  ? std::make_shared<ShortNameTable>(*seen->second)
                  : std::make_shared<ShortNameTable>(std::vector<std::string>{});
        // The copy holds the same entries in the same order: the ids go with them.
        if (const auto ids = m_seenIds.find(key); ids != m_seenIds.end()) {
            const auto entries = own->entries();
            for (std::size_t i = 0; i < entries.size() && i < ids->second.size(); ++i)
                ShortNameTable::setTag(entries[i], ids->second[i]);
            m_seenIds.erase(ids);
        }
    }
    return *own;
}

void PosixNameModel::place(Id id, const std::string& nativeName) {
    const FolderKey folder = itemOf(id).folder;
    addName(id, folder, nativeName);
    remember([this, folder, nativeName] { dropName(folder, nativeName); });
}

void PosixNameModel::unplace(Id id) {
    const Item& item = itemOf(id);
    const FolderKey folder = item.folder;
    const std::string nativeName = item.nativeName;
    dropName(folder, nativeName);
    remember([this, id, folder, nativeName] { addName(id, folder, nativeName); });
}

NameModel::Id PosixNameModel::create(const std::wstring& drivePath) {
    const Located located = locate(drivePath);
    FolderKey folder{};
    if (!located.valid || located.folder.empty() || !folderKey(located.folder, folder))
        return 0;
    const Id id = newItem(folder, {}, Kind::File);
    remember([this, id] { itemOf(id) = {}; });
    place(id, located.name);
    return id;
}

void PosixNameModel::rename(Id id, const std::wstring& newName) {
    unplace(id);
    place(id, toUtf8(newName));
}

void PosixNameModel::remove(Id id) {
    unplace(id);
}

void PosixNameModel::useFolderRules(const std::wstring& folder, const FolderRules& rules) {
    const ResolvedPath resolved = resolve(folder);
    FolderKey key;
    if (!resolved.valid || !folderKey(resolved.native, key))
        return;
    m_rules[key] = rules;
    m_namesByKey.erase(key);
    touch(key);
}

void PosixNameModel::addName(Id id, const FolderKey& folder, const std::string& nativeName) {
    touch(folder);
    ShortNameTable& table = ownTable(folder);
    const ShortNameTable::Entry* entry = table.insert(nativeName);
    if (!entry)
        entry = table.findExact(nativeName);
    if (const auto index = m_namesByKey.find(folder); index != m_namesByKey.end())
        index->second.emplace(m_rules.at(folder).sameNameKey(fromUtf8(nativeName)), nativeName);
    std::string& name = itemOf(id).nativeName;
    name = nativeName;
    if (entry) {
        ShortNameTable::setTag(entry, id);
        return;
    }
    // A name no table takes. A key that stays must view this item's own name.
    if (const auto [it, added] = m_ids.try_emplace({folder, name}, id); !added) {
        m_ids.erase(it);
        m_ids.emplace(std::pair{folder, std::string_view(name)}, id);
    }
}

void PosixNameModel::dropName(const FolderKey& folder, const std::string& nativeName) {
    touch(folder);
    ShortNameTable& table = ownTable(folder);
    if (const ShortNameTable::Entry* entry = table.findExact(nativeName))
        table.erase(entry);
    m_ids.erase({folder, nativeName});
    const auto index = m_namesByKey.find(folder);
    if (index == m_namesByKey.end())
        return;
    auto [first, last] =
        index->second.equal_range(m_rules.at(folder).sameNameKey(fromUtf8(nativeName)));
    for (auto it = first; it != last; ++it)
        if (it->second == nativeName) {
            index->second.erase(it);
            return;
        }
}

void PosixNameModel::markUncertain(Id id) {
    const Item& item = itemOf(id);
    const std::string folded = uncertainKey(item.folder, fromUtf8(item.nativeName));
    const FolderKey folder = item.folder;
    touch(folder);
    ++m_uncertain[folder][folded];
    remember([this, folder, folded] {
        touch(folder);
        auto& names = m_uncertain[folder];
        if (--names[folded] == 0)
            names.erase(folded);
        if (names.empty())
            m_uncertain.erase(folder);
    });
}

} // namespace tw::posix
