#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Short (8.3) names of the entries of one directory, computed the same way every time, and
// the resolution of a typed name back to the entry it stands for.
namespace tw::posix {

using text::isValidShortName;

// The short names of a set of sibling names given in listing order (listingLess), one per
// name, all different without regard to case. Valid 8.3 names keep themselves in upper case
// (one that already is upper case goes first, then the earliest); every other name gets the
// numeric-tail form BASE~N.EXT, N counted per basis in listing order, skipping forms taken.
std::vector<std::string> makeShortNames(const std::vector<std::wstring>& sortedNames);

// The entries of one directory with their short names; looks up names three ways. Names can
// come and go (a model of a folder while a script runs in it): the short names are then those
// a fresh table of the new set of names would give. A change costs what it really changes: the
// tails it shifts are worked out again, lazily, when a lookup needs them. A table that has
// only been built (or copied) is complete and may be read from several threads at once; one
// that has been changed belongs to one thread.
class ShortNameTable {
public:
    // One entry; the pointer stays valid until the entry is erased or the table goes.
    struct Entry;

    // Native names in any order; names a drive path cannot carry, "." and ".." are dropped.
    // `types` (when given, one per name) are the listing's d_type values.
    explicit ShortNameTable(const std::vector<std::string>& nativeNames,
                            const std::vector<unsigned char>& types = {});
    // A copy that can change on its own.
    ShortNameTable(const ShortNameTable& other);
    ShortNameTable& operator=(const ShortNameTable&) = delete;
    ~ShortNameTable();

    std::size_t size() const;
    // Every entry, in listing order.
    std::vector<const Entry*> entries() const;

    static const std::string& nativeName(const Entry* entry);
    // What the listing said the entry is (DT_REG, DT_DIR, ...); DT_UNKNOWN when it said nothing
    // or the entry came later.
    static unsigned char type(const Entry* entry);
    // Made from the native name on each call: the table keeps names as UTF-8 only.
    static std::wstring name(const Entry* entry);
    std::string_view shortName(const Entry* entry) const;

    // The entry a path component typed as `text` names: the exact name first, then the one
    // name equal to it without regard to case, then the entry whose short name it is; null
    // when none.
    const Entry* resolve(std::wstring_view text) const;

    // A number the table's owner keeps with an entry (a model's identity of it), so that it
    // needs no lookup of its own: 0 until set, and a copy of the table starts without.
    static std::uint64_t tag(const Entry* entry);
    static void setTag(const Entry* entry, std::uint64_t tag);
    // The entry's place in listing order, from 0, in a table that has not been changed: the
    // owner of a shared table keeps its numbers in an array by this place.
    std::size_t position(const Entry* entry) const;
    const Entry* findExact(const std::string& nativeName) const;

    // A new name appears. It must be one a drive path can carry and not be there yet (exactly);
    // returns null (and changes nothing) otherwise.
    const Entry* insert(const std::string& nativeName);
    // An entry goes; the pointer is no longer valid afterwards.
    void erase(const Entry* entry);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace tw::posix
