// l3dec: decodes one MPEG audio file into a WAV, SND, AIFF or AIFC file, showing in its
// console what it decodes and how far it has come.
#include "Decoder.h"
#include "Report.h"
#include "Signals.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kUsage = "usage: l3dec INPUT OUTPUT [-wav|-snd|-aif|-aic] [-sa] [-ign] [-j N]\n";

// Answers --help or --version, alone on the line so that a file of either name can still be
// decoded; false for any other line.
bool answeredAlone(const std::vector<std::string>& args) {
    if (args == std::vector<std::string>{"--help"}) {
        std::printf("%s", kUsage);
        std::printf("Decodes the MPEG Layer-3 file INPUT into OUTPUT as 16-bit PCM:\n"
                    "  -wav  WAV (the default)   -snd  SND   -aif  AIFF   -aic  AIFC\n"
                    "  -sa   search on however far after a loss of synchronization\n"
                    "  -ign  keep quiet about damage and decode whatever can be decoded\n"
                    "  -j N  decode a long stream on N threads (default: L3DEC_THREADS, else\n"
                    "        every core); the output is the same on any number\n"
                    "OUTPUT appears only once it is complete; a failed run leaves none.\n");
        return true;
    }
    if (args == std::vector<std::string>{"--version"}) {
        std::printf("l3dec %s\n", TW_VERSION);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (answeredAlone(args))
        return 0;
    tw::decoder::Options options;
    std::string error;
    if (!tw::decoder::parseArguments(args, options, error)) {
        std::fprintf(stderr, "l3dec: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    tw::decoder::installStopHandlers();
    tw::decoder::ConsoleListener listener(options);
    const auto outcome = tw::decoder::decode(options, &listener);
    listener.endLine();
    if (!outcome.ok) {
        std::fprintf(stderr, "l3dec: %s\n", outcome.message.c_str());
        return 1;
    }
    tw::decoder::reportSuccess(options, outcome, listener.elapsed());
    return 0;
}
