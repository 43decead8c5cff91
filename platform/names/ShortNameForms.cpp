#include "ShortNameForms.h"

namespace tw::posix::shortnames {

TailStem stemOf(std::string_view name) {
    TailStem stem;
    // Blanks go, leading dots go, the last dot left splits base and extension, other dots go.
    std::size_t start = 0;
    while (start < name.size() && (name[start] == ' ' || name[start] == '.'))
        ++start;
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < start)
        dot = name.size();
    // One character per code point: continuation bytes are skipped, a lead byte becomes "_".
    const auto character = [](char c, char& out) {
        const auto b = static_cast<unsigned char>(c);
        if (b == ' ' || b == '.' || (b & 0xC0) == 0x80)
            return false;
        out = b < 0x80 ? tailChar(static_cast<wchar_t>(b)) : '_';
        return true;
    };
    for (std::size_t i = start; i < dot && stem.baseSize < stem.base.size(); ++i)
        if (character(name[i], stem.base[stem.baseSize]))
            ++stem.baseSize;
    if (stem.baseSize == 0)
        stem.base[stem.baseSize++] = '_';
    for (std::size_t i = dot + 1; i < name.size() && stem.extensionSize < stem.extension.size();
         ++i)
        if (character(name[i], stem.extension[stem.extensionSize]))
            ++stem.extensionSize;
    return stem;
}

std::string basisKey(std::string_view extension, std::string_view base) {
    std::string key(extension);
    key += '|';
    key += base;
    return key;
}

bool readTail(const Form& form, TailForm& tail) {
    const std::string_view text = form.view();
    const std::size_t tilde = text.rfind('~');
    if (tilde == std::string_view::npos)
        return false;
    const std::size_t dot = text.find('.', tilde);
    const std::string_view digits =
        text.substr(tilde + 1, dot == std::string_view::npos ? dot : dot - tilde - 1);
    if (digits.empty() || digits.front() == '0')
        return false;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), tail.number);
    if (error != std::errc() || end != digits.data() + digits.size())
        return false;
    tail.prefix = text.substr(0, tilde);
    tail.extension = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    return true;
}

bool isValidShortNameUtf8(std::string_view name) {
    // Never longer than twelve characters, all of them ASCII.
    if (name.size() > 12 || !isAscii(name))
        return false;
    std::array<wchar_t, 12> wide{};
    std::copy(name.begin(), name.end(), wide.begin());
    return isValidShortName(std::wstring_view(wide.data(), name.size()));
}

} // namespace tw::posix::shortnames
