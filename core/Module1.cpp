#include "Module1.h"

#include "platform/Platform.h"

namespace tw {

std::wstring ShortPath(const Platform& platform, const std::wstring& path) {
    // A 64-character buffer, all NUL; whatever the call leaves there up to the first NUL.
    char buffer[64] = {};
    (void)platform.GetShortPathNameA(platform.toEightBit(path).c_str(), buffer, sizeof buffer);
    const std::string shortForm(buffer, sizeof buffer);
    return platform.fromEightBit(shortForm.substr(0, shortForm.find('\0')));
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
