#include "Platform.h"

#include "StableNameModel.h"

#include <cstring>

namespace tw {

std::unique_ptr<NameModel> Platform::nameModel() const {
    return std::make_unique<StableNameModel>(*this);
}

std::wstring wholeShortPath(const Platform& platform, const std::wstring& path) {
    const std::string longPath = platform.toEightBit(path);
    // The path can change between two calls: ask again, a few times, with what the last call
    // asked for.
    std::string buffer(64, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint32_t length = platform.GetShortPathNameA(
            longPath.c_str(), buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(::strnlen(buffer.data(), length));
            return platform.fromEightBit(buffer);
        }
        buffer.assign(length, '\0');
    }
    return {};
}

} // namespace tw
