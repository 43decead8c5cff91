#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <iterator>
#include <string>

// Readable, stable names for table-driven cases, from each case's own text: ctest then lists
// "Paths/LastPathPartTest.Takes.../03_C_MUSIC_TRACK01_MP3" rather than the bytes of the case.
namespace tw::test {

// Letters and digits of `text` (plain ASCII; anything else is a separator), every run of
// separators one "_", at most 40 characters; led by the case's place, so names stay unique
// and in table order.
template <class Text> std::string caseName(std::size_t index, const Text& text) {
    std::string name = (index < 10 ? "0" : "") + std::to_string(index);
    const std::size_t prefix = name.size();
    bool separated = true;
    for (const auto c : text) {
        const auto code = static_cast<unsigned long>(c);
        const bool alnum = code < 128 && std::isalnum(static_cast<int>(code));
        if (!alnum) {
            separated = true;
            continue;
        }
        if (name.size() >= 40)
            break;
        if (separated)
            name += '_';
        name += static_cast<char>(code);
        separated = false;
    }
    // A text of no letters or digits at all still says what kind it was.
    if (name.size() == prefix)
        name += std::empty(text) ? "_empty" : "_symbols";
    return name;
}

// A name generator for INSTANTIATE_TEST_SUITE_P: `describe` gives the text of a case.
template <class Describe> auto namedBy(Describe describe) {
    return [describe](const auto& info) { return caseName(info.index, describe(info.param)); };
}

// For tables of plain values (texts, numbers): the value as the test framework prints it.
inline auto namedByValue() {
    return
        [](const auto& info) { return caseName(info.index, ::testing::PrintToString(info.param)); };
}

} // namespace tw::test
