#include "ShortNames.h"

#include "platform/posix/Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <type_traits>
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

// ShortNameTable gives exactly what makeShortNames gives for its current names, but keeps the
// answer up to date change by change instead of working it out again from scratch.
//
// Entries are kept in listing order with their names as UTF-8. Among 8.3 names equal without
// regard to case, the all-upper-case one sorts first, so the owner of an 8.3 form is simply the
// first of them; the owners change at once with each insert or erase. Every other entry holds a
// numeric tail. After a change the tails are settled again lazily, by a walk in listing order
// that visits only what can differ (see settle below).
namespace {

using Entry = ShortNameTable::Entry;

std::uint64_t load64(const char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Eight bytes with their ASCII capitals in lower case; every other byte, UTF-8 included, as is.
std::uint64_t lowerAscii8(std::uint64_t x) {
    constexpr std::uint64_t high = 0x8080808080808080u;
    const std::uint64_t low = x & ~high;
    const std::uint64_t fromA = low + 0x3f3f3f3f3f3f3f3fu; // high bit set: byte >= 'A'
    const std::uint64_t pastZ = low + 0x2525252525252525u; // high bit set: byte > 'Z'
    return x | ((fromA & ~pastZ & ~x & high) >> 2);
}

unsigned char lowerAscii(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + 0x20) : b;
}

// Byte order of two texts with ASCII letters folded. On folded UTF-8 that is the code-point
// order of the folded names, which listingLess compares first; ASCII names, nearly all of them,
// need no folded copy.
int compareFolded(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 8 <= common; i += 8) {
        std::uint64_t x = lowerAscii8(load64(a.data() + i));
        std::uint64_t y = lowerAscii8(load64(b.data() + i));
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little) {
                x = __builtin_bswap64(x);
                y = __builtin_bswap64(y);
            }
            return x < y ? -1 : 1;
        }
    }
    for (; i < common; ++i) {
        const unsigned char x = lowerAscii(a[i]);
        const unsigned char y = lowerAscii(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where a name sorts: its folded text (ASCII letters are folded when compared), then itself.
struct Key {
    std::string_view folded;
    std::string_view native;
};

bool keyLess(const Key& a, const Key& b) {
    const int byFolded = compareFolded(a.folded, b.folded);
    return byFolded != 0 ? byFolded < 0 : a.native < b.native;
}

// A short name, kept inline: at most 15 characters even with a ten-digit tail number, so maps
// of short names need no allocation per name.
struct Form {
    std::array<char, 15> text{};
    std::uint8_t size = 0;

    void append(std::string_view part) {
        assert(size + part.size() <= text.size());
        std::memcpy(text.data() + size, part.data(), part.size());
        size = static_cast<std::uint8_t>(size + part.size());
    }
    void push(char c) { text[size++] = c; }
    std::string_view view() const { return {text.data(), size}; }
    // The sixteen bytes as two words (unused characters are zero).
    std::array<std::uint64_t, 2> words() const {
        std::array<std::uint64_t, 2> out;
        std::memcpy(out.data(), this, sizeof out);
        return out;
    }
    bool operator==(const Form& other) const { return words() == other.words(); }
};
static_assert(sizeof(Form) == 16 && std::is_trivially_copyable_v<Form>);

std::size_t hashOf(const Form& form) {
    const auto [a, b] = form.words();
    std::uint64_t h = (a ^ 0x9e3779b97f4a7c15u) * 0xbf58476d1ce4e5b9u;
    h = (h ^ b) * 0x94d049bb133111ebu;
    return static_cast<std::size_t>(h ^ (h >> 31));
}

// Short names to values: open addressing with linear probing; erasing moves later slots back,
// so no slot is ever left marked as deleted.
template <class Value> class FormMap {
public:
    Value* find(const Form& key) {
        if (m_slots.empty())
            return nullptr;
        for (std::size_t i = hashOf(key) & m_mask;; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.key.size == 0)
                return nullptr;
            if (slot.key == key)
                return &slot.value;
        }
    }
    const Value* find(const Form& key) const { return const_cast<FormMap*>(this)->find(key); }

    // The value of `key`, made value-initialised when missing.
    Value& operator[](const Form& key) {
        if ((m_count + 1) * 2 > m_slots.size())
            rehash(std::max<std::size_t>(16, m_slots.size() * 2));
        for (std::size_t i = hashOf(key) & m_mask;; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.key.size == 0) {
                slot.key = key;
                ++m_count;
                return slot.value;
            }
            if (slot.key == key)
                return slot.value;
        }
    }

    void erase(const Form& key) {
        if (m_slots.empty())
            return;
        std::size_t hole = hashOf(key) & m_mask;
        for (;; hole = (hole + 1) & m_mask) {
            if (m_slots[hole].key.size == 0)
                return;
            if (m_slots[hole].key == key)
                break;
        }
        for (std::size_t i = (hole + 1) & m_mask; m_slots[i].key.size != 0; i = (i + 1) & m_mask) {
            // A slot may fill the hole unless its home lies cyclically after the hole.
            const std::size_t home = hashOf(m_slots[i].key) & m_mask;
            const bool stays = hole <= i ? hole < home && home <= i : hole < home || home <= i;
            if (!stays) {
                m_slots[hole] = m_slots[i];
                hole = i;
            }
        }
        m_slots[hole] = Slot{};
        --m_count;
    }

    void reserve(std::size_t count) {
        std::size_t size = 16;
        while (size < count * 2)
            size *= 2;
        if (size > m_slots.size())
            rehash(size);
    }

private:
    struct Slot {
        Form key;
        Value value{};
    };

    void rehash(std::size_t size) {
        std::vector<Slot> old(size);
        old.swap(m_slots);
        m_mask = size - 1;
        for (const Slot& slot : old) {
            if (slot.key.size == 0)
                continue;
            std::size_t i = hashOf(slot.key) & m_mask;
            while (m_slots[i].key.size != 0)
                i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_count = 0;
};

Form formOfText(std::string_view text) {
    Form form;
    form.append(text);
    return form;
}

// What a name's numeric tails are made of (tailParts, read from UTF-8): the first six
// characters of its cleaned base, and its extension.
struct TailStem {
    std::array<char, 6> base{};
    std::array<char, 3> extension{};
    std::uint8_t baseSize = 0;
    std::uint8_t extensionSize = 0;
};

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

// The key of a basis: extension, a separator no tail character can be, then the base.
std::string basisKey(std::string_view extension, std::string_view base) {
    std::string key(extension);
    key += '|';
    key += base;
    return key;
}

// BASE~N.EXT: the base cut so that the base and "~N" fit in eight characters.
Form formOf(const TailStem& stem, std::uint32_t number) {
    char digits[10];
    const std::size_t count = static_cast<std::size_t>(
        std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
    Form form;
    form.append(
        {stem.base.data(), std::min<std::size_t>(stem.baseSize, count < 7 ? 7 - count : 0)});
    form.push('~');
    form.append({digits, count});
    if (stem.extensionSize != 0) {
        form.push('.');
        form.append({stem.extension.data(), stem.extensionSize});
    }
    return form;
}

// A form read as a numeric tail: what stands before its last "~", the number, the extension.
struct TailForm {
    std::string_view prefix;
    std::uint32_t number = 0;
    std::string_view extension;
};

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

// The upper-case form of an 8.3 name (ASCII, at most twelve characters).
Form upperForm(std::string_view name) {
    Form form;
    for (const char c : name)
        form.push(upperAscii(static_cast<unsigned char>(c)));
    return form;
}

struct Basis;

} // namespace

struct ShortNameTable::Entry {
    std::string nativeName;
    std::string folded; // the folded name when it is not ASCII; else nativeName, ASCII-folded
    TailStem stem;
    bool valid = false;     // an 8.3 name
    unsigned char type = 0; // the listing's d_type

    // What follows changes with the table; the name and so its place never do.
    mutable std::string shortName;
    mutable bool present = true;      // false: erased, kept until its tail has been let go
    mutable bool owner = false;       // holds its own 8.3 form
    mutable std::uint32_t number = 0; // its numeric tail as last settled; 0 for none
    mutable Basis* basis = nullptr;   // once the table has been changed

    Key key() const { return {folded.empty() ? nativeName : folded, nativeName}; }
};

namespace {

Entry describe(std::string_view nativeName) {
    Entry entry;
    entry.nativeName = nativeName;
    if (!isAscii(nativeName))
        entry.folded = toUtf8(foldCase(fromUtf8(nativeName)));
    entry.valid = isValidShortNameUtf8(nativeName);
    entry.stem = stemOf(nativeName);
    return entry;
}

struct ListingOrder {
    using is_transparent = void;
    static Key keyOf(const Key& key) { return key; }
    static Key keyOf(const Entry& entry) { return entry.key(); }
    static Key keyOf(const Entry* entry) { return entry->key(); }
    template <class A, class B> bool operator()(const A& a, const B& b) const {
        return keyLess(keyOf(a), keyOf(b));
    }
};

bool before(const Entry* a, const Entry* b) {
    return keyLess(a->key(), b->key());
}

bool sameFolded(const Entry& a, const Entry& b) {
    return compareFolded(a.key().folded, b.key().folded) == 0;
}

// A hash of the text two names equal without regard to case share: their folded text, ASCII
// letters folded as compareFolded folds them.
std::size_t foldedHash(std::string_view folded) {
    std::uint64_t h = 0xcbf29ce484222325u;
    for (const char c : folded)
        h = (h ^ lowerAscii(c)) * 0x100000001b3u;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

// Who has a short name: the 8.3 name that owns it, the entry that holds it as its tail. Both at
// once only between settling walks (an owner came and the tail has not moved yet).
struct Holders {
    const Entry* owner = nullptr;
    const Entry* tail = nullptr;
};

using EntrySet = std::set<const Entry*, ListingOrder>;

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

} // namespace

struct ShortNameTable::State {
    std::set<Entry, ListingOrder> entries; // erased ones too, until settled
    std::size_t present = 0;
    FormMap<Holders> forms;
    // The present entries by foldedHash: a name is looked up in one step, however many the
    // folder holds.
    std::unordered_multimap<std::size_t, const Entry*> byFolded;

    void index(const Entry& entry) { byFolded.emplace(foldedHash(entry.key().folded), &entry); }
    void unindex(const Entry& entry) {
        auto [first, last] = byFolded.equal_range(foldedHash(entry.key().folded));
        for (auto it = first; it != last; ++it)
            if (it->second == &entry) {
                byFolded.erase(it);
                return;
            }
    }
    // Calls `each` with every present entry equal to `folded` without regard to case, until it
    // returns true; returns that entry, else null.
    template <class Each> const Entry* findFolded(std::string_view folded, Each each) const {
        auto [first, last] = byFolded.equal_range(foldedHash(folded));
        for (auto it = first; it != last; ++it)
            if (compareFolded(it->second->key().folded, folded) == 0 && each(it->second))
                return it->second;
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

    // A fresh table: owners are the first 8.3 name of each case-insensitive group; tails are
    // counted per basis in listing order, skipping forms taken, as in makeShortNames.
    void assignAll() {
        forms.reserve(entries.size());
        const Entry* previous = nullptr;
        for (const Entry& entry : entries) {
            if (entry.valid && !(previous && sameFolded(*previous, entry))) {
                const Form upper = upperForm(entry.nativeName);
                entry.owner = true;
                entry.shortName = upper.view();
                forms[upper].owner = &entry;
            }
            previous = &entry;
        }
        FormMap<std::uint32_t> next;
        for (const Entry& entry : entries) {
            if (entry.owner)
                continue;
            Form basis = formOfText({entry.stem.base.data(), entry.stem.baseSize});
            basis.push('|');
            basis.append({entry.stem.extension.data(), entry.stem.extensionSize});
            std::uint32_t& number = next[basis];
            for (number = std::max<std::uint32_t>(number, 1);; ++number) {
                const Form form = formOf(entry.stem, number);
                Holders& holders = forms[form];
                if (holders.owner || holders.tail)
                    continue;
                holders.tail = &entry;
                entry.number = number++;
                entry.shortName = form.view();
                break;
            }
        }
    }

    const Entry* find(std::string_view nativeName) const {
        const std::string folded =
            isAscii(nativeName) ? std::string() : toUtf8(foldCase(fromUtf8(nativeName)));
        return findFolded(folded.empty() ? nativeName : folded,
                          [&](const Entry* entry) { return entry->nativeName == nativeName; });
    }

    Basis& basisOf(const Entry& entry) {
        if (!entry.basis) {
            const auto [it, made] =
                bases.try_emplace(basisKey({entry.stem.extension.data(), entry.stem.extensionSize},
                                           {entry.stem.base.data(), entry.stem.baseSize}));
            if (made)
                it->second.stem = entry.stem;
            entry.basis = &it->second;
        }
        return *entry.basis;
    }

    void becomeChangeable() {
        if (changeable)
            return;
        changeable = true;
        for (const Entry& entry : entries) {
            if (entry.number != 0) {
                EntrySet& members = basisOf(entry).members;
                members.insert(members.end(), &entry);
            }
        }
    }

    void ownerChanges(const Form& form, bool ownedNow) {
        if (form.view().find('~') != std::string_view::npos)
            ownedBefore.try_emplace(std::string(form.view()), ownedNow);
    }

    void needsTail(const Entry& entry) {
        basisOf(entry).members.insert(&entry);
        pending.insert(&entry);
    }

    // A name is there (again): it owns its 8.3 form when it is the first of the names equal
    // to it without regard to case; otherwise it needs a tail.
    void place(const Entry& entry) {
        if (entry.valid) {
            const Form upper = upperForm(entry.nativeName);
            Holders& holders = forms[upper];
            if (!holders.owner || before(&entry, holders.owner)) {
                const Entry* displaced = holders.owner;
                holders.owner = &entry;
                entry.owner = true;
                entry.shortName = upper.view();
                if (displaced) {
                    displaced->owner = false;
                    needsTail(*displaced);
                } else {
                    ownerChanges(upper, false);
                }
                return;
            }
        }
        needsTail(entry);
    }

    void remove(std::set<Entry, ListingOrder>::iterator it) {
        const Entry& entry = *it;
        entry.present = false;
        --present;
        unindex(entry);
        if (entry.owner) {
            entry.owner = false;
            // The next name equal to it without regard to case takes its 8.3 form over.
            const Entry* heir = nullptr;
            for (auto next = std::next(it); next != entries.end() && sameFolded(*next, entry);
                 ++next) {
                if (next->present) {
                    heir = &*next;
                    break;
                }
            }
            const Form upper = upperForm(entry.nativeName);
            Holders& holders = forms[upper];
            holders.owner = heir;
            if (heir) {
                heir->owner = true;
                heir->shortName = upper.view();
                pending.insert(heir);
            } else {
                ownerChanges(upper, true);
                if (!holders.tail)
                    forms.erase(upper);
            }
        }
        if (entry.number != 0) {
            pending.insert(&entry); // its tail is let go when settling
            return;
        }
        if (entry.basis)
            entry.basis->members.erase(&entry);
        pending.erase(&entry);
        entries.erase(it);
    }

    // --- Settling -------------------------------------------------------------------------
    //
    // The walk compares two runs of makeShortNames' tail loop: over the names as they are now
    // ("now") and as they were at the last walk ("before"), whose results every entry still
    // holds until the walk reaches it. It visits, in listing order, only entries whose tail
    // can differ between the two runs:
    //  - entries that changed (pending): new, erased, an owner that became a tail or back;
    //  - the next member of a basis whose next number differs between the runs;
    //  - the entry that held a form before that an entry visited earlier has now taken;
    //  - the members of other bases that skipped a form (as taken) before which is free now,
    //    up to the one that may take it (a form of d digits is shared only by bases whose
    //    first 7-d characters agree, and only with the same extension).
    // An entry reached by none of these tries the same forms with the same answers in both
    // runs, so it keeps its tail. Inserting and then erasing a name between two walks costs
    // nothing here, nor does erasing a name and inserting it again. Each visit costs O(log n).
    // The walk is as long as the change really is, which is linear in these cases: a name
    // that comes or goes early among many of one basis shifts every later tail of it; so does
    // an 8.3 name with a "~" that comes or goes where a long run of tails reaches it; and a
    // form of five or more digits that comes free is watched for in every basis that starts
    // with the same one or two characters. Counting past a long run of taken forms costs that
    // run, as in makeShortNames.

    // Whether `form` is taken, for the names as they are, when the walk is at `entry`.
    bool takenAt(const Form& form, const Entry& entry) const {
        const Holders* holders = forms.find(form);
        if (!holders)
            return false;
        if (holders->owner)
            return true;
        // Held now by an entry before it: one visited in this walk, or one left as it was.
        const Entry* tail = holders->tail;
        return tail && tail != &entry && before(tail, &entry);
    }

    // Whether a member of `basis` after `from` (all of them when null) had a tail number above
    // `number` when last settled, and so skipped `number` on its way. Looks at a few of the
    // last members; when unsure, yes.
    static bool mayHaveSkipped(const Basis& basis, std::uint32_t number, const Entry* from) {
        int unsettled = 8;
        for (auto it = basis.members.rbegin(); it != basis.members.rend(); ++it) {
            if (from && !before(from, *it))
                return false;
            if ((*it)->number != 0)
                return (*it)->number > number;
            if (--unsettled == 0)
                return true;
        }
        return false;
    }

    // `form` is taken before, not now, from `from` on (the start when null): members of
    // other bases that would make it and that skipped it are to be visited.
    void watchSkippers(const Form& form, const Entry* from, Walk& walk) {
        TailForm tail;
        if (!readTail(form, tail))
            return;
        const std::size_t digits = decimalDigits(tail.number);
        if (tail.prefix.size() > (digits < 7 ? 7 - digits : 0))
            return;
        const std::string first = basisKey(tail.extension, tail.prefix);
        for (auto it = bases.lower_bound(first);
             it != bases.end() && it->first.compare(0, first.size(), first) == 0; ++it) {
            Basis& basis = it->second;
            // The basis it came from has counted past it.
            if ((from && &basis == from->basis) || basis.members.empty() ||
                !(formOf(basis.stem, tail.number) == form) ||
                !mayHaveSkipped(basis, tail.number, from))
                continue;
            if (basis.watchWalk != walk.id) {
                basis.watchWalk = walk.id;
                basis.watched.clear();
            }
            basis.watched.emplace_back(form, tail.number);
            // Start at the member holding a number just below, when there is one.
            const Entry* start = nullptr;
            for (std::uint32_t below = tail.number - 1; below >= 1 && below + 8 >= tail.number;
                 --below) {
                const Holders* holders = forms.find(formOf(basis.stem, below));
                const Entry* holder = holders ? holders->tail : nullptr;
                if (holder && holder->basis == &basis && (!from || before(from, holder))) {
                    start = holder;
                    break;
                }
            }
            if (!start) {
                const auto next = from ? basis.members.upper_bound(from) : basis.members.begin();
                if (next != basis.members.end())
                    start = *next;
            }
            if (start)
                pending.insert(start);
        }
    }

    // Whether members of `basis` after the walk's position may still meet a watched form.
    static bool stillWatching(Basis& basis, const Walk& walk) {
        if (basis.watchWalk != walk.id)
            return false;
        std::erase_if(basis.watched, [&](const std::pair<Form, std::uint32_t>& watched) {
            const Difference* difference = walk.differences.find(watched.first);
            return !difference || *difference != Difference::OnlyBefore ||
                   watched.second < basis.oldNext;
        });
        return !basis.watched.empty();
    }

    // Counting for `entry`'s basis goes on after the member before it, whose number is final:
    // visited already, or not in need of a visit. `oldNext` may come out low (when the member
    // before changed, or one between went); that only makes the walk visit one member more.
    static void countFrom(Basis& basis, const Entry& entry) {
        const auto it = basis.members.lower_bound(&entry);
        const Entry* previous = it == basis.members.begin() ? nullptr : *std::prev(it);
        assert(!previous || previous->number != 0);
        basis.newNext = basis.oldNext = previous ? previous->number + 1 : 1;
    }

    void settleOne(const Entry& entry, Walk& walk) {
        Basis& basis = *entry.basis;
        const std::uint32_t oldNumber = entry.number;
        const bool wantsTail = entry.present && !entry.owner;
        if (oldNumber == 0 && !wantsTail) {
            // No tail then or now (an owner that gave way and came back): nothing to count,
            // but a walk along the basis may have to pass on to the next member.
            if (const auto it = basis.members.find(&entry); it != basis.members.end()) {
                const auto next = basis.members.erase(it);
                if (next != basis.members.end())
                    pending.insert(*next);
            }
            return;
        }
        countFrom(basis, entry);
        Form oldForm;
        if (oldNumber != 0) {
            oldForm = formOf(basis.stem, oldNumber);
            basis.oldNext = oldNumber + 1;
        }
        Form newForm;
        std::uint32_t number = 0;
        if (wantsTail) {
            for (number = basis.newNext;; ++number) {
                newForm = formOf(basis.stem, number);
                if (!takenAt(newForm, entry))
                    break;
            }
            basis.newNext = number + 1;
        }

        const bool same = oldNumber != 0 && number == oldNumber;
        if (oldNumber != 0 && !same) {
            if (Holders* holders = forms.find(oldForm); holders && holders->tail == &entry) {
                holders->tail = nullptr;
                if (!holders->owner)
                    forms.erase(oldForm);
            }
            // Taken before from here on; not now, unless an earlier entry took it now.
            Difference& difference = walk.differences[oldForm];
            if (difference == Difference::OnlyNow) {
                walk.differences.erase(oldForm);
            } else {
                difference = Difference::OnlyBefore;
                watchSkippers(oldForm, &entry, walk);
            }
        }
        if (wantsTail && !same) {
            Holders& holders = forms[newForm];
            const Entry* heldBefore = holders.tail;
            holders.tail = &entry;
            const Difference* difference = walk.differences.find(newForm);
            if (difference && *difference == Difference::OnlyBefore) {
                walk.differences.erase(newForm);
            } else if (heldBefore) {
                // A later entry held it before and must now find another.
                assert(before(&entry, heldBefore));
                walk.differences[newForm] = Difference::OnlyNow;
                pending.insert(heldBefore);
            }
        }

        entry.number = number;
        if (wantsTail)
            entry.shortName = newForm.view();
        if (!wantsTail) {
            basis.members.erase(&entry);
            if (!entry.present)
                walk.retired.push_back(&entry);
        }
        if (basis.newNext != basis.oldNext || stillWatching(basis, walk)) {
            const auto next = basis.members.upper_bound(&entry);
            if (next != basis.members.end())
                pending.insert(*next);
        }
    }

    void settle() {
        if (!unsettled())
            return;
        Walk walk{++walks, {}, {}};
        for (const auto& [text, wasOwned] : ownedBefore) {
            const Form form = formOfText(text);
            const Holders* holders = forms.find(form);
            const bool owned = holders && holders->owner;
            if (owned == wasOwned)
                continue;
            if (!owned) {
                walk.differences[form] = Difference::OnlyBefore;
                watchSkippers(form, nullptr, walk);
            } else if (holders->tail) {
                walk.differences[form] = Difference::OnlyNow;
                pending.insert(holders->tail);
            }
        }
        ownedBefore.clear();
        [[maybe_unused]] const Entry* previous = nullptr;
        while (!pending.empty()) {
            const Entry* entry = *pending.begin();
            pending.erase(pending.begin());
            assert(!previous || before(previous, entry));
            settleOne(*entry, walk);
            previous = entry;
        }
        for (const Entry* gone : walk.retired)
            entries.erase(entries.find(gone->key()));
    }
};

ShortNameTable::ShortNameTable(const std::vector<std::string>& nativeNames,
                               const std::vector<unsigned char>& types)
    : m_state(std::make_unique<State>()) {
    std::vector<Entry> described;
    described.reserve(nativeNames.size());
    for (std::size_t i = 0; i < nativeNames.size(); ++i) {
        const std::string& nativeName = nativeNames[i];
        if (!isCarriableName(nativeName) || nativeName == "." || nativeName == "..")
            continue;
        described.push_back(describe(nativeName));
        if (i < types.size())
            described.back().type = types[i];
    }
    // Sorted as compact records, so that comparing does not go through the entries.
    std::vector<std::pair<Key, Entry*>> sorted;
    sorted.reserve(described.size());
    for (Entry& entry : described)
        sorted.emplace_back(entry.key(), &entry);
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return keyLess(a.first, b.first); });
    auto& entries = m_state->entries;
    for (const auto& [key, entry] : sorted)
        if (entries.empty() || std::prev(entries.end())->nativeName != key.native)
            entries.emplace_hint(entries.end(), std::move(*entry));
    m_state->present = entries.size();
    m_state->byFolded.reserve(entries.size());
    for (const Entry& entry : entries)
        m_state->index(entry);
    m_state->assignAll();
}

ShortNameTable::ShortNameTable(const ShortNameTable& other) : m_state(std::make_unique<State>()) {
    other.m_state->settle();
    State& state = *m_state;
    state.forms.reserve(other.m_state->entries.size());
    for (const Entry& entry : other.m_state->entries) {
        Entry copy;
        copy.nativeName = entry.nativeName;
        copy.folded = entry.folded;
        copy.stem = entry.stem;
        copy.valid = entry.valid;
        copy.type = entry.type;
        copy.shortName = entry.shortName;
        copy.owner = entry.owner;
        copy.number = entry.number;
        const Entry& placed = *state.entries.emplace_hint(state.entries.end(), std::move(copy));
        Holders& holders = state.forms[formOfText(placed.shortName)];
        (placed.owner ? holders.owner : holders.tail) = &placed;
        state.index(placed);
    }
    state.present = state.entries.size();
}

ShortNameTable::~ShortNameTable() = default;

std::size_t ShortNameTable::size() const {
    return m_state->present;
}

std::vector<const ShortNameTable::Entry*> ShortNameTable::entries() const {
    std::vector<const Entry*> out;
    out.reserve(m_state->present);
    for (const Entry& entry : m_state->entries)
        if (entry.present)
            out.push_back(&entry);
    return out;
}

const std::string& ShortNameTable::nativeName(const Entry* entry) {
    return entry->nativeName;
}

unsigned char ShortNameTable::type(const Entry* entry) {
    return entry->type;
}

std::wstring ShortNameTable::name(const Entry* entry) {
    return fromUtf8(entry->nativeName);
}

const std::string& ShortNameTable::shortName(const Entry* entry) const {
    // An owner's form is always current; tails may wait for the walk.
    if (!entry->owner)
        m_state->settle();
    return entry->shortName;
}

const ShortNameTable::Entry* ShortNameTable::findExact(const std::string& nativeName) const {
    return m_state->find(nativeName);
}

const ShortNameTable::Entry* ShortNameTable::resolve(std::wstring_view text) const {
    const std::string native = toUtf8(text);
    // The exact name, else the one name equal to it without regard to case. Text that is no
    // Unicode cannot equal any name.
    const bool unicode = std::all_of(text.begin(), text.end(), [](wchar_t c) {
        const auto value = static_cast<std::uint32_t>(c);
        return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    });
    if (unicode) {
        const std::string folded = isAscii(native) ? std::string() : toUtf8(foldCase(text));
        const Entry* only = nullptr;
        std::size_t count = 0;
        const Entry* exact = m_state->findFolded(folded.empty() ? std::string_view(native)
                                                                : std::string_view(folded),
                                                 [&](const Entry* entry) {
                                                     only = entry;
                                                     ++count;
                                                     return entry->nativeName == native;
                                                 });
        if (exact)
            return exact;
        if (count == 1)
            return only;
    } else if (const Entry* exact = m_state->find(native)) {
        return exact;
    }
    // Else the entry whose short name it is.
    if (std::any_of(text.begin(), text.end(), [](wchar_t c) { return c <= 0 || c >= 0x80; }) ||
        native.size() > sizeof(Form::text))
        return nullptr;
    const Form form = upperForm(native);
    const Holders* holders = m_state->forms.find(form);
    if (holders && holders->owner)
        return holders->owner;
    // Only tails are left, and they always hold a "~".
    if (native.find('~') == std::string::npos)
        return nullptr;
    if (m_state->unsettled()) {
        m_state->settle();
        holders = m_state->forms.find(form);
    }
    return holders ? holders->tail : nullptr;
}

const ShortNameTable::Entry* ShortNameTable::insert(const std::string& nativeName) {
    if (!isCarriableName(nativeName) || nativeName == "." || nativeName == "..")
        return nullptr;
    State& state = *m_state;
    state.becomeChangeable();
    Entry described = describe(nativeName);
    auto it = state.entries.lower_bound(described.key());
    const Entry* entry;
    if (it != state.entries.end() && it->nativeName == nativeName) {
        if (it->present)
            return nullptr;
        // Erased and not yet settled: it comes back with the tail it had.
        entry = &*it;
        entry->present = true;
    } else {
        entry = &*state.entries.emplace_hint(it, std::move(described));
    }
    state.index(*entry);
    ++state.present;
    state.place(*entry);
    return entry;
}

void ShortNameTable::erase(const Entry* entry) {
    State& state = *m_state;
    const auto it = state.entries.find(entry->key());
    if (it == state.entries.end() || !it->present)
        return;
    state.becomeChangeable();
    state.remove(it);
}

} // namespace tw::posix
