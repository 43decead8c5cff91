// l3dec: decodes one MPEG audio file into a WAV, SND, AIFF or AIFC file, showing in its
// console what it decodes and how far it has come.
#include "Decoder.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What each fault signal did before l3dec took it over (the default, or a sanitizer's report).
struct sigaction g_faultActions[NSIG];
// A progress line is drawn in place and not ended yet.
volatile std::sig_atomic_t g_lineOpen = 0;

// Says on stderr which signal stopped the run, with only calls a signal handler may make.
void sayStopped(int signal) {
    char text[40] = "\nl3dec: stopped by signal ";
    std::size_t length = std::strlen(text);
    if (signal >= 10)
        text[length++] = static_cast<char>('0' + signal / 10 % 10);
    text[length++] = static_cast<char>('0' + signal % 10);
    text[length++] = '\n';
    // Past a progress line drawn in place, on a line of its own.
    const std::size_t from = g_lineOpen ? 0 : 1;
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, text + from, length - from);
}

// A signal that ends the process: the partial output goes first, so a script never finds half
// a file, and the exit status is the one the signal would have given.
void stop(int signal, siginfo_t* info, void*) {
    // A write to a stdout or stderr that nobody reads any more raises SIGPIPE in this very
    // process: that write fails, and the decode goes on to its output.
    if (signal == SIGPIPE && info->si_code == SI_USER && info->si_pid == ::getpid())
        return;
    tw::decoder::removePartialOutput();
    sayStopped(signal);
    ::_exit(128 + signal);
}

// A fault: the partial output goes, then the fault takes its usual course (a core dump, a
// sanitizer's report). One an instruction caused comes back when it runs again; any other is
// raised again.
void fault(int signal, siginfo_t* info, void*) {
    tw::decoder::removePartialOutput();
    ::sigaction(signal, &g_faultActions[signal], nullptr);
    const bool recurs = info->si_code > 0 && (signal == SIGSEGV || signal == SIGBUS ||
                                              signal == SIGILL || signal == SIGFPE);
    if (!recurs)
        ::raise(signal);
}

// Every signal whose default action ends the process. One ignored from the start (nohup, a
// background job) stays ignored: it would not have ended the process.
void installStopHandlers() {
    std::vector<int> stops{SIGHUP,  SIGINT,  SIGQUIT,   SIGPIPE, SIGALRM,
                           SIGTERM, SIGUSR1, SIGUSR2,   SIGPOLL, SIGPROF,
                           SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPWR,  SIGSTKFLT};
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        stops.push_back(signal);
    const int faults[] = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};

    struct sigaction action {};
    action.sa_flags = SA_SIGINFO;
    // While one handler runs, no other cuts in.
    sigfillset(&action.sa_mask);
    auto take = [&](int signal, void (*handler)(int, siginfo_t*, void*),
                    struct sigaction* previous) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
            return;
        action.sa_sigaction = handler;
        ::sigaction(signal, &action, previous);
    };
    for (int signal : stops)
        take(signal, stop, nullptr);
    for (int signal : faults)
        take(signal, fault, &g_faultActions[signal]);
}

std::string clockText(double seconds) {
    const auto whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// The library's own lines about a stream were taken in; this says in one line of ours where
// the damage was, after "<input> ". Empty for a sound stream.
std::string damageText(const tw::decoder::Outcome& outcome, double seconds) {
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
            g_lineOpen = 1;
        } else if (!m_inPlace && fraction >= 1.0) {
            std::printf("100%%  %s\n", clockText(now).c_str());
        }
        return true;
    }

    // Ends a line drawn in place, before anything else is written.
    void endLine() {
        if (m_lineOpen)
            std::printf("\n");
        m_lineOpen = false;
        g_lineOpen = 0;
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
    // Alone on the line, so that a file of either name can still be decoded.
    if (args == std::vector<std::string>{"--help"}) {
        std::printf("usage: l3dec INPUT OUTPUT [-wav|-snd|-aif|-aic] [-sa] [-ign] [-j N]\n"
                    "Decodes the MPEG Layer-3 file INPUT into OUTPUT as 16-bit PCM:\n"
                    "  -wav  WAV (the default)   -snd  SND   -aif  AIFF   -aic  AIFC\n"
                    "  -sa   search on however far after a loss of synchronization\n"
                    "  -ign  keep quiet about damage and decode whatever can be decoded\n"
                    "  -j N  decode a long stream on N threads (default: L3DEC_THREADS, else\n"
                    "        every core); the output is the same on any number\n"
                    "OUTPUT appears only once it is complete; a failed run leaves none.\n");
        return 0;
    }
    if (args == std::vector<std::string>{"--version"}) {
        std::printf("l3dec %s\n", TW_VERSION);
        return 0;
    }
    tw::decoder::Options options;
    std::string error;
    if (!tw::decoder::parseArguments(args, options, error)) {
        std::fprintf(stderr, "l3dec: %s\n", error.c_str());
        std::fprintf(stderr,
                     "usage: l3dec INPUT OUTPUT [-wav|-snd|-aif|-aic] [-sa] [-ign] [-j N]\n");
        return 2;
    }
    installStopHandlers();
    ConsoleListener listener(options);
    const auto outcome = tw::decoder::decode(options, &listener);
    listener.endLine();
    if (!outcome.ok) {
        std::fprintf(stderr, "l3dec: %s\n", outcome.message.c_str());
        return 1;
    }
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
                listener.elapsed());
    if (outcome.threads > 1)
        std::printf(" on %d threads", outcome.threads);
    if (outcome.damagedParts)
        std::printf(", %d damaged part%s passed over", outcome.damagedParts,
                    outcome.damagedParts == 1 ? "" : "s");
    std::printf("\n");
    return 0;
}
