// A batch of MP3s decoded to WAV through TEMP.BAT and the console (decoders side by side, one
// per processor), against a shell loop of mpg123 -w over the same files; and the console with
// one decoder at a time. Wall-clock time, rounds alternating which goes first, medians.
//
//   bench_console [--rounds=N] [--benchmark_filter=REGEX]
//
//   batch_wall_ratio_vs_mpg123_loop   50 one-minute files: console / loop
//   clips_wall_ratio_vs_mpg123_loop   50 one-second files: console / loop
//   console_batch_speedup             50 one-minute files: one decoder at a time / side by side
//   *_wall, *_cpu                     the medians behind them: seconds of wall-clock time, and
//                                     of processor time (user + system, the programs' own)
//
// The MP3s (stereo, 44.1 kHz, 192 kbit/s) are made once with sox and lame and kept in the
// build tree; the script, the outputs and the decoder's copy go to a temporary folder.
#include "benchmarks/BenchOptions.h"
#include "benchmarks/CachedMp3.h"
#include "platform/Platform.h"
#include "tests/support/Programs.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 50;
const char* const kBatchRatio = "batch_wall_ratio_vs_mpg123_loop";
const char* const kClipsRatio = "clips_wall_ratio_vs_mpg123_loop";
const char* const kSpeedup = "console_batch_speedup";
const char* const kCores = "console_bench_cores";
const char* const kAllNames[] = {kBatchRatio, kClipsRatio, kSpeedup, kCores};

// One run: wall-clock and processor seconds; wall < 0 when it failed.
struct Run {
    double wall = -1;
    double cpu = 0;
};

using tw::bench::figure;
using tw::bench::missing;
using tw::bench::wanted;

bool anyFailed(const std::vector<Run>& runs) {
    return std::any_of(runs.begin(), runs.end(), [](const Run& r) { return r.wall < 0; });
}

double median(const std::vector<Run>& runs, double Run::*field) {
    std::vector<double> values;
    for (const Run& run : runs)
        values.push_back(run.*field);
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The medians of a series as figures "<name>_wall" and "<name>_cpu".
void seconds(const std::string& name, const std::vector<Run>& runs) {
    if (runs.empty())
        return;
    figure((name + "_wall").c_str(), median(runs, &Run::wall), "s");
    figure((name + "_cpu").c_str(), median(runs, &Run::cpu), "s");
}

int cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

// Runs a program with no input and its output thrown away, in `folder`, with `environment`
// added.
Run measure(const std::vector<std::string>& args, const fs::path& folder,
            const std::vector<std::string>& environment = {}) {
    const auto start = std::chrono::steady_clock::now();
    const tw::test::Spawned spawned = tw::test::spawnAndWait(
        args, {"/dev/null", "/dev/null", "/dev/null", folder.string(), environment});
    Run run;
    if (!spawned.started)
        return run;
    const int status = spawned.status;
    const rusage& usage = spawned.usage;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto cpu = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    // The program's own time and that of the children it waited for.
    run.cpu = cpu(usage.ru_utime) + cpu(usage.ru_stime);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        run.wall = seconds;
    return run;
}

// One MP3 of `seconds`, made on first use and kept.
std::optional<fs::path> cachedMp3(int seconds, std::string& why) {
    const std::string length = std::to_string(seconds);
    return tw::bench::cachedMp3(
        TW_BENCH_CACHE, "tone-" + length + "s-192k.mp3",
        "synth " + length + " pinknoise synth " + length + " sine mix 330 gain -4", "-b 192", why);
}

// A batch as Decode writes it: a decoder line and a REN per file, the decoder beside the
// script, the MP3s in a folder of their own, the outputs in another.
class Batch {
public:
    Batch(const fs::path& root, const fs::path& mp3, tw::Platform& platform) : m_root(root) {
        fs::create_directories(root / "MPEG");
        fs::create_directories(root / "in");
        fs::create_directories(root / "out");
        fs::copy_file(TW_L3DEC, root / "MPEG" / "l3dec");
        std::string script;
        for (int i = 1; i <= kFiles; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "T%02d", i);
            fs::copy_file(mp3, root / "in" / (std::string(name) + ".mp3"));
            const std::wstring source = platform.drivePath((root / "in" / name).string() + ".mp3");
            const std::wstring output = platform.drivePath((root / "out" / name).string() + ".WAV");
            script += "L3DEC " + platform.toEightBit(source) + " " + platform.toEightBit(output) +
                      " -wav\r\nREN " + platform.toEightBit(output) + " \"Track " +
                      std::to_string(i) + ".wav\"\r\n";
        }
        std::ofstream(root / "MPEG" / "TEMP.BAT", std::ios::binary) << script;
        std::string loop =
            "for f in ../in/*.mp3; do mpg123 -q -w ../out/$(basename \"$f\" .mp3).wav "
            "\"$f\" || exit 1; done\n";
        std::ofstream(root / "MPEG" / "loop.sh") << loop;
    }

    void clearOutputs() const {
        for (const auto& entry : fs::directory_iterator(m_root / "out"))
            fs::remove(entry.path());
        ::sync();
    }
    Run console(int jobs) const {
        clearOutputs();
        return measure({TW_CONSOLE, "TEMP.BAT"}, m_root / "MPEG",
                       {"TONWRIGHT_CONSOLE_JOBS=" + std::to_string(jobs)});
    }
    Run loop() const {
        clearOutputs();
        return measure({"sh", "loop.sh"}, m_root / "MPEG");
    }

private:
    fs::path m_root;
};

void skip(std::initializer_list<const char*> names, const std::string& why) {
    for (const char* name : names)
        missing(name, "skipped", why);
}

// The one-minute batch: both figures that need it from the same rounds.
void benchBatch(int rounds, int jobs, bool haveReference, tw::Platform& platform) {
    std::string why;
    const auto mp3 = cachedMp3(60, why);
    const tw::test::TempFolder scratch;
    if (!mp3) {
        skip({kBatchRatio, kSpeedup}, why);
        return;
    }
    const Batch batch(scratch.path(), *mp3, platform);
    std::vector<Run> side, single, theirs;
    bool failed = false;
    for (int round = 0; round < rounds && !failed; ++round) {
        // Each takes every place in the order in turn.
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (turn + round) % 3;
            if (which == 0)
                side.push_back(batch.console(jobs));
            else if (which == 1 && wanted(kSpeedup))
                single.push_back(batch.console(1));
            else if (which == 2 && haveReference && wanted(kBatchRatio))
                theirs.push_back(batch.loop());
        }
        failed = anyFailed(side) || anyFailed(single) || anyFailed(theirs);
    }
    if (failed) {
        skip({kBatchRatio, kSpeedup}, "a run failed");
        return;
    }
    if (theirs.empty())
        skip({kBatchRatio}, "mpg123 not found");
    else
        figure(kBatchRatio, median(side, &Run::wall) / median(theirs, &Run::wall), "ratio");
    if (!single.empty())
        figure(kSpeedup, median(single, &Run::wall) / median(side, &Run::wall), "ratio");
    seconds("batch_console", side);
    seconds("batch_console_one_at_a_time", single);
    seconds("batch_mpg123_loop", theirs);
}

// The one-second clips, where starting the programs is most of the time.
void benchClips(int rounds, int jobs, bool haveReference, tw::Platform& platform) {
    std::string why;
    const auto mp3 = cachedMp3(1, why);
    const tw::test::TempFolder scratch;
    if (!mp3 || !haveReference) {
        skip({kClipsRatio}, haveReference ? why : "mpg123 not found");
        return;
    }
    const Batch batch(scratch.path(), *mp3, platform);
    std::vector<Run> side, theirs;
    for (int round = 0; round < 2 * rounds + 1; ++round)
        for (int turn = 0; turn < 2; ++turn) {
            if (turn == round % 2)
                side.push_back(batch.console(jobs));
            else
                theirs.push_back(batch.loop());
        }
    if (anyFailed(side) || anyFailed(theirs)) {
        skip({kClipsRatio}, "a run failed");
        return;
    }
    figure(kClipsRatio, median(side, &Run::wall) / median(theirs, &Run::wall), "ratio");
    seconds("clips_console", side);
    seconds("clips_mpg123_loop", theirs);
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    if (!tw::bench::readOptions(argc, argv, "bench_console", {{"rounds", &rounds}},
                                tw::bench::figureFilter()))
        return 1;
    if (std::none_of(std::begin(kAllNames), std::end(kAllNames), wanted))
        return 0;
    const int jobs = cores();
    figure(kCores, jobs, "cores");
    const bool haveReference = tw::test::onPath("mpg123");
    auto platform = tw::createSystemPlatform();
    if (wanted(kBatchRatio) || wanted(kSpeedup))
        benchBatch(rounds, jobs, haveReference, *platform);
    if (wanted(kClipsRatio))
        benchClips(rounds, jobs, haveReference, *platform);
    return 0;
}
