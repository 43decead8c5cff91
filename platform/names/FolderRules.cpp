#include "FolderRules.h"

#include "platform/Text.h"

#include <cstdint>
#include <cstdio>

namespace tw {

namespace {

constexpr wchar_t kWindowsRefused[] = L"\"*:<>?\\|";

std::wstring shown(wchar_t c) {
    if (static_cast<std::uint32_t>(c) < 0x20) {
        wchar_t code[8];
        std::swprintf(code, 8, L"%04X", static_cast<unsigned>(c));
        return L"the control character U+" + std::wstring(code);
    }
    if (c == L'"')
        return L"a double quote";
    if (c == L'\\')
        return L"a backslash";
    return L"\"" + std::wstring(1, c) + L"\"";
}

} // namespace

std::size_t utf16Units(std::wstring_view name) {
    std::size_t units = 0;
    for (const wchar_t c : name)
        units += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
    return units;
}

FolderRules FolderRules::posix() {
    return {};
}

FolderRules FolderRules::windowsMedia() {
    FolderRules rules;
    rules.ignoresCase = true;
    rules.refused = kWindowsRefused;
    rules.refusesControl = true;
    rules.maxBytes = 0;
    rules.maxUnits = 255;
    return rules;
}

FolderRules FolderRules::strictest() {
    FolderRules rules = windowsMedia();
    rules.ownShortNames = true;
    rules.maxBytes = 255;
    return rules;
}

std::wstring FolderRules::whyRefused(std::wstring_view name) const {
    for (const wchar_t c : name) {
        const bool control = static_cast<std::uint32_t>(c) < 0x20;
        const bool nonAscii = static_cast<std::uint32_t>(c) >= 0x80;
        if ((control && refusesControl) || (nonAscii && refusesNonAscii) ||
            (!control && refused.find(c) != std::wstring::npos))
            return L"the output folder's file system cannot hold " + shown(c) + L" in a name";
    }
    const bool tooManyBytes = maxBytes != 0 && text::toUtf8(name).size() > maxBytes;
    const bool tooManyUnits = maxUnits != 0 && utf16Units(name) > maxUnits;
    if (tooManyBytes || tooManyUnits)
        return L"the name would be longer than the output folder allows";
    return {};
}

std::wstring FolderRules::sameNameKey(std::wstring_view name) const {
    std::wstring key(name);
    if (ignoresCase)
        for (wchar_t& c : key)
            c = text::foldWide(c);
    return key;
}

} // namespace tw
