#pragma once

#include "platform/Text.h"

#include <string_view>

// Text rules of the POSIX side: UTF-8 at the edges (the shared rules), and which native names
// a drive path can carry.
namespace tw::posix {

using text::foldCase;
using text::fromUtf8;
using text::isValidUtf8;
using text::listingLess;
using text::toUtf8;
using text::wildcardMatch;

// True when a drive path can name this native entry: valid UTF-8, no "\" and no control
// character. Other entries are left out of listings and cannot be reached by short names.
bool isCarriableName(std::string_view nativeName);

// Such a name as a user can read it: a line break as a return arrow, a tab as a tab arrow, any
// other control character and each byte that is no part of UTF-8 text as U+FFFD.
std::wstring shownName(std::string_view nativeName);

// Why a drive path cannot carry the name, as the reason a file is left out of a decode; empty
// when it can.
std::wstring whyNotCarriable(std::string_view nativeName);

} // namespace tw::posix
