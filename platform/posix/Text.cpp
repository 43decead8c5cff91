#include "Text.h"

namespace tw::posix {

bool isCarriableName(std::string_view nativeName) {
    if (nativeName.empty())
        return false;
    for (const char ch : nativeName) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7F || ch == '\\')
            return false;
    }
    if (!isValidUtf8(nativeName))
        return false;
    // C1 control characters (U+0080..U+009F) are encoded as C2 80..C2 9F.
    for (std::size_t i = 0; i + 1 < nativeName.size(); ++i) {
        if (static_cast<unsigned char>(nativeName[i]) == 0xC2) {
            const auto next = static_cast<unsigned char>(nativeName[i + 1]);
            if (next >= 0x80 && next <= 0x9F)
                return false;
        }
    }
    return true;
}

} // namespace tw::posix
