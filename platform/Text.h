#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text rules shared by every platform: UTF-8 conversion, the case-insensitive order of
// listings and wildcards. wchar_t holds UTF-32 on POSIX and UTF-16 on Windows; both are
// handled, so a character outside the Basic Multilingual Plane survives either way.
namespace tw::text {

// UTF-8 of the text. A value that is no Unicode scalar (an unpaired surrogate, or above
// U+10FFFF) becomes U+FFFD, so the result is always valid UTF-8.
std::string toUtf8(std::wstring_view text);
// Text of UTF-8 bytes. Each byte that does not belong to a well-formed sequence (stray
// continuation bytes, overlong forms, surrogates, truncated sequences) becomes one U+FFFD.
std::wstring fromUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

// Case folding used for every comparison "without regard to case". It is the same on every
// machine and in every locale; a non-ASCII character never folds onto an ASCII one, so short
// names (always ASCII) are matched by ASCII letters only.
wchar_t foldCase(wchar_t c);
std::wstring foldCase(std::wstring_view text);

// Case folding as widely as a file system that ignores case may fold: a character and every
// other that shares its lower or upper case form end up the same (σ, ς and Σ; a Kelvin sign
// and K). Two names equal under it may be one name to such a folder; two that differ never are.
wchar_t foldWide(wchar_t c);

// Listing order: folded text first, then the exact text, so the order is total.
bool listingLess(std::wstring_view a, std::wstring_view b);
// Puts names in listing order, folding each name once (listings can hold ten thousand names).
void sortForListing(std::vector<std::wstring>& names);

// "*" matches any run of characters, "?" exactly one; letters match without regard to case.
// Several patterns may be given separated by ";" ("*.mp3;*.wav"); "*.*" matches every name.
bool wildcardMatch(std::wstring_view pattern, std::wstring_view name);

// A character of the 8.3 set: A-Z a-z 0-9 ! # $ % & ' ( ) - @ ^ _ ` { } ~.
bool isShortNameChar(wchar_t c);
// A name that is its own short name (in upper case): base of 1 to 8 characters of the 8.3 set,
// optionally one dot and an extension of 1 to 3.
bool isValidShortName(std::wstring_view name);

} // namespace tw::text
