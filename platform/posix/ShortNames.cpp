#include "ShortNames.h"

#include "Text.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace tw::posix {

namespace {

using text::isShortNameChar;

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
char tailChar(wchar_t c) {
    return isShortNameChar(c) ? upperAscii(c) : '_';
}

std::size_t decimalDigits(std::size_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
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

} // namespace

TailBasis tailBasis(std::wstring_view name) {
    TailParts parts = tailParts(name);
    parts.base.resize(std::min<std::size_t>(parts.base.size(), 6));
    return {std::move(parts.base), std::move(parts.extension)};
}

bool typedTail(std::wstring_view text, TailBasis& parts) {
    const std::size_t tilde = text.rfind(L'~');
    if (tilde == std::wstring_view::npos)
        return false;
    const std::size_t dot = text.rfind(L'.');
    parts.base = upperOfShortName(text.substr(0, tilde));
    parts.extension = dot == std::wstring_view::npos || dot < tilde
                          ? std::string()
                          : upperOfShortName(text.substr(dot + 1));
    return true;
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

struct ShortNameTable::Entry {
    std::string nativeName;
    std::wstring name;
    std::wstring folded;
    std::string shortName;
};

// Entries by native name; the orders and indexes derived from them are rebuilt from scratch
// after a change, the next time they are needed.
struct ShortNameTable::State {
    std::unordered_map<std::string, std::unique_ptr<Entry>> byNativeName;
    bool stale = true;
    std::vector<Entry*> ordered;                       // listing order
    std::unordered_map<std::wstring, Entry*> byFolded; // null when two names fold alike
    std::unordered_map<std::string, Entry*> byShortName;

    void refresh() {
        if (!stale)
            return;
        ordered.clear();
        ordered.reserve(byNativeName.size());
        for (const auto& [native, entry] : byNativeName)
            ordered.push_back(entry.get());
        std::sort(ordered.begin(), ordered.end(), [](const Entry* a, const Entry* b) {
            const int byFoldedName = a->folded.compare(b->folded);
            return byFoldedName != 0 ? byFoldedName < 0 : a->name < b->name;
        });
        std::vector<std::wstring> sortedNames;
        sortedNames.reserve(ordered.size());
        for (const Entry* entry : ordered)
            sortedNames.push_back(entry->name);
        std::vector<std::string> shortNames = makeShortNames(sortedNames);

        byFolded.clear();
        byShortName.clear();
        byFolded.reserve(ordered.size());
        byShortName.reserve(ordered.size());
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            Entry* entry = ordered[i];
            entry->shortName = std::move(shortNames[i]);
            const auto [it, inserted] = byFolded.try_emplace(entry->folded, entry);
            if (!inserted)
                it->second = nullptr;
            byShortName.emplace(entry->shortName, entry);
        }
        stale = false;
    }
};

ShortNameTable::ShortNameTable(const std::vector<std::string>& nativeNames)
    : m_state(std::make_unique<State>()) {
    m_state->byNativeName.reserve(nativeNames.size());
    for (const std::string& nativeName : nativeNames)
        insert(nativeName);
    m_state->refresh();
}

ShortNameTable::ShortNameTable(const ShortNameTable& other) : m_state(std::make_unique<State>()) {
    for (const auto& [native, entry] : other.m_state->byNativeName)
        insert(native);
    m_state->refresh();
}

ShortNameTable::~ShortNameTable() = default;

std::size_t ShortNameTable::size() const {
    return m_state->byNativeName.size();
}

std::vector<const ShortNameTable::Entry*> ShortNameTable::entries() const {
    m_state->refresh();
    return {m_state->ordered.begin(), m_state->ordered.end()};
}

const std::string& ShortNameTable::nativeName(const Entry* entry) {
    return entry->nativeName;
}

const std::wstring& ShortNameTable::name(const Entry* entry) {
    return entry->name;
}

const std::string& ShortNameTable::shortName(const Entry* entry) const {
    m_state->refresh();
    return entry->shortName;
}

const ShortNameTable::Entry* ShortNameTable::findExact(const std::string& nativeName) const {
    const auto it = m_state->byNativeName.find(nativeName);
    return it == m_state->byNativeName.end() ? nullptr : it->second.get();
}

const ShortNameTable::Entry* ShortNameTable::resolve(std::wstring_view text) const {
    if (const Entry* exact = findExact(toUtf8(text)))
        return exact;
    m_state->refresh();
    if (const auto it = m_state->byFolded.find(foldCase(text));
        it != m_state->byFolded.end() && it->second)
        return it->second;
    if (std::any_of(text.begin(), text.end(), [](wchar_t c) { return c <= 0 || c >= 0x80; }))
        return nullptr;
    const auto it = m_state->byShortName.find(upperOfShortName(text));
    return it == m_state->byShortName.end() ? nullptr : it->second;
}

const ShortNameTable::Entry* ShortNameTable::insert(const std::string& nativeName) {
    if (!isCarriableName(nativeName) || nativeName == "." || nativeName == "..")
        return nullptr;
    auto entry = std::make_unique<Entry>();
    entry->nativeName = nativeName;
    entry->name = fromUtf8(nativeName);
    entry->folded = foldCase(entry->name);
    const auto [it, inserted] = m_state->byNativeName.try_emplace(nativeName, std::move(entry));
    if (!inserted)
        return nullptr;
    m_state->stale = true;
    return it->second.get();
}

void ShortNameTable::erase(const Entry* entry) {
    if (m_state->byNativeName.erase(entry->nativeName) != 0)
        m_state->stale = true;
}

} // namespace tw::posix
