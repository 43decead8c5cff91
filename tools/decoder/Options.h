#pragma once

// What one run of l3dec is asked to do, read from its command line.

#include "Format.h"

#include <string>
#include <vector>

namespace tw::decoder {

struct Options {
    std::string input;
    std::string output;
    Format format = Format::Wav;
    bool searchAgain = false;  // -sa: after losing sync, search on for the next frame however far
    bool ignoreErrors = false; // -ign: keep quiet about damage, and go on past it
    int threads = 0;           // -j N; 0: L3DEC_THREADS, else every core (see decodeThreads)
    // A stream is cut into pieces for threads only where each gets at least this many frames
    // (about ten seconds): below that the warm-up and the start of a thread cost more than
    // they save.
    int minSliceFrames = 400;
};

// Reads "IN OUT [-wav|-snd|-aif|-aic] [-sa] [-ign] [-j N]"; false with a message on bad usage.
bool parseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

} // namespace tw::decoder
