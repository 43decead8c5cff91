#include "Options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tw::decoder {

namespace {

// Switches are read in any case.
std::string inSwitchCase(const std::string& given) {
    std::string arg = given;
    if (arg[0] == '-')
        std::transform(arg.begin(), arg.end(), arg.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return arg;
}

// The count of "-j 4" or "-j4" at `args[i]`, moving `i` past a count of its own; 0 when there
// is no count from 1 to 256.
int threadCount(const std::string& arg, const std::vector<std::string>& args, std::size_t& i) {
    const std::string count = arg.size() > 2        ? arg.substr(2)
                              : i + 1 < args.size() ? args[++i]
                                                    : std::string();
    char* end = nullptr;
    const long n = std::strtol(count.c_str(), &end, 10);
    if (count.empty() || *end || n < 1 || n > 256)
        return 0;
    return static_cast<int>(n);
}

} // namespace

bool parseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
    std::vector<std::string> files;
    bool formatGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        // An empty word is no argument.
        if (args[i].empty())
            continue;
        const std::string arg = inSwitchCase(args[i]);
        if (const auto format = formatFromSwitch(arg)) {
            if (formatGiven && options.format != *format) {
                error = "more than one output format given";
                return false;
            }
            options.format = *format;
            formatGiven = true;
        } else if (arg == "-sa") {
            options.searchAgain = true;
        } else if (arg == "-ign") {
            options.ignoreErrors = true;
        } else if (arg.rfind("-j", 0) == 0) {
            const int threads = threadCount(arg, args, i);
            if (threads == 0) {
                error = "-j needs a number of threads from 1 to 256";
                return false;
            }
            options.threads = threads;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown switch " + args[i];
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) {
        error = files.size() < 2 ? "an input and an output file are needed" : "too many file names";
        return false;
    }
    options.input = files[0];
    options.output = files[1];
    return true;
}

} // namespace tw::decoder
