#include "Decoder.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    tw::decoder::Options options;
    std::string error;
    if (!tw::decoder::parseArguments(args, options, error)) {
        std::fprintf(stderr, "l3dec: %s\n", error.c_str());
        std::fprintf(stderr, "usage: l3dec INPUT.MP3 OUTPUT [-wav|-snd|-aif|-aic] [-sa] [-ign]\n");
        return 2;
    }
    std::printf("l3dec: %s -> %s\n", options.input.c_str(), options.output.c_str());
    const auto outcome = tw::decoder::decode(options);
    if (!options.ignoreErrors)
        for (const auto& warning : outcome.warnings)
            std::fprintf(stderr, "l3dec: %s\n", warning.c_str());
    if (!outcome.ok) {
        std::fprintf(stderr, "l3dec: %s\n", outcome.message.c_str());
        return 1;
    }
    std::printf("l3dec: %lld sample frames written\n", outcome.frames);
    return 0;
}
