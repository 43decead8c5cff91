#include "PosixNameModel.h"

#include "PosixPlatform.h"
#include "Text.h"

#include <sys/stat.h>

namespace tw::posix {

namespace {

NameModel::Kind kindOnDisk(const std::string& nativePath) {
    struct stat st {};
    if (::lstat(nativePath.c_str(), &st) != 0)
        return NameModel::Kind::Nothing;
    if (S_ISREG(st.st_mode))
        return NameModel::Kind::File;
    if (S_ISDIR(st.st_mode))
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

NameModel::Id PosixNameModel::idOf(const FolderKey& folder, const std::string& nativeName,
                                   Kind kind) const {
    const auto [it, inserted] = m_ids.try_emplace({folder, nativeName}, 0);
    if (inserted) {
        it->second = m_next++;
        m_items[it->second] = {folder, nativeName, kind};
    }
    return it->second;
}

bool PosixNameModel::dependsOnUncertain(const ResolvedPart& part) const {
    if (m_uncertain.empty())
        return false;
    FolderKey folder;
    if (!folderKey(part.folder, folder))
        return false;
    const auto uncertain = m_uncertain.find(folder);
    if (uncertain == m_uncertain.end())
        return false;
    // An exact name finds its own entry whatever else is there.
    if (part.exists && part.name == toUtf8(part.typed))
        return false;
    return uncertain->second.count(foldCase(part.typed)) != 0;
}

NameModel::Found PosixNameModel::find(const std::wstring& drivePath) const {
    const ResolvedPath resolved = resolve(drivePath);
    for (const ResolvedPart& part : resolved.parts) {
        if (dependsOnUncertain(part))
            return {Kind::Unsure, 0, {}};
        if (!part.exists)
            break;
    }
    if (!resolved.valid || !resolved.exists)
        return {};
    FolderKey folder{};
    std::string nativeName;
    if (resolved.parts.empty()) {
        // A drive root: the folder itself.
        if (!folderKey(resolved.native, folder))
            return {};
    } else {
        const std::size_t slash = resolved.native.rfind('/');
        nativeName = resolved.native.substr(slash + 1);
        if (!folderKey(resolved.parts.back().folder, folder))
            return {};
    }
    const auto known = m_ids.find({folder, nativeName});
    const Id id = known != m_ids.end() ? known->second
                                       : idOf(folder, nativeName, kindOnDisk(resolved.native));
    const Item& item = m_items.at(id);
    if (item.kind == Kind::Nothing)
        return {};
    return {item.kind, id, fromUtf8(nativeName)};
}

std::wstring PosixNameModel::shortPath(const std::wstring& drivePath) const {
    return fromUtf8(shortForm(resolve(drivePath)));
}

ShortNameTable& PosixNameModel::ownTable(const FolderKey& key) {
    auto& own = m_own[key];
    if (!own) {
        const auto seen = m_seen.find(key);
        own = seen != m_seen.end() && seen->second
                  ? std::make_shared<ShortNameTable>(*seen->second)
                  : std::make_shared<ShortNameTable>(std::vector<std::string>{});
    }
    return *own;
}

void PosixNameModel::place(Id id, const std::string& nativeName) {
    Item& item = m_items.at(id);
    ownTable(item.folder).insert(nativeName);
    m_ids[{item.folder, nativeName}] = id;
    item.nativeName = nativeName;
    remember([this, id, nativeName] {
        const Item& back = m_items.at(id);
        ShortNameTable& table = ownTable(back.folder);
        if (const ShortNameTable::Entry* entry = table.findExact(nativeName))
            table.erase(entry);
        m_ids.erase({back.folder, nativeName});
    });
}

void PosixNameModel::unplace(Id id) {
    Item& item = m_items.at(id);
    const std::string nativeName = item.nativeName;
    ShortNameTable& table = ownTable(item.folder);
    if (const ShortNameTable::Entry* entry = table.findExact(nativeName))
        table.erase(entry);
    m_ids.erase({item.folder, nativeName});
    remember([this, id, nativeName] {
        Item& back = m_items.at(id);
        ownTable(back.folder).insert(nativeName);
        m_ids[{back.folder, nativeName}] = id;
        back.nativeName = nativeName;
    });
}

NameModel::Id PosixNameModel::create(const std::wstring& drivePath) {
    const ResolvedPath resolved = resolve(drivePath);
    const std::size_t slash = resolved.native.rfind('/');
    FolderKey folder{};
    if (!resolved.valid || resolved.parts.empty() ||
        !folderKey(resolved.native.substr(0, slash == 0 ? 1 : slash), folder))
        return 0;
    const Id id = m_next++;
    m_items[id] = {folder, {}, Kind::File};
    remember([this, id] { m_items.erase(id); });
    place(id, resolved.native.substr(slash + 1));
    return id;
}

void PosixNameModel::rename(Id id, const std::wstring& newName) {
    unplace(id);
    place(id, toUtf8(newName));
}

void PosixNameModel::remove(Id id) {
    unplace(id);
}

void PosixNameModel::markUncertain(Id id) {
    const Item& item = m_items.at(id);
    const std::wstring folded = foldCase(fromUtf8(item.nativeName));
    const FolderKey folder = item.folder;
    ++m_uncertain[folder][folded];
    remember([this, folder, folded] {
        auto& names = m_uncertain[folder];
        if (--names[folded] == 0)
            names.erase(folded);
        if (names.empty())
            m_uncertain.erase(folder);
    });
}

} // namespace tw::posix
