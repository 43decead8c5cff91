#include "ShortNameTableState.h"

#include <cassert>
#include <cstdint>

namespace tw::posix {

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
bool ShortNameTable::State::takenAt(const Form& form, const Entry& entry) const {
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
bool ShortNameTable::State::mayHaveSkipped(const Basis& basis, std::uint32_t number,
                                           const Entry* from) {
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
void ShortNameTable::State::watchSkippers(const Form& form, const Entry* from, Walk& walk) {
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
            !(formOf(basis.stem, tail.number) == form) || !mayHaveSkipped(basis, tail.number, from))
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
bool ShortNameTable::State::stillWatching(Basis& basis, const Walk& walk) {
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
void ShortNameTable::State::countFrom(Basis& basis, const Entry& entry) {
    const auto it = basis.members.lower_bound(&entry);
    const Entry* previous = it == basis.members.begin() ? nullptr : *std::prev(it);
    assert(!previous || previous->number != 0);
    basis.newNext = basis.oldNext = previous ? previous->number + 1 : 1;
}

// One visit of the walk: the entry's tail for the names as they are, and what its change means
// for the entries after it.
void ShortNameTable::State::settleOne(const Entry& entry, Walk& walk) {
    Basis& basis = *entry.basis;
    const std::uint32_t oldNumber = entry.number;
    const bool wantsTail = entry.present && !entry.owner;
    if (oldNumber == 0 && !wantsTail) {
        passOver(entry);
        return;
    }
    countFrom(basis, entry);
    if (oldNumber != 0)
        basis.oldNext = oldNumber + 1;
    Form newForm;
    const std::uint32_t number = wantsTail ? freeNumber(basis, entry, newForm) : 0;
    if (oldNumber != 0 && number != oldNumber)
        letGo(formOf(basis.stem, oldNumber), entry, walk);
    if (wantsTail && number != oldNumber)
        take(newForm, entry, walk);

    entry.number = number;
    if (wantsTail)
        entry.shortName = newForm;
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

// No tail then or now (an owner that gave way and came back): nothing to count, but a walk
// along the basis may have to pass on to the next member.
void ShortNameTable::State::passOver(const Entry& entry) {
    Basis& basis = *entry.basis;
    if (const auto it = basis.members.find(&entry); it != basis.members.end()) {
        const auto next = basis.members.erase(it);
        if (next != basis.members.end())
            pending.insert(*next);
    }
}

// The first number from the basis's next on whose form is free now at `entry`.
std::uint32_t ShortNameTable::State::freeNumber(Basis& basis, const Entry& entry, Form& form) {
    std::uint32_t number = basis.newNext;
    for (;; ++number) {
        form = formOf(basis.stem, number);
        if (!takenAt(form, entry))
            break;
    }
    basis.newNext = number + 1;
    return number;
}

// `entry` gives up the tail it held before.
void ShortNameTable::State::letGo(const Form& oldForm, const Entry& entry, Walk& walk) {
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

// `entry` takes a tail it did not hold before.
void ShortNameTable::State::take(const Form& newForm, const Entry& entry, Walk& walk) {
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

void ShortNameTable::State::settle() {
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

} // namespace tw::posix
