#pragma once

#include <string>
#include <vector>

namespace tw::decoder {

enum class Format { Wav, Snd, Aiff, Aifc };

struct Options {
    std::string input;
    std::string output;
    Format format = Format::Wav;
    bool searchAgain = false;  // -sa: keep looking for the next frame after losing sync
    bool ignoreErrors = false; // -ign: go on over damaged frames without a word
};

// Reads "IN OUT [-wav|-snd|-aif|-aic] [-sa] [-ign]"; false with a message on bad usage.
bool parseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

struct Outcome {
    bool ok = false;
    std::string message;    // the reason when not ok
    long long frames = 0;   // sample frames written
    std::vector<std::string> warnings;
};

// Decodes the input into the output file; a failed run leaves no output file behind.
Outcome decode(const Options& options);

} // namespace tw::decoder
