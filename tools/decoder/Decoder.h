#pragma once

// Decoding one MPEG audio file into a sound file: what a run is asked (Options), what it tells
// while it works (Listener) and what came of it (Outcome).

#include "Format.h"
#include "Options.h"
#include "Tags.h"

#include <string>
#include <vector>

namespace tw::decoder {

struct StreamInfo {
    long rate = 0;
    int channels = 0;
    std::string description; // "MPEG-1 Layer III, 192 kbit/s, 44100 Hz, joint stereo"
};

// Told what is going on while a file is decoded.
class Listener {
public:
    virtual ~Listener() = default;
    virtual void started(const StreamInfo& info) = 0;
    // `fraction` of the input has been read: below 1 while decoding, and 1 exactly once, when
    // the output is complete. Returning false stops the decoding as failed.
    virtual bool progress(double fraction) = 0;
};

struct Outcome {
    bool ok = false;
    std::string message;  // the reason when not ok
    long long frames = 0; // sample frames written
    long rate = 0;
    int channels = 0;
    int damagedParts = 0; // stretches of the input passed over under -ign
    // Without -ign: stretches of frames the library found damaged (it may have decoded them in
    // part only, or passed over bytes before them), and where in the output the first begins.
    int damagedPlaces = 0;
    double firstDamageAt = 0; // seconds
    bool cutShort = false;    // the input ends inside a frame
    int threads = 1;          // threads the audio was decoded on
    Tags tags;                // the MP3's tags, as far as the output carries them
};

// Decodes the input into the output file. The output is written under a name of its own in the
// output's folder and renamed when complete, so a failed run leaves no output behind and an
// earlier file stays. Only a regular file is replaced, never the input.
// A long MPEG-1 Layer III stream without flaws is decoded in pieces on several threads, which
// gives the same bytes as one piece; every other stream, and any run with -sa or -ign, is
// decoded in one piece.
Outcome decode(const Options& options, Listener* listener = nullptr);

// Takes away the partial output of the decode now running, if there is one. Safe to call from
// a signal handler, which is what it is for: a stopped run leaves nothing behind.
void removePartialOutput() noexcept;

} // namespace tw::decoder
