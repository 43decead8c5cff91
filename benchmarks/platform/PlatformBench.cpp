// Short names and listings of one crowded directory: Decode asks for the short name of every
// selected file, and a music folder can hold ten thousand of them.
#include "benchmarks/LineReporter.h"
#include "platform/names/ShortNames.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Text.h"
#include "tests/support/TempDrives.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

#include <unistd.h>

namespace {

constexpr int kFiles = 10000;

std::wstring fileName(int i) {
    // Mostly long names on few bases (long numeric-tail runs), some valid 8.3 names.
    if (i % 10 == 0)
        return L"trk" + std::to_wstring(i) + L".mp3";
    return L"Long Song Title " + std::to_wstring(i) + L".mp3";
}

struct CrowdedFolder {
    CrowdedFolder() {
        drives.createDirectory(L"C:\\Music Library");
        for (int i = 0; i < kFiles; ++i) {
            const std::wstring path = L"C:\\Music Library\\" + fileName(i);
            drives.createFile(path);
            paths.push_back(drives.platform().toEightBit(path));
        }
        // Past the window in which a fresh directory's table is not trusted.
        ::usleep(200'000);
    }
    tw::test::TempDrives drives;
    std::vector<std::string> paths;
};

CrowdedFolder& folder() {
    static CrowdedFolder instance;
    return instance;
}

// One iteration is what Decode does for ten thousand selected files.
void ShortPathOfEveryFile(benchmark::State& state) {
    CrowdedFolder& crowded = folder();
    const tw::Platform& platform = crowded.drives.platform();
    char buffer[64];
    for (auto _ : state) {
        for (const std::string& path : crowded.paths) {
            const std::uint32_t length =
                platform.GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
            if (length == 0 || length >= sizeof buffer)
                state.SkipWithError("short name missing");
            benchmark::DoNotOptimize(buffer);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(ShortPathOfEveryFile)
    ->Name("platform_short_path_of_every_file")
    ->Unit(benchmark::kMillisecond);

// Building the table once, as after every change of the directory.
void BuildShortNameTable(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < state.range(0); ++i)
        names.push_back(tw::posix::toUtf8(fileName(i)));
    for (auto _ : state) {
        tw::posix::ShortNameTable table(names);
        benchmark::DoNotOptimize(table.size());
    }
}
BENCHMARK(BuildShortNameTable)
    ->Name("platform_build_short_name_table")
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BuildShortNameTable)
    ->Name("platform_build_short_name_table_100k")
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// What a batch does to a folder's table while the model plays the script through it.
std::string batchOutput(std::int64_t i) {
    char number[24];
    std::snprintf(number, sizeof number, "%05lld", static_cast<long long>(i));
    return std::string("Some Artist - Long Song Title Number ") + number + ".wav";
}

// A fresh output folder fills up: each file appears under a short name with a "~", which is
// looked up, and is then renamed to its long name, which lands at the end of the listing.
void FillOutputFolder(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    for (auto _ : state) {
        tw::posix::ShortNameTable table(std::vector<std::string>{});
        for (std::int64_t i = 1; i <= count; ++i) {
            const auto* output = table.insert("SOMEAR~1.wav");
            benchmark::DoNotOptimize(table.resolve(L"SOMEAR~1.wav"));
            table.erase(output);
            const auto* renamed = table.insert(batchOutput(i));
            benchmark::DoNotOptimize(table.resolve(L"SOMEAR~2.wav"));
            benchmark::DoNotOptimize(table.shortName(renamed).size());
        }
        if (table.size() != static_cast<std::size_t>(count))
            state.SkipWithError("names lost");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(FillOutputFolder)
    ->Name("platform_short_names_fill_output_folder_10k")
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FillOutputFolder)
    ->Name("platform_short_names_fill_output_folder_100k")
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// Decoding a whole folder again: every file's output appears under an 8.3 name, the earlier
// output of the same long name goes, and the new one is renamed over it. The names end as they
// began, so one table serves every round.
void DecodeFolderAgain(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    std::vector<std::string> names;
    for (std::int64_t i = 1; i <= count; ++i)
        names.push_back(batchOutput(i));
    const tw::posix::ShortNameTable onDisk(names);
    tw::posix::ShortNameTable table(onDisk);
    const std::wstring probes[] = {L"SOMEAR~7.wav", L"SOMEA~42.wav", L"SOM~4711.wav"};
    for (auto _ : state) {
        for (std::int64_t i = 1; i <= count; ++i) {
            benchmark::DoNotOptimize(table.resolve(probes[i % 3]));
            const auto* output = table.insert("SOMEAR_1.wav");
            table.erase(table.findExact(names[i - 1]));
            benchmark::DoNotOptimize(table.insert(names[i - 1]));
            table.erase(output);
            benchmark::DoNotOptimize(table.resolve(probes[(i + 1) % 3]));
        }
        if (table.size() != names.size())
            state.SkipWithError("names lost");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(DecodeFolderAgain)
    ->Name("platform_short_names_decode_folder_again_10k")
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeFolderAgain)
    ->Name("platform_short_names_decode_folder_again_100k")
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void ListEveryFile(benchmark::State& state) {
    CrowdedFolder& crowded = folder();
    std::vector<std::wstring> names;
    for (auto _ : state) {
        if (!crowded.drives.platform().listFiles(L"C:\\Music Library", L"*.mp3", names))
            state.SkipWithError("listing failed");
        benchmark::DoNotOptimize(names.data());
    }
}
BENCHMARK(ListEveryFile)->Name("platform_list_every_file")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return tw::bench::runWithLineReporter(argc, argv);
}
