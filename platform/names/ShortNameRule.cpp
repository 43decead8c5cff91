#include "ShortNames.h"

#include "ShortNameForms.h"

#include <unordered_map>
#include <unordered_set>

namespace tw::posix {

namespace {

using shortnames::decimalDigits;
using shortnames::tailChar;
using shortnames::upperAscii;

std::string upperOfShortName(std::wstring_view name) {
    std::string out;
    out.reserve(name.size());
    for (const wchar_t c : name)
        out += upperAscii(c);
    return out;
}

struct TailParts {
    std::string base;      // cleaned, whole
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
    const std::wstring_view baseText = lastDot == std::wstring::npos
                                           ? std::wstring_view(kept)
                                           : std::wstring_view(kept).substr(0, lastDot);
    const std::wstring_view extensionText = lastDot == std::wstring::npos
                                                ? std::wstring_view()
                                                : std::wstring_view(kept).substr(lastDot + 1);

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
        parts.base.push_back('_');
    return parts;
}

// Valid 8.3 names first: each upper-case form goes to one name, preferring the name that
// already is in upper case, else the first in listing order.
void claimValidNames(const std::vector<std::wstring>& sortedNames,
                     std::vector<std::string>& shortNames, std::unordered_set<std::string>& taken) {
    std::unordered_map<std::string, std::size_t> owner;
    for (std::size_t i = 0; i < sortedNames.size(); ++i) {
        if (!isValidShortName(sortedNames[i]))
            continue;
        std::string upper = upperOfShortName(sortedNames[i]);
        const auto [it, inserted] = owner.try_emplace(upper, i);
        if (!inserted) {
            const bool candidateIsUpper =
                upperOfShortName(sortedNames[i]) == toUtf8(sortedNames[i]);
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
}

// Everything else: numeric tails, counted per basis (six characters of base + extension).
void giveNumericTails(const std::vector<std::wstring>& sortedNames,
                      std::vector<std::string>& shortNames,
                      std::unordered_set<std::string>& taken) {
    std::unordered_map<std::string, std::size_t> nextNumber;
    for (std::size_t i = 0; i < sortedNames.size(); ++i) {
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
}

} // namespace

std::vector<std::string> makeShortNames(const std::vector<std::wstring>& sortedNames) {
    std::vector<std::string> shortNames(sortedNames.size());
    std::unordered_set<std::string> taken;
    taken.reserve(sortedNames.size() * 2);
    claimValidNames(sortedNames, shortNames, taken);
    giveNumericTails(sortedNames, shortNames, taken);
    return shortNames;
}

} // namespace tw::posix
