#include "Platform.h"

#include "DrivePath.h"
#include "platform/names/StableNameModel.h"

#include <cstring>

namespace tw {

FolderRules Platform::folderRules(const std::wstring&) const {
    return FolderRules::windowsMedia();
}

Status Platform::listEveryFile(const std::wstring& directory, const std::wstring& pattern,
                               std::vector<std::wstring>& names,
                               std::vector<std::wstring>& unusable) const {
    const Status status = listFiles(directory, pattern, names);
    unusable.assign(names.size(), std::wstring());
    return status;
}

std::unique_ptr<NameModel> Platform::nameModel() const {
    return std::make_unique<StableNameModel>(*this);
}

std::wstring wholeShortPath(const Platform& platform, const std::wstring& path) {
    const std::string longPath = platform.toEightBit(path);
    // The path can change between two calls: ask again with what the last call asked for.
    std::string shortPath = fetchGrowing<char>(
        [&](char* buffer, std::size_t size) {
            return platform.GetShortPathNameA(longPath.c_str(), buffer,
                                              static_cast<std::uint32_t>(size));
        },
        64, 4);
    shortPath.resize(
        ::strnlen(shortPath.c_str(), shortPath.size())); // a NUL ends it, whatever the count said
    return shortPath.empty() ? std::wstring() : platform.fromEightBit(shortPath);
}

} // namespace tw
