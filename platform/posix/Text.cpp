#include "Text.h"

#include <cstdint>
#include <cstdio>

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

namespace {

bool isControl(wchar_t c) {
    const auto code = static_cast<std::uint32_t>(c);
    return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

} // namespace

std::wstring shownName(std::string_view nativeName) {
    // Symbols the desktop's own fonts have: a return arrow for a line break, a tab arrow for a
    // tab, the replacement character for anything else.
    std::wstring shown = fromUtf8(nativeName);
    for (wchar_t& c : shown) {
        if (c == L'\n' || c == L'\r')
            c = L'\x21B5';
        else if (c == L'\t')
            c = L'\x21E5';
        else if (isControl(c))
            c = L'\xFFFD';
    }
    return shown;
}

std::wstring whyNotCarriable(std::string_view nativeName) {
    const wchar_t* const rename = L"; rename the file to decode it";
    if (!isValidUtf8(nativeName))
        return L"its name is not UTF-8 text: rename it, e.g. with convmv";
    const std::wstring name = fromUtf8(nativeName);
    for (const wchar_t c : name) {
        if (c == L'\n' || c == L'\r')
            return std::wstring(L"its name holds a line break") + rename;
        if (c == L'\t')
            return std::wstring(L"its name holds a tab") + rename;
        if (isControl(c)) {
            wchar_t code[48];
            std::swprintf(code, 48, L"its name holds the control character U+%04X",
                          static_cast<unsigned>(c));
            return code + std::wstring(rename);
        }
        if (c == L'\\')
            return std::wstring(L"its name holds a backslash, which separates folders in the "
                                L"batch script") +
                   rename;
    }
    return {};
}

} // namespace tw::posix
