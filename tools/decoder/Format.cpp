#include "Format.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace tw::decoder {

namespace {

struct Switch {
    std::string_view text;
    Format format;
    const char* description;
};

constexpr Switch kSwitches[] = {{"-wav", Format::Wav, "WAV, 16-bit PCM"},
                                {"-snd", Format::Snd, "SND, 16-bit PCM"},
                                {"-aif", Format::Aiff, "AIFF, 16-bit PCM"},
                                {"-aic", Format::Aifc, "AIFC, 16-bit PCM"}};

} // namespace

std::optional<Format> formatFromSwitch(std::string_view arg) {
    const auto named =
        std::find_if(std::begin(kSwitches), std::end(kSwitches), [&](const Switch& s) {
            return std::equal(
                arg.begin(), arg.end(), s.text.begin(), s.text.end(),
                [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
        });
    if (named == std::end(kSwitches))
        return std::nullopt;
    return named->format;
}

std::string describe(Format format) {
    for (const Switch& s : kSwitches)
        if (s.format == format)
            return s.description;
    return {};
}

bool bigEndianSamples(Format format) {
    return format == Format::Snd || format == Format::Aiff;
}

} // namespace tw::decoder
