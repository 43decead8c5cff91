// The decoder's cost on a 10-minute MP3, side by side with the mpg123 program decoding the same
// file to WAV in the same run: processor time (user + system) of each, their ratio, and the
// decoder's peak memory. On a 60-minute MP3 the wall-clock time of the decoder on every core,
// of mpg123, and of the decoder on one thread (-j 1): the decoder's time against mpg123's, and
// the speed-up its threads give. Rounds alternate the order of the programs so that a busy
// moment on the machine falls on all alike; each figure is the median over the rounds.
//
//   bench_decoder [--rounds=N] [--long-rounds=N] [--benchmark_filter=REGEX]
//
// The MP3 (stereo, 44.1 kHz, 192 kbit/s, pink noise under tones) is made once with sox and lame
// and kept in the build tree; the 60-minute one is six copies of it without its info frame,
// one stream. A batch of 50 one-second clips, one run each, measures starting up: processor
// and wall-clock time of l3dec against mpg123. The decoded outputs go to a temporary folder.
#include "benchmarks/BenchOptions.h"
#include "benchmarks/CachedMp3.h"
#include "tests/support/Programs.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sched.h>
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
const char* const kWallRatio = "decoder_wall_ratio_vs_mpg123_60min";
const char* const kSpeedup = "decoder_thread_speedup";
const char* const kDecoderWall = "decoder_wall_time_60min";
const char* const kReferenceWall = "mpg123_wall_time_60min";
const char* const kCores = "decoder_cores";
const char* const kClipCpuRatio = "decoder_clip_cpu_ratio_vs_mpg123";
const char* const kClipWallRatio = "decoder_clip_wall_ratio_vs_mpg123";
const char* const kClipCpu = "decoder_clip_cpu_time";
// On the 10-minute stream, on the 60-minute one, and on a batch of clips.
const char* const kShortNames[] = {kRatio, kDecoderCpu, kReferenceCpu, kDecoderMemory,
                                   kReferenceMemory};
const char* const kLongNames[] = {kWallRatio, kSpeedup, kDecoderWall, kReferenceWall, kCores};
const char* const kClipNames[] = {kClipCpuRatio, kClipWallRatio, kClipCpu};
const char* const kAllNames[] = {kRatio,           kDecoderCpu, kReferenceCpu, kDecoderMemory,
                                 kReferenceMemory, kWallRatio,  kSpeedup,      kDecoderWall,
                                 kReferenceWall,   kCores,      kClipCpuRatio, kClipWallRatio,
                                 kClipCpu};
constexpr int kClips = 50;

using tw::bench::figure;
using tw::bench::missing;
using tw::bench::wanted;

// One finished child: how it ended and what it cost.
struct Run {
    bool ok = false; // started and exited with 0
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double peakMegabytes = 0;
};

// Runs a program (a path, or a name looked up on PATH) with its output thrown away; its own
// resource use counts, no other child's.
Run runMeasured(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    const auto done = tw::test::runProgram(args);
    const auto end = std::chrono::steady_clock::now();
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    Run run;
    run.ok = done.ok;
    run.wallSeconds = std::chrono::duration<double>(end - start).count();
    run.cpuSeconds = seconds(done.usage.ru_utime) + seconds(done.usage.ru_stime);
    run.peakMegabytes = double(done.usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::optional<fs::path> oneSecondMp3(std::string& why) {
    return tw::bench::oneSecondMp3(TW_BENCH_CACHE, why);
}

std::optional<fs::path> tenMinuteMp3(std::string& why) {
    return tw::bench::tenMinuteMp3(TW_BENCH_CACHE, why);
}

std::optional<fs::path> sixtyMinuteMp3(const fs::path& tenMinutes, std::string& why) {
    return tw::bench::sixtyMinuteMp3(tenMinutes, why);
}

fs::path programDirectory() {
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).parent_path();
}

bool anyWanted(const auto& names) {
    return std::any_of(std::begin(names), std::end(names), wanted);
}

// What every group of figures runs: l3dec, whether mpg123 is there, the 10-minute MP3, the file
// the programs write, and how many rounds.
struct Bench {
    fs::path decoder;
    bool haveReference;
    fs::path mp3;
    std::string output;
    int rounds;
    int longRounds;
};

// Each run starts on a quiet machine: the previous output is gone and the disk is idle.
Run measureWriting(const Bench& bench, const std::vector<std::string>& args) {
    std::error_code error;
    fs::remove(bench.output, error);
    ::sync();
    Run run = runMeasured(args);
    run.ok = run.ok && fs::is_regular_file(bench.output, error);
    fs::remove(bench.output, error);
    return run;
}

// Processor time and peak memory on the 10-minute MP3, one entry a round.
struct TenMinuteRuns {
    std::vector<double> decoderCpu, referenceCpu, decoderMemory, referenceMemory;
};

// False when l3dec failed.
bool runTenMinutes(const Bench& bench, TenMinuteRuns& runs) {
    for (int round = 0; round < bench.rounds; ++round) {
        // The two take turns at going first, so that neither always meets the same moment.
        for (int turn = 0; turn < 2; ++turn) {
            if (turn == round % 2) {
                const Run mine = measureWriting(
                    bench, {bench.decoder.string(), bench.mp3.string(), bench.output, "-wav"});
                if (!mine.ok) {
                    for (const char* name : {kRatio, kDecoderCpu, kDecoderMemory})
                        missing(name, "failed", "l3dec failed on the 10-minute MP3");
                    return false;
                }
                runs.decoderCpu.push_back(mine.cpuSeconds);
                runs.decoderMemory.push_back(mine.peakMegabytes);
            } else if (bench.haveReference) {
                const Run theirs =
                    measureWriting(bench, {"mpg123", "-q", "-w", bench.output, bench.mp3.string()});
                if (!theirs.ok) {
                    std::fprintf(stderr, "bench_decoder: mpg123 failed on the 10-minute MP3\n");
                    continue;
                }
                runs.referenceCpu.push_back(theirs.cpuSeconds);
                runs.referenceMemory.push_back(theirs.peakMegabytes);
            }
        }
    }
    return true;
}

void reportTenMinutes(const Bench& bench, const TenMinuteRuns& runs) {
    const double mine = median(runs.decoderCpu);
    if (runs.referenceCpu.empty()) {
        const char* reason = bench.haveReference ? "mpg123 failed" : "mpg123 not found";
        for (const char* name : {kRatio, kReferenceCpu, kReferenceMemory})
            missing(name, "skipped", reason);
    } else {
        const double theirs = median(runs.referenceCpu);
        figure(kRatio, theirs > 0 ? mine / theirs : 0.0, "ratio");
        figure(kReferenceCpu, theirs, "s");
    }
    figure(kDecoderCpu, mine, "s");
    // The worst round: the memory the decoder needs at most.
    figure(kDecoderMemory, *std::max_element(runs.decoderMemory.begin(), runs.decoderMemory.end()),
           "MB");
    if (!runs.referenceMemory.empty())
        figure(kReferenceMemory,
               *std::max_element(runs.referenceMemory.begin(), runs.referenceMemory.end()), "MB");
}

// Processor time and memory on the 10-minute stream; false when l3dec failed.
bool tenMinuteFigures(const Bench& bench) {
    if (!anyWanted(kShortNames))
        return true;
    TenMinuteRuns runs;
    if (!runTenMinutes(bench, runs))
        return false;
    reportTenMinutes(bench, runs);
    return true;
}

// A batch of one-second clips, one program run each: the cost of starting up.
void clipFigures(const Bench& bench) {
    if (!anyWanted(kClipNames))
        return;
    std::string why;
    const auto clip = oneSecondMp3(why);
    if (!clip || !bench.haveReference) {
        for (const char* name : kClipNames)
            missing(name, "skipped", clip ? "mpg123 not found" : why);
        return;
    }
    const std::vector<std::vector<std::string>> programs{
        {bench.decoder.string(), clip->string(), bench.output, "-wav"},
        {"mpg123", "-q", "-w", bench.output, clip->string()}};
    std::vector<double> cpu[2], wall[2];
    for (int round = 0; round < bench.rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (turn + round) % 2;
            double cpuSum = 0;
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kClips; ++i) {
                const Run run = runMeasured(programs[static_cast<std::size_t>(which)]);
                cpuSum += run.cpuSeconds;
            }
            wall[which].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            cpu[which].push_back(cpuSum);
        }
    }
    figure(kClipCpuRatio, median(cpu[0]) / median(cpu[1]), "ratio");
    figure(kClipWallRatio, median(wall[0]) / median(wall[1]), "ratio");
    figure(kClipCpu, median(cpu[0]) / kClips * 1000.0, "ms");
}

// Wall-clock time of each program on the 60-minute MP3, one entry a round that went well: l3dec
// on every core, l3dec on one, and mpg123 when it is there.
std::vector<std::vector<double>> runSixtyMinutes(const Bench& bench, const fs::path& sixty) {
    const std::vector<std::vector<std::string>> programs{
        {bench.decoder.string(), sixty.string(), bench.output, "-wav"},
        {bench.decoder.string(), sixty.string(), bench.output, "-wav", "-j", "1"},
        {"mpg123", "-q", "-w", bench.output, sixty.string()}};
    const std::size_t count = bench.haveReference ? 3 : 2;
    std::vector<std::vector<double>> walls(count);
    for (int round = 0; round < bench.longRounds; ++round) {
        // Each takes its turn at going first.
        for (std::size_t turn = 0; turn < count; ++turn) {
            const std::size_t which = (turn + static_cast<std::size_t>(round)) % count;
            const Run run = measureWriting(bench, programs[which]);
            if (!run.ok) {
                std::fprintf(stderr, "bench_decoder: %s failed on the 60-minute MP3\n",
                             programs[which][0].c_str());
                continue;
            }
            walls[which].push_back(run.wallSeconds);
        }
    }
    return walls;
}

// The 60-minute stream: wall-clock time, l3dec on every core and on one, and mpg123; false
// when l3dec failed.
bool sixtyMinuteFigures(const Bench& bench) {
    if (!anyWanted(kLongNames))
        return true;
    std::string why;
    const auto sixty = sixtyMinuteMp3(bench.mp3, why);
    if (!sixty) {
        for (const char* name : kLongNames)
            missing(name, "skipped", why);
        return true;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cores = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    const auto walls = runSixtyMinutes(bench, *sixty);
    if (walls[0].empty() || walls[1].empty()) {
        for (const char* name : kLongNames)
            missing(name, "failed", "l3dec failed on the 60-minute MP3");
        return false;
    }
    const double threaded = median(walls[0]), single = median(walls[1]);
    if (walls.size() == 3 && !walls[2].empty()) {
        figure(kWallRatio, median(walls[2]) > 0 ? threaded / median(walls[2]) : 0.0, "ratio");
        figure(kReferenceWall, median(walls[2]), "s");
    } else {
        for (const char* name : {kWallRatio, kReferenceWall})
            missing(name, "skipped", bench.haveReference ? "mpg123 failed" : "mpg123 not found");
    }
    figure(kSpeedup, threaded > 0 ? single / threaded : 0.0, "ratio");
    figure(kDecoderWall, threaded, "s");
    figure(kCores, cores, "cores");
    return true;
}

int skipAll(const std::string& why) {
    for (const char* name : kAllNames)
        missing(name, "skipped", why);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 9;
    int longRounds = 5;
    if (!tw::bench::readOptions(argc, argv, "bench_decoder",
                                {{"rounds", &rounds}, {"long-rounds", &longRounds}},
                                tw::bench::figureFilter()))
        return 1;
    if (!anyWanted(kAllNames))
        return 0;

    const fs::path decoder = programDirectory() / "l3dec";
    if (::access(decoder.c_str(), X_OK) != 0)
        return skipAll("l3dec is not built beside bench_decoder");
    const tw::test::TempFolder scratch;
    std::string why;
    const auto mp3 = tenMinuteMp3(why);
    if (!mp3)
        return skipAll(why);
    const Bench bench{.decoder = decoder,
                      .haveReference = tw::test::onPath("mpg123"),
                      .mp3 = *mp3,
                      .output = scratch / "out.wav",
                      .rounds = rounds,
                      .longRounds = longRounds};
    if (!tenMinuteFigures(bench))
        return 1;
    clipFigures(bench);
    if (!sixtyMinuteFigures(bench))
        return 1;
    std::fflush(stdout);
    return 0;
}
