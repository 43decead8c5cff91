#include "Report.h"
#include "Signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tw::decoder {

std::string clockText(double seconds) {
    const auto whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string damageText(const Outcome& outcome, double seconds) {
    std::string text;
    if (outcome.damagedPlaces > 0) {
        const int more = outcome.damagedPlaces - 1;
        text = "is damaged at " + clockText(outcome.firstDamageAt);
        if (more > 0)
            text += " and in " + std::to_string(more) + " more place" + (more == 1 ? "" : "s");
        text += " (the sound there may drop out or click)";
    }
    if (outcome.cutShort)
        text += (text.empty() ? "is cut short at " : ", and cut short at ") + clockText(seconds);
    return text;
}

namespace {

int progressChannel() {
    const char* text = std::getenv("L3DEC_PROGRESS_FD");
    char* end = nullptr;
    const long fd = text && *text ? std::strtol(text, &end, 10) : -1;
    return end && *end == '\0' && fd >= 0 && fd < 1024 && ::fcntl(int(fd), F_GETFD) != -1 ? int(fd)
                                                                                          : -1;
}

} // namespace

ConsoleListener::ConsoleListener(const Options& options)
    : m_options(options), m_channel(progressChannel()),
      m_inPlace(m_channel < 0 && ::isatty(STDOUT_FILENO) == 1) {}

void ConsoleListener::started(const StreamInfo& info) {
    std::printf("%s: %s -> %s\n", m_options.input.c_str(), info.description.c_str(),
                describe(m_options.format).c_str());
    std::fflush(stdout);
}

bool ConsoleListener::progress(double fraction) {
    const double now = elapsed();
    if (m_channel >= 0 && (fraction >= 1.0 || now - m_lastDrawn >= 0.2)) {
        m_lastDrawn = now;
        char line[32];
        const int length = std::snprintf(line, sizeof line, "%.4f\n", fraction);
        [[maybe_unused]] const auto written = ::write(m_channel, line, std::size_t(length));
    }
    if (m_inPlace && (fraction >= 1.0 || now - m_lastDrawn >= 0.2)) {
        m_lastDrawn = now;
        std::printf("\r%3d%%  %s", static_cast<int>(fraction * 100.0), clockText(now).c_str());
        std::fflush(stdout);
        m_lineOpen = true;
        setLineOpen(true);
    } else if (!m_inPlace && fraction >= 1.0) {
        std::printf("100%%  %s\n", clockText(now).c_str());
    }
    return true;
}

void ConsoleListener::endLine() {
    if (m_lineOpen)
        std::printf("\n");
    m_lineOpen = false;
    setLineOpen(false);
    std::fflush(stdout);
}

double ConsoleListener::elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void reportSuccess(const Options& options, const Outcome& outcome, double elapsed) {
    const double seconds =
        outcome.rate ? static_cast<double>(outcome.frames) / static_cast<double>(outcome.rate) : 0;
    if (const std::string damage = damageText(outcome, seconds); !damage.empty())
        std::fprintf(stderr, "l3dec: warning: %s %s\n", options.input.c_str(), damage.c_str());
    if (!outcome.tags.trouble.empty())
        std::fprintf(stderr, "l3dec: warning: tags of %s: %s\n", options.input.c_str(),
                     outcome.tags.trouble.c_str());
    std::printf("%s: ", options.output.c_str());
    if (const std::string track = outcome.tags.trackName(); !track.empty())
        std::printf("\"%s\", ", track.c_str());
    std::printf("%lld samples (%s) written in %.1f s", outcome.frames, clockText(seconds).c_str(),
                elapsed);
    if (outcome.threads > 1)
        std::printf(" on %d threads", outcome.threads);
    if (outcome.damagedParts)
        std::printf(", %d damaged part%s passed over", outcome.damagedParts,
                    outcome.damagedParts == 1 ? "" : "s");
    std::printf("\n");
}

} // namespace tw::decoder
