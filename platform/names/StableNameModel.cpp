#include "StableNameModel.h"

#include "platform/Platform.h"
#include "platform/Text.h"

namespace tw {

namespace {

std::wstring lastComponent(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// What the extension of a short name the system gives `name` would be, folded: three
// characters of the last extension, those outside the 8.3 set as "_". A typed "~" name can
// only be that name's short name if its own extension is the same.
std::wstring aliasExtension(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    std::wstring extension;
    if (dot == std::wstring::npos)
        return extension;
    for (std::size_t i = dot + 1; i < name.size() && extension.size() < 3; ++i) {
        const wchar_t c = name[i];
        if (c != L' ')
            extension += text::isShortNameChar(c) ? text::foldCase(c) : L'_';
    }
    return extension;
}

} // namespace

StableNameModel::StableNameModel(const Platform& platform) : m_platform(platform) {}

StableNameModel::~StableNameModel() = default;

StableNameModel::Place StableNameModel::place(const std::wstring& drivePath) const {
    Place p;
    std::wstring path = drivePath;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    const std::size_t slash = path.find_last_of(L"\\/");
    if (path.size() <= 3 || slash == std::wstring::npos) {
        p.folder = path;
    } else {
        p.folder = path.substr(0, slash);
        if (p.folder.size() == 2)
            p.folder += L'\\';
        p.name = path.substr(slash + 1);
    }
    p.folderKey = m_platform.nativePath(p.folder);
    return p;
}

NameModel::Id StableNameModel::diskEntry(const Place& place, const std::wstring& path,
                                         const std::wstring& nativeName, Kind kind) const {
    const std::string key = m_platform.nativePath(path);
    if (const auto it = m_diskIds.find(key); it != m_diskIds.end())
        return it->second;
    const Id id = m_next++;
    m_items[id] = {place.folderKey, place.folder, nativeName, kind, text::foldCase(nativeName)};
    m_diskIds.emplace(key, id);
    return id;
}

NameModel::Found StableNameModel::find(const std::wstring& drivePath) const {
    const Place p = place(drivePath);
    if (p.name.empty()) {
        if (!m_platform.isDirectory(p.folder))
            return {};
        return {Kind::Folder, diskEntry(p, p.folder, {}, Kind::Folder), {}};
    }
    const std::wstring folded = text::foldCase(p.name);
    const auto changes = m_changes.find(p.folderKey);
    if (changes != m_changes.end()) {
        if (const auto it = changes->second.named.find(folded); it != changes->second.named.end()) {
            const Item& item = m_items.at(it->second);
            return {item.kind, it->second, item.name};
        }
        if (p.name.find(L'~') != std::wstring::npos) {
            const auto unknown = changes->second.unknownAliases.find(aliasExtension(p.name));
            if (unknown != changes->second.unknownAliases.end() && unknown->second > 0)
                return {Kind::Unsure, 0, {}};
        }
    }
    const std::wstring path = p.folder + (p.folder.back() == L'\\' ? L"" : L"\\") + p.name;
    if (!m_platform.exists(path))
        return {};
    const std::wstring nativeName = lastComponent(text::fromUtf8(m_platform.nativePath(path)));
    const std::wstring foldedNative = text::foldCase(nativeName);
    if (changes != m_changes.end() && changes->second.left.count(foldedNative)) {
        // Its long name is free now; a short name it had may be given to another entry.
        if (foldedNative == folded)
            return {};
        return {Kind::Unsure, 0, {}};
    }
    const Kind kind = m_platform.isDirectory(path) ? Kind::Folder : Kind::File;
    return {kind, diskEntry(p, path, nativeName, kind), nativeName};
}

std::wstring StableNameModel::shortPath(const std::wstring& drivePath) const {
    const Found found = find(drivePath);
    if (found.id == 0)
        return {};
    const Item& item = m_items.at(found.id);
    // A drive root (no name) and a name as the disk has it have the system's short path.
    if (item.name.empty() || (!item.diskName.empty() && text::foldCase(item.name) == item.diskName))
        return wholeShortPath(m_platform, drivePath);
    // Named by the script: only a name that is its own short name is known in advance.
    if (!text::isValidShortName(item.name))
        return {};
    const std::wstring folder = wholeShortPath(m_platform, item.folder);
    if (folder.empty())
        return {};
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + item.name;
}

void StableNameModel::setName(Id id, const std::wstring& name) {
    Item& item = m_items.at(id);
    const std::wstring oldName = item.name;
    const bool wasPresent = item.present;
    Changes& changes = m_changes[item.folderKey];
    const std::wstring key = text::foldCase(name);
    changes.named[key] = id;
    const bool unknown = !text::isValidShortName(name);
    const std::wstring extension = aliasExtension(name);
    if (unknown)
        ++changes.unknownAliases[extension];
    item.name = name;
    item.present = true;
    remember([this, id, key, unknown, extension, oldName, wasPresent] {
        Item& back = m_items.at(id);
        Changes& folder = m_changes[back.folderKey];
        folder.named.erase(key);
        if (unknown)
            --folder.unknownAliases[extension];
        back.name = oldName;
        back.present = wasPresent;
    });
}

void StableNameModel::clearName(Id id) {
    Item& item = m_items.at(id);
    Changes& changes = m_changes[item.folderKey];
    const std::wstring key = text::foldCase(item.name);
    if (const auto it = changes.named.find(key); it != changes.named.end() && it->second == id) {
        changes.named.erase(it);
        const bool unknown = !text::isValidShortName(item.name);
        const std::wstring extension = aliasExtension(item.name);
        if (unknown)
            --changes.unknownAliases[extension];
        remember([this, id, key, unknown, extension] {
            Changes& folder = m_changes[m_items.at(id).folderKey];
            folder.named[key] = id;
            if (unknown)
                ++folder.unknownAliases[extension];
        });
    } else if (!item.diskName.empty() && key == item.diskName &&
               changes.left.insert(item.diskName).second) {
        remember([this, id] {
            const Item& back = m_items.at(id);
            m_changes[back.folderKey].left.erase(back.diskName);
        });
    }
}

NameModel::Id StableNameModel::create(const std::wstring& drivePath) {
    const Place p = place(drivePath);
    const Id id = m_next++;
    m_items[id] = {p.folderKey, p.folder, p.name, Kind::File, {}, true};
    remember([this, id] { m_items.erase(id); });
    setName(id, p.name);
    return id;
}

void StableNameModel::rename(Id id, const std::wstring& newName) {
    clearName(id);
    setName(id, newName);
}

void StableNameModel::remove(Id id) {
    clearName(id);
    Item& item = m_items.at(id);
    const bool wasPresent = item.present;
    item.present = false;
    remember([this, id, wasPresent] { m_items.at(id).present = wasPresent; });
}

void StableNameModel::markUncertain(Id) {}

} // namespace tw
