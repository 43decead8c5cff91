#include "Text.h"

#include <algorithm>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#else
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>
#endif

namespace tw::text {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool isScalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void appendUtf8(std::string& out, char32_t c) {
    if (!isScalar(c))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one well-formed sequence at bytes[i]; returns its length, or 0 when the byte at i
// does not start one.
std::size_t decodeOne(std::string_view bytes, std::size_t i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    std::size_t length;
    char32_t minimum;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        minimum = 0x80;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        minimum = 0x800;
        c = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        c = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || !isScalar(c))
        return 0;
    return length;
}

constexpr bool kUtf16 = sizeof(wchar_t) == 2;

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char32_t unit(wchar_t c) {
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

void appendCharacter(std::wstring& out, char32_t c) {
    if (kUtf16 && c > 0xFFFF) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

#ifdef _WIN32
// The invariant locale's mapping, so the order and matching of names do not change with the
// user's settings.
wchar_t systemMap(wchar_t c, DWORD how) {
    wchar_t mapped = c;
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, how, &c, 1, &mapped, 1, nullptr, nullptr, 0) != 1)
        return c;
    return mapped;
}

wchar_t systemFold(wchar_t c) {
    return systemMap(c, LCMAP_LOWERCASE);
}
#else
// Simple case mapping of a fixed locale, so the order and matching of names do not change
// with the user's locale settings.
locale_t foldingLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

wchar_t foldFallback(wchar_t c) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 0x20;
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}
#endif

} // namespace

std::string toUtf8(std::wstring_view text) {
    // Names are nearly always ASCII: those go across in one pass.
    std::size_t ascii = 0;
    while (ascii < text.size() && unit(text[ascii]) < 0x80)
        ++ascii;
    std::string out(ascii, '\0');
    std::transform(text.begin(), text.begin() + ascii, out.begin(),
                   [](wchar_t c) { return static_cast<char>(c); });
    if (ascii == text.size())
        return out;
    out.reserve(text.size() + 8);
    for (std::size_t i = ascii; i < text.size(); ++i) {
        char32_t c = unit(text[i]);
        if (kUtf16 && isHighSurrogate(c) && i + 1 < text.size() &&
            isLowSurrogate(unit(text[i + 1])))
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(text[++i]) - 0xDC00);
        appendUtf8(out, c);
    }
    return out;
}

std::wstring fromUtf8(std::string_view bytes) {
    std::size_t ascii = 0;
    while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80)
        ++ascii;
    std::wstring out(ascii, L'\0');
    std::transform(bytes.begin(), bytes.begin() + ascii, out.begin(),
                   [](char c) { return static_cast<wchar_t>(c); });
    if (ascii == bytes.size())
        return out;
    out.reserve(bytes.size());
    std::size_t i = ascii;
    while (i < bytes.size()) {
        char32_t c = 0;
        const std::size_t length = decodeOne(bytes, i, c);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            appendCharacter(out, c);
            i += length;
        }
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t c = 0;
        const std::size_t length = decodeOne(bytes, i, c);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

wchar_t foldCase(wchar_t c) {
    if (c < 0x80)
        return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 0x20) : c;
#ifdef _WIN32
    const wchar_t folded = systemFold(c);
#else
    const locale_t locale = foldingLocale();
    const wchar_t folded =
        locale ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale)) : foldFallback(c);
#endif
    // Kelvin sign, dotted capital I and the like must not turn into ASCII letters.
    return folded < 0x80 ? c : folded;
}

wchar_t foldWide(wchar_t c) {
    if (c < 0x80)
        return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c;
#ifdef _WIN32
    return systemMap(systemMap(c, LCMAP_LOWERCASE), LCMAP_UPPERCASE);
#else
    const locale_t locale = foldingLocale();
    if (!locale)
        return foldFallback(c);
    const auto lower = towlower_l(static_cast<wint_t>(c), locale);
    return static_cast<wchar_t>(towupper_l(lower, locale));
#endif
}

std::wstring foldCase(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        c = foldCase(c);
    return out;
}

bool listingLess(std::wstring_view a, std::wstring_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t fa = foldCase(a[i]);
        const wchar_t fb = foldCase(b[i]);
        if (fa != fb)
            return fa < fb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

void sortForListing(std::vector<std::wstring>& names) {
    struct Keyed {
        std::wstring folded;
        std::wstring name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (std::wstring& name : names) {
        std::wstring folded = foldCase(name);
        keyed.push_back({std::move(folded), std::move(name)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int byFolded = a.folded.compare(b.folded);
        return byFolded != 0 ? byFolded < 0 : a.name < b.name;
    });
    names.clear();
    for (Keyed& entry : keyed)
        names.push_back(std::move(entry.name));
}

namespace {

bool matchOne(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::wstring_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool wildcardMatch(std::wstring_view pattern, std::wstring_view name) {
    std::size_t start = 0;
    while (start <= pattern.size()) {
        std::size_t end = pattern.find(L';', start);
        if (end == std::wstring_view::npos)
            end = pattern.size();
        std::wstring_view one = pattern.substr(start, end - start);
        while (!one.empty() && one.front() == L' ')
            one.remove_prefix(1);
        while (!one.empty() && one.back() == L' ')
            one.remove_suffix(1);
        if (one == L"*.*")
            one = L"*";
        if (!one.empty() && matchOne(one, name))
            return true;
        start = end + 1;
    }
    return false;
}

bool isShortNameChar(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'))
        return true;
    return c < 0x80 && c != 0 &&
           std::wstring_view(L"!#$%&'()-@^_`{}~").find(c) != std::wstring_view::npos;
}

bool isValidShortName(std::wstring_view name) {
    const std::size_t dot = name.find(L'.');
    const std::wstring_view base = name.substr(0, dot);
    if (base.empty() || base.size() > 8)
        return false;
    if (dot != std::wstring_view::npos) {
        const std::wstring_view extension = name.substr(dot + 1);
        if (extension.empty() || extension.size() > 3)
            return false;
        if (!std::all_of(extension.begin(), extension.end(), isShortNameChar))
            return false;
    }
    return std::all_of(base.begin(), base.end(), isShortNameChar);
}

} // namespace tw::text
