#pragma once

#include "platform/names/ShortNameForms.h"
#include "platform/names/ShortNames.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The inside of a ShortNameTable, for the table's own files: ShortNameTable.cpp builds, looks
// up and changes it, ShortNameSettling.cpp works out again the tails a change shifts.
namespace tw::posix {

// The table's files speak in its forms and stems.
using namespace shortnames;

namespace shortnames {
struct Basis;
using Entry = ShortNameTable::Entry;
} // namespace shortnames

struct ShortNameTable::Entry {
    std::string nativeName;
    // The folded name when it is not ASCII; else none, and nativeName ASCII-folded stands for it.
    // Most names are ASCII: a pointer costs them a quarter of an empty string's room.
    std::unique_ptr<const std::string> folded;
    TailStem stem;
    bool valid = false;     // an 8.3 name
    unsigned char type = 0; // the listing's d_type

    // What follows changes with the table; the name and so its place never do.
    mutable Form shortName;
    mutable bool present = true;      // false: erased, kept until its tail has been let go
    mutable bool owner = false;       // holds its own 8.3 form
    mutable std::uint32_t number = 0; // its numeric tail as last settled; 0 for none
    mutable Basis* basis = nullptr;   // once the table has been changed
    // Its place in listing order as a number, so that the sets a walk keeps compare entries
    // without reading their names. Renumbering keeps the order, so those sets stay sorted.
    mutable std::uint64_t rank = 0;
    mutable std::uint64_t tag = 0; // the owner's; never read by the table

    Key key() const { return {folded ? std::string_view(*folded) : nativeName, nativeName}; }
};

namespace shortnames {

struct ListingOrder {
    using is_transparent = void;
    static Key keyOf(const Key& key) { return key; }
    static Key keyOf(const Entry& entry) { return entry.key(); }
    static Key keyOf(const Entry* entry) { return entry->key(); }
    template <class A, class B> bool operator()(const A& a, const B& b) const {
        return keyLess(keyOf(a), keyOf(b));
    }
};

inline bool before(const Entry* a, const Entry* b) {
    assert(a == b || (a->rank < b->rank) == keyLess(a->key(), b->key()));
    return a->rank < b->rank;
}

struct RankOrder {
    bool operator()(const Entry* a, const Entry* b) const { return before(a, b); }
};

// The room between two neighbours' ranks when the table is numbered afresh: a name inserted
// between the same two neighbours 32 times in a row before the table is numbered again. Small
// where assertions check the order, so that the tests number afresh often.
#ifdef NDEBUG
constexpr std::uint64_t kRankGap = std::uint64_t{1} << 32;
#else
constexpr std::uint64_t kRankGap = 4;
#endif

template <class Entries> void numberAfresh(const Entries& entries) {
    std::uint64_t rank = 0;
    for (const Entry& entry : entries)
        entry.rank = rank += kRankGap;
}

inline bool sameFolded(const Entry& a, const Entry& b) {
    return compareFolded(a.key().folded, b.key().folded) == 0;
}

// Who has a short name: the 8.3 name that owns it, the entry that holds it as its tail. Both at
// once only between settling walks (an owner came and the tail has not moved yet).
struct Holders {
    const Entry* owner = nullptr;
    const Entry* tail = nullptr;
};

using EntrySet = std::set<const Entry*, RankOrder>;

// Entries that share a basis count their tail numbers together.
struct Basis {
    TailStem stem;
    EntrySet members; // entries with a tail now or as last settled, in listing order

    // While settling, after the member last visited: the next number to try, for the names as
    // they are (newNext) and as they were when last settled (oldNext).
    std::uint32_t newNext = 1;
    std::uint32_t oldNext = 1;

    // Forms let go in walk `watchWalk` that members of this basis skipped when last settled,
    // with their numbers: the member that skipped one may take it now.
    std::uint64_t watchWalk = 0;
    std::vector<std::pair<Form, std::uint32_t>> watched;
};

// Whether a form is taken for the names as they are, or for them as they were, and not both.
enum class Difference : std::uint8_t { None, OnlyBefore, OnlyNow };

struct Walk {
    std::uint64_t id;
    FormMap<Difference> differences;
    std::vector<const Entry*> retired; // erased entries whose tails have been let go
};

} // namespace shortnames

struct ShortNameTable::State {
    std::set<Entry, ListingOrder> entries; // erased ones too, until settled
    std::size_t present = 0;
    FormTable<Holders> forms;
    // Calls `each` with every present entry equal to `folded` without regard to case, until it
    // returns true; returns that entry, else null. They sit together in listing order, and a
    // batch looks names up in that order, so the walk down finds its way already in the cache.
    template <class Each> const Entry* findFolded(std::string_view folded, Each each) const {
        for (auto it = entries.lower_bound(Key{folded, {}});
             it != entries.end() && compareFolded(it->key().folded, folded) == 0; ++it)
            if (it->present && each(&*it))
                return &*it;
        return nullptr;
    }

    // Kept only once the table has been changed.
    bool changeable = false;
    std::map<std::string, Basis> bases; // by basisKey
    EntrySet pending;                   // to be settled again, in listing order
    // 8.3 forms with a "~" whose owner came or went since the last walk: owned then or not.
    std::map<std::string, bool> ownedBefore;
    std::uint64_t walks = 0;

    bool unsettled() const { return !pending.empty() || !ownedBefore.empty(); }

    // The table's own steps (ShortNameTable.cpp).
    void assignAll();
    const Entry* find(std::string_view nativeName) const;
    Basis& basisOf(const Entry& entry);
    void becomeChangeable();
    void ownerChanges(const Form& form, bool ownedNow);
    void needsTail(const Entry& entry);
    void place(const Entry& entry);
    void remove(std::set<Entry, ListingOrder>::iterator it);

    // Settling the tails after changes (ShortNameSettling.cpp).
    void settle();
    void settleOne(const Entry& entry, Walk& walk);
    void passOver(const Entry& entry);
    std::uint32_t freeNumber(Basis& basis, const Entry& entry, Form& form);
    void letGo(const Form& oldForm, const Entry& entry, Walk& walk);
    void take(const Form& newForm, const Entry& entry, Walk& walk);
    bool takenAt(const Form& form, const Entry& entry) const;
    static bool mayHaveSkipped(const Basis& basis, std::uint32_t number, const Entry* from);
    void watchSkippers(const Form& form, const Entry* from, Walk& walk);
    static bool stillWatching(Basis& basis, const Walk& walk);
    static void countFrom(Basis& basis, const Entry& entry);
};

} // namespace tw::posix
