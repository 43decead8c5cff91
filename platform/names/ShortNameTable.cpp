#include "ShortNames.h"

#include "ShortNameTableState.h"

#include <algorithm>
#include <cstdint>

namespace tw::posix {

// ShortNameTable gives exactly what makeShortNames gives for its current names, but keeps the
// answer up to date change by change instead of working it out again from scratch.
//
// Entries are kept in listing order with their names as UTF-8. Among 8.3 names equal without
// regard to case, the all-upper-case one sorts first, so the owner of an 8.3 form is simply the
// first of them; the owners change at once with each insert or erase. Every other entry holds a
// numeric tail. After a change the tails are settled again lazily, by a walk in listing order
// that visits only what can differ (ShortNameSettling.cpp).
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

} // namespace

// A fresh table: owners are the first 8.3 name of each case-insensitive group; tails are
// counted per basis in listing order, skipping forms taken, as in makeShortNames.
void ShortNameTable::State::assignAll() {
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

const Entry* ShortNameTable::State::find(std::string_view nativeName) const {
    const std::string folded =
        isAscii(nativeName) ? std::string() : toUtf8(foldCase(fromUtf8(nativeName)));
    return findFolded(folded.empty() ? nativeName : folded,
                      [&](const Entry* entry) { return entry->nativeName == nativeName; });
}

Basis& ShortNameTable::State::basisOf(const Entry& entry) {
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

void ShortNameTable::State::becomeChangeable() {
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

void ShortNameTable::State::ownerChanges(const Form& form, bool ownedNow) {
    if (form.view().find('~') != std::string_view::npos)
        ownedBefore.try_emplace(std::string(form.view()), ownedNow);
}

void ShortNameTable::State::needsTail(const Entry& entry) {
    basisOf(entry).members.insert(&entry);
    pending.insert(&entry);
}

// A name is there (again): it owns its 8.3 form when it is the first of the names equal
// to it without regard to case; otherwise it needs a tail.
void ShortNameTable::State::place(const Entry& entry) {
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

void ShortNameTable::State::remove(std::set<Entry, ListingOrder>::iterator it) {
    const Entry& entry = *it;
    entry.present = false;
    --present;
    unindex(entry);
    if (entry.owner) {
        entry.owner = false;
        // The next name equal to it without regard to case takes its 8.3 form over.
        const Entry* heir = nullptr;
        for (auto next = std::next(it); next != entries.end() && sameFolded(*next, entry); ++next) {
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
    numberAfresh(entries);
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
    numberAfresh(state.entries);
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
        it = state.entries.emplace_hint(it, std::move(described));
        entry = &*it;
        const std::uint64_t low = it == state.entries.begin() ? 0 : std::prev(it)->rank;
        const auto next = std::next(it);
        std::uint64_t high = low <= UINT64_MAX - 2 * kRankGap ? low + 2 * kRankGap : low;
        if (next != state.entries.end())
            high = next->rank;
        if (high - low >= 2)
            entry->rank = low + (high - low) / 2;
        else
            numberAfresh(state.entries);
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
