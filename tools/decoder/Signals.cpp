#include "Signals.h"
#include "Decoder.h"

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <vector>

namespace tw::decoder {

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
} // namespace

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

void setLineOpen(bool open) {
    g_lineOpen = open ? 1 : 0;
}

} // namespace tw::decoder
