// The decoder's cost on a 10-minute MP3, side by side with the mpg123 program decoding the same
// file to WAV in the same run: processor time (user + system) of each, their ratio, and the
// decoder's peak memory. Rounds alternate between the two so that a busy moment on the machine
// falls on both alike; each figure is the median over the rounds.
//
//   bench_decoder [--rounds=N] [--benchmark_filter=REGEX]
//
// The MP3 (stereo, 44.1 kHz, 192 kbit/s, pink noise under tones) is made once with sox and lame
// and kept in the build tree; the decoded outputs go to a temporary folder.
#include "tests/support/Programs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kRatio = "decoder_cpu_ratio_vs_mpg123";
const char* const kDecoderCpu = "decoder_cpu_time";
const char* const kReferenceCpu = "mpg123_cpu_time";
const char* const kDecoderMemory = "decoder_peak_memory";
const char* const kReferenceMemory = "mpg123_peak_memory";
const char* const kAllNames[] = {kRatio, kDecoderCpu, kReferenceCpu, kDecoderMemory,
                                 kReferenceMemory};

std::optional<std::regex> g_filter;

bool wanted(const char* name) {
    return !g_filter || std::regex_search(name, *g_filter);
}

void figure(const char* name, double value, const char* unit) {
    if (wanted(name))
        std::printf("%s: %.2f %s\n", name, value, unit);
}

// A figure that cannot be had here ("skipped") or that the decoder failed to give ("failed").
void missing(const char* name, const char* what, const std::string& reason) {
    if (wanted(name))
        std::printf("%s: %s (%s)\n", name, what, reason.c_str());
}

// One finished child: how it ended and what it cost.
struct Run {
    bool ok = false; // started and exited with 0
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// Runs a program (a path, or a name looked up on PATH) with its output thrown away; its own
// resource use counts, no other child's.
Run runMeasured(const std::vector<std::string>& args) {
    const auto done = tw::test::runProgram(args);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    Run run;
    run.ok = done.ok;
    run.cpuSeconds = seconds(done.usage.ru_utime) + seconds(done.usage.ru_stime);
    run.peakMegabytes = double(done.usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A temporary folder for the decoded outputs, removed with its content at the end.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "tw-bench-decoder-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// The 10-minute MP3, made on first use. It appears under its final name only when complete, so
// an interrupted run never leaves a short file to be measured later.
std::optional<fs::path> tenMinuteMp3(std::string& why) {
    const fs::path cache = TW_BENCH_CACHE;
    const fs::path mp3 = cache / "ten-minutes-192k.mp3";
    std::error_code error;
    if (fs::is_regular_file(mp3, error) && fs::file_size(mp3, error) > 0)
        return mp3;
    if (!tw::test::onPath("sox") || !tw::test::onPath("lame")) {
        why = "sox and lame are needed to make the 10-minute MP3";
        return std::nullopt;
    }
    fs::create_directories(cache, error);
    const std::string partial = mp3.string() + ".part";
    std::fprintf(stderr, "bench_decoder: making the 10-minute MP3 once (about half a minute)\n");
    // Pink noise under a slow sweep and a steady tone: nothing the encoder gets for free.
    const bool made = tw::test::makeMp3(
        partial, 44100, 2,
        "synth 600 pinknoise synth 600 sine mix 200-2000 synth 600 sine mix 330 gain -4",
        "-b 192");
    if (made)
        fs::rename(partial, mp3, error);
    if (!made || error) {
        fs::remove(partial, error);
        why = "sox or lame could not make the 10-minute MP3";
        return std::nullopt;
    }
    return mp3;
}

fs::path programDirectory() {
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).parent_path();
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 9;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_filter=", 0) == 0) {
            try {
                g_filter.emplace(arg.substr(19));
            } catch (const std::regex_error&) {
                std::fprintf(stderr, "bench_decoder: bad filter %s\n", arg.c_str());
                return 1;
            }
        } else if (arg.rfind("--rounds=", 0) == 0) {
            rounds = std::max(1, std::atoi(arg.c_str() + 9));
        } else if (arg.rfind("--benchmark_", 0) != 0) {
            std::fprintf(stderr, "usage: bench_decoder [--rounds=N] [--benchmark_filter=REGEX]\n");
            return 1;
        }
    }
    if (std::none_of(std::begin(kAllNames), std::end(kAllNames), wanted))
        return 0;

    auto skipAll = [](const std::string& why) {
        for (const char* name : kAllNames)
            missing(name, "skipped", why);
        return 0;
    };
    const fs::path decoder = programDirectory() / "l3dec";
    if (::access(decoder.c_str(), X_OK) != 0)
        return skipAll("l3dec is not built beside bench_decoder");
    Scratch scratch;
    if (scratch.path().empty())
        return skipAll("no temporary folder");
    std::string why;
    const auto mp3 = tenMinuteMp3(why);
    if (!mp3)
        return skipAll(why);
    const bool haveReference = tw::test::onPath("mpg123");

    const std::string output = (scratch.path() / "out.wav").string();
    std::vector<double> decoderCpu, referenceCpu, decoderMemory, referenceMemory;
    // Each run starts on a quiet machine: the previous output is gone and the disk is idle.
    auto measure = [&](const std::vector<std::string>& args) {
        std::error_code error;
        fs::remove(output, error);
        ::sync();
        Run run = runMeasured(args);
        run.ok = run.ok && fs::is_regular_file(output, error);
        fs::remove(output, error);
        return run;
    };
    for (int round = 0; round < rounds; ++round) {
        // The two take turns at going first, so that neither always meets the same moment.
        for (int turn = 0; turn < 2; ++turn) {
            if (turn == round % 2) {
                const Run mine = measure({decoder.string(), mp3->string(), output, "-wav"});
                if (!mine.ok) {
                    for (const char* name : {kRatio, kDecoderCpu, kDecoderMemory})
                        missing(name, "failed", "l3dec failed on the 10-minute MP3");
                    return 1;
                }
                decoderCpu.push_back(mine.cpuSeconds);
                decoderMemory.push_back(mine.peakMegabytes);
            } else if (haveReference) {
                const Run theirs = measure({"mpg123", "-q", "-w", output, mp3->string()});
                if (!theirs.ok) {
                    std::fprintf(stderr, "bench_decoder: mpg123 failed on the 10-minute MP3\n");
                    continue;
                }
                referenceCpu.push_back(theirs.cpuSeconds);
                referenceMemory.push_back(theirs.peakMegabytes);
            }
        }
    }

    const double mine = median(decoderCpu);
    if (referenceCpu.empty()) {
        const char* reason = haveReference ? "mpg123 failed" : "mpg123 not found";
        for (const char* name : {kRatio, kReferenceCpu, kReferenceMemory})
            missing(name, "skipped", reason);
    } else {
        const double theirs = median(referenceCpu);
        figure(kRatio, theirs > 0 ? mine / theirs : 0.0, "ratio");
        figure(kReferenceCpu, theirs, "s");
    }
    figure(kDecoderCpu, mine, "s");
    // The worst round: the memory the decoder needs at most.
    figure(kDecoderMemory, *std::max_element(decoderMemory.begin(), decoderMemory.end()), "MB");
    if (!referenceMemory.empty())
        figure(kReferenceMemory, *std::max_element(referenceMemory.begin(), referenceMemory.end()),
               "MB");
    std::fflush(stdout);
    return 0;
}
