// l3dec: decodes one MPEG audio file into a WAV, SND, AIFF or AIFC file, showing in its
// console what it decodes and how far it has come.
#include "Decoder.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

// Closing the console or Ctrl+C still ends with the partial output taken away.
void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = [](int signal) { g_stopSignal = signal; };
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

std::string clockText(double seconds) {
    const auto whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

class ConsoleListener : public tw::decoder::Listener {
public:
    explicit ConsoleListener(const tw::decoder::Options& options)
        : m_options(options), m_inPlace(::isatty(STDOUT_FILENO) == 1) {}

    void started(const tw::decoder::StreamInfo& info) override {
        std::printf("%s: %s -> %s\n", m_options.input.c_str(), info.description.c_str(),
                    tw::decoder::describe(m_options.format).c_str());
        std::fflush(stdout);
    }

    bool progress(double fraction) override {
        const double now = elapsed();
        // On a terminal the line is redrawn in place a few times a second; anywhere else only
        // the finished line is written, so logs stay short.
        if (m_inPlace && (fraction >= 1.0 || now - m_lastDrawn >= 0.2)) {
            m_lastDrawn = now;
            std::printf("\r%3d%%  %s", static_cast<int>(fraction * 100.0), clockText(now).c_str());
            std::fflush(stdout);
            m_lineOpen = true;
        } else if (!m_inPlace && fraction >= 1.0) {
            std::printf("100%%  %s\n", clockText(now).c_str());
        }
        return g_stopSignal == 0;
    }

    // Ends a line drawn in place, before anything else is written.
    void endLine() {
        if (m_lineOpen)
            std::printf("\n");
        m_lineOpen = false;
        std::fflush(stdout);
    }

    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    const tw::decoder::Options& m_options;
    const bool m_inPlace;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    double m_lastDrawn = -1.0;
    bool m_lineOpen = false;
};

} // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    tw::decoder::Options options;
    std::string error;
    if (!tw::decoder::parseArguments(args, options, error)) {
        std::fprintf(stderr, "l3dec: %s\n", error.c_str());
        std::fprintf(stderr, "usage: l3dec INPUT OUTPUT [-wav|-snd|-aif|-aic] [-sa] [-ign]\n");
        return 2;
    }
    installStopHandlers();
    ConsoleListener listener(options);
    const auto outcome = tw::decoder::decode(options, &listener);
    listener.endLine();
    if (!outcome.ok) {
        std::fprintf(stderr, "l3dec: %s\n", outcome.message.c_str());
        return g_stopSignal ? 128 + g_stopSignal : 1;
    }
    const double seconds = outcome.rate ? static_cast<double>(outcome.frames) / outcome.rate : 0;
    std::printf("%s: %lld samples (%s) written in %.1f s", options.output.c_str(), outcome.frames,
                clockText(seconds).c_str(), listener.elapsed());
    if (outcome.damagedParts)
        std::printf(", %d damaged part%s passed over", outcome.damagedParts,
                    outcome.damagedParts == 1 ? "" : "s");
    std::printf("\n");
    return 0;
}
