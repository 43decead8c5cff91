#include "ShortNames.h"

#include "ShortNameTableState.h"

#include <algorithm>
#include <cstdint>
#include <deque>

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

std::string foldedOf(std::string_view nativeName) {
    return isAscii(nativeName) ? std::string() : toUtf8(foldCase(fromUtf8(nativeName)));
}

Entry describe(std::string_view nativeName, std::string folded, unsigned char type = 0) {
    Entry entry;
    entry.nativeName = nativeName;
    if (!folded.empty())
        entry.folded = std::make_unique<const std::string>(std::move(folded));
    entry.type = type;
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
            entry.shortName = upper;
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
            entry.shortName = form;
            break;
        }
    }
}

const Entry* ShortNameTable::State::find(std::string_view nativeName) const {
    const std::string folded = foldedOf(nativeName);
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
            entry.shortName = upper;
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
            heir->shortName = upper;
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
    // Sorted as compact records over the given names; each entry is made once, in its place.
    // Only names that are not ASCII need a folded form of their own: kept where it does not
    // move, since the records view it.
    std::deque<std::string> folded;
    std::vector<std::pair<Key, std::size_t>> sorted;
    sorted.reserve(nativeNames.size());
    for (std::size_t i = 0; i < nativeNames.size(); ++i) {
        const std::string& nativeName = nativeNames[i];
        if (!isCarriableName(nativeName) || nativeName == "." || nativeName == "..")
            continue;
        std::string_view key = nativeName;
        if (!isAscii(nativeName))
            key = folded.emplace_back(foldedOf(nativeName));
        sorted.emplace_back(Key{key, nativeName}, i);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return keyLess(a.first, b.first); });
    auto& entries = m_state->entries;
    for (const auto& [key, i] : sorted) {
        if (!entries.empty() && std::prev(entries.end())->nativeName == key.native)
            continue;
        entries.emplace_hint(entries.end(),
                             describe(key.native,
                                      isAscii(key.native) ? std::string() : std::string(key.folded),
                                      i < types.size() ? types[i] : 0));
    }
    m_state->present = entries.size();
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
        if (entry.folded)
            copy.folded = std::make_unique<const std::string>(*entry.folded);
        copy.stem = entry.stem;
        copy.valid = entry.valid;
        copy.type = entry.type;
        copy.shortName = entry.shortName;
        copy.owner = entry.owner;
        copy.number = entry.number;
        const Entry& placed = *state.entries.emplace_hint(state.entries.end(), std::move(copy));
        Holders& holders = state.forms[placed.shortName];
        (placed.owner ? holders.owner : holders.tail) = &placed;
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

std::uint64_t ShortNameTable::tag(const Entry* entry) {
    return entry->tag;
}

void ShortNameTable::setTag(const Entry* entry, std::uint64_t tag) {
    entry->tag = tag;
}

std::size_t ShortNameTable::position(const Entry* entry) const {
    // Numbered afresh when built or copied, and only a change numbers an entry otherwise.
    assert(!m_state->changeable && entry->rank % kRankGap == 0);
    return static_cast<std::size_t>(entry->rank / kRankGap - 1);
}

std::string_view ShortNameTable::shortName(const Entry* entry) const {
    // An owner's form is always current; tails may wait for the walk.
    if (!entry->owner)
        m_state->settle();
    return entry->shortName.view();
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
    Entry described = describe(nativeName, foldedOf(nativeName));
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
