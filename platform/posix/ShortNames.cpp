#include "ShortNames.h"

#include "Text.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace tw::posix {

namespace {

bool isShortNameChar(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'))
        return true;
    return c < 0x80 && c != 0 && std::wstring_view(L"!#$%&'()-@^_`{}~").find(c) != std::wstring_view::npos;
}

char upperAscii(wchar_t c) {
    return static_cast<char>((c >= L'a' && c <= L'z') ? c - 0x20 : c);
}

std::string upperOfShortName(std::wstring_view name) {
    std::string out;
    out.reserve(name.size());
    for (const wchar_t c : name)
        out += upperAscii(c);
    return out;
}

// One character of a numeric-tail form: upper case, or "_" for anything outside the 8.3 set.
char tailChar(wchar_t c) { return isShortNameChar(c) ? upperAscii(c) : '_'; }

std::size_t decimalDigits(std::size_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

struct TailParts {
    std::string base; // cleaned, whole
    std::string extension; // at most three characters
};

// Blanks go, leading dots go, the last remaining dot splits base and extension, other dots go.
TailParts tailParts(std::wstring_view name) {
    std::wstring kept;
    kept.reserve(name.size());
    for (const wchar_t c : name)
        if (c != L' ')
            kept += c;
    const std::size_t firstNonDot = kept.find_first_not_of(L'.');
    if (firstNonDot == std::wstring::npos)
        kept.clear();
    else
        kept.erase(0, firstNonDot);

    const std::size_t lastDot = kept.rfind(L'.');
    const std::wstring_view baseText =
        lastDot == std::wstring::npos ? std::wstring_view(kept) : std::wstring_view(kept).substr(0, lastDot);
    const std::wstring_view extensionText =
        lastDot == std::wstring::npos ? std::wstring_view() : std::wstring_view(kept).substr(lastDot + 1);

    TailParts parts;
    for (const wchar_t c : baseText)
        if (c != L'.')
            parts.base += tailChar(c);
    for (const wchar_t c : extensionText) {
        if (parts.extension.size() == 3)
            break;
        parts.extension += tailChar(c);
    }
    if (parts.base.empty())
        parts.base = "_";
    return parts;
}

} // namespace

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

std::vector<std::string> makeShortNames(const std::vector<std::wstring>& sortedNames) {
    const std::size_t count = sortedNames.size();
    std::vector<std::string> shortNames(count);
    std::unordered_set<std::string> taken;
    taken.reserve(count * 2);

    // Valid 8.3 names first: each upper-case form goes to one name, preferring the name that
    // already is in upper case, else the first in listing order.
    std::unordered_map<std::string, std::size_t> owner;
    for (std::size_t i = 0; i < count; ++i) {
        if (!isValidShortName(sortedNames[i]))
            continue;
        std::string upper = upperOfShortName(sortedNames[i]);
        const auto [it, inserted] = owner.try_emplace(upper, i);
        if (!inserted) {
            const bool candidateIsUpper = upperOfShortName(sortedNames[i]) == toUtf8(sortedNames[i]);
            const bool ownerIsUpper =
                upperOfShortName(sortedNames[it->second]) == toUtf8(sortedNames[it->second]);
            if (candidateIsUpper && !ownerIsUpper)
                it->second = i;
        }
    }
    for (const auto& [upper, index] : owner) {
        shortNames[index] = upper;
        taken.insert(upper);
    }

    // Everything else: numeric tails, counted per basis (six characters of base + extension).
    std::unordered_map<std::string, std::size_t> nextNumber;
    for (std::size_t i = 0; i < count; ++i) {
        if (!shortNames[i].empty())
            continue;
        const TailParts parts = tailParts(sortedNames[i]);
        const std::string basis = parts.base.substr(0, 6) + '.' + parts.extension;
        std::size_t& number = nextNumber.try_emplace(basis, 1).first->second;
        for (;; ++number) {
            const std::size_t digits = decimalDigits(number);
            const std::size_t baseLength = digits < 7 ? 7 - digits : 0;
            std::string form = parts.base.substr(0, baseLength) + '~' + std::to_string(number);
            if (!parts.extension.empty())
                form += '.' + parts.extension;
            if (taken.insert(form).second) {
                shortNames[i] = std::move(form);
                ++number;
                break;
            }
        }
    }
    return shortNames;
}

ShortNameTable::ShortNameTable(const std::vector<std::string>& nativeNames) {
    struct Sortable {
        std::wstring folded;
        std::wstring name;
        const std::string* nativeName;
    };
    std::vector<Sortable> sortable;
    sortable.reserve(nativeNames.size());
    for (const std::string& nativeName : nativeNames) {
        if (!isCarriableName(nativeName) || nativeName == "." || nativeName == "..")
            continue;
        std::wstring name = fromUtf8(nativeName);
        std::wstring folded = foldCase(name);
        sortable.push_back({std::move(folded), std::move(name), &nativeName});
    }
    std::sort(sortable.begin(), sortable.end(), [](const Sortable& a, const Sortable& b) {
        const int byFolded = a.folded.compare(b.folded);
        return byFolded != 0 ? byFolded < 0 : a.name < b.name;
    });

    std::vector<std::wstring> sortedNames;
    sortedNames.reserve(sortable.size());
    for (const Sortable& s : sortable)
        sortedNames.push_back(s.name);
    std::vector<std::string> shortNames = makeShortNames(sortedNames);

    m_entries.reserve(sortable.size());
    m_byNativeName.reserve(sortable.size());
    m_byFoldedName.reserve(sortable.size());
    m_byShortName.reserve(sortable.size());
    for (std::size_t i = 0; i < sortable.size(); ++i) {
        m_byNativeName.emplace(*sortable[i].nativeName, i);
        const auto [it, inserted] = m_byFoldedName.try_emplace(std::move(sortable[i].folded), i);
        if (!inserted)
            it->second = npos;
        m_byShortName.emplace(shortNames[i], i);
        m_entries.push_back({*sortable[i].nativeName, std::move(sortable[i].name),
                             std::move(shortNames[i])});
    }
}

std::size_t ShortNameTable::findExact(const std::string& nativeName) const {
    const auto it = m_byNativeName.find(nativeName);
    return it == m_byNativeName.end() ? npos : it->second;
}

std::size_t ShortNameTable::resolve(std::wstring_view text) const {
    if (const std::size_t exact = findExact(toUtf8(text)); exact != npos)
        return exact;
    if (const auto it = m_byFoldedName.find(foldCase(text));
        it != m_byFoldedName.end() && it->second != npos)
        return it->second;
    if (std::any_of(text.begin(), text.end(), [](wchar_t c) { return c <= 0 || c >= 0x80; }))
        return npos;
    const auto it = m_byShortName.find(upperOfShortName(text));
    return it == m_byShortName.end() ? npos : it->second;
}

} // namespace tw::posix
