// Batches as the user runs them: TEMP.BAT written by Decode itself, run by the console with the
// decoder beside it, against mpg123 -w over the same files. Wall-clock time, the two taking
// turns at going first, medians of the rounds.
//
//   bench_console [--rounds=N] [--benchmark_filter=REGEX]
//
//   batch_wall_ratio_vs_mpg123_loop   16 one-minute tracks with long names: console / shell loop
//   one_file_wall_ratio_vs_mpg123     one 60-minute file: console / mpg123
//   clips_wall_ratio_vs_mpg123_loop   50 one-second clips: console / shell loop
//   console_overhead_per_file_N       N files (1,000 and 10,000, in a folder of twice as many)
//                                     with a stand-in decoder that only makes its output: the
//                                     console's wall-clock time per file beyond starting the
//                                     decoder (N starts of it alone are subtracted); with
//                                     "_with_decoder_starts", all of it
//   *_wall, *_cpu                     the medians behind the ratios: seconds of wall-clock time,
//                                     and of processor time (user + system, the programs' own)
//
// The MP3s are made once with sox and lame and kept in the build tree (the decoder benchmark's
// cache); the music, the script and the outputs go to a temporary folder.
#include "benchmarks/BenchOptions.h"
#include "benchmarks/CachedMp3.h"
#include "core/Decode.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/Programs.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kBatchRatio = "batch_wall_ratio_vs_mpg123_loop";
const char* const kOneFileRatio = "one_file_wall_ratio_vs_mpg123";
const char* const kClipsRatio = "clips_wall_ratio_vs_mpg123_loop";
const char* const kOverhead = "console_overhead_per_file";

using tw::bench::figure;
using tw::bench::missing;
using tw::bench::wanted;

// One run: wall-clock and processor seconds; wall < 0 when it failed.
struct Run {
    double wall = -1;
    double cpu = 0;
};

double median(std::vector<Run> runs, double Run::*field) {
    std::sort(runs.begin(), runs.end(),
              [&](const Run& a, const Run& b) { return a.*field < b.*field; });
    const std::size_t n = runs.size();
    return n % 2 ? runs[n / 2].*field : (runs[n / 2 - 1].*field + runs[n / 2].*field) / 2;
}

// Runs a program with no input and its output thrown away, in `folder`.
Run measure(const std::vector<std::string>& args, const fs::path& folder) {
    const auto start = std::chrono::steady_clock::now();
    const tw::test::Spawned spawned =
        tw::test::spawnAndWait(args, {"/dev/null", "/dev/null", "/dev/null", folder.string(), {}});
    Run run;
    if (!spawned.started)
        return run;
    auto cpu = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    // The program's own time and that of the children it waited for.
    run.cpu = cpu(spawned.usage.ru_utime) + cpu(spawned.usage.ru_stime);
    if (WIFEXITED(spawned.status) && WEXITSTATUS(spawned.status) == 0)
        run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

// A batch as the user makes one: tracks under long names in a music folder, Decode writing
// TEMP.BAT into the decoder's folder (with `decoder` there as l3dec), the outputs going to a
// folder of their own.
class Batch {
public:
    Batch(const fs::path& root, const fs::path& decoder, const std::vector<std::string>& names,
          const fs::path& source, std::size_t others = 0)
        : m_root(root) {
        for (const char* folder : {"MPEG", "Music", "Out"})
            fs::create_directories(root / folder);
        fs::copy_file(decoder, root / "MPEG" / "l3dec");
        // Hard links: ten thousand tracks cost no copying.
        for (const std::string& name : names)
            fs::create_hard_link(source, root / "Music" / name);
        for (std::size_t i = 0; i < others; ++i)
            fs::create_hard_link(source, root / "Music" / ("Other " + std::to_string(i) + ".mp3"));
        tw::posix::PosixPlatform platform;
        tw::DecodeInput input;
        input.sourceFolder = platform.drivePath((root / "Music").string());
        for (const std::string& name : names)
            input.entries.push_back(platform.fromEightBit(name));
        input.selected.assign(input.entries.size(), true);
        tw::AppState state;
        state.DecoderPath = platform.drivePath((root / "MPEG").string());
        state.Destination = platform.drivePath((root / "Out").string()) + L"\\";
        const std::string here = fs::current_path();
        tw::test::RecordingPlatform recording(platform);
        m_written = tw::decodeNow(recording, input, state).kind == tw::DecodeResult::Kind::Started;
        fs::current_path(here);
        std::ofstream(root / "MPEG" / "loop.sh")
            << "for f in ../Music/*.mp3; do mpg123 -q -w \"../Out/$(basename \"$f\" .mp3).wav\" "
               "\"$f\" || exit 1; done\n";
    }

    bool written() const { return m_written; }
    Run console() const {
        clearOutputs();
        return measure({TW_CONSOLE, "TEMP.BAT"}, m_root / "MPEG");
    }
    Run loop() const {
        clearOutputs();
        return measure({"sh", "loop.sh"}, m_root / "MPEG");
    }

private:
    void clearOutputs() const {
        for (const auto& entry : fs::directory_iterator(m_root / "Out"))
            fs::remove(entry.path());
        ::sync();
    }

    fs::path m_root;
    bool m_written = false;
};

std::vector<std::string> longNames(int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02d - Some Title Number %d.mp3", i, i);
        names.push_back(name);
    }
    return names;
}

// The console and mpg123 over one batch, taking turns at going first: the ratio of the median
// wall-clock times, and the medians behind it.
void compare(const char* ratio, const std::string& series, const Batch& batch, int rounds) {
    std::vector<Run> ours, theirs;
    for (int round = 0; round < rounds; ++round)
        for (int turn = 0; turn < 2; ++turn)
            (turn == round % 2 ? ours : theirs)
                .push_back(turn == round % 2 ? batch.console() : batch.loop());
    const auto failed = [](const std::vector<Run>& runs) {
        return std::any_of(runs.begin(), runs.end(), [](const Run& r) { return r.wall < 0; });
    };
    if (failed(ours) || failed(theirs)) {
        missing(ratio, "failed", "a run failed");
        return;
    }
    figure(ratio, median(ours, &Run::wall) / median(theirs, &Run::wall), "ratio");
    for (const auto& [name, runs] :
         {std::pair{series + "_console", ours}, std::pair{series + "_mpg123", theirs}}) {
        figure((name + "_wall").c_str(), median(runs, &Run::wall), "s");
        figure((name + "_cpu").c_str(), median(runs, &Run::cpu), "s");
    }
}

void benchAlbum(int rounds) {
    std::string why;
    const auto minute =
        tw::bench::cachedMp3(TW_BENCH_CACHE, "tone-60s-192k.mp3",
                             "synth 60 pinknoise synth 60 sine mix 330 gain -4", "-b 192", why);
    if (!minute)
        return missing(kBatchRatio, "skipped", why);
    const tw::test::TempFolder scratch;
    const Batch batch(scratch.path(), TW_L3DEC, longNames(16), *minute);
    if (!batch.written())
        return missing(kBatchRatio, "failed", "Decode wrote no script");
    compare(kBatchRatio, "batch", batch, rounds);
}

void benchOneFile(int rounds) {
    std::string why;
    const auto ten = tw::bench::tenMinuteMp3(TW_BENCH_CACHE, why);
    const auto sixty = ten ? tw::bench::sixtyMinuteMp3(*ten, why) : std::nullopt;
    if (!sixty)
        return missing(kOneFileRatio, "skipped", why);
    const tw::test::TempFolder scratch;
    const Batch batch(scratch.path(), TW_L3DEC, {"A Whole Hour Of Sound.mp3"}, *sixty);
    if (!batch.written())
        return missing(kOneFileRatio, "failed", "Decode wrote no script");
    compare(kOneFileRatio, "one_file", batch, rounds);
}

void benchClips(int rounds) {
    std::string why;
    const auto clip = tw::bench::oneSecondMp3(TW_BENCH_CACHE, why);
    if (!clip)
        return missing(kClipsRatio, "skipped", why);
    const tw::test::TempFolder scratch;
    const Batch batch(scratch.path(), TW_L3DEC, longNames(50), *clip);
    if (!batch.written())
        return missing(kClipsRatio, "failed", "Decode wrote no script");
    compare(kClipsRatio, "clips", batch, 2 * rounds + 1);
}

// What the console itself costs per file: a stand-in decoder that makes its output at once.
void benchOverhead(int count) {
    const std::string name = std::string(kOverhead) + "_" + std::to_string(count);
    if (!wanted(name.c_str()))
        return;
    const tw::test::TempFolder scratch;
    tw::test::writeFile(scratch / "source.mp3", "an mp3");
    const Batch batch(scratch / "batch", TW_STANDIN, longNames(count), scratch / "source.mp3",
                      std::size_t(count));
    if (!batch.written())
        return missing(name.c_str(), "failed", "Decode wrote no script");
    const Run run = batch.console();
    if (run.wall < 0)
        return missing(name.c_str(), "failed", "the console failed");
    // The same decoder started as many times with nothing else: what any way of running the
    // batch pays, whatever reads the script.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (!tw::test::runProgram({TW_STANDIN, (scratch / "source.mp3"), scratch / "out.wav"}).ok)
            return missing(name.c_str(), "failed", "the stand-in decoder failed");
    const double starts =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figure(name.c_str(), 1000 * (run.wall - starts) / count, "ms");
    figure((name + "_with_decoder_starts").c_str(), 1000 * run.wall / count, "ms");
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    if (!tw::bench::readOptions(argc, argv, "bench_console", {{"rounds", &rounds}},
                                tw::bench::figureFilter()))
        return 1;
    const bool haveReference = tw::test::onPath("mpg123");
    for (const char* ratio : {kBatchRatio, kOneFileRatio, kClipsRatio})
        if (wanted(ratio) && !haveReference)
            missing(ratio, "skipped", "mpg123 not found");
    if (haveReference && wanted(kBatchRatio))
        benchAlbum(rounds);
    if (haveReference && wanted(kOneFileRatio))
        benchOneFile(rounds);
    if (haveReference && wanted(kClipsRatio))
        benchClips(rounds);
    for (const int count : {1000, 10000})
        benchOverhead(count);
    return 0;
}
