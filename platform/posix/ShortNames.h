#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Short (8.3) names of the entries of one directory, computed the same way every time, and
// the resolution of a typed name back to the entry it stands for.
namespace tw::posix {

// A name that is its own short name (in upper case): base of 1 to 8 characters, optionally
// one dot and an extension of 1 to 3, all from A-Z a-z 0-9 ! # $ % & ' ( ) - @ ^ _ ` { } ~.
bool isValidShortName(std::wstring_view name);

// The short names of a set of sibling names given in listing order (listingLess), one per
// name, all different without regard to case. Valid 8.3 names keep themselves in upper case
// (one that already is upper case goes first, then the earliest); every other name gets the
// numeric-tail form BASE~N.EXT, N counted per basis in listing order, skipping forms taken.
std::vector<std::string> makeShortNames(const std::vector<std::wstring>& sortedNames);

// The entries of one directory with their short names; looks up names three ways.
class ShortNameTable {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Native names in any order; names a drive path cannot carry are dropped.
    explicit ShortNameTable(const std::vector<std::string>& nativeNames);

    std::size_t size() const { return m_entries.size(); }
    const std::string& nativeName(std::size_t i) const { return m_entries[i].nativeName; }
    const std::wstring& name(std::size_t i) const { return m_entries[i].name; }
    const std::string& shortName(std::size_t i) const { return m_entries[i].shortName; }

    // The entry a path component typed as `text` names: the exact name first, then the one
    // name equal to it without regard to case, then the entry whose short name it is.
    std::size_t resolve(std::wstring_view text) const;
    std::size_t findExact(const std::string& nativeName) const;

private:
    struct Entry {
        std::string nativeName;
        std::wstring name;
        std::string shortName;
    };
    std::vector<Entry> m_entries; // in listing order
    std::unordered_map<std::string, std::size_t> m_byNativeName;
    std::unordered_map<std::wstring, std::size_t> m_byFoldedName; // npos when ambiguous
    std::unordered_map<std::string, std::size_t> m_byShortName;
};

} // namespace tw::posix
