#include "Module1.h"

#include "platform/Platform.h"

namespace tw {

std::wstring ShortPath(const Platform& platform, const std::wstring& path) {
    return wholeShortPath(platform, path);
}

std::wstring LastPathPart(const std::wstring& path) {
    const std::size_t n = path.size();
    std::size_t i = n; // 1-based position being looked at
    bool found = false;
    while (!found && i > 1) {
        --i;
        if (path[i - 1] == L'\\')
            found = true;
    }
    return found ? path.substr(i) : path;
}

} // namespace tw
