#pragma once

#include "platform/posix/Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// What short names are made of, for the rule (makeShortNames) and the folder tables that follow
// it change by change: the characters of a numeric tail, and for the tables a short name kept
// inline with a map of them, a name's stem and the folded order names are listed in. Only the
// short names' own files include it.
namespace tw::posix::shortnames {

using text::isShortNameChar;
using text::isValidShortName;

inline char upperAscii(wchar_t c) {
    return static_cast<char>((c >= L'a' && c <= L'z') ? c - 0x20 : c);
}

// One character of a numeric-tail form: upper case, or "_" for anything outside the 8.3 set.
inline char tailChar(wchar_t c) {
    return isShortNameChar(c) ? upperAscii(c) : '_';
}

inline std::size_t decimalDigits(std::size_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

inline std::uint64_t load64(const char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Eight bytes with their ASCII capitals in lower case; every other byte, UTF-8 included, as is.
inline std::uint64_t lowerAscii8(std::uint64_t x) {
    constexpr std::uint64_t high = 0x8080808080808080u;
    const std::uint64_t low = x & ~high;
    const std::uint64_t fromA = low + 0x3f3f3f3f3f3f3f3fu; // high bit set: byte >= 'A'
    const std::uint64_t pastZ = low + 0x2525252525252525u; // high bit set: byte > 'Z'
    return x | ((fromA & ~pastZ & ~x & high) >> 2);
}

inline unsigned char lowerAscii(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + 0x20) : b;
}

// Byte order of two texts with ASCII letters folded. On folded UTF-8 that is the code-point
// order of the folded names, which listingLess compares first; ASCII names, nearly all of them,
// need no folded copy.
inline int compareFolded(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 8 <= common; i += 8) {
        std::uint64_t x = load64(a.data() + i);
        std::uint64_t y = load64(b.data() + i);
        if (x == y)
            continue; // the same bytes fold alike
        x = lowerAscii8(x);
        y = lowerAscii8(y);
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

inline bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where a name sorts: its folded text (ASCII letters are folded when compared), then itself.
struct Key {
    std::string_view folded;
    std::string_view native;
};

inline bool keyLess(const Key& a, const Key& b) {
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

// Every bit of a word reaches every bit of the result: the map uses the low bits only, and
// forms of one basis differ in their last characters, the high bits of the first word.
inline std::uint64_t mixBits(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
    return x ^ (x >> 31);
}

inline std::size_t hashOf(const Form& form) {
    const auto [a, b] = form.words();
    return static_cast<std::size_t>(mixBits(a ^ mixBits(b ^ 0x9e3779b97f4a7c15u)));
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

inline Form formOfText(std::string_view text) {
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

TailStem stemOf(std::string_view name);

// The key of a basis: extension, a separator no tail character can be, then the base.
std::string basisKey(std::string_view extension, std::string_view base);

// BASE~N.EXT: the base cut so that the base and "~N" fit in eight characters.
inline Form formOf(const TailStem& stem, std::uint32_t number) {
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

bool readTail(const Form& form, TailForm& tail);

// Short names to values, as FormMap, for a folder's forms. A large folder's tails are taken and
// looked up in listing order, which is the order of their numbers: so the numeric tails of one
// prefix and extension are kept in pages of sixteen numbers, and a batch walks through a few
// pages instead of into a random slot of a large map for every name. Other forms go to a
// FormMap. A page stays until the table goes, so a sparse set of tails costs a page each.
template <class Value> class FormTable {
public:
    Value* find(const Form& form) {
        Place place;
        if (!placeOf(form, place))
            return m_others.find(form);
        const std::uint32_t* page = m_pageOf.find(place.page);
        if (!page)
            return nullptr;
        Page& found = m_pages[*page - 1];
        return found.used >> place.slot & 1u ? &found.values[place.slot] : nullptr;
    }
    const Value* find(const Form& form) const { return const_cast<FormTable*>(this)->find(form); }

    // The value of `form`, made value-initialised when missing.
    Value& operator[](const Form& form) {
        Place place;
        if (!placeOf(form, place))
            return m_others[form];
        std::uint32_t& page = m_pageOf[place.page];
        if (page == 0) {
            m_pages.emplace_back();
            page = static_cast<std::uint32_t>(m_pages.size());
        }
        Page& found = m_pages[page - 1];
        const auto bit = static_cast<std::uint16_t>(1u << place.slot);
        if (!(found.used & bit)) {
            found.used |= bit;
            found.values[place.slot] = Value{};
        }
        return found.values[place.slot];
    }

    void erase(const Form& form) {
        Place place;
        if (!placeOf(form, place)) {
            m_others.erase(form);
            return;
        }
        if (const std::uint32_t* page = m_pageOf.find(place.page))
            m_pages[*page - 1].used &= static_cast<std::uint16_t>(~(1u << place.slot));
    }

    // Room for about `count` forms, most of them tails.
    void reserve(std::size_t count) {
        m_pageOf.reserve(count / kPageSize + 1);
        m_pages.reserve(count / kPageSize + 1);
    }

private:
    static constexpr std::uint32_t kPageSize = 16;
    struct Page {
        std::uint16_t used = 0; // which of the values hold one
        std::array<Value, kPageSize> values{};
    };
    // A tail's page: its form with the number's page in the number's place, and its slot there.
    struct Place {
        Form page;
        std::uint32_t slot = 0;
    };

    static bool placeOf(const Form& form, Place& place) {
        TailForm tail;
        if (!readTail(form, tail))
            return false;
        char digits[10];
        const auto end = std::to_chars(digits, digits + sizeof digits, tail.number / kPageSize).ptr;
        // No longer than the form itself: the page's number has no more digits than the tail's.
        place.page.append(tail.prefix);
        place.page.push('~');
        place.page.append({digits, static_cast<std::size_t>(end - digits)});
        if (!tail.extension.empty()) {
            place.page.push('.');
            place.page.append(tail.extension);
        }
        place.slot = tail.number % kPageSize;
        return true;
    }

    FormMap<std::uint32_t> m_pageOf; // page form -> its place in m_pages, from 1
    std::vector<Page> m_pages;
    FormMap<Value> m_others;
};

bool isValidShortNameUtf8(std::string_view name);

// The upper-case form of an 8.3 name (ASCII, at most twelve characters).
inline Form upperForm(std::string_view name) {
    Form form;
    for (const char c : name)
        form.push(upperAscii(static_cast<unsigned char>(c)));
    return form;
}

} // namespace tw::posix::shortnames
