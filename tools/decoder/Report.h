#pragma once

// What l3dec says in its console: what it decodes, how far it has come, and what came of it.

#include "Decoder.h"

#include <chrono>
#include <string>

namespace tw::decoder {

// "1:23": minutes and seconds.
std::string clockText(double seconds);

// Where a stream was damaged, in one line after "<input> " ("is damaged at 1:23 and in 2 more
// places ..."), from what the library's own lines told the run; empty for a sound stream.
// `seconds`: the length of the output.
std::string damageText(const Outcome& outcome, double seconds);

// The stream and its progress, on stdout: on a terminal the progress line is redrawn in place
// a few times a second; anywhere else only the finished line is written, so logs stay short.
// A console that shows a status line of its own names a descriptor in L3DEC_PROGRESS_FD: the
// progress goes there instead, as a fraction per line, and nothing is drawn in place.
class ConsoleListener : public Listener {
public:
    explicit ConsoleListener(const Options& options);

    void started(const StreamInfo& info) override;
    bool progress(double fraction) override;
    // Ends a line drawn in place, before anything else is written.
    void endLine();
    double elapsed() const;

private:
    const Options& m_options;
    const int m_channel; // L3DEC_PROGRESS_FD, or -1
    const bool m_inPlace;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    double m_lastDrawn = -1.0;
    bool m_lineOpen = false;
};

// What came of a run that succeeded: warnings (damage, tags) on stderr, the summary on stdout.
void reportSuccess(const Options& options, const Outcome& outcome, double elapsed);

} // namespace tw::decoder
