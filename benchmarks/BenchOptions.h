#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace tw::bench {

// The command line and the figure lines of the benchmark programs that print their own figures:
// which figures
// ("--benchmark_filter=REGEX", as ./bench passes it) and how many rounds ("--NAME=N" for each
// count given, at least 1). Other "--benchmark_" options are Google Benchmark's and ignored.
// Anything else prints the usage and gives false.
inline bool readOptions(int argc, char** argv, const char* program,
                        const std::vector<std::pair<std::string, int*>>& counts,
                        std::optional<std::regex>& filter) {
    std::string usage = std::string("usage: ") + program;
    for (const auto& [name, value] : counts)
        usage += " [--" + name + "=N]";
    usage += " [--benchmark_filter=REGEX]\n";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool known = false;
        if (arg.rfind("--benchmark_filter=", 0) == 0) {
            try {
                filter.emplace(arg.substr(19));
            } catch (const std::regex_error&) {
                std::fprintf(stderr, "%s: bad filter %s\n", program, arg.c_str());
                return false;
            }
            known = true;
        }
        for (const auto& [name, value] : counts) {
            const std::string prefix = "--" + name + "=";
            if (!known && arg.rfind(prefix, 0) == 0) {
                *value = std::max(1, std::atoi(arg.c_str() + prefix.size()));
                known = true;
            }
        }
        if (!known && arg.rfind("--benchmark_", 0) != 0) {
            std::fputs(usage.c_str(), stderr);
            return false;
        }
    }
    return true;
}

// The figures a run was asked for (--benchmark_filter); all when none was given.
inline std::optional<std::regex>& figureFilter() {
    static std::optional<std::regex> filter;
    return filter;
}

inline bool wanted(const char* name) {
    return !figureFilter() || std::regex_search(name, *figureFilter());
}

// One figure as ./bench collects it: "name: value unit".
inline void figure(const char* name, double value, const char* unit) {
    if (wanted(name))
        std::printf("%s: %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A figure that cannot be had here ("skipped") or that the program measured failed to give
// ("failed").
inline void missing(const char* name, const char* what, const std::string& reason) {
    if (wanted(name))
        std::printf("%s: %s (%s)\n", name, what, reason.c_str());
}

} // namespace tw::bench
